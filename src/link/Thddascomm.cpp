#include "link/Thddascomm.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/UiPost.h"

namespace {

// A parked thread looks again this often even without being woken.
constexpr std::chrono::milliseconds kParkedSlice{60};
// How long Pause waits for the thread to confirm that it is parked.
constexpr std::chrono::milliseconds kPauseConfirm{1000};
// A pass with nothing to read from (port closed, no playback) sleeps this long.
constexpr std::chrono::milliseconds kNoSourcePass{20};
// A packet the DAS has begun is left to arrive before the next read when at least this many
// of its bytes are still to come; for fewer the read's own wait for the next byte is as cheap.
constexpr uint32_t kAwaitedBytesMin = 2;
// Playback waits in slices of at most this long; a wait this long or longer is skipped.
constexpr int64_t kPlaybackSliceMs = 50;
constexpr int64_t kPlaybackSkipMs = 32768;
// A segment for a channel that does not exist goes to the info channel after "[n]".
constexpr uint32_t kTagBytes = 5;

bool TravelsAlone(uint8_t channel) { return channel == kFileChannel || channel == kCommandChannel; }

// A timed block of the command channel that begins with "*" is a host-side command, run here
// and never sent. Text for an instrument may begin with "*" too ("*IDN?"): it goes out.
bool IsHostCommandBlock(uint8_t channel, const uint8_t* bytes, uint32_t unread)
{
    return channel == kCommandChannel && unread > 1 && bytes[0] == '*';
}

bool ChannelExists(uint8_t channel)
{
    return MuxArray != nullptr && static_cast<bool>(MuxArray->HoldChannel(channel));
}

// The bytes one dispatch puts into one channel's ring.
struct TRingNeed {
    uint8_t channel = 0;
    uint32_t bytes = 0;
};

// What dispatching the packet puts into each ring; returns the number of rings.
int RingNeeds(const DataPacket& packet, std::array<TRingNeed, 4>& needs)
{
    int rings = 0;
    ForEachSegment(packet, [&needs, &rings](uint8_t channel, const uint8_t*, uint32_t count) {
        if (!ChannelExists(channel)) {
            channel = kInfoChannel;
            count += kTagBytes;
        }
        int r = 0;
        while (r < rings && needs[r].channel != channel) {
            ++r;
        }
        if (r == rings) {
            needs[rings++] = {channel, 0};
        }
        needs[r].bytes += count;
    });
    return rings;
}

}  // namespace

TThdDASComm::TThdDASComm(THost& host)
    : host_(host), ticksPerMs_(static_cast<double>(kPerfFrequency) * 0.001)
{
}

TThdDASComm::~TThdDASComm() { StopThread(); }

void TThdDASComm::Resume()
{
    if (started_.exchange(true)) {
        Unpause();
        return;
    }
    paused_ = false;
    thread_ = std::thread([this] { Execute(); });
}

bool TThdDASComm::Running() const { return started_.load() && !finished_.load(); }

bool TThdDASComm::Pause()
{
    std::unique_lock lock(parkLock_);
    paused_ = true;
    if (!Running()) {
        return true;
    }
    // A thread waiting for ring room or for a playback packet's time stops waiting at once.
    parkChanged_.notify_all();
    if (parkChanged_.wait_for(lock, kPauseConfirm,
                              [this] { return parked_.load() || finished_.load(); })) {
        return true;
    }
    // Still in a long pass (a long write at a low baud rate, a long post-transmit pause). The
    // request is taken back under the lock the thread parks under, so it never parks for it
    // later, unseen, with its port open: the link runs on as it was.
    paused_ = false;
    return false;
}

void TThdDASComm::Unpause()
{
    {
        std::lock_guard lock(parkLock_);
        paused_ = false;
    }
    parkChanged_.notify_all();
}

void TThdDASComm::StopThread()
{
    {
        std::lock_guard lock(parkLock_);
        terminate_ = true;
    }
    parkChanged_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    // Joined: a later Resume starts the thread afresh (a new station after a shutdown of the
    // old one, as tests do).
    std::lock_guard lock(parkLock_);
    terminate_ = false;
    finished_ = false;
    parked_ = false;
    started_ = false;
}

int64_t TThdDASComm::CpuTimeNs() const
{
    const int64_t clock = threadCpuClock_.load();
    if (clock == 0) {
        return 0;
    }
    timespec ts{};
    if (clock_gettime(static_cast<clockid_t>(clock), &ts) != 0) {
        return 0;
    }
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void TThdDASComm::RingChanged()
{
    {
        std::lock_guard lock(parkLock_);
        ++ringChanges_;
    }
    parkChanged_.notify_all();
}

bool TThdDASComm::ParkWhilePaused()
{
    std::unique_lock lock(parkLock_);
    if (!paused_.load() || terminate_.load()) {
        return !terminate_.load();
    }
    parked_ = true;
    parkChanged_.notify_all();
    while (paused_.load() && !terminate_.load()) {
        parkChanged_.wait_for(lock, kParkedSlice,
                              [this] { return !paused_.load() || terminate_.load(); });
    }
    parked_ = false;
    return !terminate_.load();
}

void TThdDASComm::Nap(std::chrono::nanoseconds time)
{
    std::unique_lock lock(parkLock_);
    parkChanged_.wait_for(lock, time, [this] { return paused_.load() || terminate_.load(); });
}

bool TThdDASComm::HasDataSource() const
{
    return (DasPortOpen() && !DasPortLost()) || (PlayingBack() && PlaybackFileOpen());
}

void TThdDASComm::Execute()
{
    clockid_t cpuClock{};
    if (pthread_getcpuclockid(pthread_self(), &cpuClock) == 0) {
        threadCpuClock_ = static_cast<int64_t>(cpuClock);
    }
    while (ParkWhilePaused()) {
        const int64_t before = PerfCounter();
        BuildSendPacket();
        buildTicks_.store(PerfCounter() - before, std::memory_order_relaxed);
        if (Ending()) {
            break;
        }
        if (AwaitRestOfPacket()) {
            // A pause or the end was asked for meanwhile: it comes before the step.
            continue;
        }
        ServiceLink();
        // A port whose line hung up is handed to the UI thread once, to close and open again.
        const bool lost = DasPortLost();
        if (lost && !portLostPosted_) {
            PostToUi([] { Host.DasPortLineLost(); });
        }
        portLostPosted_ = lost;
        if (!HasDataSource()) {
            // Nothing waits on a read to pace the loop.
            Nap(kNoSourcePass);
        }
    }
    threadCpuClock_ = 0;
    {
        std::lock_guard lock(parkLock_);
        finished_ = true;
    }
    parkChanged_.notify_all();
}

// A packet on its way cannot arrive faster than the line carries it, and reading it as it
// trickles in costs a wake for every byte or two. So before a step that only listens, the rest
// of a packet the DAS has begun is given the time its missing bytes take on the wire, never
// more than a read would wait for a first byte. A whole packet is never held up: it has no
// bytes missing. A playback reads a file and never waits here.
bool TThdDASComm::AwaitRestOfPacket()
{
    if (PlayingBack() || PlaybackFileOpen() || !DasPortOpen() || DasPortLost() ||
        !NextStepOnlyListens(link_)) {
        return false;
    }
    const uint32_t missing = PacketBytesMissing();
    const int64_t characterNs = DasCharacterTimeNs();
    if (missing < kAwaitedBytesMin || characterNs <= 0) {
        return false;
    }
    const std::chrono::nanoseconds onTheWire(characterNs * missing);
    Nap(std::min<std::chrono::nanoseconds>(onTheWire, kDasReadWait));
    return paused_.load() || Ending();
}

void TThdDASComm::ServiceLink()
{
    const int64_t before = PerfCounter();
    const uint16_t state = StepProtocol(link_);
    // Listening after a NAKd is as idle as listening in state 1: a lost link is polled there
    // too, or it would never come back by itself.
    const bool listening = state == kStateIdle || state == kStateNakdListen;
    if (listening && forcePoll_.load() && DasPortOpen() && !PlayingBack() &&
        forcePoll_.exchange(false)) {
        SendAckPacket(kNak, 0);
        TraceSentControl(kNak, 0);
    }
    Watchdog(state);
    const int64_t stepped = PerfCounter();
    stepTicks_.store(stepped - before, std::memory_order_relaxed);

    const DataPacket* received = link_.receivedPacket.load();
    if (received == nullptr) {
        return;
    }
    MarkPacketTime(*received);
    WaitForPacketTime(*received);
    WaitForRingSpace(*received);
    host_.DispatchDataPacket(*received);
    host_.ArchivePacket(*received);
    link_.receivedPacket = nullptr;
    dispatchTicks_.store(PerfCounter() - stepped, std::memory_order_relaxed);
}

void TThdDASComm::Watchdog(uint16_t state)
{
    // Listening after a NAKd with nothing arriving is as silent as listening idle: a DAS that
    // goes quiet there must count as lost too. A pass that read part of a packet is not
    // silent: on a slow line a packet takes many reads to arrive.
    const uint32_t heard = ReceivedByteCount();
    const bool bytesArrived = heard != bytesHeard_;
    bytesHeard_ = heard;
    const bool silent = !bytesArrived &&
                        ((state == kStateIdle && previousState_ == kStateIdle) ||
                         (state == kStateNakdListen && previousState_ == kStateNakdListen));
    if (silent) {
        if (++silentPasses_ >= kSilentPassesLost) {
            linkLost_ = true;
            PostToUi([] { Host.UpdateStatus(); });
            silentPasses_ = kSilentPassesRepeat;
        }
    } else {
        silentPasses_ = 0;
        if (linkLost_.exchange(false)) {
            forcePoll_ = false;
            PostToUi([] { Host.UpdateStatus(); });
        }
    }
    previousState_ = state;
}

void TThdDASComm::BuildSendPacket()
{
    const uint32_t now = QueueClockNow();
    TDataList* timed = TimedQueue;
    TDataList* plain = SendQueue;
    if (link_.pendingPacket.load() != nullptr || timed == nullptr || plain == nullptr) {
        return;
    }
    if (timed->Count() == 0 && plain->Count() == 0) {
        return;
    }
    const bool fromTimed = timed->Count() > 0 && QueueTimeDiff(now, timed->FirstTime()) >= 0;
    if (!fromTimed && plain->Count() == 0) {
        return;
    }
    DataPacket& packet = TransmitPacket();
    packet.lineFeed = kPacketStart;
    packet.type = kDataPacketType;
    std::memset(packet.channel, 0, sizeof packet.channel);
    std::memset(packet.count, 0, sizeof packet.count);
    if (FillSegments(packet, fromTimed, now)) {
        pendingFromTimed_ = fromTimed;
        link_.pendingPacket = &packet;
    }
}

// Fills up to four segments from one queue; false when no packet is to be sent this pass.
bool TThdDASComm::ForwardedToPcPort(uint8_t channel, const uint8_t* bytes, uint32_t length)
{
    if (MuxArray == nullptr || length == 0) {
        return false;
    }
    TChannelHold held = MuxArray->HoldChannel(channel);
    return held && held->ForwardToPcPort(reinterpret_cast<const char*>(bytes),
                                         static_cast<int>(length));
}

bool TThdDASComm::FillSegments(DataPacket& packet, bool fromTimed, uint32_t now)
{
    TDataList& queue = fromTimed ? *TimedQueue : *SendQueue;
    uint32_t used = 0;
    int segments = 0;
    while (segments < 4) {
        if (segments > 0) {
            if (queue.Count() == 0 || queue.TotalBytes() == 0 || used >= kMaxPayload) {
                break;
            }
            // A later timed block rides along only when it is due as well.
            if (fromTimed && QueueTimeDiff(now, queue.FirstTime()) < 0) {
                break;
            }
            // An end-of-transfer block (no bytes) starts a packet of its own: after other
            // segments its zero count would read as "no further segments" and the end of the
            // transfer would be lost.
            if (TravelsAlone(queue.FirstChannel()) || queue.FirstUnread() == 0) {
                break;
            }
        }
        // A host-side command block travels alone (the command channel always does) and is
        // taken whole, however long: no part of it is ever sent as text.
        if (fromTimed && segments == 0 && ChannelExists(kCommandChannel) &&
            queue.TakeHeadIf(IsHostCommandBlock, commandBlock_)) {
            host_.PostHostCommands(commandBlock_.data() + 1,
                                   static_cast<uint32_t>(commandBlock_.size() - 1));
            return false;
        }
        uint32_t length = std::min<uint32_t>(kMaxPayload - used, queue.TotalBytes());
        TListInfo info;
        uint8_t* segment = packet.data + used;
        if (!queue.Read(segment, length, info, false)) {
            break;
        }
        if (fromTimed && ForwardedToPcPort(info.channel, segment, length)) {
            // Timed text for an instrument wired to the PC goes to its port, not to the DAS.
            break;
        }
        packet.channel[segments] = info.channel;
        packet.count[segments] = static_cast<uint8_t>(length);
        SetPacketTimeLsbFirst(packet, info.time);
        if (MuxArray != nullptr) {
            if (TChannelHold channel = MuxArray->HoldChannel(info.channel)) {
                channel->OnBlockSent(length);
            }
        }
        used += length;
        ++segments;
        if (length == 0 || TravelsAlone(info.channel)) {
            break;
        }
    }
    return segments > 0;
}

void TThdDASComm::ResetLinkForConnect()
{
    DataPacket* pending = link_.pendingPacket.load();
    const uint8_t sequence = link_.sendSequence.load();
    link_.Reset();
    // A block taken off the queues but not yet acknowledged is sent again, under the number
    // it went with, so a DAS that had it already knows the copy. Only what Connect empties on
    // purpose goes: file data and timed command lines, which travel alone.
    if (pending == nullptr) {
        return;
    }
    const uint8_t channel = pending->channel[0];
    if (channel == kFileChannel || (pendingFromTimed_ && channel == kCommandChannel)) {
        return;
    }
    link_.sendSequence = sequence;
    link_.pendingPacket = pending;
}

void TThdDASComm::MarkPacketTime(const DataPacket& packet)
{
    std::lock_guard lock(clockLock_);
    markReading_ = PerfCounter();
    markedTime_ = PacketTimeMsbFirst(packet);
}

uint32_t TThdDASComm::CurrentPacketTime() const
{
    std::lock_guard lock(clockLock_);
    const auto elapsed = static_cast<int64_t>((PerfCounter() - markReading_) / ticksPerMs_);
    return markedTime_ + static_cast<uint32_t>(elapsed);
}

void TThdDASComm::ResetClock()
{
    std::lock_guard lock(clockLock_);
    startReading_ = PerfCounter();
    basePacketTime_ = 0;
}

void TThdDASComm::WaitForPacketTime(const DataPacket& packet)
{
    const uint32_t t = PacketTimeMsbFirst(packet);
    if (host_.DebugMemoVisible()) {
        PostToUi([t] { Host.LinkUi().AppendDebugMemo(QString::number(t)); });
    }
    double offset = 0;
    {
        std::lock_guard lock(clockLock_);
        if (basePacketTime_ == 0) {
            basePacketTime_ = t;
            offsetMs_ = static_cast<double>(startReading_) / ticksPerMs_ - t;
        }
        offset = offsetMs_;
    }
    while (PlayingBack() && PlaybackFileOpen() && !Ending() && !paused_.load()) {
        const double due = t + offset;
        const double nowMs = static_cast<double>(PerfCounter()) / ticksPerMs_;
        const auto wait = host_.RealTimePlayback() ? static_cast<int64_t>(due - nowMs) : 0;
        if (wait < 1) {
            break;
        }
        if (wait >= kPlaybackSkipMs) {
            // Skip the gap, and keep the recorded spacing of the packets after it.
            std::lock_guard lock(clockLock_);
            offsetMs_ -= static_cast<double>(wait);
            break;
        }
        Nap(std::chrono::milliseconds(std::min(wait, kPlaybackSliceMs)));
    }
}

// A reader that keeps up never loses a byte: before a packet is handed on, the link thread
// waits until each ring it feeds has room for it, asking the UI thread for a service pass
// meanwhile. The pass wakes it as soon as it has taken bytes out of a ring, so the link runs
// as fast as the UI thread reads, and the DAS's next packet is answered in time. A ring whose
// bytes have waited kRingReaderGone for a reader has none (a channel without window, capture
// or fetch, a UI thread that stopped reading): it is written over at once, its oldest bytes
// giving way. So is a ring whose last reader ended (window closed, capture or fetch over) and
// a removed channel's: both wake the wait at once. A pause or the end of the thread stops it.
void TThdDASComm::WaitForRingSpace(const DataPacket& packet)
{
    std::array<TRingNeed, 4> needs;
    const int rings = RingNeeds(packet, needs);
    for (int r = 0; r < rings; ++r) {
        WaitForRoom(needs[r].channel, needs[r].bytes);
    }
}

void TThdDASComm::WaitForRoom(uint8_t channel, uint32_t bytes)
{
    while (!Ending() && !paused_.load()) {
        uint64_t seen = 0;
        {
            std::lock_guard lock(parkLock_);
            seen = ringChanges_;
        }
        // Looked at after `seen` was taken: room freed from here on ends the wait below.
        const int64_t waitMs = RoomWaitMs(channel, bytes);
        if (waitMs <= 0) {
            return;
        }
        std::unique_lock lock(parkLock_);
        parkChanged_.wait_for(lock, std::chrono::milliseconds(waitMs), [this, seen] {
            return ringChanges_ != seen || paused_.load() || terminate_.load();
        });
    }
}

int64_t TThdDASComm::RoomWaitMs(uint8_t channel, uint32_t bytes) const
{
    // Held only to look: a channel is never held across a wait.
    const TChannelHold mux = MuxArray != nullptr ? MuxArray->HoldChannel(channel) : TChannelHold();
    if (!mux || mux->RingFree() >= bytes || mux->RingAbandoned()) {
        return 0;
    }
    const int64_t unread = mux->RingUnreadForMs();
    const int64_t limit = ringReaderGoneMs_.load();
    if (unread >= limit) {
        return 0;
    }
    mux->Owner().RequestService();
    return limit - unread;
}
