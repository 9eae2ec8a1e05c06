#include "link/PacketTrace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/Clocks.h"

namespace {

uint8_t g_lastRawByte = 0;

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

}  // namespace

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

void ResetRawTrace() { g_lastRawByte = 0; }

void TraceReceiveError(int result, const uint8_t* buffer, uint32_t fill)
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fprintf(g_protoLog, "%u RCV Error  %d  gPktIndex = %u:", TraceMicroseconds(), result,
                     fill);
        for (uint32_t i = 0; i < fill; ++i) {
            std::fprintf(g_protoLog, "%02X", buffer[i]);
        }
        for (uint32_t i = 0; i < fill; ++i) {
            std::fputc(buffer[i], g_protoLog);
        }
        std::fputs("\r\n", g_protoLog);
    }
    if (g_protoRaw) {
        std::fprintf(g_protoRaw, "\n***ERROR %d***\n", result);
    }
}

void TraceReceived(int result, const DataPacket& data, const ControlPacket& control)
{
    const std::lock_guard lock(g_traceMutex);
    if (!g_protoLog) {
        return;
    }
    std::fprintf(g_protoLog, "%u RCV<--  ", TraceMicroseconds());
    if (result == kRcvData) {
        WriteDataTrace(data);
        if (g_protoRaw) {
            std::fputs("\nRCV<--  ", g_protoRaw);
        }
    } else {
        WriteControlTrace(control.kind, control.sequence);
    }
}

void TraceIgnored()
{
    const std::lock_guard lock(g_traceMutex);
    if (g_protoLog) {
        std::fprintf(g_protoLog, "%u Packet Ignored \r\n", TraceMicroseconds());
    }
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
