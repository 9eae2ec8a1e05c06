#pragma once
// The device setup wizard: one instrument's name, icon, port, serial and echo settings, power
// and data commands, priorities, automatic capture, data labels, capture destination and
// analog options, on six pages shown one at a time. It edits a working copy of the device and
// writes it back only on Finished; instrument files are exported from and imported into it.
//
// UI thread only.

#include <QDialog>
#include <QSpinBox>
#include <QString>
#include <array>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TDevice;
class TPort;

// A number field with arrows that shows its value as an ordinal ("1st", "2nd") and reads what
// is typed by its leading integer ("5" and "5th" both give 5).
class TOrdinalSpinBox final : public QSpinBox {
    Q_OBJECT
public:
    explicit TOrdinalSpinBox(QWidget* parent = nullptr);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& input, int& pos) const override;
};

// Radio buttons of which at most one is checked, where "none checked" can be reached: the
// program checks and unchecks them itself, and a click checks the clicked one only.
class TRadioSet {
public:
    void Add(QRadioButton* button);
    // Checks the button at `index` and unchecks the others (none for an index out of range).
    void Check(int index);
    // The index of the first checked button, or -1.
    int CheckedIndex() const;
    QRadioButton* At(int index) const { return buttons_[static_cast<size_t>(index)]; }
    int Count() const { return static_cast<int>(buttons_.size()); }

private:
    std::vector<QRadioButton*> buttons_;
};

class TDeviceSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceSetupForm(QWidget* parent = nullptr);
    ~TDeviceSetupForm() override;
    TDeviceSetupForm(const TDeviceSetupForm&) = delete;
    TDeviceSetupForm& operator=(const TDeviceSetupForm&) = delete;

    // Loads `device` into the controls (through the working copy) and shows `page` (1..6).
    void LoadFromDevice(TDevice& device, int page);
    // Shows a page and sets Back and Next.
    void ShowPage(int page);
    // Caption, texts, enabled states, visibility and group box heights from the controls.
    void UpdateDependencies();
    // Copies the controls into the working copy; false (after a message) when a value cannot
    // be taken, nothing written then. Name, port, priorities and the power-on delay stay in
    // their controls: they belong to the device list and the chosen port's power switch, and
    // Finished writes them (an export, the delay too).
    bool SaveToDevice();
    // False, after the duplicate-name message, when the Name field holds another device's
    // name or a DAS model's.
    bool CheckUniqueName();
    // Drops the working copy of a run that ended without Finished or Cancel.
    void DropWorkingCopy();

    // The page on show (1..6) and its title.
    int CurrentPage() const { return currentPage_; }
    QString CurrentPageTitle() const;
    TDevice* EditedDevice() const { return editedDevice_; }
    TDevice* WorkingCopy() const { return workingCopy_; }
    // The port the selected entry of the port lists names, or null.
    TPort* SelectedPort() const;
    // The design height of a group box, the height it has whenever it is shown.
    int FullHeight(const QGroupBox* box) const;

    // The picture dialog for the icon file; the current path when it is cancelled.
    QString SelectIconFile(const QString& path);

    // Handlers.
    void DevSetupNextButtonClick(QObject* sender);
    void DevSetupDoneButtonClick();
    void DevSetupCancelButtonClick();
    void Button_Icon_FileClick();
    void Edit_Icon_FileExit();
    void ComboBox_PortsChange();
    void ComboBox_ConnectionChange();
    void Button_Serial_SetupClick();
    void Button_Echo_SetupClick();
    void UpDown_PowerOnPriorityClick();
    void Button_CmdPowerOnClick();
    void Button_CmdPowerOffClick();
    void Button_CmdGetDataClick();
    void Button_CmdStartClick();
    void Button_CmdStopClick();
    void Button_CmdGetSavedDataClick();
    void Btn_ChangeMasterDirClick();
    void ExportSettingsButtonClick();
    void ImportSettingsButtonClick();

    // Escape and the title bar's close count as Cancel; every end saves the placement.
    void reject() override;
    void done(int result) override;

    // The pages and the bottom row.
    QTabWidget* PageControl = nullptr;
    QWidget* HiddenPages = nullptr;
    std::array<QWidget*, 6> Pages{};
    QPushButton* DevSetupCancelButton = nullptr;
    QPushButton* DevSetupHelpButton = nullptr;
    QPushButton* DevSetupBackButton = nullptr;
    QPushButton* DevSetupNextButton = nullptr;
    QPushButton* DevSetupDoneButton = nullptr;

    // Page 1: basic properties.
    QGroupBox* GroupBox_Identification = nullptr;
    QLineEdit* Edit_Name = nullptr;
    QLineEdit* Edit_Icon_File = nullptr;
    QPushButton* Button_Icon_File = nullptr;
    QLabel* IconImage = nullptr;
    QGroupBox* GroupBox_Connection = nullptr;
    QComboBox* ComboBox_Connection = nullptr;
    QComboBox* ComboBox_Ports = nullptr;
    QLabel* Label_Mux = nullptr;
    QLineEdit* Serial_Settings = nullptr;
    QPushButton* Button_Serial_Setup = nullptr;
    QGroupBox* GroupBox_Echo = nullptr;
    QComboBox* ComboBox_Echo_Serial = nullptr;
    QLineEdit* Echo_Settings = nullptr;
    QPushButton* Button_Echo_Setup = nullptr;
    QPushButton* ImportSettingsButton = nullptr;
    QPushButton* ExportSettingsButton = nullptr;

    // Page 2: power, output and priority.
    QGroupBox* GroupBox_PowerOn = nullptr;
    QLineEdit* Edit_PowerOnDelay = nullptr;
    QCheckBox* Cb_PowerOnCmd = nullptr;
    QLineEdit* Edit_PowerOnCmdWait = nullptr;
    QPushButton* Button_CmdPowerOn = nullptr;
    QGroupBox* GroupBox_PowerOff = nullptr;
    QCheckBox* Cb_PowerOffCmd = nullptr;
    QLineEdit* Edit_PowerOffCmdWait = nullptr;
    QPushButton* Button_CmdPowerOff = nullptr;
    QGroupBox* GroupBox_DataOutput = nullptr;
    QRadioButton* Radio_OnDemandData = nullptr;
    QRadioButton* Radio_AutomaticData = nullptr;
    QRadioButton* Radio_StartStopData = nullptr;
    QLabel* Label_PacketPause = nullptr;
    QLineEdit* Edit_PacketPause = nullptr;
    QPushButton* Button_CmdGetData = nullptr;
    QPushButton* Button_CmdStart = nullptr;
    QLineEdit* Edit_CmdStartDelay = nullptr;
    QPushButton* Button_CmdStop = nullptr;
    QLineEdit* Edit_CmdStopDelay = nullptr;
    std::array<QLabel*, 6> StartStopLabels{};
    QGroupBox* GroupBox_Priority = nullptr;
    TOrdinalSpinBox* Edit_PowerOnPriority = nullptr;
    TOrdinalSpinBox* Edit_DataPriority = nullptr;

    // Page 3: automatic capture.
    QGroupBox* GroupBox_StartCapture = nullptr;
    QRadioButton* Radio_StartBeforePower = nullptr;
    QRadioButton* Radio_StartBeforePowerCmd = nullptr;
    QRadioButton* Radio_StartAfterPower = nullptr;
    QRadioButton* Radio_StartBeforeDataCmd = nullptr;
    QRadioButton* Radio_StartAfterDataCmd = nullptr;
    QRadioButton* Radio_StartAfterRetrieve = nullptr;
    QLineEdit* Edit_StartAfterDelay = nullptr;
    std::array<QLabel*, 2> StartAfterDelayLabels{};
    QPushButton* Button_CmdGetSavedData = nullptr;
    QGroupBox* GroupBox_StopCapture = nullptr;
    QRadioButton* Radio_StopBeforeDataCmd = nullptr;
    QRadioButton* Radio_StopAfterDataCmd = nullptr;
    QRadioButton* Radio_StopBeforePowerCmd = nullptr;
    QRadioButton* Radio_StopAfterPowerCmd = nullptr;
    QRadioButton* Radio_StopBeforePower = nullptr;
    QRadioButton* Radio_StopAfterRetrieve = nullptr;
    QLineEdit* Edit_StopAfterDelay = nullptr;
    std::array<QLabel*, 2> StopAfterDelayLabels{};

    // Page 4: labels.
    QGroupBox* GroupBox_StartLabels = nullptr;
    QLineEdit* Edit_StartPrefix = nullptr;
    QGroupBox* GroupBox_DataLabels = nullptr;
    QLineEdit* Edit_Prefix = nullptr;
    QLineEdit* Edit_Suffix = nullptr;
    QGroupBox* GroupBox_EndLabels = nullptr;
    QLineEdit* Edit_StopSuffix = nullptr;
    QGroupBox* GroupBox_DateStamps = nullptr;
    QComboBox* ComboBox_DateStampFormat = nullptr;
    QLineEdit* Edit_DateStampInfix = nullptr;
    QGroupBox* GroupBox_TimeStamps = nullptr;
    QLineEdit* Edit_TimeStampInfix = nullptr;

    // Page 5: capture destination.
    QGroupBox* GroupBox_CaptureTo = nullptr;
    QRadioButton* Radio_CaptureHost = nullptr;
    QRadioButton* Radio_CaptureOther = nullptr;
    QRadioButton* Radio_CaptureSeq = nullptr;
    QRadioButton* Radio_CaptureFile = nullptr;
    QComboBox* ComboBox_CaptureDestOther = nullptr;
    QLineEdit* Edit_CaptureDest = nullptr;
    QCheckBox* Cb_CaptureDestAppend = nullptr;
    QLineEdit* Edit_MasterDirectory = nullptr;
    QPushButton* Btn_ChangeMasterDir = nullptr;

    // Page 6: analog and frequency options.
    QGroupBox* GroupBox_Averaging = nullptr;
    QCheckBox* Cb_DoAveraging = nullptr;
    QLineEdit* Edit_AvgNumSamples = nullptr;
    QLineEdit* Edit_AvgPause = nullptr;
    QGroupBox* GroupBox_Frequency = nullptr;
    QLineEdit* Edit_FreqDuration = nullptr;

private:
    // DevicesetupPages.cpp
    void BuildPages();
    QWidget* BuildBasicPage();
    QWidget* BuildPowerPage();
    QWidget* BuildCapturePage();
    QWidget* BuildLabelsPage();
    QWidget* BuildDestinationPage();
    QWidget* BuildAnalogPage();
    void BuildBottomRow();
    void ConnectHandlers();
    QGroupBox* StackBox(QWidget* page, const QString& title, int fullHeight);
    QRadioButton* Radio(TRadioSet& set, QWidget* box, const QString& caption);

    // Devicesetup.cpp
    // Back and Next as the page on show and the port's kind allow.
    void UpdateNavigation();
    void LoadBasicPage();
    void LoadPowerPage();
    // Page 2's power-on delay and priority: those of the port's power switch.
    void LoadSwitchValues(const TPort* port);
    // After a port choice, page 2 shows the values of the chosen port's switch.
    void FollowPortSwitch();
    // The power-on delay as typed, raised to its least.
    int PowerOnDelayTyped() const;
    void LoadCapturePages();
    void FillPortLists();
    void FillEchoList();
    void FillCaptureChannels(int selected);
    void ShowIconPicture(const QString& path, bool* read = nullptr);
    void UpdatePowerPage(bool serial);
    void UpdateCapturePage();
    void UpdateLabelsAndAnalogPages(const TPort* port);
    void StackBoxes(std::initializer_list<QGroupBox*> boxes);
    void SetBoxHeight(QGroupBox* box, int height);
    void SaveCommandsAndTimes(bool serial);
    void SaveCaptureAndLabels(bool analog);
    // Opens the command block editor on one of the working copy's blocks.
    void EditCommands(const QStringList& (TDevice::*get)() const,
                      void (TDevice::*set)(const QStringList&));
    QString MasterDirectoryText() const;
    TPort* KindPort() const;

    TDevice* editedDevice_ = nullptr;
    TDevice* workingCopy_ = nullptr;
    int currentPage_ = 1;
    std::vector<TPort*> portList_;
    std::vector<std::pair<const QGroupBox*, int>> fullHeights_;
    TRadioSet collectionRadios_;
    TRadioSet startRadios_;
    TRadioSet stopRadios_;
    TRadioSet destinationRadios_;
    QString iconText_;
    // The port whose power switch page 2 shows.
    const TPort* switchPort_ = nullptr;
    int powerOnShown_ = 0;
    int dataShown_ = 0;
    bool updating_ = false;
};
