#pragma once
// The DAS side's own packet encoding and frame parser. Written apart from the host's packet
// code on purpose, so that a fault in one is not mirrored in the other.

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

namespace das {

constexpr int kMaxPayload = 254;

// CRC-16, polynomial 0x1021, initial 0, computed bit by bit.
uint16_t Crc(const QByteArray& bytes);

// One segment of a data packet.
struct TSegment {
    uint8_t channel = 0;
    QByteArray bytes;
};

// A data packet as the DAS sends it: time stamp most significant byte first.
QByteArray EncodeData(uint8_t sequence, uint8_t flags, uint32_t timeMs,
                      const std::vector<TSegment>& segments);
// A control packet: kind 0 NAK, 1 ACK, 2 NAKd, 3 ACKd.
QByteArray EncodeControl(uint8_t kind, uint8_t sequence);

// The length of the frame that starts at `at` in `bytes`: 0 while the bytes so far do not
// tell, -1 when no frame starts there (no line feed, an unknown type, a payload above 254).
qsizetype FrameLength(const QByteArray& bytes, qsizetype at);

// One frame cut from the host's byte stream.
struct TFrame {
    enum class TKind { Data, Control, Bad } kind = TKind::Bad;
    uint8_t sequence = 0;  // data sequence, or control sequence
    uint8_t controlKind = 0;
    uint8_t flags = 0;
    uint32_t time = 0;     // as on the wire, least significant byte first (host packets)
    std::vector<TSegment> segments;
};

// Cuts frames out of a byte stream: a bad CRC or a bad start drops one byte and searches for
// the next line feed.
class TFrameParser {
public:
    void Feed(const QByteArray& bytes) { buffer_.append(bytes); }
    // The next complete frame (good or bad), or nothing while incomplete.
    std::optional<TFrame> Next();
    // Bytes held that do not make a whole frame yet.
    int Pending() const { return static_cast<int>(buffer_.size()); }
    void Clear() { buffer_.clear(); }

private:
    QByteArray buffer_;
};

}  // namespace das
