#pragma once
// The DAS unit as the program sees it: its identity and options, and the one way console
// commands reach it. Every console command becomes a TimedQueue block on host channel 255 (at
// most 99 characters and a zero byte, as Latin-1), due at now plus a delay; each call returns
// the time in ms at which the command will have finished, so callers chain commands by
// passing that time on. It also runs lists of timed command lines, wraps PicoDos commands,
// wakes a sleeping DAS, and keeps the DAS file slots that capture files use.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/TimedLines.h"

class TDataList;

// Console commands are cut to this many characters; a zero byte follows them.
constexpr int kMaxCommandChars = 99;
// The debug memo keeps at most this many of its last characters.
constexpr int kDebugMemoMaxChars = 20000;
// A step between two timed lines of this many hundredths or more adds no delay.
constexpr int kMaxTimedLineStep = 10'000'000;
// Wake: the pause before the first wake byte, the gap between them, and their count.
constexpr int kWakeSettleMs = 100;
constexpr int kWakeGapMs = 500;
constexpr int kWakeBytes = 5;
constexpr uint8_t kWakeByte = 0x03;

// The two DAS models; the model names the configuration files' unit section.
inline const QString kModelPelagrix = QStringLiteral("Pelagrix");
inline const QString kModelCorvane = QStringLiteral("Corvane");

// The DAS unit and its console command sender. One instance, `Das`, made and deleted by the
// main window; UI thread only (the queues take their own lock).
class TDas {
public:
    TDas() = default;
    TDas(const TDas&) = delete;
    TDas& operator=(const TDas&) = delete;

    // --- The unit (read from and written to the configuration files) ---
    QString ID = QStringLiteral("PX000000");
    QString Name;
    QString Model = kModelPelagrix;
    // Which sensor values the status line carries.
    uint8_t Temperature = 1;
    uint8_t Voltage = 1;
    uint8_t Current = 1;
    uint8_t Depth = 0;
    // Count of values on the status line.
    uint8_t Panels = 5;
    uint8_t U4S1 = 0;
    uint8_t U4S2 = 0;
    uint8_t AD16 = 0;

    // --- Console commands; each returns when the command will have finished, in ms ---
    // The command due now.
    int SendCommand(const QString& command);
    // The command due `delayMs` from now (also for 0: it always goes through TimedQueue).
    int SendCommandAt(const QString& command, int delayMs);
    // Any thread. Queues the command on `queue` (none when null) due `delayMs` from now,
    // unless it is empty or a ";" comment, and returns the delay plus the command's own
    // running time.
    static int QueueCommand(const QString& command, int delayMs, TDataList* queue);
    // Any thread. The running time of a command: its WAITTICKS, WAIT, SENDSTRING or
    // SENDBREAK 1 100.
    static int CommandDurationMs(const QString& command);
    // The command for the DAS's disk operating system: PicoDos "<command> ".
    int PicoDos(const QString& command);
    // The console command PicoDos sends for `command`.
    static QString PicoDosCommand(const QString& command);
    // Each line of `text` due when the one before it will have finished, the first at
    // `startMs`; returns when the last will have finished (`startMs` for no lines).
    int SendCommandList(const QString& text, int startMs);
    // Timed lines (TimedLines.h) relative to `startStamp` (hundredths): each command is due
    // after the time its stamp steps on from the previous one, plus the running time of
    // the commands before it. Shown in the debug memo when it is visible. Returns when the
    // last will have finished.
    int SendTimedLines(const QStringList& lines, int startStamp);
    // "ResetSeqNum <number>".
    int ResetSeqNum(int number);
    // Wakes a sleeping DAS: with the link thread parked, five 0x03 bytes straight on the DAS
    // port, 500 ms apart, the event loop running meanwhile. Nothing is written when the link
    // thread does not park in time: a box tells, and the link runs on.
    void Wake();

    // --- DAS file slots (1-based; names compared without regard to case) ---
    // Takes a slot for the name (or counts one more use of its slot); 0 for an empty name.
    int AddSlotName(const QString& name);
    // The name's slot, 0 when it has none.
    int FindSlotName(const QString& name) const;
    // Counts one use less; the slot is free again at none. 0 when the name has no slot.
    int ReleaseSlotName(const QString& name);

    // Appends a timed line and advances `sequence` (TimedLines.h).
    static void AddTimedLine(QStringList& list, int hundredths, uint8_t& sequence,
                             const QString& command)
    {
        ::AddTimedLine(list, hundredths, sequence, command);
    }

    // Tests: Wake's waits go to `wait` (ms) instead of the event-loop wait; empty restores it.
    void SetWaitForTest(std::function<void(int)> wait) { waitForTest_ = std::move(wait); }

private:
    struct TSlot {
        QString name;  // empty: free
        int uses = 0;
    };

    int SlotIndex(const QString& name) const;
    void Wait(int ms);

    std::vector<TSlot> slots_;
    std::function<void(int)> waitForTest_;
};

// The program's DAS unit; null before the main window makes it and after it is deleted.
extern TDas* Das;

// UI thread. `command` due now through `Das`; nothing while there is no DAS unit.
void SendToDas(const QString& command);
