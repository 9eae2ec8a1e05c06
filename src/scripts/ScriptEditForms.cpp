// The list of open script editors, and how the program sets up script editing.
#include <QPointer>

#include "link/Global.h"
#include "scripts/ScriptEditForm.h"

namespace {

// Owns the editors made for one owner window and deletes them with it.
class TEditorKeeper final : public QObject {
public:
    explicit TEditorKeeper(QObject* owner) : QObject(owner)
    {
        setObjectName(QStringLiteral("ScriptEditorKeeper"));
    }
    TEditorKeeper(const TEditorKeeper&) = delete;
    TEditorKeeper& operator=(const TEditorKeeper&) = delete;
    ~TEditorKeeper() override
    {
        for (const QPointer<TScriptEditForm>& form : forms_) {
            delete form.data();
        }
    }

    static TEditorKeeper* Of(QWidget* owner)
    {
        if (owner == nullptr) {
            return nullptr;
        }
        auto* keeper = owner->findChild<TEditorKeeper*>(QStringLiteral("ScriptEditorKeeper"),
                                                        Qt::FindDirectChildrenOnly);
        return keeper != nullptr ? keeper : new TEditorKeeper(owner);
    }

    void Keep(TScriptEditForm* form) { forms_.append(form); }

private:
    QList<QPointer<TScriptEditForm>> forms_;
};

}  // namespace

TScriptEditForms::TScriptEditForms(QWidget* owner) : owner_(owner) {}

TScriptEditForms::~TScriptEditForms() = default;

TScriptEditForm* TScriptEditForms::NewEditor()
{
    // An editor is a window of its own; its owner only decides when it goes.
    auto* form = new TScriptEditForm(nullptr);
    if (TEditorKeeper* keeper = TEditorKeeper::Of(owner_)) {
        keeper->Keep(form);
    }
    list_.append(form);
    connect(form, &TScriptEditForm::Closed, this, [this](TScriptEditForm* closed) {
        list_.removeAll(closed);
    });
    connect(form, &QObject::destroyed, this, [this, form] { list_.removeAll(form); });
    return form;
}

bool TScriptEditForms::CanCloseAll()
{
    for (TScriptEditForm* form : QList<TScriptEditForm*>(list_)) {
        if (!form->FormCloseQuery()) {
            return false;
        }
    }
    return true;
}

void TScriptEditForms::CloseAll()
{
    const QList<TScriptEditForm*> forms = list_;
    for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
        (*it)->close();
    }
}

void TScriptEditForms::NewScript() { NewEditor()->FileNewExecute(); }

void TScriptEditForms::OpenScript() { NewEditor()->FileOpenExecute(); }

// Resources of a static library are registered only when something refers to them.
static void InitScriptResources() { Q_INIT_RESOURCE(scripts); }

void InstallScriptEditing()
{
    InitScriptResources();
    InstallFileIfMissing(QStringLiteral(":/scripts/Pelagrix.key"), KeywordFilePath());
    SetScriptEditFormsMaker([](QWidget* owner) { return new TScriptEditForms(owner); });
}
