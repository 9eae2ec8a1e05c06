// The sampling and collection routines of generated scripts.
#include <gtest/gtest.h>

#include "scripts/ScriptFixture.h"
#include "scripts/ScriptGenerator.h"

namespace {

class ScriptSamplingTest : public ScriptStationTest {
protected:
    TDevice* Polled(const QString& name, int packetPause,
                    const QString& type = QStringLiteral("Analog"))
    {
        const int n = ports.Count() + 1;
        TDevice* d = Device(name, Port(QStringLiteral("P") + QString::number(n), type, n, n, n));
        d->SetPacketPause(packetPause);
        return d;
    }
    TWizardChoices choices;
};

TEST_F(ScriptSamplingTest, WithoutPolledDevicesTheSecondIsSampledInline)
{
    TDevice* streaming = Polled(QStringLiteral("CTD"), 100, QStringLiteral("Serial"));
    streaming->SetCollectionType(2);

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("SampleData:")), TextLines(R"(
SampleData:
    ;Sample For 100 Ticks!
    ; Re-align Timing
    Wait 1
; Done WithSample
Return)"));
    EXPECT_FALSE(script.contains(QStringLiteral("TimedSample:")));
    EXPECT_FALSE(script.contains(QStringLiteral("StartSample:")));
    EXPECT_FALSE(script.contains(QStringLiteral("EndSample:")));
    EXPECT_TRUE(Routine(script, QStringLiteral("Collect_CTD:")).isEmpty());
}

TEST_F(ScriptSamplingTest, TwoPeriodsInASecondRunTheExactPeriodOnce)
{
    Polled(QStringLiteral("A"), 50, QStringLiteral("Serial"));

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("SampleData:")), TextLines(R"(
SampleData:
    Gosub TimedSample
    Gosub StartSample
    ; Re-align Timing
    Wait 1
; Done WithSample
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("TimedSample:")), TextLines(R"(
TimedSample:
    OnSwitchOff SwitchOff
    Gosub StartSample
    WaitTicks 50
    OnSwitchOff SwitchOff
; Done With Exact Duration Sampling Routine
Return)"));
}

// Pauses of 30 and 40 ticks share a period of 120 ticks and a sample period of 6 s; ten
// seconds are one sample period and 400 ticks: three exact periods and 40 ticks.
TEST_F(ScriptSamplingTest, DevicesInterleaveInTheirCommonPeriodAndTheRemainderIsSampledToo)
{
    Polled(QStringLiteral("A"), 30);
    Polled(QStringLiteral("B"), 40);

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("SampleData:")), TextLines(R"(
SampleData:
    Repeat 4
        Gosub TimedSample
    EndRepeat 
    Gosub StartSample
    ; Re-align Timing
    Wait 6
; Done WithSample
Return)"));
    EXPECT_TRUE(
        script.contains(QStringLiteral("; Final Data Sampling Loop - Samples for 40 Ticks")));
    EXPECT_EQ(Routine(script, QStringLiteral("SampleFinalData:")), TextLines(R"(
SampleFinalData:
    Repeat 3
        Gosub TimedSample
    EndRepeat 
    Gosub TinySample
; Done WithSample
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("TimedSample:")).value(3),
              QStringLiteral("    WaitTicks 30"));
    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:")), TextLines(R"(
StartSample:
    OnSwitchOff SwitchOff
    ;Sample For 120 Ticks!
    Gosub Collect_A
    Gosub Collect_B
    WaitTicks 30
    Gosub Collect_A
    WaitTicks 10
    Gosub Collect_B
    WaitTicks 20
    Gosub Collect_A
    WaitTicks 20
    Gosub Collect_B
    WaitTicks 10
    Gosub Collect_A
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("TinySample:")), TextLines(R"(
TinySample:
    OnSwitchOff SwitchOff
    ;Sample For 40 Ticks!
    Gosub Collect_A
    Gosub Collect_B
    WaitTicks 30
    Gosub Collect_A
    WaitTicks 10
    OnSwitchOff SwitchOff
; Done With Very Short Duration Sampling Routine
Return)"));
    EXPECT_TRUE(script.contains(QStringLiteral("        ; Sample the Data for 6 Seconds")));
    EXPECT_TRUE(
        script.contains(QStringLiteral("    ; Sample Remainder of the Data for 400 Ticks")));
}

TEST_F(ScriptSamplingTest, ARemainderShorterThanThePeriodIsOneShortSample)
{
    Polled(QStringLiteral("A"), 1000);
    choices.durationTimed = QStringLiteral("00:00:25");

    const QStringList script = Script(choices);

    EXPECT_TRUE(script.contains(QStringLiteral("    Repeat 2")));
    EXPECT_TRUE(
        script.contains(QStringLiteral("    ; Sample Remainder of the Data for 500 Ticks")));
    EXPECT_EQ(
        Routine(script, QStringLiteral("SampleFinalData:")),
        QStringList({QStringLiteral("SampleFinalData:"), QStringLiteral("    Gosub TinySample"),
                     QStringLiteral("; Done WithSample"), QStringLiteral("Return")}));
    EXPECT_EQ(
        Routine(script, QStringLiteral("TinySample:")).mid(2, 3),
        QStringList({QStringLiteral("    ;Sample For 500 Ticks!"),
                     QStringLiteral("    Gosub Collect_A"), QStringLiteral("    WaitTicks 500")}));
}

TEST_F(ScriptSamplingTest, AveragedAnalogSamplesComeBeforeTheirCollection)
{
    TDevice* light = Polled(QStringLiteral("L"), 100);
    light->SetDoAveraging(true);
    light->SetAvgNumSamples(3);
    light->SetAvgPause(10);
    TDevice* diff = Polled(QStringLiteral("D"), 100, QStringLiteral("AnalogDiff"));
    diff->SetSuffix(QStringLiteral("mV"));
    TDevice* freq = Polled(QStringLiteral("F"), 100, QStringLiteral("Frequency"));
    freq->SetFreqDuration(500);

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:")), TextLines(R"(
StartSample:
    OnSwitchOff SwitchOff
    ;Sample For 100 Ticks!
    ResetAverage Average_L
    SendAnalog Data_L Average Average_L
    Gosub Collect_D
    Gosub Collect_F
    WaitTicks 10
    SendAnalog Data_L Average Average_L
    WaitTicks 10
    SendAnalog Data_L Average Average_L
    WaitTicks 10
    Gosub Collect_L
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("Collect_L:")).value(1),
              QStringLiteral("    SendAverage Average_L Host Host_L"));
    EXPECT_EQ(Routine(script, QStringLiteral("Collect_D:")).mid(1, 2),
              QStringList({QStringLiteral("    SendAnalogDiff Data_D Host Host_D"),
                           QStringLiteral("    SendString Host Host_D \"mV\"")}));
    EXPECT_EQ(Routine(script, QStringLiteral("Collect_F:")).value(1),
              QStringLiteral("    SendFrequency Data_F Host Host_F 500"));
}

// Many lines at one time keep the order they were placed in.
TEST_F(ScriptSamplingTest, ManyLinesAtOneTimeKeepTheirOrder)
{
    TDevice* light = Polled(QStringLiteral("L"), 100);
    light->SetDoAveraging(true);
    light->SetAvgNumSamples(300);
    light->SetAvgPause(0);

    const QStringList start = Routine(Script(choices), QStringLiteral("StartSample:"));

    ASSERT_EQ(start.size(), 308);
    EXPECT_EQ(start[3], QStringLiteral("    ResetAverage Average_L"));
    EXPECT_EQ(start.mid(4, 300).filter(QStringLiteral("SendAnalog")).size(), 300);
    EXPECT_EQ(start[304], QStringLiteral("    Gosub Collect_L"));
}

// A name that holds "WaitTicks" is no wait: its call stays as it is.
TEST_F(ScriptSamplingTest, ANameHoldingTheWaitWordIsNoWait)
{
    Polled(QStringLiteral("WaitTicks"), 50);

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:")).mid(2, 2),
              QStringList({QStringLiteral("    ;Sample For 50 Ticks!"),
                           QStringLiteral("    Gosub Collect_WaitTicks")}));
    EXPECT_EQ(Routine(script, QStringLiteral("TimedSample:")).value(3),
              QStringLiteral("    WaitTicks 50"));
}

TEST_F(ScriptSamplingTest, PauseScriptRoutinesOnlyCheckTheSwitchAtTheirEnd)
{
    Polled(QStringLiteral("A"), 30);
    Polled(QStringLiteral("B"), 40);
    choices.sleepSwitch = TSleepSwitchAction::PauseScript;

    const QStringList script = Script(choices);

    for (const char* label : {"TimedSample:", "StartSample:", "TinySample:"}) {
        const QStringList routine = Routine(script, QString::fromLatin1(label));
        ASSERT_GE(routine.size(), 4) << label;
        EXPECT_NE(routine[1], QStringLiteral("    OnSwitchOff SwitchOff")) << label;
        EXPECT_EQ(routine[routine.size() - 3], QStringLiteral("    OnSwitchOff SwitchOff"))
            << label;
    }
}

}  // namespace
