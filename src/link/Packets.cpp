#include "link/Packets.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "link/Protocol.h"
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
uint8_t g_lastRawByte = 0;
// What the host wrote for its latest answer (an ACKd and the data packet that rides on it at
// most). A new answer starts a new record once the last one is over or the line has been heard.
constexpr uint32_t kEchoBytes = kControlPacketSize + sizeof(DataPacket);
uint8_t g_sent[kEchoBytes];
uint32_t g_sentFill = 0;
bool g_answerOver = false;
// Whether the echo of that answer (on a line that hears itself) may still come at the front of
// the receive buffer, until when (performance counter), and whether the DAS's bytes came
// there instead or nothing came in time.
std::atomic<bool> g_echoDue{false};
int64_t g_echoDeadline = 0;
bool g_echoMissed = false;
std::atomic<int64_t> g_echoLatencyTicks{kDefaultEchoLatency.count() * kPerfFrequency / 1000};
// Answers in a row (not counting lone NAK 0s) behind which the DAS's packets came with no echo
// ahead of them. This many show that the line does not echo; fewer may be echoes lost to noise.
constexpr uint32_t kAnswersShowingNoEcho = 3;
uint32_t g_answersWithoutEcho = 0;
// The DAS line (DasLineNumber) that all this was learnt on.
uint32_t g_echoLine = 0;

void ForgetSent()
{
    g_sentFill = 0;
    g_answerOver = false;
    g_echoDue = false;
    g_echoMissed = false;
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

// The trace files; the statistics window opens and closes them while the link writes.
std::mutex g_traceMutex;
constexpr size_t kTraceBufferBytes = 64 * 1024;
FILE* g_protoLog = nullptr;
FILE* g_protoRaw = nullptr;

const char* ControlTraceText(uint8_t kind)
{
    switch (kind) {
    case kNak: return "NAK     Seq= %3d ";
    case kAck: return "ACK     Seq= %3d ";
    case kNakd: return "NAKd    Seq= %3d ";
    default: return "ACKd    Seq= %3d ";
    }
}

// Caller holds g_traceMutex and g_protoLog is open.
void WriteControlTrace(uint8_t kind, uint8_t sequence)
{
    std::fprintf(g_protoLog, ControlTraceText(kind), sequence);
    std::fputs("\n", g_protoLog);
}

// Caller holds g_traceMutex and g_protoLog is open. The payload is shown as text up to its
// first zero byte, never beyond the payload itself.
void WriteDataTrace(const DataPacket& p)
{
    std::fprintf(g_protoLog, "DATA Seq= %3d Chan/Bytes %d/%d %d/%d %d/%d %d/%d:", p.sequence,
                 p.channel[0], p.count[0], p.channel[1], p.count[1], p.channel[2], p.count[2],
                 p.channel[3], p.count[3]);
    const uint32_t n = std::min<uint32_t>(PacketPayloadLength(p), kMaxPayload);
    const auto* end = static_cast<const uint8_t*>(std::memchr(p.data, 0, n));
    const size_t textLength = end ? static_cast<size_t>(end - p.data) : n;
    std::fwrite(p.data, 1, textLength, g_protoLog);
    std::fputs("\n", g_protoLog);
}

void TraceRawBytes(const uint8_t* bytes, uint32_t count)
{
    const std::lock_guard lock(g_traceMutex);
    if (!g_protoRaw) {
        return;
    }
    std::fputs("{", g_protoRaw);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (g_lastRawByte == kPacketStart && b == kDataPacketType) {
            std::fputs("\n\n0A ", g_protoRaw);
        } else if (g_lastRawByte == kPacketStart && b == kControlPacketType) {
            std::fputs("\n0A ", g_protoRaw);
        }
        std::fprintf(g_protoRaw, "%02X ", b);
        g_lastRawByte = b;
    }
    std::fprintf(g_protoRaw, "%u}", TraceMicroseconds());
}

void TraceReceiveError(int result)
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fprintf(g_protoLog, "%u RCV Error  %d  gPktIndex = %u:", TraceMicroseconds(), result,
                     g_rcvFill);
        for (uint32_t i = 0; i < g_rcvFill; ++i) {
            std::fprintf(g_protoLog, "%02X", g_rcvBuffer[i]);
        }
        for (uint32_t i = 0; i < g_rcvFill; ++i) {
            std::fputc(g_rcvBuffer[i], g_protoLog);
        }
        std::fputs("\r\n", g_protoLog);
    }
    if (g_protoRaw) {
        std::fprintf(g_protoRaw, "\n***ERROR %d***\n", result);
    }
}

void TraceReceived(int result)
{
    const std::lock_guard lock(g_traceMutex);
    if (!g_protoLog) {
        return;
    }
    std::fprintf(g_protoLog, "%u RCV<--  ", TraceMicroseconds());
    if (result == kRcvData) {
        WriteDataTrace(g_receivedData);
        if (g_protoRaw) {
            std::fputs("\nRCV<--  ", g_protoRaw);
        }
    } else {
        WriteControlTrace(g_receivedControl.kind, g_receivedControl.sequence);
    }
}

void TraceIgnored()
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fprintf(g_protoLog, "%u Packet Ignored \r\n", TraceMicroseconds());
    }
}

// Drops `count` bytes of the receive buffer from `at` on (at most those it holds).
void DropFrom(uint32_t at, uint32_t count)
{
    count = std::min(count, g_rcvFill - at);
    std::memmove(g_rcvBuffer + at, g_rcvBuffer + at + count, g_rcvFill - at - count);
    g_rcvFill -= count;
}

void DropFront(uint32_t count) { DropFrom(0, count); }

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
    DropFront(start < g_rcvFill ? start : g_rcvFill - 1);
}

void RecordSent(const uint8_t* bytes, uint32_t count)
{
    FollowDasLine();
    if (g_answerOver || g_sentFill + count > kEchoBytes) {
        ForgetSent();
    }
    count = std::min(count, kEchoBytes);
    std::memcpy(g_sent + g_sentFill, bytes, count);
    g_sentFill += count;
    // Level 2 and playback answer nothing: their input is never searched for an echo.
    g_echoDue = GetProtocol() < kErrorDetectingProtocol && !PlayingBack();
    const int64_t onTheWire = int64_t{g_sentFill} * DasCharacterTimeNs() / 100;
    g_echoDeadline = PerfCounter() + onTheWire + g_echoLatencyTicks.load();
}

// The host's latest answer is a lone NAK of sequence 0: byte for byte the DAS's poll.
bool AnswerIsAPoll()
{
    static const ControlPacket poll = MakeControlPacket(kNak, 0);
    return g_sentFill == static_cast<uint32_t>(kControlPacketSize) &&
           std::memcmp(g_sent, &poll, kControlPacketSize) == 0;
}

// Looks for the echo of the host's latest answer at the front of the receive buffer, behind the
// noise of the line turning round (dropped with the echo, or at once with `dropNoise`). A whole
// echo is dropped; the start of one is held until the bytes behind it tell an echo from the
// DAS's reply (true: the front must not be parsed yet), or until an echo would have come;
// anything else is the DAS's and stays. Until the line has shown that it does not echo, a whole
// echo of the answer in time is taken for the echo, even one that a poll of the DAS would
// match. Once it has, a poll-like answer is never looked for: a DAS that polls at once is
// answered. Only an echo no DAS packet can match (an acknowledgement or a data packet of the
// host's) shows that the line echoes after all.
bool TakeAnswerEcho(bool dropNoise)
{
    FollowDasLine();
    if (!g_echoDue) {
        return false;
    }
    // A poll-like answer tells nothing of the line either way: its echo and a DAS that polls
    // at once look alike.
    const bool telling = !AnswerIsAPoll();
    if (LineShownNotToEcho() && !telling) {
        g_echoDue = false;
        return false;
    }
    const uint32_t at = NextPacketStart(0);
    if (dropNoise) {
        DropFront(at);
    }
    const uint32_t front = dropNoise ? 0 : at;
    const uint32_t compared = std::min(g_rcvFill - front, g_sentFill);
    if (std::memcmp(g_rcvBuffer + front, g_sent, compared) != 0) {
        g_echoDue = false;
        g_echoMissed = telling;
        return false;
    }
    if (compared < g_sentFill) {
        if (PerfCounter() < g_echoDeadline) {
            return compared > 0;
        }
        // Too late for the echo: what has come, and what comes next, is the DAS's.
        g_echoDue = false;
        g_echoMissed = telling;
        return false;
    }
    DropFront(front + g_sentFill);
    DropFront(NextPacketStart(0));
    g_echoDue = false;
    if (telling) {
        g_answersWithoutEcho = 0;
    }
    return false;
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
    const int result = CheckPacket(g_rcvBuffer, g_rcvFill);
    switch (result) {
    case kRcvFramingError:
    case kRcvDataCrcError:
    case kRcvControlCrcError:
        g_counters.receiveErrors.fetch_add(1, std::memory_order_relaxed);
        TraceReceiveError(result);
        Resynchronise();
        break;
    case kRcvData: {
        const uint32_t length = uint32_t{g_rcvBuffer[12]} + g_rcvBuffer[13] + g_rcvBuffer[14] +
                                g_rcvBuffer[15] + kDataPacketOverhead;
        std::memcpy(&g_receivedData, g_rcvBuffer, length);
        TraceReceived(result);
        DropFront(length);
        g_counters.dataPacketsReceived.fetch_add(1, std::memory_order_relaxed);
        break;
    }
    case kRcvControl:
        std::memcpy(&g_receivedControl, g_rcvBuffer, kControlPacketSize);
        TraceReceived(result);
        DropFront(kControlPacketSize);
        g_counters.controlPacketsReceived.fetch_add(1, std::memory_order_relaxed);
        break;
    default:
        break;
    }
    if ((result == kRcvData || result == kRcvControl) && g_echoMissed) {
        // The DAS's packet came behind the host's answer with no echo ahead of it.
        g_echoMissed = false;
        ++g_answersWithoutEcho;
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
        DropFront(NextPacketStart(0));
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
    g_lastRawByte = 0;
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

namespace {

// Opens a trace file for writing as text (truncated) unless it is open, with a buffer that keeps
// the link thread's writes in memory most of the time; true when it is open.
bool OpenTraceFile(FILE*& file, const char* name)
{
    const std::lock_guard lock(g_traceMutex);
    if (file == nullptr) {
        file = std::fopen(name, "w");
        if (file != nullptr) {
            std::setvbuf(file, nullptr, _IOFBF, kTraceBufferBytes);
        }
    }
    return file != nullptr;
}

void CloseTraceFile(FILE*& file)
{
    const std::lock_guard lock(g_traceMutex);
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
}

bool TraceFileOpen(FILE* const& file)
{
    const std::lock_guard lock(g_traceMutex);
    return file != nullptr;
}

}  // namespace

bool OpenProtocolLog() { return OpenTraceFile(g_protoLog, "protolog.txt"); }
void CloseProtocolLog() { CloseTraceFile(g_protoLog); }
bool ProtocolLogOpen() { return TraceFileOpen(g_protoLog); }
bool OpenRawLog() { return OpenTraceFile(g_protoRaw, "protoraw.txt"); }
void CloseRawLog() { CloseTraceFile(g_protoRaw); }
bool RawLogOpen() { return TraceFileOpen(g_protoRaw); }

bool OpenProtocolLogs()
{
    if (OpenProtocolLog() && OpenRawLog()) {
        return true;
    }
    CloseProtocolLogs();
    return false;
}

void CloseProtocolLogs()
{
    CloseProtocolLog();
    CloseRawLog();
}

bool ProtocolLogsOpen() { return ProtocolLogOpen(); }

void TraceSentData(const DataPacket& packet)
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fprintf(g_protoLog, "%u SND-->  ", TraceMicroseconds());
        WriteDataTrace(packet);
    }
}

void TraceSentControl(uint8_t kind, uint8_t sequence)
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fprintf(g_protoLog, "%u SND-->  ", TraceMicroseconds());
        WriteControlTrace(kind, sequence);
    }
}

void TraceDuplicate(const DataPacket& packet)
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fputs("DUP<--  ", g_protoLog);
        WriteDataTrace(packet);
    }
}

uint32_t TraceMicroseconds()
{
    const uint64_t counter = static_cast<uint32_t>(PerfCounter());
    const uint64_t frequency = static_cast<uint32_t>(kPerfFrequency);
    return static_cast<uint32_t>(counter * 1'000'000 / frequency);
}
