// The device setup wizard's handlers of the port lists and the buttons that open other
// windows: the serial and echo settings dialogs, the command block editor, the master folder
// and the instrument files.
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include "desktop/Commsetup.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Devicesetup.h"
#include "desktop/Editcommand.h"
#include "desktop/Forms.h"
#include "desktop/ModalResult.h"
#include "link/Global.h"
#include "platform/Prompt.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSetupRules.h"
#include "station/InstrumentFiles.h"
#include "station/PortClasses.h"

void TDeviceSetupForm::ComboBox_PortsChange()
{
    {
        const QSignalBlocker blocker(ComboBox_Connection);
        ComboBox_Connection->setCurrentIndex(ComboBox_Ports->currentIndex());
    }
    FollowPortSwitch();
    UpdateDependencies();
    FillCaptureChannels(ComboBox_CaptureDestOther->currentIndex());
    UpdateNavigation();
}

void TDeviceSetupForm::ComboBox_ConnectionChange()
{
    {
        const QSignalBlocker blocker(ComboBox_Ports);
        ComboBox_Ports->setCurrentIndex(ComboBox_Connection->currentIndex());
    }
    FollowPortSwitch();
    UpdateDependencies();
    UpdateNavigation();
}

void TDeviceSetupForm::Button_Serial_SetupClick()
{
    if (CommSetupForm == nullptr || workingCopy_ == nullptr) {
        return;
    }
    CommSetupForm->SetSettingsNoFlow(workingCopy_->GetPortBaud(), workingCopy_->GetPortSettings());
    TDASDesktopForm::RunModal(*CommSetupForm);
    int baud = 0;
    QString settings;
    CommSetupForm->GetSettingsNoFlow(baud, settings);
    workingCopy_->SetPortBaud(baud);
    workingCopy_->SetPortSettings(settings);
    UpdateDependencies();
}

void TDeviceSetupForm::Button_Echo_SetupClick()
{
    if (CommSetupForm == nullptr || workingCopy_ == nullptr) {
        return;
    }
    CommSetupForm->SetSettings(workingCopy_->GetEchoBaud(), workingCopy_->GetEchoSettings(),
                               workingCopy_->GetEchoFlow());
    TDASDesktopForm::RunModal(*CommSetupForm);
    int baud = 0;
    QString settings;
    int flow = 0;
    CommSetupForm->GetSettings(baud, settings, flow);
    workingCopy_->SetEchoBaud(baud);
    workingCopy_->SetEchoSettings(settings);
    workingCopy_->SetEchoFlow(static_cast<int8_t>(flow));
    UpdateDependencies();
}

void TDeviceSetupForm::UpDown_PowerOnPriorityClick() { UpdateDependencies(); }

void TDeviceSetupForm::EditCommands(const QStringList& (TDevice::*get)() const,
                                    void (TDevice::*set)(const QStringList&))
{
    if (EditCommandForm == nullptr || workingCopy_ == nullptr) {
        return;
    }
    EditCommandForm->SetCommands((workingCopy_->*get)());
    TDASDesktopForm::RunModal(*EditCommandForm);
    (workingCopy_->*set)(EditCommandForm->Commands());
}

void TDeviceSetupForm::Button_CmdPowerOnClick()
{
    EditCommands(&TDevice::GetCmdPowerOn, &TDevice::SetCmdPowerOn);
}

void TDeviceSetupForm::Button_CmdPowerOffClick()
{
    EditCommands(&TDevice::GetCmdPowerOff, &TDevice::SetCmdPowerOff);
}

void TDeviceSetupForm::Button_CmdGetDataClick()
{
    EditCommands(&TDevice::GetCmdGetData, &TDevice::SetCmdGetData);
}

void TDeviceSetupForm::Button_CmdStartClick()
{
    EditCommands(&TDevice::GetCmdStart, &TDevice::SetCmdStart);
}

void TDeviceSetupForm::Button_CmdStopClick()
{
    EditCommands(&TDevice::GetCmdStop, &TDevice::SetCmdStop);
}

void TDeviceSetupForm::Button_CmdGetSavedDataClick()
{
    EditCommands(&TDevice::GetCmdGetSavedData, &TDevice::SetCmdGetSavedData);
}

void TDeviceSetupForm::Btn_ChangeMasterDirClick()
{
    if (MasterPath != nullptr) {
        TDASDesktopForm::RunModal(*MasterPath);
    }
    Edit_MasterDirectory->setText(MasterDirectoryText());
}

// --- Instrument files ---

void TDeviceSetupForm::ExportSettingsButtonClick()
{
    if (workingCopy_ == nullptr || !SaveToDevice()) {
        return;
    }
    TFileDialogOptions options = InstrumentDialogOptions(
        QStringLiteral("Export Instrument Configuration File"), Edit_Name->text());
    options.defaultExt = QStringLiteral("ins");
    const std::optional<QString> file = Prompt().SaveFile(options);
    if (!file) {
        return;
    }
    if (QFileInfo::exists(*file) &&
        MessageDlg(QStringLiteral("Confirm"), QStringLiteral("File Exists. OverWrite?"),
                   TMsgButtons::YesNo, TMsgIcon::Question) != TMsgResult::Yes) {
        return;
    }
    // An export applies the delay to the chosen port's switch at once: it outlives Cancel.
    const int delay = PowerOnDelayTyped();
    if (TPort* port = SelectedPort(); port != nullptr) {
        port->GetOwner().SetPowerOnDelay(port, delay);
    }
    ExportInstrument(*workingCopy_, *file, delay);
}

void TDeviceSetupForm::ImportSettingsButtonClick()
{
    if (workingCopy_ == nullptr) {
        return;
    }
    const std::optional<QString> file = Prompt().OpenFile(
        InstrumentDialogOptions(QStringLiteral("Open Instrument Configuration File"), QString()));
    if (!file) {
        return;
    }
    if (!IsInstrumentFile(*file)) {
        ShowMessage(QStringLiteral("Invalid Instrument Configuration file selected."));
        return;
    }
    ImportInstrument(*workingCopy_, editedDevice_, *file);
    LoadFromDevice(*workingCopy_, kFirstSetupPage);
    // Finished then sees the icon field's path as new and shows that picture.
    workingCopy_->SetImage(QString());
    UpdateDependencies();
}
