#pragma once
// The script wizard ("Script Wizard "): three pages on which the operator describes an
// acquisition run (script name and destination, comments, type and devices; start-up,
// shut-down and sample duration; sleep switch, schedule and blackout), and "Make Script", which
// checks the choices and has the generator write the script into a new script editor or save
// it on the PC and send it to the DAS.
//
// UI thread only.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>

#include "desktop/Forms.h"
#include "scripts/ScriptGenerator.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class TScriptEditForm;

class TScriptWizardForm : public QWidget, public IScriptWizardForm {
    Q_OBJECT
public:
    // Sets the program's long time format to "hh:mm:ss" and builds the pages, page 1 shown.
    explicit TScriptWizardForm(QWidget* parent = nullptr);
    ~TScriptWizardForm() override;

    QWidget* Window() override { return this; }

    // --- Page 1 "Basic Options" ---
    QGroupBox* GroupBox_ScriptID = nullptr;
    QLineEdit* Edit_ScriptIDFile = nullptr;
    QPushButton* Button_ScriptIDFile = nullptr;
    QRadioButton* Radio_ScriptIDAutoSave = nullptr;
    QRadioButton* Radio_ScriptIDEditor = nullptr;
    QCheckBox* Cb_ScriptIDParse = nullptr;
    QCheckBox* Cb_ScriptIDAutoRun = nullptr;
    QGroupBox* GroupBox_Comments = nullptr;
    QPlainTextEdit* Memo_Comments = nullptr;
    QGroupBox* GroupBox_Type = nullptr;
    QRadioButton* Radio_TypeSimple = nullptr;
    QRadioButton* Radio_TypeScheduled = nullptr;
    QGroupBox* GroupBox_Devices = nullptr;
    QPushButton* Button_DevicesSelectAll = nullptr;
    QPushButton* Button_DevicesClearAll = nullptr;
    QListWidget* CheckListBox_Devices = nullptr;

    // --- Page 2 "Sample Options" ---
    QGroupBox* GroupBox_StartUp = nullptr;
    QLineEdit* Edit_StartUpDelay = nullptr;
    QRadioButton* Radio_StartUpRun = nullptr;
    QRadioButton* Radio_StartUpWake = nullptr;
    QCheckBox* Cb_Sequence = nullptr;
    QLineEdit* Edit_Sequence = nullptr;
    QGroupBox* GroupBox_ShutDown = nullptr;
    QCheckBox* Cb_SleepAtEnd = nullptr;
    QGroupBox* GroupBox_Duration = nullptr;
    QRadioButton* Radio_DurationTimed = nullptr;
    QLineEdit* Edit_DurationTimed = nullptr;
    QCheckBox* Cb_TimedAgain = nullptr;
    QRadioButton* Radio_DurationTimeOut = nullptr;
    QListWidget* CheckListBox_TimeOut = nullptr;
    QLineEdit* Edit_TimeOut = nullptr;
    QLineEdit* Edit_MaxTime = nullptr;
    QCheckBox* Cb_TimeOutAgain = nullptr;
    QRadioButton* Radio_DurationContinuous = nullptr;
    QLineEdit* Edit_ShutDownDelay = nullptr;

    // --- Page 3 "Scheduling" ---
    QGroupBox* GroupBox_SleepSwitch = nullptr;
    QRadioButton* Radio_SleepEnd = nullptr;
    QRadioButton* Radio_SleepPause = nullptr;
    QPushButton* Button_SystemVariables = nullptr;
    QGroupBox* GroupBox_Schedule = nullptr;
    QRadioButton* Radio_ScheduleEvery = nullptr;
    QLineEdit* Edit_ScheduleEvery = nullptr;
    QLineEdit* Edit_ScheduleFrom = nullptr;
    QLineEdit* Edit_ScheduleUntil = nullptr;
    QRadioButton* Radio_ScheduleAt = nullptr;
    QLineEdit* Edit_ScheduleAt = nullptr;
    QPushButton* Button_ScheduleAdd = nullptr;
    QPushButton* Button_ScheduleRemove = nullptr;
    QListWidget* ListBox_Schedule = nullptr;
    QGroupBox* GroupBox_Blackout = nullptr;
    QCheckBox* Cb_Blackout = nullptr;
    QLineEdit* Edit_BlackoutFrom = nullptr;
    QLineEdit* Edit_BlackoutTo = nullptr;

    // --- Bottom row ---
    QTabWidget* PageControl = nullptr;
    QPushButton* ScrWizHelpButton = nullptr;
    QPushButton* ScrWizBackButton = nullptr;
    QPushButton* ScrWizNextButton = nullptr;
    QPushButton* ScrWizDoneButton = nullptr;
    QPushButton* ScrWizCancelButton = nullptr;

    // --- Handlers ---
    // Page 1 shown; the device lists refilled from the station; the sequence number taken.
    void FormShow();
    // Saves the placement "ScriptWizard".
    void FormClose();
    // Enables, shows and hides what the choices make (un)available.
    void UpdateDependencies();
    // Back (`back`) or Next.
    void ScrWizNextButtonClick(bool back);
    void ScrWizDoneButtonClick();
    void ScrWizCancelButtonClick();
    void Button_DevicesSelectAllClick();
    void Button_DevicesClearAllClick();
    void Button_ScheduleAddClick();
    void Button_ScheduleRemoveClick();
    void Button_ScriptIDFileClick();
    void Button_SystemVariablesClick();

    // Shows page 1, 2 or 3 (the others parked), Back and Next as the page allows.
    void ShowPage(int page);
    int ShownPage() const { return shownPage_; }
    // The operator's specific times: each once, as "hh:mm:ss", in order.
    const QStringList& ScheduleList() const { return schedule_; }

    // The choices of the pages for a script at `path`.
    TWizardChoices Choices(const QString& path) const;
    // Sets the device selection from page 1, generates the script and delivers it: into
    // `editor`, or (none) saved and sent to the DAS.
    void GenerateScript(const QString& path, TScriptEditForm* editor);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* BuildPage1();
    QWidget* BuildPage2();
    QWidget* BuildPage3();
    QWidget* BuildDurationGroup();
    QWidget* BuildScheduleGroup();
    void BuildButtons();
    void ConnectDependencies();
    void FixWidth();
    void FillDeviceLists();
    void SetAllDevices(bool checked);
    void ApplyExpandedTimes(const QStringList& times);
    bool ConfirmAutoSave(const QString& path);
    void WarnOfDasFiles();

    std::array<QWidget*, 3> pages_{};
    QStackedWidget* parked_ = nullptr;  // the hidden page control
    int shownPage_ = 0;
    QStringList schedule_;
    QWidget* continuousPart_ = nullptr;  // "Sample Continiuously" and the pause row
};

// Makes TScriptWizardForm the program's script wizard (before CreateToolForms).
void InstallScriptWizard();
