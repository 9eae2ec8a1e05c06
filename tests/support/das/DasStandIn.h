#pragma once
// A stand-in for the DAS on the master side of a pseudo-terminal: it speaks the DAS side of
// both link protocol levels on its own thread, so the host's code can be run against it on
// the slave side (tests, the demo).
//
// Level 1: it polls with NAK 0 when it has nothing to send, sends its data packets one at a
// time and resends until acknowledged, acknowledges the host's packets with ACK (or ACKd and
// its own next packet) and hands each host packet on once. Level 2: it sends its packets as
// they come and takes the host's without acknowledging, each once too (a host still at level 1
// repeats its unacknowledged packet with every answer). Level 0 (scripted): it sends nothing
// by itself; the test writes bytes and reads what the host wrote.
//
// Every public function may be called from any thread. Channel handlers run on the stand-in's
// thread and may call SendChannelData.

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "support/das/DasFrames.h"
#include "support/TestWaits.h"

class TDasStandIn {
public:
    using TChannelHandler = std::function<void(const QByteArray&)>;

    // Opens the pseudo-terminal (its slave set raw); the thread starts with Start.
    TDasStandIn();
    // Stops the thread and closes both sides.
    ~TDasStandIn();
    TDasStandIn(const TDasStandIn&) = delete;
    TDasStandIn& operator=(const TDasStandIn&) = delete;

    // The device path the host opens.
    QString SlavePath() const { return slavePath_; }
    bool IsOpen() const { return master_ >= 0; }

    // The line goes: the thread stops and both sides of the pseudo-terminal close, so the host
    // sees its port hang up. Replug opens a new pseudo-terminal (SlavePath names it) and runs
    // the thread again; what the DAS had queued or in flight is still there.
    void Unplug();
    bool Replug();

    // Protocol level: 1, 2, or 0 (scripted). May change while running.
    void SetProtocol(int level) { protocol_ = level; }
    int Protocol() const { return protocol_; }
    void Start();
    void Stop();

    // --- Channel data ---
    // Queues bytes the DAS sends to the host on `channel`.
    void SendChannelData(uint8_t channel, const QByteArray& bytes);
    // Calls `handler` with each host packet's bytes for `channel` (replacing any earlier one).
    void OnChannelData(uint8_t channel, TChannelHandler handler);
    // Everything the host sent on `channel` so far, each packet once, in order.
    QByteArray ReceivedOn(uint8_t channel) const;
    // Waits until `channel` has received at least `count` bytes.
    bool WaitForBytes(uint8_t channel, qsizetype count, int timeoutMs = kTestWaitMs) const;
    // Whether everything queued with SendChannelData has been acknowledged (level 1) or sent.
    bool AllSent() const;
    // Bytes queued for the host and bytes received from it so far, by channel (only channels
    // that carried any).
    struct TChannelTotals {
        qint64 toHost = 0;
        qint64 fromHost = 0;
    };
    std::map<uint8_t, TChannelTotals> ChannelTotals() const;

    // --- Faults and pacing ---
    // A share (0..1) of the bytes in each direction is corrupted or dropped, from `seed`.
    void SetLineFaults(double corruptShare, double dropShare, uint32_t seed);
    // A share (0..1) of the writes in each direction (a packet, or an acknowledgement with the
    // packet that rides on it) has one of its bytes spoiled, from `seed`.
    void SetWriteFaults(double share, uint32_t seed);
    // A silent DAS reads and ignores everything.
    void SetSilent(bool silent) { silent_ = silent; }
    // A line that hears itself: every byte the host writes comes back to the host at once,
    // ahead of anything the DAS sends in reply.
    void SetEcho(bool echo) { echo_ = echo; }
    // With the echo on: every `every`-th answer of the host's that is an ACKd with its data
    // packet riding on it comes back with a bit flipped in `bytes` bytes in a row (1 or 2),
    // from, in turn, the ACKd's first byte, its CRC, the data packet's payload and its CRC
    // (every 0: never).
    void SetEchoSpoiling(int every, int bytes = 1)
    {
        echoSpoilBytes_ = std::clamp(bytes, 1, 2);
        echoSpoilEvery_ = every;
    }
    // Output paced at `baud` (10 bit times per byte); 0 sends at once.
    void SetBaudRate(uint32_t baud) { baud_ = baud; }
    uint32_t BaudRate() const { return baud_; }
    // Largest payload of the DAS's data packets (1..254).
    void SetMaxPayload(int bytes) { maxPayload_ = std::clamp(bytes, 1, kMaxPayloadBytes); }
    // Wait between the host's last byte and the DAS's answer.
    void SetTurnaround(std::chrono::microseconds delay) { turnaroundUs_ = delay.count(); }
    // Level 1: the first sending of each data packet stops for `gap` after its beginning, as a
    // DAS held up by its scheduler does: alternately after the line feed that starts it and
    // after the first line feed and digit of its payload (after the line feed alone where the
    // payload has none). 0: packets go in one piece.
    void SetPacketGap(std::chrono::microseconds gap) { packetGapUs_ = gap.count(); }
    // Gap between polls when neither side has anything to send.
    void SetPollInterval(std::chrono::milliseconds interval) { pollMs_ = interval.count(); }
    // Level 1: how long the DAS waits for the host's answer, and how long the line must stay
    // quiet after a bad frame before it asks again (defaults 60 ms and 10 ms).
    void SetAnswerTimes(std::chrono::milliseconds answer, std::chrono::milliseconds quiet)
    {
        answerMs_ = answer.count();
        quietMs_ = quiet.count();
    }
    // Level 1: every `every`-th data packet of the host is taken as lost on the line, and the
    // acknowledgement of the host packet before it is sent again in its place, as a DAS does
    // that acknowledges both copies of a resent packet (0: never).
    void SetRepeatAcknowledgements(int every) { repeatAckEvery_ = every; }

    // --- Scripted mode and observation ---
    // Writes bytes as they are (through the fault and pacing filters).
    void WriteRaw(const QByteArray& bytes);
    void WriteControl(uint8_t kind, uint8_t sequence);
    void WriteData(uint8_t sequence, uint8_t flags, uint32_t timeMs,
                   const std::vector<das::TSegment>& segments);
    // Level 0: the bytes the host wrote since the last take.
    QByteArray TakeHostBytes();
    // Level 0: waits until at least `count` host bytes are waiting to be taken.
    bool WaitForHostBytes(qsizetype count, int timeoutMs = kTestWaitMs) const;
    // Microseconds from the last byte of each DAS packet to the first byte of the host's
    // answer.
    std::vector<double> TurnaroundTimes() const;

    // Counts kept by the DAS side.
    std::atomic<uint32_t> dataPacketsSent{0};
    std::atomic<uint32_t> resends{0};
    std::atomic<uint32_t> polls{0};
    std::atomic<uint32_t> hostPacketsAccepted{0};
    std::atomic<uint32_t> hostDuplicates{0};
    std::atomic<uint32_t> badFrames{0};
    std::atomic<uint32_t> repeatedAcks{0};
    // Level 1: control packets of the host's that came while the DAS awaited no answer.
    std::atomic<uint32_t> unaskedAnswers{0};
    // Echoes of the host's answers spoilt by SetEchoSpoiling.
    std::atomic<uint32_t> spoiltEchoes{0};

private:
    static constexpr int kMaxPayloadBytes = 254;
    using TClock = std::chrono::steady_clock;

    // Opens a pseudo-terminal as the line; false when that fails.
    bool OpenLine();
    void CloseLine();
    void Run();
    void RunLevel1(TClock::time_point now);
    void RunLevel2();
    void ReadHost(int timeoutMs);
    // Writes back what the host wrote (a line that hears itself), spoiling it as asked; with
    // `flush`, what is held back waiting for the rest of a frame goes too.
    void EchoHostBytes(const char* bytes, qsizetype n, bool flush);
    // Takes the frames held for the echo that are whole, spoiling the ACKd answers due.
    QByteArray TakeEchoFrames();
    void HandleFrameLevel1(const das::TFrame& frame);
    // Hands a host packet on, unless it repeats the last one (same sequence, flag bit 0 clear).
    void HandleHostData(const das::TFrame& frame);
    void AnswerHostData(uint8_t sequence);
    bool BuildNextPacket();
    void SendCurrentPacket(bool resend);
    void SendPacket(const QByteArray& bytes, bool firstSending = false);
    void FinishExchange();
    void Retry();
    void Deliver(uint8_t channel, const QByteArray& bytes);
    uint32_t TimeMs() const;
    bool Roll(std::mt19937& rng, double share);
    // Applies the line faults to bytes going out (`rng` outRng_) or coming in (inRng_).
    // Caller holds faultMutex_.
    QByteArray Spoil(const char* bytes, qsizetype n, std::mt19937& rng);

    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    std::thread thread_;
    std::atomic<bool> running_{false};

    std::atomic<int> protocol_{1};
    std::atomic<bool> silent_{false};
    std::atomic<bool> echo_{false};
    std::atomic<int> echoSpoilEvery_{0};
    std::atomic<int> echoSpoilBytes_{1};
    QByteArray echoHeld_;          // stand-in thread
    uint32_t spoilableAnswers_ = 0;  // stand-in thread
    std::atomic<uint32_t> baud_{0};
    std::atomic<int> maxPayload_{kMaxPayloadBytes};
    std::atomic<int64_t> turnaroundUs_{300};
    std::atomic<int64_t> pollMs_{2};
    std::atomic<int64_t> packetGapUs_{0};
    uint32_t packetsCut_ = 0;  // stand-in thread
    std::atomic<int64_t> answerMs_{60};
    std::atomic<int64_t> quietMs_{10};
    std::atomic<int> repeatAckEvery_{0};
    int hostPacketsSeen_ = 0;  // stand-in thread
    const TClock::time_point start_ = TClock::now();

    // Outgoing channel data and the packet in flight (stand-in thread, under outMutex_).
    mutable std::mutex outMutex_;
    std::deque<das::TSegment> outQueue_;
    std::map<uint8_t, qint64> queuedTotals_;
    QByteArray current_;  // the DAS packet awaiting its acknowledgement (level 1)
    uint8_t currentSequence_ = 0;
    bool currentSentOnce_ = false;
    uint8_t nextSequence_ = 0;

    // Level 1 exchange state (stand-in thread).
    bool awaiting_ = false;
    bool errorSeen_ = false;
    TClock::time_point answerDeadline_{};
    TClock::time_point nextPoll_{};
    TClock::time_point lastByteIn_{};
    int lastHostSequence_ = -1;
    das::TFrameParser parser_;

    // Line faults; the write side's generator is used under writeMutex_.
    std::mutex writeMutex_;
    std::mutex faultMutex_;
    double corruptShare_ = 0;
    double dropShare_ = 0;
    double writeShare_ = 0;
    std::mt19937 outRng_;
    std::mt19937 inRng_;

    // What the host sent.
    mutable std::mutex inMutex_;
    mutable std::condition_variable inChanged_;
    std::map<uint8_t, QByteArray> received_;
    std::map<uint8_t, TChannelHandler> handlers_;
    QByteArray hostBytes_;

    // Turnaround timing.
    mutable std::mutex timingMutex_;
    std::vector<double> turnarounds_;
    bool awaitingFirstByte_ = false;
    TClock::time_point lastSendEnd_{};
};
