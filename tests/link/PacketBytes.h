#pragma once
// Packets written out byte by byte for the framing and protocol tests, and the control
// packets they exchange most.

#include <QByteArray>
#include <initializer_list>

// The bytes of `values`, each taken as one octet.
inline QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int v : values) {
        bytes.append(static_cast<char>(v));
    }
    return bytes;
}

// 0A 32 01 09 61 76: ACK of sequence 9.
inline const QByteArray kAck9 = Bytes({0x0A, 0x32, 0x01, 0x09, 0x61, 0x76});
// NAK of sequence 0.
inline const QByteArray kNak0 = Bytes({0x0A, 0x32, 0x00, 0x00, 0xC3, 0x6E});
// ACKD of sequence 9.
inline const QByteArray kAckd9 = Bytes({0x0A, 0x32, 0x03, 0x09, 0x07, 0x14});
// Data packet seq 3, flags 0, time 0, channel 5, "ABC".
inline const QByteArray kDataAbc = Bytes({0x0A, 0x31, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,
                                          0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x41, 0x42,
                                          0x43, 0x92, 0x0E});
