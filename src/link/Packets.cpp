#include "link/Packets.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "link/Protocol.h"
#include "link/PacketTrace.h"
#include "link/Serial.h"
#include "platform/Clocks.h"

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
        table[static_cast<size_t>(i)] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

TPacketCounters g_counters;

// Link thread state.
DataPacket g_transmit{};
DataPacket g_receivedData{};
ControlPacket g_receivedControl{};
uint8_t g_rcvBuffer[kReceiveBufferSize];
uint32_t g_rcvFill = 0;
uint32_t g_rcvTotal = 0;
// What the host wrote for its latest answer (an ACKd and the data packet that rides on it at
// most). A new answer starts a new record once the last one is over or the line has been heard.
constexpr uint32_t kEchoBytes = kControlPacketSize + sizeof(DataPacket);
uint8_t g_sent[kEchoBytes];
uint32_t g_sentFill = 0;
bool g_answerOver = false;
// The packets of that answer in g_sent. A packet is settled once its echo has come (whole, or
// with one byte spoilt), once the echo of a packet after it has come, or once it is no longer
// looked for.
struct TSentPacket {
    uint32_t offset = 0;
    uint32_t length = 0;
    bool settled = false;
};
constexpr int kMaxAnswerPackets = 2;
TSentPacket g_sentPackets[kMaxAnswerPackets];
int g_sentCount = 0;
// Where the echo may begin in the receive buffer: what was there before the answer was written
// is older than its echo.
uint32_t g_echoFrom = 0;
// How far into the answer's echo (g_sent) the front of the receive buffer has come: the bytes
// dropped since the answer, set right whenever a packet's echo is dropped. Fewer than a
// packet are the noise of the line turning round.
uint32_t g_echoAt = 0;
// Whether the echo of that answer (on a line that hears itself) may still come, and until when
// (performance counter).
std::atomic<bool> g_echoDue{false};
int64_t g_echoDeadline = 0;
std::atomic<int64_t> g_echoLatencyTicks{kDefaultEchoLatency.count() * kPerfFrequency / 1000};
// Whether the answer can still show that the line does not echo: no echo of it has come. It
// does when nothing but the noise of the line turning round comes ahead of the DAS's next
// packet.
bool g_echoUntold = false;
bool g_echoSeen = false;
// Answers in a row (not counting lone NAK 0s) behind which the DAS's packets came with no echo
// ahead of them. This many show that the line does not echo; fewer may be echoes lost to noise.
constexpr uint32_t kAnswersShowingNoEcho = 3;
uint32_t g_answersWithoutEcho = 0;
// The DAS line (DasLineNumber) that all this was learnt on.
uint32_t g_echoLine = 0;
// The noise of the line turning round that may come ahead of the echo of a control packet: fewer
// bytes than a packet, so that a packet of the DAS's behind the echo is never taken for it.
constexpr uint32_t kEchoLead = kControlPacketSize - 1;

void ForgetSent()
{
    g_sentFill = 0;
    g_sentCount = 0;
    g_echoFrom = 0;
    g_echoAt = 0;
    g_answerOver = false;
    g_echoDue = false;
    g_echoUntold = false;
    g_echoSeen = false;
}

bool LineShownNotToEcho() { return g_answersWithoutEcho >= kAnswersShowingNoEcho; }

// A port made the DAS port since (a connect, a reopened port, another port chosen) is a new
// line: whether it echoes is learnt anew, whatever the last one showed. The port is changed
// only while the link thread is parked, so this runs before the new line is written or read.
void FollowDasLine()
{
    if (g_echoLine != DasLineNumber()) {
        ForgetLineEcho();
    }
}

std::atomic<TPlaybackSource*> g_playbackSource{nullptr};
std::atomic<bool> g_playingBack{false};

// Drops `count` bytes of the receive buffer from `at` on (at most those it holds).
void DropFrom(uint32_t at, uint32_t count)
{
    count = std::min(count, g_rcvFill - at);
    std::memmove(g_rcvBuffer + at, g_rcvBuffer + at + count, g_rcvFill - at - count);
    g_rcvFill -= count;
    if (at < g_echoFrom) {
        g_echoFrom -= std::min(count, g_echoFrom - at);
    }
}

void DropFront(uint32_t count) { DropFrom(0, count); }

// Drops bytes at the front that are no packet: noise, or a packet spoilt on the way.
void DropNoise(uint32_t count)
{
    count = std::min(count, g_rcvFill);
    const uint32_t older = std::min(count, g_echoFrom);
    DropFront(count);
    g_echoAt += count - older;
}

// A likely packet start in the receive buffer: a 0x0A that is the last byte or is followed by
// '0' to '3'. The first at or after `from`, or g_rcvFill when there is none.
uint32_t NextPacketStart(uint32_t from)
{
    for (uint32_t i = from; i < g_rcvFill; ++i) {
        if (g_rcvBuffer[i] == kPacketStart &&
            (i + 1 == g_rcvFill || (g_rcvBuffer[i + 1] & 0xFC) == 0x30)) {
            return i;
        }
    }
    return g_rcvFill;
}

// Drops bytes up to the next likely packet start. Without one, only the last byte stays.
void Resynchronise()
{
    const uint32_t start = NextPacketStart(1);
    DropNoise(start < g_rcvFill ? start : g_rcvFill - 1);
}

const uint8_t* SentBytes(const TSentPacket& packet) { return g_sent + packet.offset; }

// A lone NAK of sequence 0: byte for byte the DAS's poll, so its echo and a DAS that polls at
// once look alike.
bool IsPoll(const TSentPacket& packet)
{
    static const ControlPacket poll = MakeControlPacket(kNak, 0);
    return packet.length == static_cast<uint32_t>(kControlPacketSize) &&
           std::memcmp(SentBytes(packet), &poll, kControlPacketSize) == 0;
}

void RecordSent(const uint8_t* bytes, uint32_t count)
{
    FollowDasLine();
    if (g_answerOver || g_sentCount == kMaxAnswerPackets || g_sentFill + count > kEchoBytes) {
        ForgetSent();
    }
    if (g_sentCount == 0) {
        g_echoFrom = g_rcvFill;
    }
    count = std::min(count, kEchoBytes);
    std::memcpy(g_sent + g_sentFill, bytes, count);
    g_sentPackets[g_sentCount] = TSentPacket{g_sentFill, count, false};
    g_echoUntold = g_echoUntold || (!g_echoSeen && !IsPoll(g_sentPackets[g_sentCount]));
    ++g_sentCount;
    g_sentFill += count;
    // Level 2 and playback answer nothing: their input is never searched for an echo.
    g_echoDue = GetProtocol() < kErrorDetectingProtocol && !PlayingBack();
    const int64_t onTheWire = int64_t{g_sentFill} * DasCharacterTimeNs() / 100;
    g_echoDeadline = PerfCounter() + onTheWire + g_echoLatencyTicks.load();
}

// How many of the `length` bytes at `at` differ from `sent`, counted up to `enough`. One byte
// spoilt is never a packet of the DAS's: no two packets that pass their CRC differ in one byte.
uint32_t EchoDifference(uint32_t at, const uint8_t* sent, uint32_t length, uint32_t enough)
{
    uint32_t differing = 0;
    for (uint32_t i = 0; i < length && differing < enough; ++i) {
        differing += g_rcvBuffer[at + i] != sent[i] ? 1 : 0;
    }
    return differing;
}

// The bytes the echo of the answer's first `count` packets not yet settled takes (all of them
// by default).
uint32_t UnsettledEchoBytes(int count = kMaxAnswerPackets)
{
    uint32_t bytes = 0;
    for (int i = 0; i < std::min(count, g_sentCount); ++i) {
        bytes += g_sentPackets[i].settled ? 0 : g_sentPackets[i].length;
    }
    return bytes;
}

// Where the echo of the answer's packet `index` lies in the receive buffer, whole or with one
// byte spoilt: the bytes ahead of it since the answer are noise or the spoilt echo of the
// packets before it. A control packet's echo is looked for only where it belongs (the DAS
// may send the same bytes behind it); a data packet's wherever it has come. False when it has
// not come (yet).
bool FindEcho(int index, uint32_t& at, bool& spoilt)
{
    const TSentPacket& packet = g_sentPackets[index];
    const uint32_t expected = g_echoFrom + UnsettledEchoBytes(index);
    const bool control = packet.length == static_cast<uint32_t>(kControlPacketSize);
    const uint32_t nearLast = expected + kEchoLead;
    for (uint32_t p = g_echoFrom; p + packet.length <= g_rcvFill; ++p) {
        const bool near = p <= nearLast;
        if (!near && control) {
            break;
        }
        const uint32_t difference = EchoDifference(p, SentBytes(packet), packet.length, 2);
        if (difference == 0 || (difference == 1 && near)) {
            at = p;
            spoilt = difference == 1;
            return true;
        }
    }
    return false;
}

// Drops each echo of the answer's packets that has come, with the bytes ahead of it since the
// answer, and settles the packets it answers for. True when one was dropped.
bool DropEchoesCome()
{
    bool dropped = false;
    for (int index = 0; index < g_sentCount; ++index) {
        const TSentPacket& packet = g_sentPackets[index];
        uint32_t at = 0;
        bool spoilt = false;
        if (packet.settled || !FindEcho(index, at, spoilt)) {
            continue;
        }
        dropped = true;
        DropFrom(g_echoFrom, at - g_echoFrom + packet.length);
        g_echoAt = packet.offset + packet.length;
        for (int i = 0; i <= index; ++i) {
            g_sentPackets[i].settled = true;
        }
        if (!spoilt && !IsPoll(packet)) {
            // An echo no DAS packet can match: the line echoes.
            g_answersWithoutEcho = 0;
            g_echoSeen = true;
            g_echoUntold = false;
        }
    }
    return dropped;
}

// Whether the front of the receive buffer is plainly no packet (a framing or CRC error).
bool FrontSpoilt()
{
    const int front = CheckPacket(g_rcvBuffer, g_rcvFill);
    return front != kRcvNothing && front != kRcvData && front != kRcvControl;
}

// The bytes at the front where the echo of the first packet not yet settled belongs are that
// echo spoilt on the way when they are plainly no packet but mostly its bytes (the DAS sends
// only behind the whole echo): they go, and cost no NAK. Only while the front is known to be
// where that echo starts, and only until the line has shown that it does not echo. True when
// one was dropped.
bool DropSpoiltEchoes()
{
    if (g_echoFrom > 0 || LineShownNotToEcho()) {
        return false;
    }
    bool dropped = false;
    for (int i = 0; i < g_sentCount; ++i) {
        TSentPacket& packet = g_sentPackets[i];
        if (packet.settled) {
            continue;
        }
        if (g_echoAt != packet.offset || g_rcvFill < packet.length) {
            break;
        }
        const uint32_t half = (packet.length + 1) / 2;
        if (!FrontSpoilt() || EchoDifference(0, SentBytes(packet), packet.length, half) >= half) {
            break;
        }
        DropNoise(packet.length);
        packet.settled = true;
        dropped = true;
    }
    return dropped;
}

// Whether the bytes from `at` on are the start of the echo of a packet not yet settled.
bool EchoBegunAt(uint32_t at)
{
    if (at >= g_rcvFill) {
        return false;
    }
    for (int i = 0; i < g_sentCount; ++i) {
        const TSentPacket& packet = g_sentPackets[i];
        if (!packet.settled && g_rcvFill - at < packet.length &&
            std::memcmp(g_rcvBuffer + at, SentBytes(packet), g_rcvFill - at) == 0) {
            return true;
        }
    }
    return false;
}

// Looks for the echo of the host's latest answer in the receive buffer (a line that hears
// itself), packet by packet: each packet's echo that comes back whole in time is dropped with
// the noise and the spoilt echo ahead of it, whatever became of the echo of the other packets,
// and so is an echo with one byte spoilt where it belongs. The front is held (true: it must not
// be parsed yet) while it may be the start of an echo still to come, or spoilt bytes with the
// rest of the echo still to come behind them; `dropNoise` drops the noise ahead of the first
// likely packet start at once. Once the line has shown that it does not echo, a poll is never
// looked for: a DAS that polls at once is answered. Until then a poll's echo in time is taken
// for the echo, even where the DAS's poll would match it.
bool TakeAnswerEcho(bool dropNoise)
{
    FollowDasLine();
    if (!g_echoDue) {
        return false;
    }
    if (LineShownNotToEcho()) {
        for (int i = 0; i < g_sentCount; ++i) {
            g_sentPackets[i].settled = g_sentPackets[i].settled || IsPoll(g_sentPackets[i]);
        }
    }
    if (dropNoise && g_echoFrom == 0) {
        DropNoise(NextPacketStart(0));
    }
    const bool echoCame = DropEchoesCome();
    const bool spoiltEchoCame = DropSpoiltEchoes();
    if (UnsettledEchoBytes() == 0) {
        g_echoDue = false;
        // Noise behind the echo goes with it.
        if ((echoCame || spoiltEchoCame) && g_echoFrom == 0) {
            DropNoise(NextPacketStart(0));
        }
        return false;
    }
    if (PerfCounter() >= g_echoDeadline) {
        // Too late for the echo: what has come, and what comes next, is the DAS's.
        g_echoDue = false;
        return false;
    }
    if (g_echoFrom > 0) {
        // The DAS's bytes from before the answer come first.
        return false;
    }
    if (EchoBegunAt(NextPacketStart(0))) {
        return true;
    }
    return FrontSpoilt() && g_rcvFill < UnsettledEchoBytes();
}

// Takes the `count` bytes just read behind the receive buffer's fill into it.
void KeepRead(uint32_t count)
{
    TraceRawBytes(g_rcvBuffer + g_rcvFill, count);
    g_rcvFill += count;
    g_rcvTotal += count;
}

// Fills the receive buffer from the DAS port or the playback source.
void ReadIntoBuffer()
{
    if (g_rcvFill >= static_cast<uint32_t>(kReceiveBufferSize)) {
        return;
    }
    const uint32_t room = kReceiveBufferSize - g_rcvFill;
    uint32_t got = 0;
    TPlaybackSource* source = g_playbackSource.load(std::memory_order_acquire);
    const bool playing = PlayingBack();
    if (!playing && DasPortOpen() && !PlaybackFileOpen()) {
        // A packet already whole in the buffer (an ACKd and the data that rode on it, read
        // together) is taken now: the port read would wait for bytes that are not coming. The
        // start of an echo held at the front waits for the bytes that tell it apart.
        if (!g_echoDue && g_rcvFill > 5 && CheckPacket(g_rcvBuffer, g_rcvFill) != kRcvNothing) {
            return;
        }
        uint32_t count = room;
        if (ReadDasPort(g_rcvBuffer + g_rcvFill, count)) {
            got = std::min(count, room);
        }
    } else if (playing && source && source->IsOpen()) {
        got = std::min(source->Read(g_rcvBuffer + g_rcvFill, room), room);
        if (got == 0) {
            source->Close();
        }
    } else {
        return;
    }
    KeepRead(got);
    if (got > 0) {
        // The line was heard: what the host writes next is a new answer with an echo of its own.
        g_answerOver = true;
    }
}

// Classifies the buffer start and takes a good packet or resynchronises after a bad one.
int ParseOne()
{
    if (g_rcvFill <= 5) {
        return kRcvNothing;
    }
    const bool afterAnswer = g_sentCount > 0 && g_echoFrom == 0;
    const int result = CheckPacket(g_rcvBuffer, g_rcvFill);
    switch (result) {
    case kRcvFramingError:
    case kRcvDataCrcError:
    case kRcvControlCrcError:
        g_counters.receiveErrors.fetch_add(1, std::memory_order_relaxed);
        TraceReceiveError(result, g_rcvBuffer, g_rcvFill);
        Resynchronise();
        break;
    case kRcvData: {
        const uint32_t length = uint32_t{g_rcvBuffer[12]} + g_rcvBuffer[13] + g_rcvBuffer[14] +
                                g_rcvBuffer[15] + kDataPacketOverhead;
        std::memcpy(&g_receivedData, g_rcvBuffer, length);
        TraceReceived(result, g_receivedData, g_receivedControl);
        DropFront(length);
        g_counters.dataPacketsReceived.fetch_add(1, std::memory_order_relaxed);
        break;
    }
    case kRcvControl:
        std::memcpy(&g_receivedControl, g_rcvBuffer, kControlPacketSize);
        TraceReceived(result, g_receivedData, g_receivedControl);
        DropFront(kControlPacketSize);
        g_counters.controlPacketsReceived.fetch_add(1, std::memory_order_relaxed);
        break;
    default:
        break;
    }
    if ((result == kRcvData || result == kRcvControl) && afterAnswer) {
        // The DAS's packet came behind the host's answer: whatever of the echo has not come,
        // never will. With nothing but the line turning round ahead of it, the line did not
        // echo; a spoilt echo, or noise as long as one, tells nothing.
        g_echoDue = false;
        if (g_echoUntold && g_echoAt < static_cast<uint32_t>(kControlPacketSize)) {
            ++g_answersWithoutEcho;
        }
        g_echoUntold = false;
    }
    return result;
}

}  // namespace

TPacketCounters& PacketCounters() { return g_counters; }

void ResetPacketCounters()
{
    g_counters.dataPacketsReceived = 0;
    g_counters.controlPacketsReceived = 0;
    g_counters.receiveErrors = 0;
}

uint16_t Crc16(const uint8_t* bytes, uint32_t count, uint16_t initial)
{
    uint16_t crc = initial;
    for (uint32_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
    }
    return crc;
}

bool PacketCrcOk(const uint8_t* bytes, uint32_t length)
{
    if (length < kCrcSize) {
        return false;
    }
    const uint16_t crc = Crc16(bytes, length - kCrcSize);
    return bytes[length - 2] == (crc >> 8) && bytes[length - 1] == (crc & 0xFF);
}

uint32_t PacketPayloadLength(const DataPacket& packet)
{
    return uint32_t{packet.count[0]} + packet.count[1] + packet.count[2] + packet.count[3];
}

uint32_t PacketTimeMsbFirst(const DataPacket& packet)
{
    return (uint32_t{packet.time[0]} << 24) | (uint32_t{packet.time[1]} << 16) |
           (uint32_t{packet.time[2]} << 8) | packet.time[3];
}

void SetPacketTimeLsbFirst(DataPacket& packet, uint32_t time)
{
    for (int i = 0; i < 4; ++i) {
        packet.time[i] = static_cast<uint8_t>(time >> (8 * i));
    }
}

void SetPacketTimeMsbFirst(DataPacket& packet, uint32_t time)
{
    for (int i = 0; i < 4; ++i) {
        packet.time[i] = static_cast<uint8_t>(time >> (24 - 8 * i));
    }
}

bool SendDataPacket(DataPacket& packet, uint8_t sequence)
{
    const uint32_t n = PacketPayloadLength(packet);
    if (n > static_cast<uint32_t>(kMaxPayload)) {
        return false;
    }
    packet.lineFeed = kPacketStart;
    packet.type = kDataPacketType;
    packet.sequence = sequence;
    auto* bytes = reinterpret_cast<uint8_t*>(&packet);
    const uint16_t crc = Crc16(bytes, kDataHeaderSize + n);
    packet.data[n] = static_cast<uint8_t>(crc >> 8);
    packet.data[n + 1] = static_cast<uint8_t>(crc & 0xFF);
    const bool written = WriteDasPort(bytes, n + kDataPacketOverhead);
    RecordSent(bytes, n + kDataPacketOverhead);
    return written;
}

ControlPacket MakeControlPacket(uint8_t kind, uint8_t sequence)
{
    ControlPacket packet{kPacketStart, kControlPacketType, kind, sequence, {0, 0}};
    const uint16_t crc = Crc16(reinterpret_cast<const uint8_t*>(&packet), 4);
    packet.crc[0] = static_cast<uint8_t>(crc >> 8);
    packet.crc[1] = static_cast<uint8_t>(crc & 0xFF);
    return packet;
}

bool SendAckPacket(uint8_t kind, uint8_t sequence)
{
    const ControlPacket packet = MakeControlPacket(kind, sequence);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&packet);
    const bool written = WriteDasPort(bytes, kControlPacketSize);
    RecordSent(bytes, kControlPacketSize);
    return written;
}

void DropAnswerEcho(bool answerOver)
{
    g_answerOver = answerOver;
    uint32_t waiting = GetCommInQueue(DasPortHandle());
    while (waiting > 0 && g_rcvFill < static_cast<uint32_t>(kReceiveBufferSize)) {
        const uint32_t start = g_rcvFill;
        uint32_t count = std::min<uint32_t>(waiting, kReceiveBufferSize - start);
        // Bytes wait, so the read returns at once.
        if (!ReadDasPort(g_rcvBuffer + start, count) || count == 0) {
            break;
        }
        waiting -= std::min(waiting, count);
        KeepRead(count);
    }
    // The echo and the noise go; a packet the DAS has begun stays for the parser, which reads
    // the rest of it.
    if (!TakeAnswerEcho(true)) {
        DropNoise(NextPacketStart(0));
    }
}

void PurgeAfterPause()
{
    PurgeDasInput();
    g_rcvFill = 0;
    ForgetSent();
}

int CheckPacket(const uint8_t* buffer, uint32_t fill)
{
    if (fill == 0) {
        return kRcvNothing;
    }
    if (buffer[0] != kPacketStart) {
        return kRcvFramingError;
    }
    if (fill == 1) {
        return kRcvNothing;
    }
    if (buffer[1] == kControlPacketType) {
        if (fill < static_cast<uint32_t>(kControlPacketSize)) {
            return kRcvNothing;
        }
        return PacketCrcOk(buffer, kControlPacketSize) ? kRcvControl : kRcvControlCrcError;
    }
    if (buffer[1] == kDataPacketType) {
        if (fill < static_cast<uint32_t>(kDataHeaderSize)) {
            return kRcvNothing;
        }
        const uint32_t payload = uint32_t{buffer[12]} + buffer[13] + buffer[14] + buffer[15];
        // More than a packet can carry: a corrupt header, never to be copied.
        if (payload > static_cast<uint32_t>(kMaxPayload)) {
            return kRcvFramingError;
        }
        const uint32_t length = payload + kDataPacketOverhead;
        if (fill < length) {
            return kRcvNothing;
        }
        return PacketCrcOk(buffer, length) ? kRcvData : kRcvDataCrcError;
    }
    return kRcvFramingError;
}

int ReceivePackets()
{
    bool parseOnly = false;
    int skippedError = 0;
    for (;;) {
        if (!parseOnly) {
            ReadIntoBuffer();
            if (TakeAnswerEcho(false)) {
                return kRcvNothing;
            }
        }
        const int result = ParseOne();
        // Level 1 takes one packet per answer and lets the DAS resend the rest; level 2 and
        // playback have no resend, so each packet is reported in turn.
        const bool dropExtra = !PlayingBack() && GetProtocol() < 2;
        if (result == kRcvNothing && skippedError != 0) {
            // Garbage with nothing good after it: the protocol must hear of it to ask again.
            return skippedError;
        }
        if (g_rcvFill == 0 || result == kRcvNothing || !dropExtra) {
            return result;
        }
        // An ACKd or NAKd, or a data packet numbered 2 or more, after a control packet is
        // taken as its sequel. With too few bytes to tell, the control packet is kept.
        if (result == kRcvControl && (g_rcvFill < 3 || g_rcvBuffer[2] >= 2)) {
            return result;
        }
        if (result != kRcvData && result != kRcvControl) {
            skippedError = result;
        }
        TraceIgnored();
        parseOnly = true;
    }
}

DataPacket& ReceivedDataPacket() { return g_receivedData; }
const ControlPacket& ReceivedControlPacket() { return g_receivedControl; }
DataPacket& TransmitPacket() { return g_transmit; }

void ClearReceiveBuffer()
{
    g_rcvFill = 0;
    ResetRawTrace();
    ForgetLineEcho();
}

bool AnswerEchoAwaited() { return g_echoDue.load(); }

void SetEchoLatencyForTest(std::chrono::milliseconds latency)
{
    g_echoLatencyTicks = latency.count() * kPerfFrequency / 1000;
}

void ForgetLineEcho()
{
    ForgetSent();
    g_answersWithoutEcho = 0;
    g_echoLine = DasLineNumber();
}

uint32_t ReceiveBufferFill() { return g_rcvFill; }

uint32_t PacketBytesMissing()
{
    if (g_rcvFill == 0 || g_rcvBuffer[0] != kPacketStart) {
        return 0;
    }
    uint32_t length = kControlPacketSize;  // the shortest packet, until the type tells
    if (g_rcvFill >= 2 && g_rcvBuffer[1] == kDataPacketType) {
        length = kDataPacketOverhead;
        if (g_rcvFill >= static_cast<uint32_t>(kDataHeaderSize)) {
            const uint32_t payload =
                uint32_t{g_rcvBuffer[12]} + g_rcvBuffer[13] + g_rcvBuffer[14] + g_rcvBuffer[15];
            // A header that claims more is a framing error: nothing more is awaited for it.
            length = payload <= static_cast<uint32_t>(kMaxPayload) ? payload + length : 0;
        }
    } else if (g_rcvFill >= 2 && g_rcvBuffer[1] != kControlPacketType) {
        return 0;
    }
    return length > g_rcvFill ? length - g_rcvFill : 0;
}

uint32_t ReceivedByteCount() { return g_rcvTotal; }

void SetPlaybackSource(TPlaybackSource* source)
{
    g_playbackSource.store(source, std::memory_order_release);
}

void SetPlayingBack(bool playing) { g_playingBack.store(playing, std::memory_order_release); }

bool PlayingBack() { return g_playingBack.load(std::memory_order_acquire); }

bool PlaybackFileOpen()
{
    const TPlaybackSource* source = g_playbackSource.load(std::memory_order_acquire);
    return source && source->IsOpen();
}
