#pragma once
// The host's side of the two link protocol levels: level 1 "Error Correcting Protocol"
// (stop-and-wait, every data packet acknowledged, the host's pending packet riding on its
// answers) and level 2 "Error Detecting Protocol" (no acknowledgements; also archive
// playback). The link thread takes one step per pass.
//
// Threads: the machines run on the link thread only. The counters and the protocol number
// may be read and written from any thread. LinkState is reset by the UI thread only while the
// link thread is parked.

#include <atomic>
#include <cstdint>

struct DataPacket;

constexpr int kErrorCorrectingProtocol = 1;
constexpr int kErrorDetectingProtocol = 2;

// Machine states; 1 is idle and listening.
constexpr uint16_t kStateIdle = 1;
constexpr uint16_t kStateDispatch = 2;
constexpr uint16_t kStateWaitXmit = 3;
constexpr uint16_t kStateAck = 4;
constexpr uint16_t kStateAckSend = 41;
constexpr uint16_t kStateAckd = 5;
constexpr uint16_t kStateNak = 6;
constexpr uint16_t kStateNakd = 7;
constexpr uint16_t kStateNakdListen = 51;
constexpr uint16_t kStateData = 8;
constexpr uint16_t kStatePurge = 9;
constexpr uint16_t kStateSendNak = 10;

// The hand-off between the protocol engine and the link thread.
struct LinkState {
    // Set by the engine, dispatched and cleared by the link thread in the same pass.
    std::atomic<const DataPacket*> receivedPacket{nullptr};
    // Set by the link thread only while none; cleared by the engine when acknowledged.
    std::atomic<DataPacket*> pendingPacket{nullptr};
    std::atomic<uint8_t> sendSequence{0};

    // None, none, 0 (connect and playback start).
    void Reset();
};

// Counters of the protocol engine, read by the statistics window.
struct TProtocolCounters {
    std::atomic<uint32_t> receiveAttempts{0};   // state 1
    std::atomic<uint32_t> dispatches{0};        // state 2
    std::atomic<uint32_t> xmitWaits{0};         // state 3
    std::atomic<uint32_t> acksReceived{0};      // state 4
    std::atomic<uint32_t> ackdsReceived{0};     // state 5
    std::atomic<uint32_t> naksReceived{0};      // state 6, sequence not 0
    std::atomic<uint32_t> nakdsReceived{0};     // state 7
    std::atomic<uint32_t> dataPackets{0};       // state 8
    std::atomic<uint32_t> purges{0};            // state 9
    std::atomic<uint32_t> naksSent{0};          // state 10
    std::atomic<uint32_t> duplicates{0};
    std::atomic<uint32_t> resends{0};
    // ACKs and ACKds that named another packet than the pending one (ignored).
    std::atomic<uint32_t> staleAcks{0};
};
// Any thread.
TProtocolCounters& ProtocolCounters();
// Any thread: zeroes these counters and the packet counters of the receive parser.
void ResetLinkCounters();

// Any thread. 1 (Error Correcting, the default) or 2 (Error Detecting).
void SetProtocol(int protocol);
int GetProtocol();

// Link thread. Runs one state of the level 1 machine (when the protocol is below 2 and the
// DAS port is open) or of the level 2 machine, and returns the state that follows.
uint16_t StepProtocol(LinkState& link);
// Link thread. Whether the next step only listens to the DAS: it writes nothing unless a
// whole packet has arrived by then (level 1 idle or listening after a NAKd; level 2 idle with
// nothing pending).
bool NextStepOnlyListens(const LinkState& link);

// Link thread. Sends the pending packet with the send sequence number, or a poll (NAK 0) when
// none is pending, then purges the DAS port's input. The packet stays pending.
void SendPendingOrPoll(LinkState& link);
// Link thread. A control packet answering the last packet received.
void SendControlPacket(uint8_t kind);
// Link thread. Pending becomes none; the send sequence advances.
void DropPendingPacket(LinkState& link);
// Link thread. Hands a good data packet to the link state unless it repeats the last one.
void StoreReceivedData(LinkState& link);

// Link thread: the result of the latest receive and the latest one other than "nothing".
int LastReceiveResult();
int PreviousReceiveResult();
// Link thread: the current machine states.
uint16_t ErrorCorrectingState();
uint16_t ErrorDetectingState();
// While the link thread is parked (a connect, a reopened port): both machines to state 1,
// results cleared. The last accepted DAS sequence stays, so a DAS packet resent across a
// reconnect is known. (What was learnt of the line's echo goes with the port: every port made
// the DAS port is a new line.)
void ResetProtocolMachines();
// While the link thread is parked (playback start and end, tests): the machines as above, what
// was learnt of the line's echo forgotten, and no DAS sequence accepted yet.
void ResetProtocolEngine();
