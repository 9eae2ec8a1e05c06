#pragma once
// The acquisition script generator: one complete DAS script (header, defines, main loop,
// data collection, power-on and power-off timelines, sampling and collection routines, the
// sleep-switch and end routines) from the script wizard's choices and the selected devices of
// the station. Pure text: it needs no window, and delivery is left to the caller.
//
// Threads: UI thread (it reads the devices and the port table).

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "scripts/ScriptTimes.h"

class TDevice;
class TDevices;

enum class TSampleDuration { Timed, TimeOut, Continuous };
enum class TSleepSwitchAction { EndScript, PauseScript };

// What the operator chose in the wizard; the defaults are the wizard's initial values.
struct TWizardChoices {
    QString path = QStringLiteral("Untitled.pxs");  // the script file (its name heads the script)
    QStringList comments;                           // one "; " line each
    bool scheduled = false;                         // false: a simple script
    // Start-up.
    bool startSequence = false;
    QString sequenceText = QStringLiteral("0");
    QString startUpDelay = QStringLiteral("00:00:00");
    // Shut-down and duration.
    bool sleepAtEnd = false;
    TSampleDuration duration = TSampleDuration::Timed;
    QString durationTimed = QStringLiteral("00:00:10");
    bool timedAgain = false;
    QStringList timeOutDevices;  // names checked in the time-out list, in its order
    QString timeOut = QStringLiteral("00:00:30");
    QString maxTime = QStringLiteral("00:10:00");
    bool timeOutAgain = false;
    // Scheduling.
    TSleepSwitchAction sleepSwitch = TSleepSwitchAction::EndScript;
    bool scheduleEvery = true;  // false: at the specific times
    QString every = QStringLiteral("00:30:00");
    QString from = QStringLiteral("06:00:00");
    QString until = QStringLiteral("20:00:00");
    QStringList scheduleTimes;  // the specific times, in the list's order
    bool blackout = false;
    QString blackoutFrom = QStringLiteral("20:00:00");
    QString blackoutTo = QStringLiteral("04:00:00");
};

// The devices of a script: the selected ones, in list (data priority) order and in power
// order. Neither is owned.
struct TScriptStation {
    std::vector<const TDevice*> listOrder;
    std::vector<const TDevice*> powerOrder;
};

// UI thread. The selected devices of `devices` in both orders.
TScriptStation SelectedStation(const TDevices& devices);

struct TGeneratedScript {
    QStringList lines;      // joined with CR LF when written
    QStringList variables;  // the names defined and the routine labels, in order of writing
    // Set when a "Sample Every" schedule was spelled out as specific times: the times the
    // wizard then shows, with "Sample At specific times" chosen.
    std::optional<QStringList> expandedTimes;
};

// UI thread. The script for `station` as `choices` describe it, `now` (a date-time value)
// heading it. Throws TScriptRefused, and makes nothing, when the choices or the devices cannot
// give a sound script: no device, an invalid time, a polled device without a packet pause, a
// schedule with no interval or no times or one time twice, a period the DAS cannot time, a
// sampling routine too long to hold.
//
// The names a device is given in the script come from its own name, shortened when long so
// that every "SendString" line leaves room for its text.
//
// Devices on a PC port, and devices without a DAS port on a power switch, cannot be reached
// by a script on the DAS: they are named in comment lines and left out.
TGeneratedScript GenerateScriptLines(const TWizardChoices& choices, const TScriptStation& station,
                                     double now);
