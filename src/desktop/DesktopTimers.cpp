// The main window's data and status timers, the status interval, the status request switch
// and the file sequence number.
#include <QAction>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Das.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"

namespace {

const QString kStatusOffQuestion = QStringLiteral(
    "Turning off status updates will disable display of the DAS's\r\ntemperature & voltage, "
    "and will stop device status updates.\r\nIs this what you want?");

// The answer of an input box as a number, or nothing when it is not one.
std::optional<int> AnswerNumber(const QString& answer)
{
    bool ok = false;
    const int value = answer.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// True when a queued command sequence is about to start: at least two commands wait and the
// first is due within `intervalMs` (or overdue).
bool SequenceDue(const TDataList& queue, uint32_t now, int intervalMs)
{
    const TQueueHead head = queue.Head();
    return head.count >= 2 && QueueTimeDiff(head.firstTime, now) <= intervalMs;
}

}  // namespace

void TDASDesktopForm::Timer_DataTimer()
{
    const double now = NowDateTime();
    if (Devices != nullptr) {
        Devices->PollAll(now);
    }
    if (MuxArray != nullptr) {
        MuxArray->Service(now);
    }
    // A playback that reached the end of its archive hands the link back to the DAS.
    Host.EndFinishedPlayback();
}

void TDASDesktopForm::Timer_StatTimer()
{
    const uint32_t now = QueueClockNow();
    const bool explorerBusy = DASExplorerForm != nullptr && DASExplorerForm->Busy();
    if (RequestStatus() && !explorerBusy) {
        if (TimedQueue != nullptr && SequenceDue(*TimedQueue, now, GetStatusInterval())) {
            RefreshActivityIcons();
        } else if (Das != nullptr) {
            Das->SendCommand(kStatusRequestCommand);
        }
        return;
    }
    RefreshActivityIcons();
}

void TDASDesktopForm::SetStatusInterval(int ms)
{
    // An interval of 0 would make the timer fire on every pass of the event loop.
    Timer_Stat->setInterval(std::max(ms, kMinStatusIntervalMs));
}

int TDASDesktopForm::GetStatusInterval() const { return Timer_Stat->interval(); }

bool TDASDesktopForm::RequestStatus() const { return Desktop_RequestStatusPackets->isChecked(); }

void TDASDesktopForm::Desktop_SetStatusUpdateRateExecute()
{
    QString answer = QString::number(GetStatusInterval());
    if (!Prompt().InputQuery(QStringLiteral("Change Status Period"),
                             QStringLiteral("Enter Millseconds between status updates (100 "
                                            "minimum)"),
                             answer)) {
        return;
    }
    const std::optional<int> value = AnswerNumber(answer);
    SetStatusInterval(value.value_or(GetStatusInterval()));
}

void TDASDesktopForm::Desktop_RequestStatusPacketsExecute()
{
    if (RequestStatus() &&
        MessageDlg(QStringLiteral("Warning"), kStatusOffQuestion, TMsgButtons::YesNo,
                   TMsgIcon::Warning) != TMsgResult::Yes) {
        return;
    }
    Desktop_RequestStatusPackets->setChecked(!RequestStatus());
    ParseStatusLine(std::nullopt);
    Timer_StatTimer();
}

void TDASDesktopForm::SetSeqNum(int n)
{
    seqNum_ = std::abs(n % kSeqNumModulus);
    panels_[0]->setText(QStringLiteral("Seq#") + QString::number(seqNum_));
    // The first show sets the number before the device list exists.
    if (Devices != nullptr) {
        for (int i = 0; i < Devices->Count(); ++i) {
            Devices->Items(i)->UpdateCaptureFilePath();
        }
    }
    if (Das != nullptr) {
        Das->ResetSeqNum(seqNum_);
    }
}

void TDASDesktopForm::NextSeqNum() { SetSeqNum(seqNum_ + 1); }

void TDASDesktopForm::Desktop_SetSeqNumExecute()
{
    QString answer = QString::number(seqNum_);
    if (!Prompt().InputQuery(QStringLiteral("Set File Sequence Number"),
                             QStringLiteral("Enter new file sequence number (0 to 999)"),
                             answer)) {
        return;
    }
    const int value = AnswerNumber(answer).value_or(seqNum_);
    SetSeqNum(std::clamp(value, 0, kSeqNumModulus - 1));
}
