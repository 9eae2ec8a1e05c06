#pragma once
// The link thread: each pass builds at most one outgoing data packet from the send queues,
// takes one protocol step, hands a received packet to the link manager and, while an archive
// plays back, paces packets to their recorded times. It watches for a silent link.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "link/Packets.h"
#include "link/Protocol.h"

class THost;

// Any thread. Calls visit(channel, bytes, count) for each segment of a received data packet in
// the order the dispatch hands them on: the first always, then up to three more until an empty
// one, never past the payload whatever the counts claim.
template <class TVisit>
void ForEachSegment(const DataPacket& packet, TVisit visit)
{
    uint32_t walked = 0;
    for (int i = 0; i < 4 && walked < static_cast<uint32_t>(kMaxPayload); ++i) {
        uint32_t count = packet.count[i];
        if (count == 0 && i > 0) {
            break;
        }
        count = std::min<uint32_t>(count, kMaxPayload - walked);
        visit(packet.channel[i], packet.data + walked, count);
        walked += count;
    }
}

// Passes of a silent link before it counts as lost, and where the count restarts after each
// status update, so the update repeats every third silent pass.
constexpr int kSilentPassesLost = 101;
constexpr int kSilentPassesRepeat = 98;
// Bytes that have waited this long in a ring have no reader coming for them.
constexpr std::chrono::milliseconds kRingReaderGone{2000};

// The one worker thread that drives the DAS link. THost owns it; it is made idle and starts
// running with Resume (the first connect or playback). Neither the live link nor a playback
// hands a channel more than its ring has room for while the UI thread reads that ring: it
// asks for a service pass and waits for it, so no byte gives way unread.
class TThdDASComm {
public:
    explicit TThdDASComm(THost& host);
    // Asks the thread to end and joins it.
    ~TThdDASComm();
    TThdDASComm(const TThdDASComm&) = delete;
    TThdDASComm& operator=(const TThdDASComm&) = delete;

    // UI thread. Starts the thread (once; later calls unpause it).
    void Resume();
    // Any thread. Whether the thread was started and has not ended.
    bool Running() const;
    // UI thread. Asks the thread to park and waits (at most about 1 s) until it reports that
    // it is parked: true when parked (or not running). While parked it neither reads nor
    // writes the DAS port, and the caller may use, close or reopen it. False when it did not
    // park in time: the request is then taken back and the thread runs on.
    bool Pause();
    // UI thread. Lets a parked thread run on.
    void Unpause();
    // Any thread. Whether a pause was asked for, and whether the thread is parked now.
    bool Paused() const { return paused_.load(); }
    bool Parked() const { return parked_.load(); }
    // UI thread. Asks the thread to end and joins it (nothing when it never ran).
    void StopThread();

    // UI thread, only while the thread is parked or not running.
    LinkState& Link() { return link_; }
    // UI thread, only while the thread is parked or not running: the link state of a new
    // connection. A host block in flight (pending, not acknowledged) stays pending with its
    // sequence number unless it is file data or a timed command, which Connect drops.
    void ResetLinkForConnect();

    // Any thread. The link counts as lost (set at start until the first exchange).
    bool LinkLost() const { return linkLost_.load(); }
    // Any thread. Sends one poll (control packet kind 0, sequence 0) on the next idle pass
    // while the DAS port is open; the request is dropped when the link comes back.
    void RequestForcedPoll() { forcePoll_.store(true); }

    // Any thread. The time of the last dispatched packet plus the ms since it was dispatched:
    // the value of a time field read most significant byte first.
    uint32_t CurrentPacketTime() const;
    // Any thread. Playback restarts its clock: now is the start, the base time is not set.
    void ResetClock();

    // Any thread. Performance counter ticks of the last pass's build, step and dispatch.
    int64_t BuildTicks() const { return buildTicks_.load(std::memory_order_relaxed); }
    int64_t StepTicks() const { return stepTicks_.load(std::memory_order_relaxed); }
    int64_t DispatchTicks() const { return dispatchTicks_.load(std::memory_order_relaxed); }
    // Any thread. CPU time the link thread has used, in ns (0 when it is not running).
    int64_t CpuTimeNs() const;
    // Any thread. Bytes were taken out of a channel's ring, a ring lost its last reader, or a
    // channel was removed: a packet waiting for room in a ring looks again at once.
    void RingChanged();
    // Tests. How long bytes may wait in a ring for a reader before a packet stops waiting for
    // room there (kRingReaderGone).
    void SetRingReaderGone(std::chrono::milliseconds limit) { ringReaderGoneMs_ = limit.count(); }

    // The text reported when the thread ends.
    static constexpr const char* kTerminatedText = "Protocol Thread Terminated";

private:
    void Execute();
    // One pass: the protocol step, the watchdog and the dispatch of a received packet.
    void ServiceLink();
    void Watchdog(uint16_t state);
    // Fills the transmit buffer from the send queues and makes it the pending packet.
    void BuildSendPacket();
    // A due timed block whose channel has an open PC device port is written there; true when
    // it was (the block is then not sent to the DAS).
    bool ForwardedToPcPort(uint8_t channel, const uint8_t* bytes, uint32_t length);
    bool FillSegments(DataPacket& packet, bool fromTimed, uint32_t now);
    void WaitForPacketTime(const DataPacket& packet);
    // Waits until the channels the packet feeds have room for it in their rings, while
    // their readers keep up.
    void WaitForRingSpace(const DataPacket& packet);
    void WaitForRoom(uint8_t channel, uint32_t bytes);
    // How long to wait for a service pass to make `bytes` of room in the channel's ring: 0
    // when there is room (or no channel, or no reader coming), else until its bytes will have
    // waited for a reader too long. Asks for the pass.
    int64_t RoomWaitMs(uint8_t channel, uint32_t bytes) const;
    void MarkPacketTime(const DataPacket& packet);
    // Parks while paused; false when the thread is to end.
    bool ParkWhilePaused();
    // Sleeps `time` unless a pause or the end is asked for first.
    void Nap(std::chrono::nanoseconds time);
    // Before a step that only listens, waits while the rest of a packet the DAS has begun is
    // still on the wire; true when a pause or the end was asked for meanwhile.
    bool AwaitRestOfPacket();
    bool Ending() const { return terminate_.load(); }
    bool HasDataSource() const;

    THost& host_;
    LinkState link_;
    // Whether the pending packet came from TimedQueue (link thread; read while parked).
    bool pendingFromTimed_ = false;
    // The host-side command block being run (link thread).
    std::vector<uint8_t> commandBlock_;
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> terminate_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> parked_{false};
    mutable std::mutex parkLock_;
    // Pause, unpause, the end and a changed ring all wake the thread through it.
    std::condition_variable parkChanged_;
    uint64_t ringChanges_ = 0;  // guarded by parkLock_: bumped by RingChanged
    std::atomic<int64_t> ringReaderGoneMs_{kRingReaderGone.count()};
    std::atomic<int64_t> threadCpuClock_{0};  // clockid_t of the running thread, 0 = none

    // Watchdog (link thread, except the flags).
    std::atomic<bool> linkLost_{true};
    std::atomic<bool> forcePoll_{false};
    bool portLostPosted_ = false;
    int silentPasses_ = 0;
    uint16_t previousState_ = kStateIdle;
    uint32_t bytesHeard_ = 0;

    // Timings.
    const double ticksPerMs_;
    std::atomic<int64_t> buildTicks_{0};
    std::atomic<int64_t> stepTicks_{0};
    std::atomic<int64_t> dispatchTicks_{0};

    // Playback clock, read by the UI thread through CurrentPacketTime.
    mutable std::mutex clockLock_;
    int64_t startReading_ = 0;
    uint32_t basePacketTime_ = 0;
    double offsetMs_ = 0;
    int64_t markReading_ = 0;
    uint32_t markedTime_ = 0;
};
