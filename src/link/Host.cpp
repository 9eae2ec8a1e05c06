#include "link/Host.h"

#include <algorithm>

#include "link/Archives.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "link/TimedLines.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/UiPost.h"
#include "platform/WaitMs.h"

THost Host;

namespace {

// How long Disconnect lets posted work run after the thread parked, before closing the port.
constexpr int kDisconnectSettleMs = 100;

ILinkUi& NullLinkUi()
{
    static ILinkUi ui;
    return ui;
}

// The operator's answer as a number: 1 when it is not a number from 1 up to `highest`.
uint32_t AnswerNumber(const QString& answer, uint32_t highest)
{
    bool ok = false;
    const qlonglong value = answer.trimmed().toLongLong(&ok);
    return ok && value >= 1 && static_cast<uint64_t>(value) <= highest
               ? static_cast<uint32_t>(value)
               : 1;
}

}  // namespace

void ILinkUi::RefreshDeviceRow(IChannelDevice& device) { device.RefreshListRow(); }

THost::THost() : archive_(std::make_unique<TArchive>(*this)), thread_(*this) {}

THost::~THost()
{
    thread_.StopThread();
    SetPlaybackSource(nullptr);
}

void THost::SetLinkUi(ILinkUi* ui) { ui_ = ui; }

ILinkUi& THost::LinkUi() const { return ui_ != nullptr ? *ui_ : NullLinkUi(); }

// --- Sending ---

void THost::SendToChannel(uint8_t channel, const void* bytes, uint16_t length)
{
    if (IsUiThread() && MuxArray != nullptr) {
        TMux* mux = MuxArray->GetChannel(channel);
        if (mux != nullptr && mux->HasPCPort()) {
            if (length > 0) {
                mux->WritePcPort(static_cast<const char*>(bytes), length);
            }
            return;
        }
    }
    if (SendQueue != nullptr) {
        SendQueue->Add(channel, bytes, length);
    }
}

int32_t THost::QueueTimedCommand(uint8_t channel, const QByteArray& text, int32_t delayMs)
{
    if (text.isEmpty()) {
        return delayMs;
    }
    if (delayMs == 0) {
        const auto length = static_cast<uint16_t>(std::min<qsizetype>(text.size(), 0xFFFF));
        SendToChannel(channel, text.constData(), length);
        return 0;
    }
    if (TimedQueue != nullptr) {
        TimedQueue->AddTimed(channel, text.constData(), NextTimedSequence(), delayMs,
                             static_cast<uint32_t>(text.size()));
    }
    // The same reading of a wait as the DAS command sender's, held within range: a block's
    // later lines are never due at once for a huge wait.
    const std::optional<int64_t> wait = CommandWaitMs(UpperAscii(QString::fromLatin1(text)));
    return SaturateMs(static_cast<int64_t>(delayMs) + wait.value_or(0));
}

void THost::ClearOutputBuffers()
{
    if (TimedQueue != nullptr) {
        TimedQueue->Clear();
    }
    if (SendQueue != nullptr) {
        SendQueue->Clear();
    }
}

void THost::ClearCommandQueue()
{
    if (TimedQueue != nullptr) {
        TimedQueue->RemoveChannel(kCommandChannel);
    }
}

void THost::RemoveCommand(const QByteArray& text)
{
    if (TimedQueue != nullptr) {
        TimedQueue->RemoveChannelContaining(kCommandChannel, text.constData());
    }
}

void THost::RemovePrefixedCommand(const QByteArray& text)
{
    if (TimedQueue != nullptr) {
        TimedQueue->RemoveMatching(kCommandChannel, "*", text.constData());
    }
}

void THost::ClearChannelData(uint8_t channel)
{
    if (SendQueue != nullptr) {
        SendQueue->RemoveChannel(channel);
    }
}

// --- The link ---

bool THost::OpenPortAsking()
{
    while (!OpenDasPort(dasPort_, false)) {
        QString answer = QString::number(dasPort_);
        if (!Prompt().InputQuery(
                QStringLiteral("Error: Could not open Comm port #") + QString::number(dasPort_),
                QStringLiteral("Please choose another:"), answer)) {
            return false;
        }
        dasPort_ = static_cast<uint16_t>(AnswerNumber(answer, 0xFFFF));
    }
    return true;
}

bool THost::SetBaudAsking()
{
    while (!SetDasBaudRate(dasBaud_)) {
        QString answer = QString::number(dasBaud_);
        if (!Prompt().InputQuery(
                QStringLiteral("Error: Could not set Baud rate to ") + QString::number(dasBaud_),
                QStringLiteral("Please choose another:"), answer)) {
            return false;
        }
        dasBaud_ = AnswerNumber(answer, 0xFFFFFFFFu);
    }
    return true;
}

bool THost::Connect()
{
    if (connecting_) {
        return false;
    }
    connecting_ = true;
    struct TGuard {
        bool& flag;
        ~TGuard() { flag = false; }
    } guard{connecting_};

    // The port is opened anew, so the thread must not be using the old one.
    if (!PauseOrTell(QStringLiteral("the DAS port was not opened again"))) {
        return false;
    }
    reopenLostPort_ = false;
    if (forgetPlayback_) {
        ForgetPlayback();
    }
    if (!OpenPortAsking()) {
        return false;
    }
    if (!SetBaudAsking()) {
        // The link stays closed: the port is not kept from other programs meanwhile.
        CloseDasPort();
        return false;
    }
    ClearCommandQueue();
    ClearChannelData(kFileChannel);
    thread_.ResetLinkForConnect();
    // A disconnect may have stopped the machines in the middle of an exchange: the new link
    // starts idle and listening. The DAS's last accepted sequence stays, so a packet it
    // resends after the reconnect is not delivered twice.
    ResetProtocolMachines();
    thread_.Resume();
    ResetStatistics();
    if (LinkUi().ExplorerVisible()) {
        LinkUi().RefreshExplorer();
    }
    UpdateActions();
    return true;
}

bool THost::Disconnect()
{
    if (disconnecting_) {
        return false;
    }
    disconnecting_ = true;
    struct TGuard {
        bool& flag;
        ~TGuard() { flag = false; }
    } guard{disconnecting_};

    // Closing a port the thread still uses would hand its number to the next file opened.
    if (!PauseOrTell(QStringLiteral("it stays connected"))) {
        return false;
    }
    reopenLostPort_ = false;
    WaitMs(kDisconnectSettleMs);
    CloseDasPort();
    UpdateActions();
    return true;
}

void THost::DasPortLineLost()
{
    // A disconnect, a connect or a port change may have come first.
    if (!DasPortLost()) {
        return;
    }
    reopenLostPort_ = true;
    // Closed at once: a device that comes back may only get its name again once nothing
    // holds the old one. A thread slow to park runs on with the lost port, whose every use
    // fails at once without touching it, and the watchdog's status updates close it first
    // thing when they try to open it again.
    if (CloseLostPort()) {
        UpdateActions();
    }
}

bool THost::CloseLostPort()
{
    if (!thread_.Pause()) {
        return false;
    }
    CloseDasPort();
    thread_.Unpause();
    return true;
}

void THost::DasPortOpenFailed()
{
    reopenLostPort_ = true;
    thread_.Unpause();
    // Shown at once, not only when the watchdog has counted the silence out.
    LinkUi().SetDeviceListGrey(true);
    LinkUi().ShowToolMessage(QStringLiteral("Disconnected"));
}

void THost::ReopenLostPort()
{
    // Another port was opened meanwhile (a port change): that one is the DAS port now.
    if (DasPortOpen() && !DasPortLost()) {
        reopenLostPort_ = false;
        return;
    }
    if (DasPortLost() && !CloseLostPort()) {
        return;
    }
    TCommHandle fresh;
    if (!OpenDasHandle(fresh, dasPort_, false) || !fresh.Port()->SetBaudRate(dasBaud_)) {
        return;
    }
    // A thread slow to park runs on, and the next status update tries again.
    if (!thread_.Pause()) {
        return;
    }
    InstallDasPort(std::move(fresh));
    // Nothing queued is dropped, nor the block in flight: the link carries on where it stood.
    ResetProtocolMachines();
    reopenLostPort_ = false;
    thread_.Unpause();
}

bool THost::Pause() { return thread_.Pause(); }

bool THost::PauseOrTell(const QString& notDone)
{
    if (thread_.Pause()) {
        return true;
    }
    TellNotPaused(notDone);
    return false;
}

void THost::TellNotPaused(const QString& notDone)
{
    ShowMessage(QStringLiteral("The link could not be paused; ") + notDone + QLatin1Char('.'));
}

void THost::Unpause() { thread_.Unpause(); }

void THost::StopThread()
{
    thread_.StopThread();
    // The link has ended: a block still in flight belongs to no later connect, nor does the
    // DAS's last sequence number.
    thread_.Link().Reset();
    ResetProtocolEngine();
}

bool THost::WriteRaw(const uint8_t* bytes, uint32_t count) { return WriteDasPort(bytes, count); }

void THost::DispatchDataPacket(const DataPacket& packet)
{
    lastSequence_.store(packet.sequence, std::memory_order_relaxed);
    ForEachSegment(packet, [this](uint8_t channel, const uint8_t* data, uint32_t count) {
        bytesReceived_.fetch_add(count, std::memory_order_relaxed);
        if (MuxArray == nullptr) {
            return;
        }
        const auto* bytes = reinterpret_cast<const char*>(data);
        bool delivered = false;
        if (TChannelHold mux = MuxArray->HoldChannel(channel)) {
            mux->PutData(bytes, static_cast<int>(count));
            delivered = true;
        }
        // One channel is held at a time: the first hold has ended here.
        if (!delivered) {
            if (TChannelHold info = MuxArray->HoldChannel(kInfoChannel)) {
                info->PutData(bytes, static_cast<int>(count), channel);
            }
        }
    });
}

void THost::ArchivePacket(const DataPacket& packet)
{
    if (IArchiveRecorder* recorder = recorder_.load()) {
        recorder->ArchivePacket(packet);
    }
}

void THost::ResetStatistics()
{
    ResetLinkCounters();
    bytesReceived_ = 0;
    lastSequence_ = 0;
}

// --- Status ---

void THost::UpdateActions()
{
    const bool playing = PlayingBack();
    const bool recording = Recording();
    if (playing) {
        LinkUi().SetArchiveActions(false, true, true, true);
    } else if (recording) {
        LinkUi().SetArchiveActions(false, true, false, true);
    } else {
        LinkUi().SetArchiveActions(true, false, false, false);
    }
    UpdateStatus();
}

void THost::UpdateStatus()
{
    ILinkUi& ui = LinkUi();
    if (thread_.LinkLost()) {
        if (!ui.DeviceListGrey()) {
            ui.SetDeviceListGrey(true);
            ui.ShowToolMessage(QStringLiteral("Disconnected"));
        }
        // The link thread writes the poll itself: it is the port's only writer.
        if (ForceComm() && DasPortOpen()) {
            thread_.RequestForcedPoll();
        }
        if (reopenLostPort_) {
            ReopenLostPort();
        }
        return;
    }
    ui.SetDeviceListGrey(false);
    if (Recording()) {
        ui.ShowToolMessage(QStringLiteral("Recording Archive"));
    } else if (PlayingBack()) {
        ui.ShowToolMessage(QStringLiteral("Playing Archive"));
    } else {
        ui.ShowToolMessage(QStringLiteral("Connected to DAS"));
    }
}

// --- Settings ---

int THost::GetProtocol() const { return ::GetProtocol(); }

void THost::SetProtocol(int protocol) { ::SetProtocol(protocol); }

void THost::SetWriteVersion(float version)
{
    writeVersion_ = version;
    SetRegistryWriteVersion(version);
}

void THost::SetReadVersion(float version)
{
    readVersion_ = version;
    SetRegistryReadVersion(version);
}
