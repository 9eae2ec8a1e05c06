// The sampling and collection routines of a generated script: one timeline of the common
// device period Q in which every polled device is asked for a packet at its own pause, the
// routines that repeat it over the sample period, and one Collect routine per polled device.
#include <algorithm>

#include "scripts/ScriptWriter.h"
#include "station/CommandBlocks.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

// A wait line: its first word after the indent is "WaitTicks".
bool IsWaitLine(const QString& line)
{
    const QString word = line.trimmed().section(QLatin1Char(' '), 0, 0);
    return word == QStringLiteral("WaitTicks");
}

// A sample body cut at its last wait: the lines before it, the wait, the lines after it.
struct TBodyParts {
    QStringList start;
    QString wait;
    QStringList end;
};

TBodyParts SplitAtLastWaitTicks(const QStringList& body)
{
    for (qsizetype i = body.size() - 1; i >= 1; --i) {
        if (IsWaitLine(body[i])) {
            return {body.mid(0, i), body[i], body.mid(i + 1)};
        }
    }
    return {body, QString(), {}};
}

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

}  // namespace

int64_t TScriptWriter::SampleBodyLines(int64_t length) const
{
    int64_t lines = 2;
    for (const TScriptDevice& d : devices_) {
        if (!d.polled || d.timeOut) {
            continue;
        }
        // In 64 bits: a station file may hold any sample count up to the largest int.
        const int64_t samples = std::max<int64_t>(0, d.device->GetAvgNumSamples());
        const int64_t perPacket = 1 + (d.averaging ? 1 + samples : 0);
        lines += CeilDiv(length, d.device->GetPacketPause()) * perPacket;
    }
    return lines;
}

void TScriptWriter::BuildSampleBody(QStringList& out, int64_t length) const
{
    TTimeline list;
    int seq = 65;
    list.Add(
        0, seq,
        QStringLiteral("    ;Sample For ") + QString::number(length) + QStringLiteral(" Ticks!"));
    for (const TScriptDevice& d : devices_) {
        if (!d.polled || d.timeOut) {
            continue;
        }
        const TDevice& device = *d.device;
        QString sample;
        if (d.port->IsAnalog()) {
            sample = QStringLiteral("    SendAnalog") + DataPortName(d) +
                     QStringLiteral(" Average") + AverageSlotName(d);
        } else if (d.port->IsAnalogDiff()) {
            sample = QStringLiteral("    SendAnalogDiff") + DataPortName(d) +
                     QStringLiteral(" Average") + AverageSlotName(d);
        } else {
            sample = QStringLiteral("    SendFrequency") + DataPortName(d) +
                     QStringLiteral(" Average") + AverageSlotName(d) + QLatin1Char(' ') +
                     QString::number(device.GetFreqDuration());
        }
        const int64_t samples = std::max(0, device.GetAvgNumSamples());
        for (int64_t t = 0; t < length; t += device.GetPacketPause()) {
            int64_t collect = t;
            if (d.averaging) {
                list.Add(t, seq, QStringLiteral("    ResetAverage") + AverageSlotName(d));
                for (int64_t k = 0; k < samples; ++k) {
                    list.Add(t + k * device.GetAvgPause(), seq, sample);
                }
                collect = t + samples * device.GetAvgPause();
            }
            list.Add(collect, seq, QStringLiteral("    Gosub ") + CollectLabelName(d));
        }
        ++seq;
    }
    list.Marker(length, seq);
    list.ToScript(out, 0);
}

void TScriptWriter::SampleRoutines()
{
    const bool timed = c_.duration == TSampleDuration::Timed;
    const int64_t K = P_ / Q_;
    const int64_t K2 = R_ / Q_;
    const int64_t R2 = R_ % Q_;
    const bool sampleData = N_ >= 1;
    const bool finalData = timed && R_ > 0;
    TBodyParts body;
    if (N_ >= 1 || R_ >= Q_) {
        QStringList lines;
        BuildSampleBody(lines, Q_);
        body = SplitAtLastWaitTicks(lines);
    }
    const bool timedSample = (sampleData && K >= 2) || (finalData && K2 >= 1);
    const bool startSample = body.start.size() > 1 && (sampleData || timedSample);
    const bool endSample = !body.end.isEmpty() && (sampleData || timedSample);

    // "End Script" ends the routines at the sleep switch also on entry.
    const auto entry = [this] {
        if (c_.sleepSwitch == TSleepSwitchAction::EndScript) {
            Line(SleepSwitchLine());
        }
    };
    const auto startPart = [&] {
        if (body.start.size() > 1) {
            Line(QStringLiteral("    Gosub StartSample"));
        } else {
            Lines(body.start);
        }
    };
    // `repeats` calls of TimedSample.
    const auto timedSamples = [this](int64_t repeats) {
        if (repeats > 1) {
            Line(QStringLiteral("    Repeat ") + QString::number(repeats));
            Line(QStringLiteral("        Gosub TimedSample"));
            Line(QStringLiteral("    EndRepeat "));
        } else if (repeats == 1) {
            Line(QStringLiteral("    Gosub TimedSample"));
        }
    };

    if (sampleData) {
        BeginRoutine(QStringLiteral("; Data Sampling Loop - ") + QString::number(P_ / 100) +
                         QStringLiteral(" Second Duration"),
                     QStringLiteral("SampleData"));
        timedSamples(K - 1);
        startPart();
        Line(QStringLiteral("    ; Re-align Timing"));
        Line(QStringLiteral("    Wait ") + QString::number(P_ / 100));
        if (!body.end.isEmpty()) {
            Line(QStringLiteral("    Gosub EndSample"));
        }
        EndRoutine(QStringLiteral("; Done WithSample"));
    }
    if (finalData) {
        BeginRoutine(QStringLiteral("; Final Data Sampling Loop - Samples for ") +
                         QString::number(R2) + QStringLiteral(" Ticks"),
                     QStringLiteral("SampleFinalData"));
        timedSamples(K2);
        if (R2 > 0) {
            Line(QStringLiteral("    Gosub TinySample"));
        }
        EndRoutine(QStringLiteral("; Done WithSample"));
    }
    if (timedSample) {
        BeginRoutine(QStringLiteral("; One Sample Loop of Duration Exactly ") +
                         QString::number(Q_) + QStringLiteral(" Ticks"),
                     QStringLiteral("TimedSample"));
        entry();
        startPart();
        if (!body.wait.isEmpty()) {
            Line(body.wait);
        }
        if (!body.end.isEmpty()) {
            Line(QStringLiteral("    Gosub EndSample"));
        }
        EndSampleRoutine(QStringLiteral("; Done With Exact Duration Sampling Routine"));
    }
    if (startSample) {
        BeginRoutine(QStringLiteral("; Sample for Almost ") + QString::number(Q_) +
                         QStringLiteral(" Ticks, Omitting final WaitTicks"),
                     QStringLiteral("StartSample"));
        entry();
        Lines(body.start);
        EndSampleRoutine(QStringLiteral("; Done With Short Duration Sampling Routine"));
    }
    if (endSample) {
        BeginRoutine(
            QStringLiteral("; Finish up any Commands Omitted After final WaitTicks in SmallSample"),
            QStringLiteral("EndSample"));
        entry();
        Lines(body.end);
        EndSampleRoutine(QStringLiteral("; Done With Missed Commands"));
    }
    if (R2 > 0) {
        BeginRoutine(QStringLiteral("; Do Remainder of Sampling Routine - ") + QString::number(R2) +
                         QStringLiteral(" Ticks"),
                     QStringLiteral("TinySample"));
        entry();
        BuildSampleBody(lines_, R2);
        EndSampleRoutine(QStringLiteral("; Done With Very Short Duration Sampling Routine"));
    }
}

void TScriptWriter::CollectRoutines()
{
    for (const TScriptDevice& d : devices_) {
        if (d.polled) {
            CollectRoutine(d);
        }
    }
}

void TScriptWriter::CollectRoutine(const TScriptDevice& d)
{
    const TDevice& device = *d.device;
    const QString route = RouteTargetText(d);
    BeginRoutine(QStringLiteral("; Sample and Store/Send data from ") + d.name,
                 CollectLabelName(d));
    if (!device.GetPrefix().isEmpty()) {
        Lines(SendStringWithStampsLines(device, QStringLiteral("    "),
                                        QStringLiteral("SendString"), route, device.GetPrefix(),
                                        0));
    }
    if (d.serial) {
        CommandsToScript(lines_, QStringLiteral("    "), DataPortName(d), device.GetCmdGetData());
    }
    const QString average = QStringLiteral("    SendAverage") + AverageSlotName(d) + route;
    if (d.port->IsAnalog()) {
        Line(d.averaging ? average : QStringLiteral("    SendAnalog") + DataPortName(d) + route);
    } else if (d.port->IsAnalogDiff()) {
        Line(d.averaging ? average
                         : QStringLiteral("    SendAnalogDiff") + DataPortName(d) + route);
    } else if (d.port->IsFrequency()) {
        Line(d.averaging ? average
                         : QStringLiteral("    SendFrequency") + DataPortName(d) + route +
                               QLatin1Char(' ') + QString::number(device.GetFreqDuration()));
    }
    if (d.analogKind && !device.GetSuffix().isEmpty()) {
        Line(QStringLiteral("    SendString") + route + QStringLiteral(" \"") + device.GetSuffix() +
             QLatin1Char('"'));
    }
    Line(QStringLiteral("Return"));
}
