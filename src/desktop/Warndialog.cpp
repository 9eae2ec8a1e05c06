#include "desktop/Warndialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Host.h"
#include "platform/Registry.h"
#include "platform/WindowPlacement.h"

namespace {

constexpr int kWarningWidth = 493;
constexpr int kWarningHeight = 174;
constexpr int kTopPanelHeight = 16;

// Read under one spelling and written under another; value names ignore case.
const QString kWarnAgainRead = QStringLiteral("warnAgain");
const QString kWarnAgainWrite = QStringLiteral("WarnAgain");

}  // namespace

TWarningForm::TWarningForm(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Warning"));
    resize(kWarningWidth, kWarningHeight);

    auto* top = new QFrame(this);
    top->setFixedHeight(kTopPanelHeight);
    Label_Warning = new QLabel(this);
    Label_Warning->setObjectName(QStringLiteral("Label_Warning"));
    Label_Warning->setAlignment(Qt::AlignCenter);
    Label_Warning->setWordWrap(true);
    CheckBox_WarnAgain = new QCheckBox(QStringLiteral("Show this warning again"), this);
    CheckBox_WarnAgain->setObjectName(QStringLiteral("CheckBox_WarnAgain"));
    CheckBox_WarnAgain->setChecked(true);
    Button1_OK = new QPushButton(QStringLiteral("OK"), this);
    Button1_OK->setObjectName(QStringLiteral("Button1_OK"));
    Button1_OK->setDefault(true);
    connect(Button1_OK, &QPushButton::clicked, this, [this] { done(kModalOk); });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckBox_WarnAgain);
    bottom->addStretch(1);
    bottom->addWidget(Button1_OK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(top);
    layout->addWidget(Label_Warning, 1);
    layout->addLayout(bottom);
}

bool TWarningForm::SetWarning(const QString& text, const QString& title)
{
    keyName_ = title;
    LoadWarnAgain();
    if (!warnAgain_) {
        return false;
    }
    setWindowTitle(title);
    Label_Warning->setText(text);
    // A warning that is shown is one the operator wants to see: the box starts ticked, so an
    // earlier warning's unticked box never turns this one off unasked.
    CheckBox_WarnAgain->setChecked(true);
    return true;
}

void TWarningForm::LoadWarnAgain()
{
    warnAgain_ = true;
    TRegDef reg;
    if (reg.OpenKey(VersionedKeyPath(Host.ReadVersion(), keyName_), false)) {
        warnAgain_ = reg.ReadBoolDef(kWarnAgainRead, true);
    }
}

void TWarningForm::SaveWarnAgain()
{
    if (CheckBox_WarnAgain->isChecked() == warnAgain_) {
        return;
    }
    warnAgain_ = CheckBox_WarnAgain->isChecked();
    TRegistry reg;
    if (reg.OpenKey(VersionedKeyPath(Host.WriteVersion(), keyName_), true)) {
        reg.WriteBool(kWarnAgainWrite, warnAgain_);
    }
}

void TWarningForm::done(int result)
{
    lastResult_ = result;
    SaveWarnAgain();
    QDialog::done(result);
}

void TWarningForm::reject() { done(kModalCancel); }

void TWarningForm::showEvent(QShowEvent* event)
{
    CentreOnScreen(this);
    QDialog::showEvent(event);
}

int ShowWarning(const QString& key, const QString& text)
{
    // Without the program's window (a tool started on its own) a warning still shows.
    std::unique_ptr<TWarningForm> own;
    TWarningForm* form = WarningForm;
    if (form == nullptr) {
        own = std::make_unique<TWarningForm>();
        form = own.get();
    }
    if (form->SetWarning(text, key)) {
        TDASDesktopForm::RunModal(*form);
    }
    return form->LastResult();
}
