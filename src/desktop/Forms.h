#pragma once
// The program's tool windows that the main window and the program entry reach by name: the
// device setup wizard, the DAS explorer, the command block editor, the multiplexer
// statistics, the script wizard, the link statistics, the serial settings dialog, the
// command console, the host communications setup, the system variables and clock dialogs,
// the master directory dialog and the warning dialog, made in the program's order; and the
// list of open script editors. The windows of the upper libraries (explorer, script wizard,
// script editors) are reached through the interfaces here, made by the makers those libraries
// register.
//
// UI thread only.

#include <QString>
#include <QWidget>
#include <functional>

#include "desktop/Commsetup.h"
#include "desktop/Devicesetup.h"
#include "desktop/Editcommand.h"
#include "desktop/Hostcommsetup.h"
#include "desktop/Masterpathform.h"
#include "desktop/Muxstatsform.h"
#include "desktop/Sendcommand.h"
#include "desktop/Settime.h"
#include "desktop/Statwindow.h"
#include "desktop/Systemvariables.h"
#include "desktop/Warndialog.h"

class TAboutBox;
class TScriptEditForm;

// The DAS file explorer as the main window sees it: its window, whether a transfer started
// there runs (no status is requested meanwhile), its refresh ("DIR"), channel 251's listings,
// and the two settings the configuration file keeps for it.
class IDASExplorerForm {
public:
    virtual ~IDASExplorerForm() = default;
    virtual QWidget* Form() = 0;
    virtual bool Busy() const = 0;
    virtual void RefreshExecute() = 0;
    virtual void ReceiveListingData(const char* bytes, int count) = 0;
    // "MaxPartition": the highest drive shown, 0 (C) to 23 (Z).
    virtual int HighestDrive() const = 0;
    virtual void SetHighestDrive(int drive) = 0;
    // "ExplorerViewStyle": 0 large icons, 1 small icons, 2 list, 3 details.
    virtual int ViewStyle() const = 0;
    virtual void SetViewStyle(int style) = 0;
};

// The explorer's titled window until the explorer library registers its own (desktop tests):
// it keeps the settings and lists nothing.
class TPlainDASExplorerForm final : public QWidget, public IDASExplorerForm {
    Q_OBJECT
public:
    explicit TPlainDASExplorerForm(QWidget* parent = nullptr);
    QWidget* Form() override { return this; }
    bool Busy() const override { return busy_; }
    void SetBusy(bool busy) { busy_ = busy; }
    void RefreshExecute() override;
    void ReceiveListingData(const char* /*bytes*/, int /*count*/) override {}
    int HighestDrive() const override { return highestDrive_; }
    void SetHighestDrive(int drive) override { highestDrive_ = drive; }
    int ViewStyle() const override { return viewStyle_; }
    void SetViewStyle(int style) override { viewStyle_ = style; }

private:
    bool busy_ = false;
    int highestDrive_ = 0;
    int viewStyle_ = 0;
};

// Makes the explorer window at program start; the explorer library sets its own. An empty
// function restores TPlainDASExplorerForm.
using TDASExplorerFormMaker = std::function<IDASExplorerForm*()>;
void SetDASExplorerFormMaker(TDASExplorerFormMaker maker);

// The script wizard as the main window sees it: a window it shows, raises, places and closes.
class IScriptWizardForm {
public:
    virtual ~IScriptWizardForm() = default;
    virtual QWidget* Window() = 0;
};

// The titled window that stands for the script wizard where the scripts library set no maker.
class TScriptWizardPlaceholder final : public QWidget, public IScriptWizardForm {
    Q_OBJECT
public:
    explicit TScriptWizardPlaceholder(QWidget* parent = nullptr);
    QWidget* Window() override { return this; }
};

// Makes the script wizard; the scripts library sets its own before CreateToolForms. An empty
// function restores the placeholder.
using TScriptWizardFormMaker = std::function<IScriptWizardForm*()>;
void SetScriptWizardFormMaker(TScriptWizardFormMaker maker);

// The open script editors as the main window, the explorer and the script wizard reach them:
// a new editor (already shown), whether all may close (each may ask its own question; the
// first refusal wins), closing them all, last first, and the main window's New Script and
// Open Script. The scripts library makes the real list; without it there are no editors.
class IScriptEditForms {
public:
    virtual ~IScriptEditForms() = default;
    virtual TScriptEditForm* NewEditor() { return nullptr; }
    virtual bool CanCloseAll() = 0;
    virtual void CloseAll() = 0;
    // A new editor with a new script / with a script the operator opens.
    virtual void NewScript() {}
    virtual void OpenScript() {}
};

// Makes the script editor list for the main window (`owner`); the scripts library sets its
// own, tests set fakes. An empty function restores the list without editors.
using TScriptEditFormsMaker = std::function<IScriptEditForms*(QWidget* owner)>;
void SetScriptEditFormsMaker(TScriptEditFormsMaker maker);
IScriptEditForms* MakeScriptEditForms(QWidget* owner);

// The windows made at program start (null before they are made and after they are deleted).
extern TAboutBox* AboutBox;
extern TDeviceSetupForm* DeviceSetupForm;
extern IDASExplorerForm* DASExplorerForm;
extern TEditCommandForm* EditCommandForm;
extern TFrmMuxStats* FrmMuxStats;
extern IScriptWizardForm* ScriptWizardForm;
extern TStatisticsForm* StatisticsForm;
extern TCommSetupForm* CommSetupForm;
extern TSendCommandForm* SendCommandForm;
extern THostCommSetupForm* HostCommSetupForm;
extern TSystemVarForm* SystemVarForm;
extern TSetTimeForm* SetTimeForm;
extern TMasterPath* MasterPath;
extern TWarningForm* WarningForm;
// The open script editors; made when the main window is first shown.
extern IScriptEditForms* ScriptEditForms;

// Makes the fourteen windows that follow the main window, in the program's order (the About
// box first), each hidden and setting its global. UI thread.
void CreateToolForms();
// Deletes them, last first, and clears their globals.
void DeleteToolForms();
