#include "link/Protocol.h"

#include "link/Packets.h"
#include "link/Serial.h"
#include "platform/Clocks.h"

namespace {

TProtocolCounters g_counters;
std::atomic<int> g_protocol{kErrorCorrectingProtocol};

// Link thread state, kept for the whole run.
uint16_t g_ecState = kStateIdle;
uint16_t g_edState = kStateIdle;
int g_lastResult = kRcvNothing;
int g_previousResult = kRcvNothing;
// The sequence of the last DAS packet handed on; kNoSequence before the first one.
constexpr int kNoSequence = -1;
int g_lastAcceptedSequence = kNoSequence;

void Count(std::atomic<uint32_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

// Receives and keeps the result; returns the previous result as it stood before.
int Receive()
{
    const int before = g_previousResult;
    g_lastResult = ReceivePackets();
    if (g_lastResult != kRcvNothing) {
        g_previousResult = g_lastResult;
    }
    return before;
}

uint16_t RunErrorCorrecting(uint16_t state, LinkState& link);

// An ACK or ACKd confirms the pending packet only when it names that packet's number. Another
// one is stale: the DAS acknowledging a copy of a packet resent after its first answer was
// lost. Taken as confirming the packet that followed, it would drop that packet unsent.
void DropAcknowledgedPacket(LinkState& link)
{
    if (link.pendingPacket.load() != nullptr &&
        ReceivedControlPacket().sequence == link.sendSequence.load()) {
        DropPendingPacket(link);
        return;
    }
    Count(g_counters.staleAcks);
}

// Runs the state that answers the received control packet's kind.
uint16_t ControlAction(LinkState& link)
{
    switch (ReceivedControlPacket().kind) {
    case kNak: return RunErrorCorrecting(kStateNak, link);
    case kAck: return RunErrorCorrecting(kStateAck, link);
    case kNakd: return RunErrorCorrecting(kStateNakd, link);
    case kAckd: return RunErrorCorrecting(kStateAckd, link);
    default: return kStateWaitXmit;
    }
}

// What a dispatch of the last result leads to (states 2 and 51); `otherwise` for results that
// carry nothing to act on.
uint16_t DispatchResult(LinkState& link, uint16_t otherwise)
{
    switch (g_lastResult) {
    case kRcvData: return RunErrorCorrecting(kStateData, link);
    case kRcvControl: return ControlAction(link);
    case kRcvFramingError:
    case kRcvDataCrcError: return RunErrorCorrecting(kStatePurge, link);
    case kRcvControlCrcError: return kStateWaitXmit;
    default: return otherwise;
    }
}

uint16_t WaitForXmitDone()
{
    Count(g_counters.xmitWaits);
    if (GetCommOutQueue(DasPortHandle()) != 0) {
        return kStateWaitXmit;
    }
    if (GetPostXmitPause() > 0) {
        // The line stays the host's for the post-transmit pause: nothing is heard before it
        // ends.
        WaitForPerfCounter(GetPostXmitDeadline());
        PurgeAfterPause();
        return kStateIdle;
    }
    DropAnswerEcho(true);
    return kStateIdle;
}

uint16_t RunErrorCorrecting(uint16_t state, LinkState& link)
{
    switch (state) {
    case kStateIdle: {
        Count(g_counters.receiveAttempts);
        const int before = Receive();
        if (g_lastResult == kRcvNothing) {
            return kStateIdle;
        }
        if (g_lastResult == kRcvFramingError && before == kRcvFramingError) {
            return kStateIdle;
        }
        return kStateDispatch;
    }
    case kStateDispatch:
        Count(g_counters.dispatches);
        if (g_lastResult == kRcvNothing) {
            return kStateIdle;
        }
        return DispatchResult(link, kStateWaitXmit);
    case kStateWaitXmit:
        return WaitForXmitDone();
    case kStateAck:
        Count(g_counters.acksReceived);
        DropAcknowledgedPacket(link);
        return kStateAckSend;
    case kStateAckSend:
        SendPendingOrPoll(link);
        return kStateWaitXmit;
    case kStateAckd:
        Count(g_counters.ackdsReceived);
        DropAcknowledgedPacket(link);
        return kStateIdle;
    case kStateNak:
        if (ReceivedControlPacket().sequence != 0) {
            Count(g_counters.naksReceived);
            if (link.pendingPacket.load() != nullptr) {
                Count(g_counters.resends);
            }
        }
        SendPendingOrPoll(link);
        return kStateWaitXmit;
    case kStateNakd:
        Count(g_counters.nakdsReceived);
        return kStateNakdListen;
    case kStateNakdListen:
        Receive();
        return DispatchResult(link, kStateNakdListen);
    case kStateData:
        Count(g_counters.dataPackets);
        StoreReceivedData(link);
        if (link.pendingPacket.load() != nullptr) {
            SendControlPacket(kAckd);
            SendPendingOrPoll(link);
        } else {
            SendControlPacket(kAck);
        }
        return kStateWaitXmit;
    case kStatePurge:
        Count(g_counters.purges);
        PurgeDasInput();
        return kStateSendNak;
    case kStateSendNak:
        Count(g_counters.naksSent);
        // Answer only once the line is quiet, or the NAK would collide with the rest.
        if (GetCommInQueue(DasPortHandle()) > 0) {
            return kStatePurge;
        }
        SendControlPacket(kNak);
        return kStateWaitXmit;
    default:
        return state;
    }
}

bool LiveOutputIdle()
{
    return !PlayingBack() && !PlaybackFileOpen() && DasPortOpen() &&
           GetCommOutQueue(DasPortHandle()) == 0;
}

uint16_t RunErrorDetecting(uint16_t state, LinkState& link)
{
    switch (state) {
    case kStateIdle: {
        Count(g_counters.receiveAttempts);
        Receive();
        DataPacket* pending = link.pendingPacket.load();
        if (pending && LiveOutputIdle()) {
            const uint8_t sequence = link.sendSequence.load();
            SendDataPacket(*pending, sequence);
            TraceSentData(*pending);
            DropPendingPacket(link);
        }
        return g_lastResult == kRcvNothing ? kStateIdle : kStateDispatch;
    }
    case kStateDispatch:
        Count(g_counters.dispatches);
        switch (g_lastResult) {
        case kRcvData:
            Count(g_counters.dataPackets);
            StoreReceivedData(link);
            return kStateIdle;
        case kRcvControl:
            Count(g_counters.acksReceived);
            return kStateIdle;
        case kRcvFramingError:
        case kRcvDataCrcError:
            return kStatePurge;
        default:
            return kStateIdle;
        }
    case kStateData:
        Count(g_counters.dataPackets);
        StoreReceivedData(link);
        return kStateIdle;
    case kStatePurge:
        Count(g_counters.purges);
        return kStateIdle;
    default:
        return state;
    }
}

}  // namespace

void LinkState::Reset()
{
    receivedPacket = nullptr;
    pendingPacket = nullptr;
    sendSequence = 0;
}

TProtocolCounters& ProtocolCounters() { return g_counters; }

void ResetLinkCounters()
{
    for (std::atomic<uint32_t>* counter :
         {&g_counters.receiveAttempts, &g_counters.dispatches, &g_counters.xmitWaits,
          &g_counters.acksReceived, &g_counters.ackdsReceived, &g_counters.naksReceived,
          &g_counters.nakdsReceived, &g_counters.dataPackets, &g_counters.purges,
          &g_counters.naksSent, &g_counters.duplicates, &g_counters.resends,
          &g_counters.staleAcks}) {
        counter->store(0, std::memory_order_relaxed);
    }
    ResetPacketCounters();
}

void SetProtocol(int protocol) { g_protocol.store(protocol, std::memory_order_relaxed); }

int GetProtocol() { return g_protocol.load(std::memory_order_relaxed); }

namespace {

bool ErrorCorrectingInUse() { return GetProtocol() < kErrorDetectingProtocol && DasPortOpen(); }

}  // namespace

bool NextStepOnlyListens(const LinkState& link)
{
    if (ErrorCorrectingInUse()) {
        return g_ecState == kStateIdle || g_ecState == kStateNakdListen;
    }
    return g_edState == kStateIdle && link.pendingPacket.load() == nullptr;
}

uint16_t StepProtocol(LinkState& link)
{
    if (ErrorCorrectingInUse()) {
        g_ecState = RunErrorCorrecting(g_ecState, link);
        return g_ecState;
    }
    g_edState = RunErrorDetecting(g_edState, link);
    return g_edState;
}

void SendPendingOrPoll(LinkState& link)
{
    if (DataPacket* pending = link.pendingPacket.load()) {
        SendDataPacket(*pending, link.sendSequence.load());
        TraceSentData(*pending);
    } else {
        SendAckPacket(kNak, 0);
        TraceSentControl(kNak, 0);
    }
    // Its echo may still be coming: the wait for the end of sending purges again.
    DropAnswerEcho(false);
}

void SendControlPacket(uint8_t kind)
{
    uint8_t sequence = 0;
    if (g_lastResult == kRcvData) {
        sequence = ReceivedDataPacket().sequence;
    } else if (g_lastResult == kRcvControl) {
        sequence = ReceivedControlPacket().sequence;
    }
    SendAckPacket(kind, sequence);
    TraceSentControl(kind, sequence);
}

void DropPendingPacket(LinkState& link)
{
    link.pendingPacket = nullptr;
    link.sendSequence.fetch_add(1);
}

void StoreReceivedData(LinkState& link)
{
    if (g_lastResult != kRcvData) {
        return;
    }
    DataPacket& packet = ReceivedDataPacket();
    // Host data recorded into an archive has numbers of its own: never a repeat of the DAS's.
    const bool hostRecord = (packet.flags & kFlagHostRecord) != 0;
    if (!hostRecord && packet.sequence == g_lastAcceptedSequence &&
        (packet.flags & kFlagAcceptRepeat) == 0) {
        TraceDuplicate(packet);
        Count(g_counters.duplicates);
        return;
    }
    link.receivedPacket = &packet;
    if (!hostRecord) {
        g_lastAcceptedSequence = packet.sequence;
    }
}

int LastReceiveResult() { return g_lastResult; }
int PreviousReceiveResult() { return g_previousResult; }
uint16_t ErrorCorrectingState() { return g_ecState; }
uint16_t ErrorDetectingState() { return g_edState; }

void ResetProtocolMachines()
{
    g_ecState = kStateIdle;
    g_edState = kStateIdle;
    g_lastResult = kRcvNothing;
    g_previousResult = kRcvNothing;
}

void ResetProtocolEngine()
{
    ResetProtocolMachines();
    ForgetLineEcho();
    g_lastAcceptedSequence = kNoSequence;
}
