#pragma once
// The two packets of the DAS link, their CRC, sending them, and the receive parser that cuts
// packets out of the byte stream from the DAS port (or from an archive being played back),
// classifies and counts them and resynchronises after errors. Also the two protocol trace
// files "protolog.txt" and "protoraw.txt".
//
// Threads: the transmit buffer, the receive buffer and the received copies belong to the link
// thread (or to whoever holds the link while it is parked). The counters, the trace files and
// the playback state may be touched from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>

// Packet framing.
constexpr uint8_t kPacketStart = 0x0A;
constexpr uint8_t kDataPacketType = '1';
constexpr uint8_t kControlPacketType = '2';
constexpr int kMaxPayload = 254;
constexpr int kDataHeaderSize = 16;
constexpr int kCrcSize = 2;
constexpr int kDataPacketOverhead = kDataHeaderSize + kCrcSize;  // 18
constexpr int kControlPacketSize = 6;
constexpr int kReceiveBufferSize = 1199;

// Data packet flags.
constexpr uint8_t kFlagAcceptRepeat = 0x01;  // accept even when the sequence repeats
constexpr uint8_t kFlagHostRecord = 0x80;    // archive record of host-sent data

// Control packet kinds.
constexpr uint8_t kNak = 0;
constexpr uint8_t kAck = 1;
constexpr uint8_t kNakd = 2;
constexpr uint8_t kAckd = 3;

// Result codes of CheckPacket and ReceivePackets.
constexpr int kRcvData = '1';
constexpr int kRcvControl = '2';
constexpr int kRcvNothing = 128;
constexpr int kRcvFramingError = 250;
constexpr int kRcvDataCrcError = 253;
constexpr int kRcvControlCrcError = 254;

// A data packet as it travels on the wire: 16 header bytes, the payload, then the CRC right
// after the payload (high byte first).
struct DataPacket {
    uint8_t lineFeed;    // 0x0A
    uint8_t type;        // '1'
    uint8_t sequence;
    uint8_t flags;
    uint8_t time[4];     // ms; DAS packets and archive records MSB first, host packets LSB first
    uint8_t channel[4];  // host channel of segments 0 to 3
    uint8_t count[4];    // byte count of segments 0 to 3
    uint8_t data[kMaxPayload + kCrcSize];
};
static_assert(sizeof(DataPacket) == 272);

// An acknowledgement or poll: 0x0A, '2', kind, sequence, CRC high byte first.
struct ControlPacket {
    uint8_t lineFeed;
    uint8_t type;
    uint8_t kind;
    uint8_t sequence;
    uint8_t crc[2];
};
static_assert(sizeof(ControlPacket) == kControlPacketSize);

// Counters of the receive parser, read by the statistics window.
struct TPacketCounters {
    std::atomic<uint32_t> dataPacketsReceived{0};
    std::atomic<uint32_t> controlPacketsReceived{0};
    std::atomic<uint32_t> receiveErrors{0};
};
// Any thread.
TPacketCounters& PacketCounters();
void ResetPacketCounters();

// CRC-16 with polynomial 0x1021, MSB first, no reflection, no final XOR. Any thread.
uint16_t Crc16(const uint8_t* bytes, uint32_t count, uint16_t initial = 0);
// Whether the last two bytes of `bytes` are the CRC (high byte first) of the ones before.
bool PacketCrcOk(const uint8_t* bytes, uint32_t length);
// Sum of the four segment counts (may exceed 254 in a packet that was not checked).
uint32_t PacketPayloadLength(const DataPacket& packet);
// The time field read MSB first (DAS packets, archive records) / LSB first (host packets).
uint32_t PacketTimeMsbFirst(const DataPacket& packet);
void SetPacketTimeLsbFirst(DataPacket& packet, uint32_t time);
void SetPacketTimeMsbFirst(DataPacket& packet, uint32_t time);

// Link thread. Sets the start, type and sequence, appends the CRC and writes the 18 + n bytes
// to the DAS port. False, with nothing written, when the counts add up to more than 254.
bool SendDataPacket(DataPacket& packet, uint8_t sequence);
// Link thread (or the UI thread while the link thread is parked): writes a control packet.
bool SendAckPacket(uint8_t kind, uint8_t sequence);
// Link thread. Purges the DAS port's input after the host's answer, without losing the DAS's
// reply to it: of the bytes waiting now it drops the noise ahead of the first likely packet
// start and the echo of what the host wrote for that answer (a line that hears itself), packet
// by packet, whole or spoilt by noise, and keeps a packet the DAS has begun to send for the
// parser. A DAS that answers at once has its next packet on the way before the host comes to
// purge; flushing the port would throw it away, whole or in part. The start of an echo is kept
// until the bytes behind it tell it from the DAS's reply. Whether the line echoes is learnt
// from the answers (see ForgetLineEcho): once the DAS's packets have come behind several
// answers with no echo ahead of them, a poll that matches the host's NAK 0 byte for byte is
// the DAS's. `answerOver`: the answer has gone out whole (what the host writes next is a new
// one); false for the purge just after writing, while its echo may still be coming.
void DropAnswerEcho(bool answerOver);
// Link thread, after the operator's post-transmit pause: what came during it is not listened
// to. Purges the port's input and the receive buffer.
void PurgeAfterPause();
// Any thread: whether the link still looks for the echo of the host's latest answer.
bool AnswerEchoAwaited();
// How late an echo may come behind the answer's own time on the line: the adapters' latency
// in both directions and the scheduler's.
constexpr std::chrono::milliseconds kDefaultEchoLatency{50};
// Tests: another latency than kDefaultEchoLatency.
void SetEchoLatencyForTest(std::chrono::milliseconds latency);
// Link thread (or any thread while it is parked): what the host wrote last and what it learnt
// of the line's echo are forgotten. A port made the DAS port (a connect, a reopened port,
// another port chosen: DasLineNumber) has this done for it before the link uses it.
void ForgetLineEcho();
// Builds a control packet without sending it. Any thread.
ControlPacket MakeControlPacket(uint8_t kind, uint8_t sequence);

// Classifies the start of `buffer` holding `fill` bytes: kRcvData, kRcvControl, kRcvNothing
// (incomplete) or one of the three error codes. A data packet whose counts add up to more than
// 254 is a framing error. Any thread.
int CheckPacket(const uint8_t* buffer, uint32_t fill);

// Link thread. Reads what the DAS port (or the playback source) has, takes at most one packet
// from the receive buffer and returns its result code. A data packet is left in
// ReceivedDataPacket(), a control packet in ReceivedControlPacket().
int ReceivePackets();
// Link thread. The copies of the last packets taken (overwritten by the next of their kind).
DataPacket& ReceivedDataPacket();
const ControlPacket& ReceivedControlPacket();
// Link thread. The one transmit buffer that the link thread fills.
DataPacket& TransmitPacket();
// Link thread or tests: empties the receive buffer (and forgets the echo expected of the host's
// last answer). The link keeps it across connects.
void ClearReceiveBuffer();
// Bytes waiting in the receive buffer (link thread).
uint32_t ReceiveBufferFill();
// Link thread. How many bytes of the packet begun at the start of the receive buffer are yet to
// come, as far as its bytes so far tell: a packet start alone awaits the rest of the shortest
// packet, a data packet without its whole header the rest of an empty one. 0 when no packet is
// begun there, or it is whole, or its bytes so far are no packet's.
uint32_t PacketBytesMissing();
// Bytes read into the receive buffer since the program started, wrapping (link thread): a
// pass that read some was not silent, even when no packet is complete yet.
uint32_t ReceivedByteCount();

// Where archive playback reads recorded packets from; the archive code implements it.
class TPlaybackSource {
public:
    virtual ~TPlaybackSource() = default;
    // Any thread: whether the archive file is open.
    virtual bool IsOpen() const = 0;
    // Link thread: reads at most `room` bytes into `buffer`; 0 at the end of the file.
    virtual uint32_t Read(uint8_t* buffer, uint32_t room) = 0;
    // Link thread: closes the file (playback ends).
    virtual void Close() = 0;
};
// UI thread while the link thread is parked: installs the playback source (not owned; nullptr
// removes it) and says whether an archive is being played back.
void SetPlaybackSource(TPlaybackSource* source);
void SetPlayingBack(bool playing);
// Any thread.
bool PlayingBack();
// Any thread: a playback source is installed and its file is open.
bool PlaybackFileOpen();

// The protocol trace files in the current folder, each opened (truncated) and closed by itself:
// "protolog.txt" (packets sent and received, errors) and "protoraw.txt" (the bytes read). Any
// thread; the link thread's writes and these calls take one lock, and a write goes to a large
// buffer, so a trace costs the link next to nothing. False when the file cannot be opened.
bool OpenProtocolLog();
void CloseProtocolLog();
bool ProtocolLogOpen();
bool OpenRawLog();
void CloseRawLog();
bool RawLogOpen();
// Both together: false when either cannot be opened (then neither is open).
bool OpenProtocolLogs();
void CloseProtocolLogs();
bool ProtocolLogsOpen();
// Link thread: trace lines of the protocol engine.
void TraceSentData(const DataPacket& packet);
void TraceSentControl(uint8_t kind, uint8_t sequence);
void TraceDuplicate(const DataPacket& packet);
// The trace clock: microseconds from the low 32 bits of the performance counter.
uint32_t TraceMicroseconds();
