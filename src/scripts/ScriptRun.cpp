// The run of a generated script: the start-up block, the main loop with its schedule, the
// data collection routine, and the sleep-switch and end routines.
#include "link/Global.h"
#include "scripts/ScriptWriter.h"

namespace {

QString Number(int64_t n) { return QString::number(n); }

}  // namespace

void TScriptWriter::StartUp()
{
    if (c_.startSequence) {
        Line(QString());
        Line(QStringLiteral("; Initialize sequential file numbering"));
        Line(QStringLiteral("ResetSeqNum ") + c_.sequenceText);
    }
    if (c_.startUpDelay != QStringLiteral("00:00:00")) {
        Line(QString());
        Line(QStringLiteral("; Pause between start signal and actual data collection routines"));
        Line(QStringLiteral("Sleep ") + Number(TimeTextToSeconds(c_.startUpDelay)));
    }
}

void TScriptWriter::MainLoop()
{
    BeginRoutine(QStringLiteral("; Main Data Collection Loop"), QStringLiteral("MainLoop"));
    if (!c_.scheduled && c_.blackout) {
        Line(QStringLiteral("    ; Do not collect data during blackput times"));
        Line(QStringLiteral("    GosubDuring ") + c_.blackoutFrom + QLatin1Char(' ') +
             c_.blackoutTo + QStringLiteral(" BlackOut"));
        blackOutUsed_ = true;
    }
    if (usesSequence_) {
        Line(QStringLiteral("    ; Increment Counter for Sequentially numbered files."));
        Line(QStringLiteral("    NextSeqNum"));
    }
    if (c_.scheduled) {
        Schedule();
    } else {
        Line(QStringLiteral("    Gosub DoDataCollect"));
    }
}

void TScriptWriter::Schedule()
{
    if (!c_.scheduleEvery) {
        SpecificTimes(c_.scheduleTimes);
        return;
    }
    const int from = TimeTextToSeconds(c_.from);
    const int until = TimeTextToSeconds(c_.until);
    const int every = TimeTextToSeconds(c_.every);
    if (kSecondsPerDay % every == 0 && from % every == 0) {
        Line(QStringLiteral("    ; Wake up regularly to collect data"));
        Line(QStringLiteral("    SLEEPMOD ") + c_.every);
        if (until != from) {
            Line(
                QStringLiteral("    ; But do not collect data outside of normal collection times"));
            Line(QStringLiteral("    GosubDuring ") + c_.until + QLatin1Char(' ') + c_.from +
                 QStringLiteral(" BlackOut"));
            blackOutUsed_ = true;
        }
        Line(QStringLiteral("    ; Now collect the data"));
        Line(QStringLiteral("    Gosub DoDataCollect"));
        return;
    }
    // An interval the DAS cannot wake on by itself: spelled out as times of day.
    every_ = false;
    expandedTimes_ = ExpandSchedule(from, until, every);
    SpecificTimes(*expandedTimes_);
}

void TScriptWriter::SpecificTimes(const QStringList& times)
{
    const auto next = [&times](qsizetype i) { return times[(i + 1) % times.size()]; };
    const auto routine = [](const QString& time) {
        return QStringLiteral("Do") + MakeValidName(time);
    };
    Line(QStringLiteral("    ; Jump to routines at irregular intervals to collect data"));
    for (qsizetype i = 0; i < times.size(); ++i) {
        Line(QStringLiteral("    GosubDuring ") + times[i] + QLatin1Char(' ') + next(i) +
             QLatin1Char(' ') + routine(times[i]));
    }
    Line(QStringLiteral("; Now loop back"));
    Line(QStringLiteral("Goto MainLoop"));
    Line(QStringLiteral("    ; Collect data, then sleep for the rest of the interval"));
    for (qsizetype i = 0; i < times.size(); ++i) {
        Line(QString());
        Label(routine(times[i]));
        Line(QStringLiteral("    Gosub DoDataCollect"));
        Line(QStringLiteral("    SleepUntil ") + next(i));
        Line(QStringLiteral("Return"));
    }
}

void TScriptWriter::LoopTail()
{
    const bool continuous = c_.duration == TSampleDuration::Continuous;
    if (!c_.scheduled) {
        Line(QStringLiteral("    ; Done."));
        if (!continuous && c_.sleepAtEnd) {
            Line(QStringLiteral("    ; Go to sleep to conserve power"));
            Line(QStringLiteral("    Sleep 1000000000"));
        }
    }
    const bool again = (c_.duration == TSampleDuration::Timed && c_.timedAgain) ||
                       (c_.duration == TSampleDuration::TimeOut && c_.timeOutAgain);
    if ((!c_.scheduled && c_.sleepAtEnd && again) || (c_.scheduled && every_)) {
        Line(QStringLiteral("    ; Pause so that an endscript can be recieved"));
        Line(QStringLiteral("    Wait 5"));
        Line(QStringLiteral("; Now loop back"));
        Line(QStringLiteral("Goto MainLoop"));
    } else {
        Line(QStringLiteral("GoTo ScriptDone"));
    }
}

void TScriptWriter::BlackOut()
{
    if (!blackOutUsed_) {
        return;
    }
    BeginRoutine(QStringLiteral("; Sleep during blackout times"), QStringLiteral("BlackOut"));
    Line(QStringLiteral("    SleepUntil ") + (c_.scheduled ? c_.from : c_.blackoutTo));
    Line(QStringLiteral("Return"));
}

void TScriptWriter::DoDataCollect()
{
    BeginRoutine(QStringLiteral("; Now let's turn on instruments and collect some data!"),
                 QStringLiteral("DoDataCollect"));
    Line(QStringLiteral("    ; First turn on the instruments and start data collection"));
    Line(QStringLiteral("    Gosub PowerOn"));
    Line(QStringLiteral("    ; Now Synchonize the Timer"));
    Line(QStringLiteral("    Wait 0"));
    const bool timed = c_.duration == TSampleDuration::Timed;
    const bool continuous = c_.duration == TSampleDuration::Continuous;
    if (timed && N_ >= 1) {
        Line(QStringLiteral("    ; Now Loop ") + Number(N_) + QStringLiteral(" Times"));
        Line(QStringLiteral("    Repeat ") + Number(N_));
    } else if (c_.duration == TSampleDuration::TimeOut) {
        Line(QStringLiteral("    ; Now Enable Serial Timeouts"));
        for (const QString& name : c_.timeOutDevices) {
            for (const TScriptDevice& d : devices_) {
                if (d.timeOut && d.name.compare(name, Qt::CaseInsensitive) == 0) {
                    Line(QStringLiteral("    EnableTimeout") + DataPortName(d));
                    break;
                }
            }
        }
        Line(QStringLiteral("    ; Now Start the Data Collection Loop"));
        Line(QStringLiteral("    RepeatTimeOut ") + Number(TimeTextToTicks(c_.timeOut)) +
             QStringLiteral("  ") + Number(TimeTextToTicks(c_.maxTime)));
    } else if (continuous) {
        Line(QStringLiteral("    ; Loop Infinitely"));
        Line(QStringLiteral("    ContinuousLoop:"));
        Variable(QStringLiteral("ContinuousLoop"));
    }
    if (N_ >= 1) {
        Line(QStringLiteral("        ; Sample the Data for ") + Number(P_ / 100) +
             QStringLiteral(" Seconds"));
        Line(QStringLiteral("        Gosub SampleData"));
    }
    if (continuous) {
        Line(QStringLiteral("    ; Stay in the Data Sampling Loop"));
        Line(QStringLiteral("    Goto ContinuousLoop"));
        return;
    }
    if (N_ >= 1) {
        Line(QStringLiteral("    ; Sample Again"));
        Line(QStringLiteral("    EndRepeat"));
    }
    if (timed && R_ > 0) {
        Line(QStringLiteral("    ; Sample Remainder of the Data for ") + Number(R_) +
             QStringLiteral(" Ticks"));
        Line(QStringLiteral("    Gosub SampleFinalData"));
    }
    Line(QStringLiteral("    ; Finally turn off the instruments"));
    Line(QStringLiteral("    Gosub PowerOff"));
    EndRoutine(QStringLiteral("; And Finish"));
}

void TScriptWriter::SwitchOff()
{
    Line(QString());
    if (c_.sleepSwitch == TSleepSwitchAction::EndScript) {
        Line(QStringLiteral("; Handle Sleep switch - Ends script nicely"));
        Label(QStringLiteral("SwitchOff"));
        Line(QStringLiteral("  ; Turn off the instruments"));
        Line(QStringLiteral("  Gosub PowerOff"));
        Line(QStringLiteral("; And Finish"));
    } else {
        Line(QStringLiteral("; Handle Sleep switch - Pauses script"));
        Label(QStringLiteral("SwitchOff"));
        Line(QStringLiteral("  ; Go to sleep indefinitely"));
        Line(QStringLiteral("  Sleep 1000000000"));
        Line(QStringLiteral("; And return"));
        Line(QStringLiteral("  Return"));
    }
}

void TScriptWriter::ScriptDone()
{
    BeginRoutine(QStringLiteral("; Exit Script - Sets status to \"Script Done\""),
                 QStringLiteral("ScriptDone"));
    Line(QStringLiteral("  EndScript:"));
}
