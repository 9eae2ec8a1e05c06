#include "support/das/DasFrames.h"

#include <vector>

namespace das {

namespace {

uint8_t At(const QByteArray& bytes, qsizetype i) { return static_cast<uint8_t>(bytes[i]); }

void AppendCrc(QByteArray& packet)
{
    const uint16_t crc = Crc(packet);
    packet.append(static_cast<char>(crc >> 8));
    packet.append(static_cast<char>(crc & 0xFF));
}

bool CrcMatches(const QByteArray& frame)
{
    const qsizetype n = frame.size() - 2;
    const uint16_t crc = Crc(frame.left(n));
    return At(frame, n) == (crc >> 8) && At(frame, n + 1) == (crc & 0xFF);
}

}  // namespace

uint16_t Crc(const QByteArray& bytes)
{
    uint16_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            const bool top = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (top) {
                crc ^= 0x1021;
            }
        }
    }
    return crc;
}

QByteArray EncodeData(uint8_t sequence, uint8_t flags, uint32_t timeMs,
                      const std::vector<TSegment>& segments)
{
    QByteArray packet;
    packet.append('\n');
    packet.append('1');
    packet.append(static_cast<char>(sequence));
    packet.append(static_cast<char>(flags));
    for (int shift = 24; shift >= 0; shift -= 8) {
        packet.append(static_cast<char>((timeMs >> shift) & 0xFF));
    }
    for (size_t i = 0; i < 4; ++i) {
        packet.append(static_cast<char>(i < segments.size() ? segments[i].channel : 0));
    }
    for (size_t i = 0; i < 4; ++i) {
        packet.append(static_cast<char>(i < segments.size() ? segments[i].bytes.size() : 0));
    }
    for (size_t i = 0; i < segments.size() && i < 4; ++i) {
        packet.append(segments[i].bytes);
    }
    AppendCrc(packet);
    return packet;
}

QByteArray EncodeControl(uint8_t kind, uint8_t sequence)
{
    QByteArray packet;
    packet.append('\n');
    packet.append('2');
    packet.append(static_cast<char>(kind));
    packet.append(static_cast<char>(sequence));
    AppendCrc(packet);
    return packet;
}

qsizetype FrameLength(const QByteArray& bytes, qsizetype at)
{
    if (at >= bytes.size()) {
        return 0;
    }
    if (bytes[at] != '\n') {
        return -1;
    }
    if (at + 1 >= bytes.size()) {
        return 0;
    }
    qsizetype length = -1;
    if (bytes[at + 1] == '2') {
        length = 6;
    } else if (bytes[at + 1] == '1') {
        if (at + 16 > bytes.size()) {
            return 0;
        }
        int payload = 0;
        for (int i = 12; i < 16; ++i) {
            payload += At(bytes, at + i);
        }
        length = payload > kMaxPayload ? -1 : 18 + payload;
    }
    return length > 0 && at + length > bytes.size() ? 0 : length;
}

std::optional<TFrame> TFrameParser::Next()
{
    if (buffer_.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype length = FrameLength(buffer_, 0);
    if (length == 0) {
        return std::nullopt;
    }
    if (length < 0 || !CrcMatches(buffer_.left(length))) {
        // Drop the start and look for the next line feed.
        const qsizetype next = buffer_.indexOf('\n', 1);
        buffer_.remove(0, next < 0 ? buffer_.size() : next);
        return TFrame{};
    }
    TFrame frame;
    if (buffer_[1] == '2') {
        frame.kind = TFrame::TKind::Control;
        frame.controlKind = At(buffer_, 2);
        frame.sequence = At(buffer_, 3);
    } else {
        frame.kind = TFrame::TKind::Data;
        frame.sequence = At(buffer_, 2);
        frame.flags = At(buffer_, 3);
        for (int i = 0; i < 4; ++i) {
            frame.time |= uint32_t{At(buffer_, 4 + i)} << (8 * i);
        }
        qsizetype offset = 16;
        for (int i = 0; i < 4; ++i) {
            const int count = At(buffer_, 12 + i);
            frame.segments.push_back({At(buffer_, 8 + i), buffer_.mid(offset, count)});
            offset += count;
        }
    }
    buffer_.remove(0, length);
    return frame;
}

}  // namespace das
