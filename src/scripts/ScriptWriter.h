#pragma once
// Internal to the script generator: the state one script is written with, shared by its main
// structure (ScriptGenerator.cpp), the power-on and power-off timelines (ScriptPower.cpp) and
// the sampling and collection routines (ScriptSampling.cpp).
//
// Threads: UI thread.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "scripts/ScriptGenerator.h"
#include "station/CommandBlocks.h"

class TPort;

// Time bases of the power timelines, in ticks: the power steps from the first, the data
// steps just before the second (the step between them is no wait in a script).
constexpr int64_t kPowerTimeBase = 10'000'000;
constexpr int64_t kDataTimeBase = 50'000'000;
// A sampling period this long or longer gets no waits in a script, so it cannot be timed.
constexpr int64_t kLongestPeriodTicks = 10'000'000;
// The most timed lines one sampling routine may take; more is no script a DAS can hold.
constexpr int64_t kMostSampleLines = 100'000;
// The longest head a send line of the script is split under is "    SendString Serial Data_"
// and the identifier; a head must leave each line room for a quoted escape, so at most
// kSendStringColumns - 2 columns. The identifiers of the devices are kept short enough.
constexpr qsizetype kLongestHeadStem = sizeof("    SendString Serial Data_") - 1;
constexpr qsizetype kMostIdChars = kSendStringColumns - 2 - kLongestHeadStem;

// One device of the script with the values its lines are made from.
struct TScriptDevice {
    const TDevice* device = nullptr;
    const TPort* port = nullptr;
    QString name;
    QString id;               // unique in the script
    bool serial = false;      // a serial port (it sends on its own unless polled)
    bool analogKind = false;  // analog, differential analog or frequency
    bool polled = false;      // the DAS asks it for every packet
    bool timeOut = false;     // collected once, at power-on, until it times out
    bool averaging = false;   // averaged analog samples
};

// One line of a timeline: time in ticks, place among lines of equal time, command text.
struct TTimedRecord {
    int64_t time = 0;
    int seq = 0;
    QString text;
};

// A timeline of script lines, sorted by time, then place, then text (ignoring case), and
// written with "WaitTicks" lines between different times.
class TTimeline {
public:
    // Each added line takes `seq` and advances it.
    void Add(int64_t time, int& seq, const QString& text);
    // A line that writes nothing: the routine only waits until its time.
    void Marker(int64_t time, int& seq);
    // A command block to the device's serial port; raw "WaitTicks" lines advance `time`.
    void AddBlock(const TScriptDevice& d, int64_t& time, const QStringList& block, int& seq);
    // A label text with its date and time stamps, sent to `route`.
    void AddLabel(const TScriptDevice& d, int64_t time, const QString& label, const QString& route,
                  int& seq);
    size_t Size() const { return records_.size(); }
    // Appends the script lines, counting the waits from `start`.
    void ToScript(QStringList& out, int64_t start) const;

private:
    std::vector<TTimedRecord> records_;
};

class TScriptWriter {
public:
    TScriptWriter(const TWizardChoices& choices, const TScriptStation& station);
    TGeneratedScript Write(double now);

private:
    // Names of a device in the script.
    static QString DataPortName(const TScriptDevice& d) { return QStringLiteral(" Data_") + d.id; }
    static QString PowerChannelName(const TScriptDevice& d)
    {
        return QStringLiteral(" Power_") + d.id;
    }
    static QString AuxPowerChannelName(const TScriptDevice& d)
    {
        return QStringLiteral(" AuxPower_") + d.id;
    }
    static QString HostChannelName(const TScriptDevice& d)
    {
        return QStringLiteral(" Host_") + d.id;
    }
    static QString FileHandleName(const TScriptDevice& d)
    {
        return QStringLiteral(" File_") + d.id;
    }
    static QString AverageSlotName(const TScriptDevice& d)
    {
        return QStringLiteral(" Average_") + d.id;
    }
    static QString CollectLabelName(const TScriptDevice& d)
    {
        return QStringLiteral("Collect_") + d.id;
    }
    static QString RouteTargetText(const TScriptDevice& d);
    // The DAS file a device captures into (its 8.3 name).
    static QString DasCaptureName(const TScriptDevice& d);

    // Preparation (ScriptGenerator.cpp): the devices, their names, the checks and periods.
    void TakeDevices(const TScriptStation& station);
    void MakeIds();
    void CheckChoices();
    void CheckSpecificTimes();
    void ComputePeriods();

    // The script's sections in order (ScriptGenerator.cpp).
    void Header(double now);
    void Defines();
    void StartUp();
    void MainLoop();
    void Schedule();
    void SpecificTimes(const QStringList& times);
    void LoopTail();
    void BlackOut();
    void DoDataCollect();
    void SwitchOff();
    void ScriptDone();

    // ScriptPower.cpp.
    void PowerOn();
    void PowerOnDevice(const TScriptDevice& d, TTimeline& list, int64_t& powerTime,
                       std::vector<bool>& switchOn);
    void PowerOff();
    // Places the device's power-off lines; returns the time and place after its capture stop.
    TTimedRecord PowerOffDevice(const TScriptDevice& d, TTimeline& list,
                                std::vector<bool>& switchOn);
    int FileIndexOf(const QString& dasName) const;
    // The "SetPower" lines of the device's switch and second switch.
    static void AddSwitchLines(const TScriptDevice& d, TTimeline& list, int64_t t, int& s,
                               const QString& state);

    // ScriptSampling.cpp.
    void SampleRoutines();
    void BuildSampleBody(QStringList& out, int64_t length) const;
    int64_t SampleBodyLines(int64_t length) const;
    void CollectRoutines();
    void CollectRoutine(const TScriptDevice& d);

    // Writing.
    void Line(const QString& text) { lines_ << text; }
    void Lines(const QStringList& text) { lines_ << text; }
    // A routine label, also an editor variable.
    void Label(const QString& label);
    // An empty line, the routine's comment and its label; the closing comment and "Return".
    void BeginRoutine(const QString& comment, const QString& label);
    void EndRoutine(const QString& comment);
    // A sampling routine checks the sleep switch before it returns.
    void EndSampleRoutine(const QString& comment);
    void Variable(const QString& name) { variables_ << name.trimmed(); }
    QString SleepSwitchLine() const;

    const TWizardChoices& c_;
    std::vector<TScriptDevice> devices_;       // list order
    std::vector<const TScriptDevice*> power_;  // power order
    QStringList leftOut_;                      // comment lines on devices left out
    QStringList lines_;
    QStringList variables_;
    QStringList files_;  // the DAS capture files; a file's number is its index + 1
    bool usesSequence_ = false;
    bool blackOutUsed_ = false;
    bool every_ = true;  // "Sample Every" still chosen
    std::optional<QStringList> expandedTimes_;
    // Periods in ticks: Q of the polled devices, P the sample period (whole seconds), the full
    // periods N of a run and the remainder R.
    int64_t Q_ = 100;
    int64_t P_ = 100;
    int64_t N_ = 1;
    int64_t R_ = 0;
};
