#pragma once
// The link thread's side of the protocol trace files ("protolog.txt", "protoraw.txt"): what the
// receive parser writes to them. Opening, closing and the sent-packet traces are in Packets.h.
// Link thread; the files themselves are guarded, since the statistics window opens and closes
// them while the link writes.

#include <cstdint>

#include "link/Packets.h"

// The bytes just read from the DAS port, each packet start on a line of its own.
void TraceRawBytes(const uint8_t* bytes, uint32_t count);
// A new run of raw bytes: the last one read is forgotten.
void ResetRawTrace();
// A bad packet at the front of the receive buffer (`fill` bytes at `buffer`).
void TraceReceiveError(int result, const uint8_t* buffer, uint32_t fill);
// A good packet taken: the data packet for kRcvData, else the control packet.
void TraceReceived(int result, const DataPacket& data, const ControlPacket& control);
// A packet skipped because another came behind it.
void TraceIgnored();
