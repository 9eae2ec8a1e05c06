// What the main window's File, View, DAS, Scripts and archive actions do: master directory,
// channel windows, statistics, the DAS clock and power-up requests, sleep, wake, reset,
// the script commands, and recording and playing back link archives.
#include <QApplication>
#include <QPlainTextEdit>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "desktop/Terminal.h"
#include "link/Das.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/Serial.h"
#include "platform/Prompt.h"
#include "platform/WaitMs.h"

namespace {

const QString kResetWarning = QStringLiteral(
    "Warning! This could corrupt the flash if \r\nfiles are currently open, and will \r\ntake "
    "approximately 15 Seconds.  \r\nDo you wish to continue?");

// The UI thread blocks while the break is held: nothing else may touch the DAS meanwhile, and
// no input or timer is taken; only the windows keep painting.
std::function<void(int)>& ResetWait()
{
    static std::function<void(int)> wait;
    return wait;
}

}  // namespace

void TDASDesktopForm::SetResetWait(std::function<void(int)> wait) { ResetWait() = std::move(wait); }

// --- File and View ---

void TDASDesktopForm::SetMasterDirectoryExecute()
{
    if (MasterPath != nullptr) {
        RunModal(*MasterPath);
    }
}

void TDASDesktopForm::SetupCommunicationExecute()
{
    if (HostCommSetupForm != nullptr) {
        RunModal(*HostCommSetupForm);
    }
}

void TDASDesktopForm::SelectAllExecute()
{
    if (Devices != nullptr) {
        Devices->SelectAll();
    }
}

void TDASDesktopForm::DASExplorerExecute()
{
    // The explorer's listing is refreshed by a directory request; its reply fills the window.
    SendToDas(QStringLiteral("DIR"));
    if (DASExplorerForm != nullptr) {
        DASExplorerForm->Form()->show();
        DASExplorerForm->Form()->raise();
    }
}

namespace {

void ShowChannelWindow(uint8_t channel)
{
    if (MuxArray == nullptr) {
        return;
    }
    if (TMux* mux = MuxArray->GetChannel(channel)) {
        mux->ShowWindow();
    }
}

}  // namespace

void TDASDesktopForm::InfoChannelExecute() { ShowChannelWindow(kInfoChannel); }

void TDASDesktopForm::ErrorChannelExecute() { ShowChannelWindow(kErrorChannel); }

void TDASDesktopForm::OtherChannelsExecute()
{
    QString answer = QStringLiteral("-1");
    if (!Prompt().InputQuery(QStringLiteral("New Window"), QStringLiteral("Host Channel Number?"),
                             answer) ||
        MuxArray == nullptr) {
        return;
    }
    bool ok = false;
    int number = answer.trimmed().toInt(&ok);
    if (!ok) {
        number = -1;
    }
    if (number < 0 || number > kCommandChannel) {
        return;
    }
    const auto channel = static_cast<uint8_t>(number);
    const QString name = QStringLiteral("Host Channel ") + QString::number(number);
    TMux* mux = MuxArray->GetChannel(channel);
    if (mux != nullptr && mux->GetWindow() != nullptr) {
        ShowMessage(name + QStringLiteral(" already has a window."));
    } else if (mux != nullptr) {
        mux->SetWindow(new TTerminalForm(mux->GetName(), false));
    } else {
        mux = MuxArray->AddChannel(channel, new TTerminalForm(name, false));
        if (mux != nullptr) {
            mux->SetName(name);
        }
    }
    if (mux != nullptr) {
        mux->ShowWindow();
    }
}

void TDASDesktopForm::ShowDeviceWindowExecute()
{
    for (TDevice* d : SelectedDevices()) {
        if (TMux* mux = d->GetMux()) {
            mux->ShowWindow();
        }
    }
}

void TDASDesktopForm::ShowHostStatisticsExecute()
{
    if (StatisticsForm != nullptr) {
        StatisticsForm->show();
        StatisticsForm->raise();
    }
}

void TDASDesktopForm::ShowDASStatisticsExecute() { SendToDas(QStringLiteral("SENDMUXSTATS")); }

void TDASDesktopForm::DebugExecute()
{
    Memo1->setVisible(!Memo1->isVisible());
    Host.SetDebugMemoVisible(Memo1->isVisible());
}

void TDASDesktopForm::Memo1DblClick() { Memo1->clear(); }

// --- DAS ---

void TDASDesktopForm::Desktop_SendCommandExecute()
{
    if (SendCommandForm != nullptr) {
        SendCommandForm->show();
        SendCommandForm->raise();
    }
}

void TDASDesktopForm::Desktop_SetDASTimeDateExecute()
{
    if (Das == nullptr) {
        return;
    }
    TSetTimeForm::SendDateQuery();
    if (SetTimeForm != nullptr) {
        RunModal(*SetTimeForm);
    }
}

void TDASDesktopForm::Desktop_SetupSysVarsExecute()
{
    if (Das == nullptr) {
        return;
    }
    // The listing on the system variables channel shows the window.
    Das->SendCommand(QStringLiteral("SetConOut Host ") + QString::number(kSysVarChannel));
    Das->PicoDos(QStringLiteral("Set"));
    Das->SendCommandAt(QStringLiteral("SetConOut Serial 0"), kSysVarConOutDelayMs);
}

void TDASDesktopForm::Desktop_DASSleepExecute()
{
    QString answer = QStringLiteral("Indefinite (until Wake command)");
    if (!Prompt().InputQuery(QStringLiteral("Pelagrix Sleep"),
                             QStringLiteral("Sleep Duration (for timed sleep, enter time in "
                                            "seconds):"),
                             answer)) {
        return;
    }
    bool ok = false;
    int seconds = answer.trimmed().toInt(&ok);
    if (!ok) {
        seconds = kIndefiniteSleepSeconds;
    }
    const QString message = seconds < kLongestTimedSleepSeconds
                                ? QStringLiteral("Sleeping for ") + QString::number(seconds) +
                                      QStringLiteral(" seconds.")
                                : QStringLiteral("Sleeping indefinitely.");
    SendToDas(QStringLiteral("Sleep 0"));
    SendToDas(QStringLiteral("Sleep ") + QString::number(seconds));
    ShowMessage(message);
}

void TDASDesktopForm::Desktop_DASWakeExecute()
{
    if (Das != nullptr) {
        Das->Wake();
    }
}

void TDASDesktopForm::Desktop_ResetPelxExecute()
{
    // A break that could corrupt the flash starts only on an explicit Yes.
    if (MessageDlg(QStringLiteral("Warning"), kResetWarning, TMsgButtons::YesNo,
                   TMsgIcon::Warning) != TMsgResult::Yes) {
        return;
    }
    const auto wait = [](int ms) {
        if (ResetWait()) {
            ResetWait()(ms);
        } else {
            // Blocked as the break needs, the windows still painting.
            WaitPaintingOnly(ms);
        }
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The break goes on the port only once the link thread confirmed it is parked.
    const bool parked = Host.Pause();
    if (parked) {
        wait(kResetSettleMs);
        SetDeviceListColor(QColor(0xC0, 0xC0, 0xC0));
        SetDasBreak(DasPortHandle());
        wait(kResetBreakMs);
        ClearDasBreak(DasPortHandle());
        SetDeviceListGrey(grey_);
        Host.Unpause();
    }
    QApplication::restoreOverrideCursor();
    if (!parked) {
        Host.TellNotPaused(QStringLiteral("the DAS was not reset"));
    }
}

// --- Scripts ---

void TDASDesktopForm::Desktop_NewScriptExecute()
{
    if (ScriptEditForms != nullptr) {
        ScriptEditForms->NewScript();
    }
}

void TDASDesktopForm::Desktop_OpenScriptExecute()
{
    if (ScriptEditForms != nullptr) {
        ScriptEditForms->OpenScript();
    }
}

void TDASDesktopForm::Desktop_ScriptWizardExecute()
{
    if (ScriptWizardForm != nullptr) {
        ScriptWizardForm->Window()->show();
        ScriptWizardForm->Window()->raise();
    }
}

void TDASDesktopForm::Desktop_ShowLoadedScriptExecute()
{
    if (MuxArray != nullptr) {
        if (TMux* mux = MuxArray->GetChannel(kScriptChannel)) {
            mux->ClearWindow();
            mux->ShowWindow();
        }
    }
    SendToDas(QStringLiteral("SENDPARSED"));
}

void TDASDesktopForm::Desktop_RunScriptExecute() { SendToDas(QStringLiteral("RUNSCRIPT")); }

void TDASDesktopForm::Desktop_StopScriptExecute() { SendToDas(QStringLiteral("ENDSCRIPT")); }

// --- Archives ---

void TDASDesktopForm::RecordDASArchiveExecute()
{
    if (!DasPortOpen()) {
        return;
    }
    Host.RecordArchive(!Host.Recording());
}

void TDASDesktopForm::PlayDASArchiveExecute()
{
    // A playback would be mixed into the archive being recorded.
    if (Host.Recording()) {
        return;
    }
    if (!Host.Disconnect()) {
        return;
    }
    if (PlayingBack()) {
        Host.PlayArchive(false);
    } else {
        Host.PlayArchive(true);
        if (PlayingBack()) {
            return;
        }
    }
    // No playback runs now: the live link comes back.
    Host.Connect();
}

void TDASDesktopForm::StopDASArchiveExecute()
{
    if (Host.Recording()) {
        Host.RecordArchive(false);
    }
    if (PlayingBack()) {
        Host.PlayArchive(false);
        Host.Connect();
    }
}
