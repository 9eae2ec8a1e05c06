#include "desktop/Devicesetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "desktop/Dasdesktop.h"
#include "desktop/DeviceImages.h"
#include "desktop/ModalResult.h"
#include "desktop/Terminal.h"
#include "link/Global.h"
#include "link/Host.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSetupRules.h"
#include "station/PortClasses.h"

namespace {

const QString kPlacementName = QStringLiteral("DeviceSetup");
const QString kNoEcho = QStringLiteral("No Echo");
const QString kDefaultIcon = QStringLiteral("Icons/Tavo.bmp");

const char* const kPageTitles[] = {
    "Basic Properties",         "Power/Output/Priority Options", "Automatic Data Capture Options",
    "Labels for Captured Data", "Captured Data Destinations",    "Analog/Frequency Options",
};

// The least values the number fields are raised to.
constexpr int kLeastPowerOnDelay = 30;
constexpr int kLeastFreqDuration = 10;
// The power-on command row that disappears from its box on ports that are not serial.
constexpr int kPowerOnCommandRowHeight = 40;

int AtLeast(const QLineEdit* edit, int least) { return StrToIntAtLeast(edit->text(), least); }

void SetNumber(QLineEdit* edit, int value) { edit->setText(QString::number(value)); }

// The native path of an icon field's text: a relative path is taken from the data folder and
// may not leave it.
QString IconPicturePath(const QString& text)
{
    bool refused = false;
    const QString path = ExpandStoredDataPath(text, QString(), &refused);
    return refused ? QString() : path;
}

}  // namespace

// --- TOrdinalSpinBox ---

TOrdinalSpinBox::TOrdinalSpinBox(QWidget* parent) : QSpinBox(parent)
{
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("9999th")) + 40);
}

QString TOrdinalSpinBox::textFromValue(int value) const { return OrdinalString(value); }

int TOrdinalSpinBox::valueFromText(const QString& text) const
{
    return LeadingInteger(text, value());
}

QValidator::State TOrdinalSpinBox::validate(QString& input, int& /*pos*/) const
{
    if (input.trimmed().isEmpty()) {
        return QValidator::Intermediate;
    }
    const int n = LeadingInteger(input, minimum() - 1);
    return n >= minimum() && n <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

// --- TRadioSet ---

void TRadioSet::Add(QRadioButton* button)
{
    // Exclusivity is kept here, so that "none checked" can be shown.
    button->setAutoExclusive(false);
    buttons_.push_back(button);
}

void TRadioSet::Check(int index)
{
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setChecked(static_cast<int>(i) == index);
    }
}

int TRadioSet::CheckedIndex() const
{
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i]->isChecked()) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// --- TDeviceSetupForm ---

TDeviceSetupForm::TDeviceSetupForm(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Device Setup"));
    BuildPages();
    ConnectHandlers();
}

TDeviceSetupForm::~TDeviceSetupForm() { DropWorkingCopy(); }

void TDeviceSetupForm::ConnectHandlers()
{
    connect(DevSetupNextButton, &QPushButton::clicked, this,
            [this] { DevSetupNextButtonClick(DevSetupNextButton); });
    connect(DevSetupBackButton, &QPushButton::clicked, this,
            [this] { DevSetupNextButtonClick(DevSetupBackButton); });
    connect(DevSetupDoneButton, &QPushButton::clicked, this, [this] { DevSetupDoneButtonClick(); });
    connect(DevSetupCancelButton, &QPushButton::clicked, this,
            [this] { DevSetupCancelButtonClick(); });
    connect(Button_Icon_File, &QPushButton::clicked, this, [this] { Button_Icon_FileClick(); });
    connect(Edit_Icon_File, &QLineEdit::editingFinished, this, [this] { Edit_Icon_FileExit(); });
    connect(Edit_Name, &QLineEdit::textChanged, this,
            [this](const QString& name) { setWindowTitle(name + QStringLiteral(" Setup")); });
    connect(ComboBox_Ports, &QComboBox::currentIndexChanged, this,
            [this] { ComboBox_PortsChange(); });
    connect(ComboBox_Connection, &QComboBox::currentIndexChanged, this,
            [this] { ComboBox_ConnectionChange(); });
    connect(ComboBox_Echo_Serial, &QComboBox::currentIndexChanged, this,
            [this] { UpdateDependencies(); });
    connect(Button_Serial_Setup, &QPushButton::clicked, this,
            [this] { Button_Serial_SetupClick(); });
    connect(Button_Echo_Setup, &QPushButton::clicked, this, [this] { Button_Echo_SetupClick(); });
    connect(Edit_PowerOnPriority, &QSpinBox::valueChanged, this,
            [this] { UpDown_PowerOnPriorityClick(); });
    connect(Button_CmdPowerOn, &QPushButton::clicked, this, [this] { Button_CmdPowerOnClick(); });
    connect(Button_CmdPowerOff, &QPushButton::clicked, this, [this] { Button_CmdPowerOffClick(); });
    connect(Button_CmdGetData, &QPushButton::clicked, this, [this] { Button_CmdGetDataClick(); });
    connect(Button_CmdStart, &QPushButton::clicked, this, [this] { Button_CmdStartClick(); });
    connect(Button_CmdStop, &QPushButton::clicked, this, [this] { Button_CmdStopClick(); });
    connect(Button_CmdGetSavedData, &QPushButton::clicked, this,
            [this] { Button_CmdGetSavedDataClick(); });
    connect(Btn_ChangeMasterDir, &QPushButton::clicked, this,
            [this] { Btn_ChangeMasterDirClick(); });
    connect(ExportSettingsButton, &QPushButton::clicked, this,
            [this] { ExportSettingsButtonClick(); });
    connect(ImportSettingsButton, &QPushButton::clicked, this,
            [this] { ImportSettingsButtonClick(); });
    for (QCheckBox* box : {Cb_PowerOnCmd, Cb_PowerOffCmd, Cb_DoAveraging}) {
        connect(box, &QCheckBox::clicked, this, [this] { UpdateDependencies(); });
    }
    for (TRadioSet* set : {&collectionRadios_, &startRadios_, &stopRadios_, &destinationRadios_}) {
        for (int i = 0; i < set->Count(); ++i) {
            connect(set->At(i), &QRadioButton::clicked, this, [this, set, i] {
                set->Check(i);
                UpdateDependencies();
            });
        }
    }
}

QString TDeviceSetupForm::CurrentPageTitle() const
{
    return PageControl->count() > 0 ? PageControl->tabText(0) : QString();
}

int TDeviceSetupForm::FullHeight(const QGroupBox* box) const
{
    for (const auto& [b, height] : fullHeights_) {
        if (b == box) {
            return height;
        }
    }
    return box != nullptr ? box->height() : 0;
}

TPort* TDeviceSetupForm::SelectedPort() const
{
    const int index = ComboBox_Ports->currentIndex();
    return index >= 0 && index < static_cast<int>(portList_.size())
               ? portList_[static_cast<size_t>(index)]
               : nullptr;
}

TPort* TDeviceSetupForm::KindPort() const
{
    if (TPort* port = SelectedPort()) {
        return port;
    }
    return workingCopy_ != nullptr ? workingCopy_->GetPort() : nullptr;
}

void TDeviceSetupForm::DropWorkingCopy()
{
    delete workingCopy_;
    workingCopy_ = nullptr;
}

// --- Loading ---

void TDeviceSetupForm::LoadFromDevice(TDevice& device, int page)
{
    DevSetupBackButton->setEnabled(false);
    DevSetupNextButton->setEnabled(true);
    if (&device != workingCopy_) {
        editedDevice_ = &device;
        if (workingCopy_ != nullptr) {
            workingCopy_->Assign(device);
        } else {
            workingCopy_ = new TDevice(device);
        }
    }
    updating_ = true;
    LoadBasicPage();
    LoadPowerPage();
    LoadCapturePages();
    updating_ = false;
    // Aligns the connector list, rebuilds the capture channel list and runs the dependencies.
    ComboBox_PortsChange();
    FillCaptureChannels(workingCopy_->GetCaptureDestOther());
    ShowPage(page);
}

void TDeviceSetupForm::LoadBasicPage()
{
    TDevice& d = *workingCopy_;
    Edit_Name->setText(d.GetName());
    setWindowTitle(d.GetName() + QStringLiteral(" Setup"));
    iconText_ = d.GetImage().isEmpty() ? GetProgramDataDir() + kDefaultIcon : d.GetImage();
    Edit_Icon_File->setText(iconText_);
    ShowIconPicture(iconText_);
    FillPortLists();
    FillEchoList();
}

void TDeviceSetupForm::FillPortLists()
{
    const QSignalBlocker portsBlocker(ComboBox_Ports);
    const QSignalBlocker connectionBlocker(ComboBox_Connection);
    ComboBox_Ports->clear();
    ComboBox_Connection->clear();
    portList_.clear();
    TPort* own = workingCopy_->GetPort();
    const TPortArray* table = own != nullptr ? &own->GetOwner() : PortArray;
    int selected = -1;
    for (int i = 0; table != nullptr && i < table->Count(); ++i) {
        TPort* port = table->Get(i);
        if (port->GetDevice() != nullptr && port != own) {
            continue;
        }
        if (port == own) {
            selected = static_cast<int>(portList_.size());
        }
        portList_.push_back(port);
        ComboBox_Ports->addItem(port->GetName());
        ComboBox_Connection->addItem(port->GetConnectorName());
    }
    ComboBox_Ports->setCurrentIndex(selected);
    ComboBox_Connection->setCurrentIndex(selected);
}

void TDeviceSetupForm::FillEchoList()
{
    const QSignalBlocker blocker(ComboBox_Echo_Serial);
    ComboBox_Echo_Serial->clear();
    ComboBox_Echo_Serial->addItem(kNoEcho);
    ComboBox_Echo_Serial->addItems(EchoPortNames(Host.DasPort()));
    const int echo = workingCopy_->GetEchoSerial();
    if (echo < 1) {
        ComboBox_Echo_Serial->setCurrentIndex(0);
        return;
    }
    // A port this PC lacks stays stored: the list then shows no choice and saving keeps it.
    ComboBox_Echo_Serial->setCurrentIndex(
        ComboBox_Echo_Serial->findText(QStringLiteral("COM") + QString::number(echo)));
}

void TDeviceSetupForm::LoadPowerPage()
{
    const TDevice& d = *workingCopy_;
    SetNumber(Edit_PowerOnDelay, d.GetPowerOnDelay());
    Cb_PowerOnCmd->setChecked(d.GetPowerOnCmd());
    SetNumber(Edit_PowerOnCmdWait, d.GetPowerOnCmdWait());
    Cb_PowerOffCmd->setChecked(d.GetPowerOffCmd());
    SetNumber(Edit_PowerOffCmdWait, d.GetPowerOffCmdWait());
    collectionRadios_.Check(d.GetCollectionType());
    SetNumber(Edit_PacketPause, d.GetPacketPause());
    SetNumber(Edit_CmdStartDelay, d.GetCmdStartDelay());
    SetNumber(Edit_CmdStopDelay, d.GetCmdStopDelay());

    LoadSwitchValues(d.GetPort());
    const TDevices* owner = d.GetOwner();
    Edit_DataPriority->setRange(1, owner != nullptr ? std::max(owner->Count(), 1) : 1);
    Edit_DataPriority->setValue(editedDevice_->GetDataPriority());
    dataShown_ = Edit_DataPriority->value();
}

void TDeviceSetupForm::LoadSwitchValues(const TPort* port)
{
    switchPort_ = port;
    const TPortArray* table = port != nullptr ? &port->GetOwner() : nullptr;
    SetNumber(Edit_PowerOnDelay, table != nullptr ? table->GetPowerOnDelay(port) : 0);
    const QSignalBlocker blocker(Edit_PowerOnPriority);
    Edit_PowerOnPriority->setRange(1, table != nullptr ? table->GetHighestSwitch() : 1);
    Edit_PowerOnPriority->setValue(table != nullptr ? table->GetPowerOnPriority(port) : 0);
    powerOnShown_ = Edit_PowerOnPriority->value();
}

void TDeviceSetupForm::FollowPortSwitch()
{
    const TPort* port = SelectedPort();
    if (updating_ || port == nullptr || port == switchPort_) {
        return;
    }
    // Another port on the same switch keeps what was typed: it is that switch's value.
    const bool sameSwitch = switchPort_ != nullptr &&
                            &switchPort_->GetOwner() == &port->GetOwner() &&
                            switchPort_->HasPowerSwitch() && port->HasPowerSwitch() &&
                            switchPort_->GetPowerSwitch() == port->GetPowerSwitch();
    if (sameSwitch) {
        switchPort_ = port;
    } else {
        LoadSwitchValues(port);
    }
}

void TDeviceSetupForm::LoadCapturePages()
{
    const TDevice& d = *workingCopy_;
    startRadios_.Check(d.GetStartDataCapture());
    SetNumber(Edit_StartAfterDelay, d.GetStartAfterDelay());
    stopRadios_.Check(d.GetStopDataCapture());
    SetNumber(Edit_StopAfterDelay, d.GetStopAfterDelay());

    Edit_StartPrefix->setText(d.GetStartPrefix());
    Edit_StopSuffix->setText(d.GetStopSuffix());
    Edit_Prefix->setText(d.GetPrefix());
    Edit_Suffix->setText(d.GetSuffix());
    Edit_DateStampInfix->setText(d.GetDateStampInfix());
    Edit_TimeStampInfix->setText(d.GetTimeStampInfix());
    // A stored format outside the list shows the nearest one.
    ComboBox_DateStampFormat->setCurrentIndex(
        std::clamp(d.GetDateStampFormat() - 1, 0, ComboBox_DateStampFormat->count() - 1));

    destinationRadios_.Check(d.GetCaptureDest());
    Edit_CaptureDest->setText(d.GetCaptureDestName());
    Cb_CaptureDestAppend->setChecked(d.GetCaptureDestAppend());
    Edit_MasterDirectory->setText(MasterDirectoryText());

    Cb_DoAveraging->setChecked(d.GetDoAveraging());
    SetNumber(Edit_AvgNumSamples, d.GetAvgNumSamples());
    SetNumber(Edit_AvgPause, d.GetAvgPause());
    // The duration is passed on as an unsigned count.
    Edit_FreqDuration->setText(QString::number(static_cast<uint32_t>(d.GetFreqDuration())));
}

void TDeviceSetupForm::FillCaptureChannels(int selected)
{
    ComboBox_CaptureDestOther->clear();
    ComboBox_CaptureDestOther->addItems(CaptureChannelNames());
    // A stored channel outside 0..255 shows no choice and is kept when saving.
    ComboBox_CaptureDestOther->setCurrentIndex(
        selected >= 0 && selected < ComboBox_CaptureDestOther->count() ? selected : -1);
}

QString TDeviceSetupForm::MasterDirectoryText() const
{
    if (Devices == nullptr || !Devices->GetCaptureToHost()) {
        return QStringLiteral("Current DAS Directory:");
    }
    // Shown as the master directory window shows it: a folder of this system.
    return NativePath(Devices->GetCaptureDir());
}

void TDeviceSetupForm::ShowIconPicture(const QString& path, bool* read)
{
    const QImage picture = DevicePicture(IconPicturePath(path), kLargeDeviceIconPx, read);
    IconImage->setPixmap(QPixmap::fromImage(picture));
}

// --- Pages ---

void TDeviceSetupForm::ShowPage(int page)
{
    page = std::clamp(page, kFirstSetupPage, kLastSetupPage);
    while (PageControl->count() > 0) {
        QWidget* shown = PageControl->widget(0);
        PageControl->removeTab(0);
        shown->setParent(HiddenPages);
    }
    PageControl->addTab(Pages[static_cast<size_t>(page - 1)],
                        QString::fromLatin1(kPageTitles[page - 1]));
    currentPage_ = page;
    UpdateNavigation();
}

void TDeviceSetupForm::UpdateNavigation()
{
    DevSetupBackButton->setEnabled(currentPage_ != kFirstSetupPage);
    DevSetupNextButton->setEnabled(SetupNextEnabled(currentPage_, IsAnalogKind(KindPort())));
}

void TDeviceSetupForm::DevSetupNextButtonClick(QObject* sender)
{
    const bool analog = IsAnalogKind(KindPort());
    ShowPage(sender == DevSetupBackButton ? PreviousSetupPage(currentPage_, analog)
                                          : NextSetupPage(currentPage_, analog));
}

// --- Dependencies ---

void TDeviceSetupForm::UpdateDependencies()
{
    if (updating_ || workingCopy_ == nullptr) {
        return;
    }
    const TPort* port = SelectedPort();
    const bool serial = IsSerialKind(port);
    setWindowTitle(Edit_Name->text() + QStringLiteral(" Setup"));
    if (port != nullptr) {
        Label_Mux->setText(QString::number(port->GetHostChannel()));
    }
    Serial_Settings->setText(
        SerialSettingsText(workingCopy_->GetPortBaud(), workingCopy_->GetPortSettings()));
    Echo_Settings->setText(EchoSettingsText(
        workingCopy_->GetEchoBaud(), workingCopy_->GetEchoSettings(), workingCopy_->GetEchoFlow()));
    const bool echo = ComboBox_Echo_Serial->currentIndex() > 0;
    Echo_Settings->setEnabled(echo);
    Button_Echo_Setup->setEnabled(echo);

    UpdatePowerPage(serial);
    UpdateCapturePage();
    UpdateLabelsAndAnalogPages(port);
    StackBoxes({GroupBox_PowerOn, GroupBox_PowerOff, GroupBox_DataOutput, GroupBox_Priority});
    StackBoxes({GroupBox_StartLabels, GroupBox_DataLabels, GroupBox_EndLabels, GroupBox_DateStamps,
                GroupBox_TimeStamps});
    StackBoxes({GroupBox_Averaging, GroupBox_Frequency});
}

void TDeviceSetupForm::UpdatePowerPage(bool serial)
{
    const bool powerOnCmd = Cb_PowerOnCmd->isChecked();
    Edit_PowerOnCmdWait->setEnabled(powerOnCmd);
    Button_CmdPowerOn->setEnabled(powerOnCmd);
    const bool powerOffCmd = Cb_PowerOffCmd->isChecked();
    Edit_PowerOffCmdWait->setEnabled(powerOffCmd);
    Button_CmdPowerOff->setEnabled(powerOffCmd);
    SetBoxHeight(GroupBox_PowerOn,
                 FullHeight(GroupBox_PowerOn) - (serial ? 0 : kPowerOnCommandRowHeight));
    SetBoxHeight(GroupBox_PowerOff, serial ? FullHeight(GroupBox_PowerOff) : 0);

    Radio_OnDemandData->setVisible(serial);
    Button_CmdGetData->setVisible(serial);
    const bool onDemand = Radio_OnDemandData->isChecked();
    Edit_PacketPause->setEnabled(onDemand || !serial);
    Label_PacketPause->setEnabled(onDemand || !serial);
    Button_CmdGetData->setEnabled(onDemand);
    Edit_Prefix->setEnabled(onDemand);
    const bool startStop = Radio_StartStopData->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(Button_CmdStart), static_cast<QWidget*>(Button_CmdStop),
          static_cast<QWidget*>(Edit_CmdStartDelay), static_cast<QWidget*>(Edit_CmdStopDelay)}) {
        w->setEnabled(startStop);
    }
    for (QLabel* label : StartStopLabels) {
        label->setEnabled(startStop);
    }
    // The "Time between packets:" row stays for devices that are not serial.
    SetBoxHeight(GroupBox_DataOutput, serial
                                          ? FullHeight(GroupBox_DataOutput)
                                          : Radio_AutomaticData->parentWidget()->geometry().top());
}

void TDeviceSetupForm::UpdateCapturePage()
{
    const bool retrieve = Radio_StartAfterRetrieve->isChecked();
    Radio_StartBeforePowerCmd->setEnabled(Cb_PowerOnCmd->isChecked());
    const bool notAutomatic = !Radio_AutomaticData->isChecked();
    Radio_StartBeforeDataCmd->setEnabled(notAutomatic);
    Radio_StartAfterDataCmd->setEnabled(notAutomatic);
    Button_CmdGetSavedData->setEnabled(retrieve);
    const bool startDelay =
        Radio_StartAfterPower->isChecked() || Radio_StartAfterDataCmd->isChecked() || retrieve;
    Edit_StartAfterDelay->setEnabled(startDelay);
    for (QLabel* label : StartAfterDelayLabels) {
        label->setEnabled(startDelay);
    }
    const bool stopData = Radio_StartStopData->isChecked() && !retrieve;
    Radio_StopBeforeDataCmd->setEnabled(stopData);
    Radio_StopAfterDataCmd->setEnabled(stopData);
    const bool stopPower = Cb_PowerOffCmd->isChecked() && !retrieve;
    Radio_StopBeforePowerCmd->setEnabled(stopPower);
    Radio_StopAfterPowerCmd->setEnabled(stopPower);
    Radio_StopBeforePower->setEnabled(!retrieve);
    Radio_StopAfterRetrieve->setEnabled(retrieve);
    if (retrieve) {
        stopRadios_.Check(5);
    } else {
        Radio_StopAfterRetrieve->setChecked(false);
    }
    const bool stopDelay =
        Radio_StopAfterDataCmd->isChecked() || Radio_StopAfterPowerCmd->isChecked() || retrieve;
    Edit_StopAfterDelay->setEnabled(stopDelay);
    for (QLabel* label : StopAfterDelayLabels) {
        label->setEnabled(stopDelay);
    }
}

void TDeviceSetupForm::UpdateLabelsAndAnalogPages(const TPort* port)
{
    SetBoxHeight(GroupBox_DataLabels,
                 Radio_OnDemandData->isChecked() ? FullHeight(GroupBox_DataLabels) : 0);
    Edit_Suffix->setEnabled(IsAnalogKind(port));

    ComboBox_CaptureDestOther->setEnabled(Radio_CaptureOther->isChecked());
    Edit_CaptureDest->setEnabled(Radio_CaptureSeq->isChecked() || Radio_CaptureFile->isChecked());
    Cb_CaptureDestAppend->setEnabled(Radio_CaptureFile->isChecked());

    const bool averaging = Cb_DoAveraging->isChecked();
    Edit_AvgNumSamples->setEnabled(averaging);
    Edit_AvgPause->setEnabled(averaging);
    SetBoxHeight(GroupBox_Averaging, IsAnalogKind(port) ? FullHeight(GroupBox_Averaging) : 0);
    SetBoxHeight(GroupBox_Frequency, IsFrequencyKind(port) ? FullHeight(GroupBox_Frequency) : 0);
}

void TDeviceSetupForm::SetBoxHeight(QGroupBox* box, int height)
{
    box->resize(box->width(), std::max(height, 0));
    box->setVisible(height > 0);
}

void TDeviceSetupForm::StackBoxes(std::initializer_list<QGroupBox*> boxes)
{
    const QGroupBox* previous = nullptr;
    for (QGroupBox* box : boxes) {
        if (previous != nullptr) {
            const int gap = previous->height() > 0 ? 8 : 0;
            box->move(box->x(), previous->y() + previous->height() + gap);
        }
        previous = box;
    }
}

// --- Saving ---

bool TDeviceSetupForm::SaveToDevice()
{
    if (workingCopy_ == nullptr) {
        return false;
    }
    // An icon path typed but not yet left is checked as leaving the field would.
    Edit_Icon_FileExit();
    const QString captureName = Edit_CaptureDest->text();
    if (captureName != workingCopy_->GetCaptureDestName() && !IsSafeRelativePath(captureName)) {
        ShowMessage(QStringLiteral("The capture file name \"") + captureName +
                    QStringLiteral("\" must name a file inside the capture folder: no \"..\", "
                                   "drive or leading \"\\\"."));
        return false;
    }
    TDevice& d = *workingCopy_;
    d.SetImage(Edit_Icon_File->text());
    const TPort* port = KindPort();
    const int echo = ComboBox_Echo_Serial->currentIndex();
    if (echo == 0) {
        d.SetEchoSerial(-1);
    } else if (echo > 0) {
        d.SetEchoSerial(ComPortFromText(ComboBox_Echo_Serial->currentText()));
    }
    SaveCommandsAndTimes(IsSerialKind(port));
    SaveCaptureAndLabels(IsAnalogKind(port));
    return true;
}

void TDeviceSetupForm::SaveCommandsAndTimes(bool serial)
{
    TDevice& d = *workingCopy_;
    if (!serial) {
        Cb_PowerOnCmd->setChecked(false);
    }
    // The power-on delay belongs to the chosen port's switch: Finished writes it there.
    d.SetPowerOnCmd(Cb_PowerOnCmd->isChecked());
    d.SetPowerOnCmdWait(AtLeast(Edit_PowerOnCmdWait, 0));
    if (!serial) {
        Cb_PowerOffCmd->setChecked(false);
    }
    d.SetPowerOffCmd(Cb_PowerOffCmd->isChecked());
    d.SetPowerOffCmdWait(AtLeast(Edit_PowerOffCmdWait, 0));
    if (!serial) {
        collectionRadios_.Check(0);
    }
    if (collectionRadios_.CheckedIndex() >= 0) {
        d.SetCollectionType(static_cast<int8_t>(collectionRadios_.CheckedIndex()));
    }
    d.SetPacketPause(AtLeast(Edit_PacketPause, 0));
    d.SetCmdStartDelay(AtLeast(Edit_CmdStartDelay, 0));
    d.SetCmdStopDelay(AtLeast(Edit_CmdStopDelay, 0));
    // The first checked of the first five, else the last.
    const auto choice = [](const TRadioSet& set) {
        const int index = set.CheckedIndex();
        return static_cast<int8_t>(index >= 0 && index < 5 ? index : 5);
    };
    d.SetStartDataCapture(choice(startRadios_));
    d.SetStartAfterDelay(AtLeast(Edit_StartAfterDelay, 0));
    d.SetStopDataCapture(choice(stopRadios_));
    d.SetStopAfterDelay(AtLeast(Edit_StopAfterDelay, 0));
}

void TDeviceSetupForm::SaveCaptureAndLabels(bool analog)
{
    TDevice& d = *workingCopy_;
    d.SetStartPrefix(Edit_StartPrefix->text());
    d.SetStopSuffix(Edit_StopSuffix->text());
    d.SetPrefix(Edit_Prefix->text());
    d.SetSuffix(Edit_Suffix->text());
    d.SetDateStampInfix(Edit_DateStampInfix->text());
    if (ComboBox_DateStampFormat->currentIndex() >= 0) {
        d.SetDateStampFormat(ComboBox_DateStampFormat->currentIndex() + 1);
    }
    d.SetTimeStampInfix(Edit_TimeStampInfix->text());
    const int dest = destinationRadios_.CheckedIndex();
    d.SetCaptureDest(static_cast<int8_t>(dest >= 0 && dest < 3 ? dest : 3));
    if (ComboBox_CaptureDestOther->currentIndex() >= 0) {
        d.SetCaptureDestOther(ComboBox_CaptureDestOther->currentIndex());
    }
    d.SetCaptureDestName(Edit_CaptureDest->text());
    d.SetCaptureDestAppend(Cb_CaptureDestAppend->isChecked());
    if (!analog) {
        Cb_DoAveraging->setChecked(false);
    }
    d.SetDoAveraging(Cb_DoAveraging->isChecked());
    d.SetAvgNumSamples(AtLeast(Edit_AvgNumSamples, 0));
    d.SetAvgPause(AtLeast(Edit_AvgPause, 0));
    d.SetFreqDuration(AtLeast(Edit_FreqDuration, kLeastFreqDuration));
}

int TDeviceSetupForm::PowerOnDelayTyped() const
{
    return AtLeast(Edit_PowerOnDelay, kLeastPowerOnDelay);
}

bool TDeviceSetupForm::CheckUniqueName()
{
    return ::CheckUniqueName(Devices, Edit_Name->text(), editedDevice_);
}

// --- Finished and Cancel ---

void TDeviceSetupForm::DevSetupDoneButtonClick()
{
    if (workingCopy_ == nullptr || editedDevice_ == nullptr) {
        return;
    }
    const QString name = Edit_Name->text();
    if (name.trimmed().isEmpty()) {
        ShowMessage(QStringLiteral("Please give the device a name."));
        return;
    }
    if (!AcceptDeviceName(Devices, name, editedDevice_) || !SaveToDevice()) {
        return;
    }
    TDevice& device = *editedDevice_;
    const bool newIcon = workingCopy_->GetImage() != device.GetImage();
    // Settings only: data, capture, busy and the poll time stay as the device has them now.
    device.Assign(*workingCopy_);
    device.SetName(name);
    ConfigurationChanged = true;
    DropWorkingCopy();

    TPort* port = SelectedPort();
    if (port != nullptr && port != device.GetPort()) {
        device.SetPort(port);
    }
    device.SetPowerOnDelay(PowerOnDelayTyped());
    // A priority the operator left alone is not applied: the arrows may have clamped it.
    const int powerOn = LeadingInteger(Edit_PowerOnPriority->text(), powerOnShown_);
    if (powerOn != powerOnShown_) {
        device.SetPowerOnPriority(powerOn);
    }
    const int dataPriority = LeadingInteger(Edit_DataPriority->text(), dataShown_);
    if (dataPriority != dataShown_) {
        device.SetDataPriority(dataPriority);
    }
    if (newIcon) {
        device.LoadIcon();
        device.SetBusy(device.IsBusy());
    }
    device.UpdateCaptureFilePath();
    if (TMux* mux = device.GetMux()) {
        if (auto* terminal = dynamic_cast<TTerminalForm*>(mux->GetWindow())) {
            terminal->UpdateDeviceActions();
        }
    }
    device.UpdateListItem();
    done(kModalOk);
}

void TDeviceSetupForm::DevSetupCancelButtonClick()
{
    DropWorkingCopy();
    done(kModalCancel);
}

void TDeviceSetupForm::reject() { DevSetupCancelButtonClick(); }

void TDeviceSetupForm::done(int result)
{
    if (result != kModalOk) {
        DropWorkingCopy();
    }
    QDialog::done(result);
    SaveWindowPlacement(this, kPlacementName);
}

// --- Other handlers ---

QString TDeviceSetupForm::SelectIconFile(const QString& path)
{
    TFileDialogOptions options;
    options.title = QStringLiteral("Select Icon Image for ") + Edit_Name->text();
    options.filter = QStringLiteral("Bitmaps (*.bmp)|*.bmp");
    const QString native = IconPicturePath(path);
    options.folder = QFileInfo(native).absolutePath();
    options.fileName = native;
    return Prompt().OpenFile(options).value_or(path);
}

void TDeviceSetupForm::Button_Icon_FileClick()
{
    Edit_Icon_File->setText(SelectIconFile(Edit_Icon_File->text()));
    Edit_Icon_FileExit();
}

void TDeviceSetupForm::Edit_Icon_FileExit()
{
    const QString text = Edit_Icon_File->text();
    if (text == iconText_) {
        return;
    }
    bool read = false;
    ShowIconPicture(text, &read);
    if (read) {
        iconText_ = text;
        return;
    }
    ShowMessage(QStringLiteral("Invalid Graphic File Selected"));
    Edit_Icon_File->setText(iconText_);
    ShowIconPicture(iconText_);
}
