#include "desktop/Forms.h"

#include "desktop/AboutBox.h"
#include "link/Das.h"

TAboutBox* AboutBox = nullptr;
TDeviceSetupForm* DeviceSetupForm = nullptr;
IDASExplorerForm* DASExplorerForm = nullptr;
TEditCommandForm* EditCommandForm = nullptr;
TFrmMuxStats* FrmMuxStats = nullptr;
IScriptWizardForm* ScriptWizardForm = nullptr;
TStatisticsForm* StatisticsForm = nullptr;
TCommSetupForm* CommSetupForm = nullptr;
TSendCommandForm* SendCommandForm = nullptr;
THostCommSetupForm* HostCommSetupForm = nullptr;
TSystemVarForm* SystemVarForm = nullptr;
TSetTimeForm* SetTimeForm = nullptr;
TMasterPath* MasterPath = nullptr;
TWarningForm* WarningForm = nullptr;
IScriptEditForms* ScriptEditForms = nullptr;

namespace {

// The list while the program has no script editing: no editors, so every close is allowed.
class TNoScriptEditForms final : public IScriptEditForms {
public:
    bool CanCloseAll() override { return true; }
    void CloseAll() override {}
};

TScriptEditFormsMaker& ScriptEditFormsMaker()
{
    static TScriptEditFormsMaker maker;
    return maker;
}

TDASExplorerFormMaker& ExplorerMaker()
{
    static TDASExplorerFormMaker maker;
    return maker;
}

TScriptWizardFormMaker& ScriptWizardMaker()
{
    static TScriptWizardFormMaker maker;
    return maker;
}

// A top-level tool window: a window of its own even when it has a parent, hidden until shown.
void SetUpToolWindow(QWidget* form, const QString& caption)
{
    form->setWindowFlag(Qt::Window, true);
    form->setWindowTitle(caption);
}

}  // namespace

TPlainDASExplorerForm::TPlainDASExplorerForm(QWidget* parent) : QWidget(parent)
{
    SetUpToolWindow(this, QStringLiteral("DASExplorer"));
    resize(598, 267);
}

void TPlainDASExplorerForm::RefreshExecute() { SendToDas(QStringLiteral("DIR")); }

void SetDASExplorerFormMaker(TDASExplorerFormMaker maker) { ExplorerMaker() = std::move(maker); }

TScriptWizardPlaceholder::TScriptWizardPlaceholder(QWidget* parent) : QWidget(parent)
{
    SetUpToolWindow(this, QStringLiteral("Script Wizard "));
}

void SetScriptWizardFormMaker(TScriptWizardFormMaker maker)
{
    ScriptWizardMaker() = std::move(maker);
}

void SetScriptEditFormsMaker(TScriptEditFormsMaker maker)
{
    ScriptEditFormsMaker() = std::move(maker);
}

IScriptEditForms* MakeScriptEditForms(QWidget* owner)
{
    if (ScriptEditFormsMaker()) {
        return ScriptEditFormsMaker()(owner);
    }
    return new TNoScriptEditForms;
}

void CreateToolForms()
{
    AboutBox = new TAboutBox;
    DeviceSetupForm = new TDeviceSetupForm;
    DASExplorerForm = ExplorerMaker() ? ExplorerMaker()() : new TPlainDASExplorerForm;
    EditCommandForm = new TEditCommandForm;
    FrmMuxStats = new TFrmMuxStats;
    ScriptWizardForm = ScriptWizardMaker() ? ScriptWizardMaker()() : new TScriptWizardPlaceholder;
    StatisticsForm = new TStatisticsForm;
    CommSetupForm = new TCommSetupForm;
    SendCommandForm = new TSendCommandForm;
    HostCommSetupForm = new THostCommSetupForm;
    SystemVarForm = new TSystemVarForm;
    SetTimeForm = new TSetTimeForm;
    MasterPath = new TMasterPath;
    WarningForm = new TWarningForm;
}

namespace {

template <typename T>
void DeleteForm(T*& form)
{
    delete form;
    form = nullptr;
}

}  // namespace

void DeleteToolForms()
{
    DeleteForm(WarningForm);
    DeleteForm(MasterPath);
    DeleteForm(SetTimeForm);
    DeleteForm(SystemVarForm);
    DeleteForm(HostCommSetupForm);
    DeleteForm(SendCommandForm);
    DeleteForm(CommSetupForm);
    DeleteForm(StatisticsForm);
    DeleteForm(ScriptWizardForm);
    DeleteForm(FrmMuxStats);
    DeleteForm(EditCommandForm);
    DeleteForm(DASExplorerForm);
    DeleteForm(DeviceSetupForm);
    DeleteForm(AboutBox);
}
