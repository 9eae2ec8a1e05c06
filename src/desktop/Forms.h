#pragma once
// The program's tool windows that the main window and the program entry reach by name: the
// device setup wizard, the DAS explorer, the command block editor, the multiplexer
// statistics, the script wizard, the link statistics, the serial settings dialog, the
// command console, the host communications setup, the system variables and clock dialogs,
// the master directory dialog and the warning dialog. Each stands here with its caption and
// the few members the main window uses until its own unit takes its place, plus the list of
// open script editors.
//
// UI thread only.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "desktop/Commsetup.h"
#include "desktop/Editcommand.h"
#include "desktop/Masterpathform.h"
#include "desktop/Muxstatsform.h"
#include "desktop/Sendcommand.h"
#include "desktop/Settime.h"
#include "desktop/Systemvariables.h"
#include "desktop/Warndialog.h"

class QPlainTextEdit;
class QTimer;
class TAboutBox;
class TScriptEditForm;

// The device setup wizard.
// TODO(#10): replaced by the wizard's own unit.
class TDeviceSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceSetupForm(QWidget* parent = nullptr);
};

// The DAS file explorer.
// TODO(#10): replaced by the explorer's own unit.
class TDASExplorerForm : public QWidget {
    Q_OBJECT
public:
    explicit TDASExplorerForm(QWidget* parent = nullptr);
    // True while an operation waits for its directory listing.
    bool Busy() const { return busy_; }
    void SetBusy(bool busy) { busy_ = busy; }

private:
    bool busy_ = false;
};

// The script wizard.
class TScriptWizardForm : public QWidget {
    Q_OBJECT
public:
    explicit TScriptWizardForm(QWidget* parent = nullptr);
};

// The link statistics window with its refresh timer.
class TStatisticsForm : public QWidget {
    Q_OBJECT
public:
    explicit TStatisticsForm(QWidget* parent = nullptr);
    QTimer* Timer_StatWindow = nullptr;
};

// The host communications setup.
class THostCommSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit THostCommSetupForm(QWidget* parent = nullptr);
};

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
extern TDASExplorerForm* DASExplorerForm;
extern TEditCommandForm* EditCommandForm;
extern TFrmMuxStats* FrmMuxStats;
extern TScriptWizardForm* ScriptWizardForm;
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
