#pragma once
// Internal to the command sequences: the port values the command texts use and the bounded
// sum of sequence times, shared by the single-device steps and the station batches.
//
// Threads: UI thread.

#include <QString>
#include <algorithm>
#include <cstdint>

#include "station/CommandBlocks.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

// The values the command texts use.
struct TPortValues {
    const TPort* port = nullptr;
    QString p;   // DAS serial port number (a PC port's COM number)
    QString hc;  // host channel

    explicit TPortValues(const TDevice& device) : port(device.GetPort())
    {
        if (port != nullptr) {
            p = QString::number(port->GetSerialPort());
            hc = QString::number(port->GetHostChannel());
        }
    }
    bool DasSerial() const { return port != nullptr && port->GetType() == TPortType::Serial; }
    bool PcPort() const { return port != nullptr && port->IsPCSerial(); }
    bool SerialKind() const { return port != nullptr && port->IsSerial(); }
};

// Sequence times add settings that files give as they stand: the sum is taken in 64 bits
// and kept within what a timed line carries, so a huge setting can never wrap a time around.
template <typename... TParts>
int TicksSum(TParts... parts)
{
    const int64_t sum = (int64_t{0} + ... + static_cast<int64_t>(parts));
    return static_cast<int>(std::clamp<int64_t>(sum, 0, kMaxTimedLineStamp));
}
