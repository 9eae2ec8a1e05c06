// Whole-file and script transfers on the transfer channels: channel 250 fetches files from the
// DAS and sends files to it, channel 254 loads scripts. Each transfer queues its blocks on
// SendQueue, ended by a zero-length block, and runs a modal progress window while the data
// timer's service passes move the data and close the window when the transfer is over.

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "platform/WaitMs.h"

namespace {

// Script lines are cut to this many characters before their zero byte.
constexpr int kMaxScriptLineChars = 98;
constexpr double kMsPerDay = 86'400'000.0;
// The windowless progress looks at the idle time this often at most.
constexpr int kQuietIdleCheckMs = 100;

void SendDasCommand(const QString& command)
{
    if (Das != nullptr) {
        Das->SendCommand(command);
    }
}

QString DasModel() { return Das != nullptr ? Das->Model : QString(); }

// The file name part of a PC path ("/" or "\" separators).
QString FileNamePart(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')),
                                     path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

bool Terminating() { return QCoreApplication::closingDown(); }

// The progress of a transfer when no window is made for it: the same modal wait, closed by
// the transfer's end or by its idle time-out, with nothing shown.
class TQuietProgress final : public IProgressView {
public:
    TQuietProgress(TMux& channel, int idleTimeoutMs, int64_t total)
        : channel_(channel), idleTimeoutMs_(idleTimeoutMs), total_(total)
    {
    }
    TQuietProgress(const TQuietProgress&) = delete;
    TQuietProgress& operator=(const TQuietProgress&) = delete;

    void Exec()
    {
        // With neither a time-out nor a total nothing could ever end the wait.
        if (idleTimeoutMs_ <= 0 && total_ < 1) {
            return;
        }
        QTimer idleCheck;
        if (idleTimeoutMs_ > 0) {
            channel_.TouchActivity();
            // Checked here as well, so the wait ends even when no service pass runs.
            QObject::connect(&idleCheck, &QTimer::timeout, [this] { Refresh(); });
            idleCheck.start(std::clamp(idleTimeoutMs_ / 4, 1, kQuietIdleCheckMs));
        }
        if (!closed_) {
            loop_.exec();
        }
    }
    void Refresh() override
    {
        if (idleTimeoutMs_ > 0 &&
            NowDateTime() > channel_.GetLastActivity() + idleTimeoutMs_ / kMsPerDay) {
            CloseView();
        }
    }
    void CloseView() override
    {
        closed_ = true;
        loop_.quit();
    }
    void DestroyView() override { delete this; }

private:
    ~TQuietProgress() = default;

    TMux& channel_;
    const int idleTimeoutMs_;
    const int64_t total_;
    bool closed_ = false;
    QEventLoop loop_;
};

}  // namespace

bool TMux::OpenGetFile(const QString& path)
{
    if (getFile_ != nullptr) {
        ShowMessage(QStringLiteral("File ") + path + QStringLiteral(" is already open."));
        return false;
    }
    std::unique_ptr<IChannelFile> file = OpenChannelFile(NativePath(path), TChannelFileMode::Write);
    if (file == nullptr) {
        ShowMessage(QStringLiteral("Error Opening File ") + path);
        return false;
    }
    // Bytes left from an earlier transfer must not land in this file.
    ring_.Reset();
    Host.Thread().RingChanged();
    SetGetFile(std::move(file));
    return true;
}

bool TMux::OpenSendFile(const QString& path)
{
    if (sendFile_ != nullptr) {
        ShowMessage(QStringLiteral("File ") + path + QStringLiteral(" is already open."));
        return false;
    }
    std::unique_ptr<IChannelFile> file = OpenChannelFile(NativePath(path), TChannelFileMode::Read);
    if (file == nullptr) {
        ShowMessage(QStringLiteral("Error Opening File ") + path);
        return false;
    }
    SetSendFile(std::move(file));
    return true;
}

bool TMux::OpenProgress(const QString& caption, const QString& text, int idleTimeoutMs,
                        int64_t total)
{
    transferTotal_ = total;
    IChannelServices* services = owner_->ChannelServices();
    IProgressView* view =
        services != nullptr ? services->CreateProgress(*this, caption, text, idleTimeoutMs, total)
                            : nullptr;
    if (view != nullptr) {
        SetProgressWindow(view);
        services->ExecProgress(*view);
    } else {
        auto* quiet = new TQuietProgress(*this, idleTimeoutMs, total);
        SetProgressWindow(quiet);
        quiet->Exec();
    }
    return IsComplete();
}

bool TMux::IsComplete() const
{
    const int64_t transferred = GetBytesTransferred();
    return transferTotal_ < 1 ? transferred > 0 : transferred == transferTotal_;
}

// Gives a send whose window has closed a little longer to leave its send state.
void TMux::SettleAfterUpload()
{
    const TTransferTimings& timings = owner_->TransferTimings();
    for (int i = 0; i < timings.settleSteps && GetSendState() != kSendIdle; ++i) {
        WaitMs(timings.settleStepMs);
    }
}

bool TMux::SendScript(const QStringList& lines)
{
    if (progress_ != nullptr) {
        return false;
    }
    // Zeroed before the first block is queued: the link thread counts from then on.
    SetBytesTransferred(0);
    TouchActivity();
    SetSendState(kSendScript);
    SendDasCommand(QStringLiteral("CLEARSCRIPT"));
    int64_t total = 0;
    for (const QString& line : lines) {
        if (Terminating()) {
            break;
        }
        QByteArray block = line.left(kMaxScriptLineChars).toLatin1();
        block.append('\0');
        Host.SendToChannel(channel_, block.constData(), static_cast<uint16_t>(block.size()));
        total += block.size();
    }
    Host.SendToChannel(channel_, nullptr, 0);

    bool complete = OpenProgress(QStringLiteral("Sending Script to ") + DasModel(), QString(),
                                 owner_->TransferTimings().sendIdleMs, total);
    SettleAfterUpload();
    const bool ended = GetSendState() == kSendComplete;
    // A script with no lines is complete once its end block went; a send that finished while
    // the wait went on is complete too.
    complete = complete || IsComplete() || (total < 1 && ended);
    if (!complete || GetGetState() != kGetIdle) {
        Host.ClearChannelData(channel_);
    }
    CloseProgress();
    SetSendState(kSendIdle);
    if (ended) {
        SendDasCommand(QStringLiteral("CHECKSCRIPT"));
    } else if (!complete) {
        ShowMessage(QStringLiteral("Timeout sending script"));
    }
    return complete;
}

bool TMux::SendFile(const QString& pcPath, const QString& dasFolder)
{
    if (progress_ != nullptr) {
        return false;
    }
    // A PC file name may hold what no DAS name can: such a file is not sent at all.
    const QString dasFileName = ToDasFileName(pcPath);
    if (!IsDasCommandName(dasFileName, true)) {
        ShowMessage(NotADasFileNameMessage(dasFileName));
        return false;
    }
    SetBytesTransferred(0);
    TouchActivity();
    if (!OpenSendFile(pcPath)) {
        return false;
    }
    const QString dasName = dasFolder + dasFileName;
    const int64_t total = QFileInfo(NativePath(pcPath)).size();
    SendDasCommand(QStringLiteral("RCVFILE \"") + dasName + QStringLiteral("\""));
    char block[kMaxSegmentBytes];
    while (!Terminating()) {
        // A read failure sends no end block: the send then ends by its idle time-out.
        const int n = sendFile_->Read(block, kMaxSegmentBytes);
        if (n < 0) {
            break;
        }
        Host.SendToChannel(channel_, block, static_cast<uint16_t>(n));
        if (n == 0) {
            break;
        }
    }

    const QString text = QStringLiteral("Sending ") + pcPath + QStringLiteral(" as \"") +
                         dasName + QStringLiteral("\"");
    bool complete = OpenProgress(QStringLiteral("Sending File to ") + DasModel(), text,
                                 owner_->TransferTimings().sendIdleMs, total);
    SettleAfterUpload();
    // The service pass closes the file once the end block went: an empty file is then
    // complete, and so is a send that finished while the wait went on.
    complete = complete || IsComplete() || (total < 1 && sendFile_ == nullptr);
    if (!complete || GetGetState() != kGetIdle) {
        SendDasCommand(QStringLiteral("STOPTRANSFER"));
        Host.ClearChannelData(channel_);
    }
    CloseProgress();
    if (GetSendState() == kSendIdle) {
        return complete;
    }
    CloseSendFile();
    ShowMessage(QStringLiteral("Timeout sending ") + pcPath);
    return false;
}

bool TMux::GetFile(const QString& pcPath, int64_t expectedSize)
{
    // A second modal window on the channel would free the running one under its loop.
    if (progress_ != nullptr) {
        return false;
    }
    SetBytesTransferred(0);
    TouchActivity();
    if (!OpenGetFile(pcPath)) {
        return false;
    }
    SendDasCommand(QStringLiteral("SENDHOSTFILE  \"") + FileNamePart(pcPath) +
                   QStringLiteral("\""));
    const bool complete = OpenProgress(QStringLiteral("Getting File from ") + DasModel(),
                                       QString(), owner_->TransferTimings().fetchIdleMs,
                                       expectedSize);
    if ((!complete && expectedSize > 0) || GetGetState() != kGetIdle) {
        SendDasCommand(QStringLiteral("STOPTRANSFER"));
        Host.ClearChannelData(channel_);
    }
    CloseProgress();
    if (GetGetState() == kGetIdle) {
        // Bytes that arrived faster than service passes took them out of the ring are gone:
        // such a file is reported, never passed off as fetched.
        if (QFileInfo(NativePath(pcPath)).size() != static_cast<int64_t>(GetBytesTransferred())) {
            ReportChannelError("File Get Error on Host Channel# ");
            return false;
        }
        return complete || expectedSize == 0;
    }
    CloseGetFile();
    ShowMessage(QStringLiteral("Timeout receiving ") + pcPath);
    return false;
}

bool THost::SendScript(const QStringList& lines)
{
    TMux* mux = MuxArray != nullptr ? MuxArray->GetChannel(kScriptChannel) : nullptr;
    return mux != nullptr && mux->SendScript(lines);
}

bool THost::SendFile(const QString& pcPath, const QString& dasFolder)
{
    TMux* mux = MuxArray != nullptr ? MuxArray->GetChannel(kFileChannel) : nullptr;
    return mux != nullptr && mux->SendFile(pcPath, dasFolder);
}
