#pragma once
// The console commands a window queued, read back by the window tests.

#include <QString>
#include <QStringList>
#include <cstring>
#include <utility>
#include <vector>

#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"

// A console command as queued: its text and when it is due, in ms after the moment given.
using TTimedCommand = std::pair<QString, int>;

// Channel 255's timed blocks, taken out of TimedQueue (none while it does not exist), with
// their due times in ms after `now`.
inline std::vector<TTimedCommand> TakeTimedCommands(uint32_t now)
{
    std::vector<TTimedCommand> out;
    char buffer[512];
    for (;;) {
        uint32_t length = sizeof buffer;
        TListInfo info;
        if (TimedQueue == nullptr || !TimedQueue->Read(buffer, length, info, false)) {
            return out;
        }
        if (info.channel == kCommandChannel) {
            out.emplace_back(
                QString::fromLatin1(buffer, static_cast<qsizetype>(strnlen(buffer, length))),
                QueueTimeDiff(info.time, now));
        }
    }
}

// Their texts alone.
inline QStringList TakeQueuedCommands()
{
    QStringList out;
    for (const TTimedCommand& command : TakeTimedCommands(0)) {
        out << command.first;
    }
    return out;
}
