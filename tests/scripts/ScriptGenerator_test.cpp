#include "scripts/ScriptGenerator.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "scripts/ScriptFixture.h"

namespace {

class ScriptGeneratorTest : public ScriptStationTest {};

// One serial instrument asked for its data once a second, sampled for ten seconds.
TEST_F(ScriptGeneratorTest, WritesTheWholeScriptOfOnePolledInstrument)
{
    TDevice* ctd = Device(QStringLiteral("CTD"),
                          Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 12, 3));
    ctd->SetPacketPause(100);
    ctd->SetPortBaud(9600);
    ctd->SetPortSettings(QStringLiteral("N,8,1"));
    ctd->SetStartDataCapture(0);
    ctd->SetStopDataCapture(4);
    ctd->SetCmdGetData({QStringLiteral("D")});
    TWizardChoices choices;
    choices.path = QStringLiteral("/home/op/Scripts/Test.pxs");

    const TGeneratedScript script = Generate(choices);

    EXPECT_EQ(script.lines.value(0), QStringLiteral("; Test.pxs -- 02/01/2024 08:30:05"));
    EXPECT_EQ(script.lines.mid(1), TextLines(R"(

; Defines
define On 1
define Off 0
define Power_CTD 3
define Data_CTD 1
define Host_CTD 12

; Main Data Collection Loop
MainLoop:
    Gosub DoDataCollect
    ; Done.
GoTo ScriptDone

; Now let's turn on instruments and collect some data!
DoDataCollect:
    ; First turn on the instruments and start data collection
    Gosub PowerOn
    ; Now Synchonize the Timer
    Wait 0
    ; Now Loop 10 Times
    Repeat 10
        ; Sample the Data for 1 Seconds
        Gosub SampleData
    ; Sample Again
    EndRepeat
    ; Finally turn off the instruments
    Gosub PowerOff
; And Finish
Return

; Instrument Turn-on Routine
PowerOn:
    OpenSerial Data_CTD, 9600, "N81"
    RouteSerial Data_CTD Host Host_CTD
    SetPower Power_CTD On
; Done with Power-On
Return

; Data Sampling Loop - 1 Second Duration
SampleData:
    Gosub StartSample
    ; Re-align Timing
    Wait 1
; Done WithSample
Return

; Sample for Almost 100 Ticks, Omitting final WaitTicks
StartSample:
    OnSwitchOff SwitchOff
    ;Sample For 100 Ticks!
    Gosub Collect_CTD
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return

; Sample and Store/Send data from CTD
Collect_CTD:
    SendString Serial Data_CTD "D\r", 0
Return

; Instrument Data-off and Turn-off Routine
PowerOff:
    SetPower Power_CTD Off
    CloseSerial Data_CTD
; Done with Power-Off
Return

; Handle Sleep switch - Ends script nicely
SwitchOff:
  ; Turn off the instruments
  Gosub PowerOff
; And Finish

; Exit Script - Sets status to "Script Done"
ScriptDone:
  EndScript:)"));
    for (const char* name :
         {"On", "Off", "Power_CTD", "Data_CTD", "Host_CTD", "MainLoop", "DoDataCollect", "PowerOn",
          "SampleData", "StartSample", "Collect_CTD", "PowerOff", "SwitchOff", "ScriptDone"}) {
        EXPECT_TRUE(script.variables.contains(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(script.expandedTimes.has_value());
}

// Three instruments on two switches: a streaming CTD into a DAS file on switch 4, and on
// switch 2 (powered first) a polled ADCP with power-on and power-off commands and an
// auxiliary switch, and an averaged analog fluorometer sharing the ADCP's switch.
TEST_F(ScriptGeneratorTest, WritesTheWholeScriptOfThreeInstrumentsInPowerOrder)
{
    TPort* serialOnFour = Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 4);
    TPort* serialOnTwo = Port(QStringLiteral("S2"), QStringLiteral("Serial"), 2, 2, 2, 5);
    TPort* analogOnTwo = Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 2);

    TDevice* ctd = Device(QStringLiteral("CTD"), serialOnFour);
    ctd->SetCollectionType(2);
    ctd->SetCmdStart({QStringLiteral("GO")});
    ctd->SetCmdStop({QStringLiteral("STOP")});
    ctd->SetCmdStartDelay(50);
    ctd->SetStartAfterDelay(30);
    ctd->SetCmdStopDelay(50);
    ctd->SetStartDataCapture(2);
    ctd->SetStopDataCapture(2);
    ctd->SetStopSuffix(QStringLiteral("END"));
    ctd->SetCaptureDest(3);
    ctd->SetCaptureDestAppend(false);
    ctd->SetCaptureDestName(QStringLiteral("CTD\\CTD_000.RAW"));

    TDevice* fluor = Device(QStringLiteral("Fluor-1"), analogOnTwo);
    fluor->SetPacketPause(50);
    fluor->SetDoAveraging(true);
    fluor->SetAvgNumSamples(2);
    fluor->SetAvgPause(10);
    fluor->SetStartDataCapture(0);
    fluor->SetStopDataCapture(0);
    fluor->SetSuffix(QStringLiteral("\\r\\n"));

    TDevice* adcp = Device(QStringLiteral("ADCP"), serialOnTwo);
    adcp->SetPacketPause(100);
    adcp->SetCmdGetData({QStringLiteral("?")});
    adcp->SetPrefix(QStringLiteral("$"));
    adcp->SetPortBaud(19200);
    adcp->SetPortSettings(QStringLiteral("E,7,1"));
    adcp->SetCaptureDest(1);
    adcp->SetCaptureDestOther(30);
    adcp->SetPowerOnCmd(true);
    adcp->SetPowerOnCmdWait(20);
    adcp->SetCmdPowerOn({QStringLiteral("HELLO")});
    adcp->SetPowerOffCmd(true);
    adcp->SetPowerOffCmdWait(40);
    adcp->SetCmdPowerOff({QStringLiteral("BYE")});
    adcp->SetStartDataCapture(1);
    adcp->SetStopDataCapture(3);

    TWizardChoices choices;
    choices.path = QStringLiteral("Three.pxs");
    choices.comments = {QStringLiteral("Three devices")};
    choices.startUpDelay = QStringLiteral("00:00:02");
    choices.durationTimed = QStringLiteral("00:00:25");
    choices.sleepAtEnd = true;
    choices.timedAgain = true;

    EXPECT_EQ(Script(choices).mid(1), TextLines(R"(

; Three devices

; Defines
define On 1
define Off 0
define Power_ADCP 2
define AuxPower_ADCP 5
define Data_ADCP 2
define Host_ADCP 30
define Data_Fluor_1 3
define Host_Fluor_1 20
define Average_Fluor_1 1
define Power_CTD 4
define Data_CTD 1
define File_CTD 1

; Pause between start signal and actual data collection routines
Sleep 2

; Main Data Collection Loop
MainLoop:
    Gosub DoDataCollect
    ; Done.
    ; Go to sleep to conserve power
    Sleep 1000000000
    ; Pause so that an endscript can be recieved
    Wait 5
; Now loop back
Goto MainLoop

; Now let's turn on instruments and collect some data!
DoDataCollect:
    ; First turn on the instruments and start data collection
    Gosub PowerOn
    ; Now Synchonize the Timer
    Wait 0
    ; Now Loop 25 Times
    Repeat 25
        ; Sample the Data for 1 Seconds
        Gosub SampleData
    ; Sample Again
    EndRepeat
    ; Finally turn off the instruments
    Gosub PowerOff
; And Finish
Return

; Instrument Turn-on Routine
PowerOn:
    OpenSerial Data_ADCP, 19200, "E71"
    SetPower Power_ADCP On
    SetPower AuxPower_ADCP On
    WaitTicks 20
    RouteSerial Data_ADCP Host Host_ADCP
    SendString Serial Data_ADCP "HELLO\r"
    WaitTicks 10
    OpenFile File_CTD "CTD_000.RAW"
    OpenSerial Data_CTD, 9600, "N81"
    SetPower Power_CTD On
    WaitTicks 50
    SendString Serial Data_CTD "GO\r"
    WaitTicks 30
    RouteSerial Data_CTD File File_CTD
; Done with Power-On
Return

; Data Sampling Loop - 1 Second Duration
SampleData:
    Gosub StartSample
    ; Re-align Timing
    Wait 1
; Done WithSample
Return

; Sample for Almost 100 Ticks, Omitting final WaitTicks
StartSample:
    OnSwitchOff SwitchOff
    ;Sample For 100 Ticks!
    ResetAverage Average_Fluor_1
    SendAnalog Data_Fluor_1 Average Average_Fluor_1
    Gosub Collect_ADCP
    WaitTicks 10
    SendAnalog Data_Fluor_1 Average Average_Fluor_1
    WaitTicks 10
    Gosub Collect_Fluor_1
    WaitTicks 30
    ResetAverage Average_Fluor_1
    SendAnalog Data_Fluor_1 Average Average_Fluor_1
    WaitTicks 10
    SendAnalog Data_Fluor_1 Average Average_Fluor_1
    WaitTicks 10
    Gosub Collect_Fluor_1
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return

; Sample and Store/Send data from Fluor-1
Collect_Fluor_1:
    SendAverage Average_Fluor_1 Host Host_Fluor_1
    SendString Host Host_Fluor_1 "\r\n"
Return

; Sample and Store/Send data from ADCP
Collect_ADCP:
    SendString Host Host_ADCP "$"
    SendString Serial Data_ADCP "?\r", 0
Return

; Instrument Data-off and Turn-off Routine
PowerOff:
    SendString Serial Data_CTD "STOP\r"
    SendString Serial Data_ADCP "BYE\r"
    WaitTicks 40
    SetPower Power_ADCP Off
    SetPower AuxPower_ADCP Off
    CloseSerial Data_ADCP
    WaitTicks 10
    SendString File File_CTD "END"
    CloseFile File_CTD
    SetPower Power_CTD Off
    CloseSerial Data_CTD
; Done with Power-Off
Return

; Handle Sleep switch - Ends script nicely
SwitchOff:
  ; Turn off the instruments
  Gosub PowerOff
; And Finish

; Exit Script - Sets status to "Script Done"
ScriptDone:
  EndScript:)"));
}

// A serial device with start commands, as in the power-on timeline's own example: the two
// markers merge into one wait and the start block stands just before the data time.
// Raw waits in a power-on block count while the block is placed and once more after it; a
// stop label at capture stop 0 goes out before the stop block of the same time.
// Switch 0 is a switch like any other: its first device defines and switches it.
TEST_F(ScriptGeneratorTest, NamesThatCleanToOneIdentifierGetDistinctOnes)
{
    Device(QStringLiteral("CTD 1"), Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 1));
    Device(QStringLiteral("CTD-1"), Port(QStringLiteral("A2"), QStringLiteral("Analog"), 4, 21, 2));
    Device(QStringLiteral("CTD_1_2"),
           Port(QStringLiteral("A3"), QStringLiteral("Analog"), 5, 22, 3));

    const QStringList script = Script(TWizardChoices());

    EXPECT_EQ(
        script.filter(QStringLiteral("define Data_")),
        QStringList({QStringLiteral("define Data_CTD_1 3"), QStringLiteral("define Data_CTD_1_3 4"),
                     QStringLiteral("define Data_CTD_1_2 5")}));
    EXPECT_EQ(script.filter(QRegularExpression(QStringLiteral("^Collect_"))),
              QStringList({QStringLiteral("Collect_CTD_1:"), QStringLiteral("Collect_CTD_1_3:"),
                           QStringLiteral("Collect_CTD_1_2:")}));
}

// A device wired to the PC is out of the DAS's reach: the script names it and leaves it out.
TEST_F(ScriptGeneratorTest, LeavesOutADeviceOnAPcPort)
{
    Device(QStringLiteral("CTD"), Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    Device(QStringLiteral("GPS"), ports.AddPCPort(3));

    const QStringList script = Script(TWizardChoices());

    EXPECT_TRUE(
        script.contains(QStringLiteral("; GPS is wired to the PC, not to the DAS: left out")));
    EXPECT_FALSE(script.join(QLatin1Char('\n')).contains(QStringLiteral("_GPS")));
    EXPECT_TRUE(script.contains(QStringLiteral("define Data_CTD 1")));
}

// Command text on a device whose long name leaves a line room for one character of it: every
// piece is written, and an escape is never cut after its backslash.
// An analog device keeps the collection type a new device starts with; it is still polled,
// and the routine its polls call is there.
TEST_F(ScriptGeneratorTest, AnAnalogDeviceIsPolledWhateverItsCollectionType)
{
    TDevice* a = Device(QStringLiteral("Light"),
                        Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 1));
    a->SetCollectionType(2);
    a->SetPacketPause(50);

    const QStringList script = Script(TWizardChoices());

    EXPECT_EQ(Routine(script, QStringLiteral("Collect_Light:")),
              QStringList({QStringLiteral("Collect_Light:"),
                           QStringLiteral("    SendAnalog Data_Light Host Host_Light"),
                           QStringLiteral("Return")}));
    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:"))
                  .filter(QStringLiteral("Gosub Collect_Light"))
                  .size(),
              1);
}

// The port settings are read only as far as they go.

// Two serial instruments polled on demand, GPS until its serial time-out: GPS is asked once,
// from the power-on routine just before the data time, and left out of the sampling.
class TimeOutRunTest : public ScriptGeneratorTest {
protected:
    void SetUp() override
    {
        ScriptGeneratorTest::SetUp();
        TDevice* gps = Device(QStringLiteral("GPS"),
                              Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 1));
        gps->SetPacketPause(100);
        gps->SetCmdGetData({QStringLiteral("$PQ")});
        gps->SetCmdStartDelay(50);
        gps->SetStartAfterDelay(30);
        TDevice* ctd = Device(QStringLiteral("CTD"),
                              Port(QStringLiteral("S2"), QStringLiteral("Serial"), 2, 2, 2));
        ctd->SetPacketPause(50);
        ctd->SetCmdGetData({QStringLiteral("D")});
        choices.duration = TSampleDuration::TimeOut;
        choices.timeOutDevices = {QStringLiteral("GPS")};
    }
    TWizardChoices choices;
};

TEST_F(TimeOutRunTest, CollectsCheckedInstrumentsOnceAndRepeatsUntilTheyTimeOut)
{
    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("DoDataCollect:")), TextLines(R"(
DoDataCollect:
    ; First turn on the instruments and start data collection
    Gosub PowerOn
    ; Now Synchonize the Timer
    Wait 0
    ; Now Enable Serial Timeouts
    EnableTimeout Data_GPS
    ; Now Start the Data Collection Loop
    RepeatTimeOut 3000  60000
        ; Sample the Data for 1 Seconds
        Gosub SampleData
    ; Sample Again
    EndRepeat
    ; Finally turn off the instruments
    Gosub PowerOff
; And Finish
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("PowerOn:")), TextLines(R"(
PowerOn:
    OpenSerial Data_GPS, 9600, "N81"
    RouteSerial Data_GPS Host Host_GPS
    SetPower Power_GPS On
    WaitTicks 30
    OpenSerial Data_CTD, 9600, "N81"
    RouteSerial Data_CTD Host Host_CTD
    SetPower Power_CTD On
    WaitTicks 20
    Gosub Collect_GPS
; Done with Power-On
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:")), TextLines(R"(
StartSample:
    OnSwitchOff SwitchOff
    ;Sample For 100 Ticks!
    Gosub Collect_CTD
    WaitTicks 50
    Gosub Collect_CTD
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("Collect_GPS:")),
              QStringList({QStringLiteral("Collect_GPS:"),
                           QStringLiteral("    SendString Serial Data_GPS \"$PQ\\r\", 0"),
                           QStringLiteral("Return")}));
}

// Checks left in the time-out list count only while the time-out duration is chosen.
TEST_F(TimeOutRunTest, TimeOutChecksAreIgnoredForOtherDurations)
{
    choices.duration = TSampleDuration::Timed;

    const QStringList script = Script(choices);

    EXPECT_TRUE(script.filter(QStringLiteral("EnableTimeout")).isEmpty());
    EXPECT_TRUE(
        Routine(script, QStringLiteral("PowerOn:")).filter(QStringLiteral("Gosub")).isEmpty());
    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:"))
                  .filter(QStringLiteral("Collect_GPS"))
                  .size(),
              1);
}

TEST_F(ScriptGeneratorTest, AContinuousRunSamplesUntilStopped)
{
    Device(QStringLiteral("CTD"), Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    TWizardChoices choices;
    choices.duration = TSampleDuration::Continuous;
    choices.sleepAtEnd = true;

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("MainLoop:")),
              QStringList({QStringLiteral("MainLoop:"), QStringLiteral("    Gosub DoDataCollect"),
                           QStringLiteral("    ; Done."), QStringLiteral("GoTo ScriptDone")}));
    EXPECT_EQ(Routine(script, QStringLiteral("DoDataCollect:")), TextLines(R"(
DoDataCollect:
    ; First turn on the instruments and start data collection
    Gosub PowerOn
    ; Now Synchonize the Timer
    Wait 0
    ; Loop Infinitely
    ContinuousLoop:
        ; Sample the Data for 1 Seconds
        Gosub SampleData
    ; Stay in the Data Sampling Loop
    Goto ContinuousLoop)"));
}

TEST_F(ScriptGeneratorTest, StartUpAndBlackoutOfASimpleScript)
{
    TDevice* ctd = Device(QStringLiteral("CTD"),
                          Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    ctd->SetCaptureDest(2);
    ctd->SetCaptureDestName(QStringLiteral("CTD\\CTD_000.RAW"));
    TWizardChoices choices;
    choices.startSequence = true;
    choices.sequenceText = QStringLiteral("12");
    choices.startUpDelay = QStringLiteral("00:00:01");
    choices.blackout = true;

    const QStringList script = Script(choices);

    const qsizetype at = script.indexOf(QStringLiteral("define File_CTD 1"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(script.mid(at + 1, 6), TextLines(R"(

; Initialize sequential file numbering
ResetSeqNum 12

; Pause between start signal and actual data collection routines
Sleep 1)"));
    EXPECT_EQ(Routine(script, QStringLiteral("MainLoop:")), TextLines(R"(
MainLoop:
    ; Do not collect data during blackput times
    GosubDuring 20:00:00 04:00:00 BlackOut
    ; Increment Counter for Sequentially numbered files.
    NextSeqNum
    Gosub DoDataCollect
    ; Done.
GoTo ScriptDone)"));
    EXPECT_EQ(Routine(script, QStringLiteral("BlackOut:")),
              QStringList({QStringLiteral("BlackOut:"), QStringLiteral("    SleepUntil 04:00:00"),
                           QStringLiteral("Return")}));
    choices.startUpDelay = QStringLiteral("00:00:00");
    EXPECT_EQ(Script(choices).filter(QRegularExpression(QStringLiteral("^Sleep "))), QStringList());
}

class ScheduleTest : public ScriptGeneratorTest {
protected:
    void SetUp() override
    {
        ScriptGeneratorTest::SetUp();
        Device(QStringLiteral("CTD"),
               Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
        choices.scheduled = true;
    }
    TWizardChoices choices;
};

// An interval that divides the day: the DAS wakes on it by itself, and sleeps outside the
// collection hours.
TEST_F(ScheduleTest, AnIntervalDividingTheDayWakesTheDasRegularly)
{
    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("MainLoop:")), TextLines(R"(
MainLoop:
    ; Wake up regularly to collect data
    SLEEPMOD 00:30:00
    ; But do not collect data outside of normal collection times
    GosubDuring 20:00:00 06:00:00 BlackOut
    ; Now collect the data
    Gosub DoDataCollect
    ; Pause so that an endscript can be recieved
    Wait 5
; Now loop back
Goto MainLoop)"));
    EXPECT_EQ(Routine(script, QStringLiteral("BlackOut:")),
              QStringList({QStringLiteral("BlackOut:"), QStringLiteral("    SleepUntil 06:00:00"),
                           QStringLiteral("Return")}));

    choices.until = choices.from;
    const QStringList allDay = Script(choices);
    EXPECT_TRUE(allDay.filter(QStringLiteral("GosubDuring")).isEmpty());
    EXPECT_FALSE(allDay.contains(QStringLiteral("BlackOut:")));
}

// Every seven minutes cannot be woken on: the times are spelled out from 06:00:00 up to and
// including 20:00:00, and the script runs as one with specific times.
TEST_F(ScheduleTest, AnOtherIntervalIsSpelledOutAsSpecificTimes)
{
    choices.every = QStringLiteral("00:07:00");

    const TGeneratedScript script = Generate(choices);

    ASSERT_TRUE(script.expandedTimes.has_value());
    EXPECT_EQ(script.expandedTimes->size(), 121);
    EXPECT_EQ(script.expandedTimes->first(), QStringLiteral("06:00:00"));
    EXPECT_EQ(script.expandedTimes->last(), QStringLiteral("20:00:00"));
    const QStringList& lines = script.lines;
    EXPECT_EQ(lines.filter(QStringLiteral("    GosubDuring ")).first(),
              QStringLiteral("    GosubDuring 06:00:00 06:07:00 Do06_00_00"));
    EXPECT_EQ(lines.filter(QStringLiteral("    GosubDuring ")).last(),
              QStringLiteral("    GosubDuring 20:00:00 06:00:00 Do20_00_00"));
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^Do\\d"))).first(),
              QStringLiteral("Do06_00_00:"));
    EXPECT_EQ(Routine(lines, QStringLiteral("Do20_00_00:")),
              QStringList({QStringLiteral("Do20_00_00:"), QStringLiteral("    Gosub DoDataCollect"),
                           QStringLiteral("    SleepUntil 06:00:00"), QStringLiteral("Return"),
                           QStringLiteral("GoTo ScriptDone")}));
    EXPECT_FALSE(lines.contains(QStringLiteral("BlackOut:")));
}

TEST_F(ScheduleTest, SpecificTimesJumpToOneRoutineEach)
{
    choices.scheduleEvery = false;
    choices.scheduleTimes = {QStringLiteral("08:00:00"), QStringLiteral("7:30:00")};

    const TGeneratedScript script = Generate(choices);

    EXPECT_FALSE(script.expandedTimes.has_value());
    const qsizetype at = script.lines.indexOf(QStringLiteral("MainLoop:"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(script.lines.mid(at, 18), TextLines(R"(
MainLoop:
    ; Jump to routines at irregular intervals to collect data
    GosubDuring 08:00:00 7:30:00 Do08_00_00
    GosubDuring 7:30:00 08:00:00 Do7_30_00
; Now loop back
Goto MainLoop
    ; Collect data, then sleep for the rest of the interval

Do08_00_00:
    Gosub DoDataCollect
    SleepUntil 7:30:00
Return

Do7_30_00:
    Gosub DoDataCollect
    SleepUntil 08:00:00
Return
GoTo ScriptDone)"));
    EXPECT_TRUE(script.variables.contains(QStringLiteral("Do7_30_00")));
}

TEST_F(ScheduleTest, PauseScriptSleepsAtTheSleepSwitchInsteadOfEnding)
{
    choices.sleepSwitch = TSleepSwitchAction::PauseScript;

    const QStringList script = Script(choices);

    EXPECT_EQ(Routine(script, QStringLiteral("SwitchOff:")), TextLines(R"(
SwitchOff:
  ; Go to sleep indefinitely
  Sleep 1000000000
; And return
  Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:")).value(1),
              QStringLiteral("    ;Sample For 100 Ticks!"));
    EXPECT_EQ(Routine(script, QStringLiteral("StartSample:")).value(3),
              QStringLiteral("    OnSwitchOff SwitchOff"));
}

// Choices that cannot give a sound script are refused before anything is made.
TEST_F(ScriptGeneratorTest, RefusesChoicesThatGiveNoSoundScript)
{
    TWizardChoices choices;
    EXPECT_EQ(Refusal(choices), QStringLiteral("No Devices Selected"));

    TDevice* ctd = Device(QStringLiteral("CTD"),
                          Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    TDevice* streaming = Device(QStringLiteral("ADCP"),
                                Port(QStringLiteral("S2"), QStringLiteral("Serial"), 2, 2, 4));
    streaming->SetCollectionType(2);
    streaming->SetPacketPause(0);  // not polled: its pause is never used
    EXPECT_EQ(Refusal(choices), QString());

    ctd->SetPacketPause(0);
    EXPECT_TRUE(
        Refusal(choices).startsWith(QStringLiteral("CTD is polled with a packet pause of 0")));
    ctd->SetPacketPause(9973);
    streaming->SetCollectionType(0);
    streaming->SetPacketPause(9967);
    EXPECT_TRUE(
        Refusal(choices).startsWith(QStringLiteral("The packet pauses of the polled devices")));
    streaming->SetPacketPause(100);
    ctd->SetPacketPause(100);

    choices.durationTimed = QStringLiteral("25:00:00");
    EXPECT_EQ(Refusal(choices), QStringLiteral("'25:00:00' is not a valid time"));
    choices.durationTimed = QStringLiteral("00:00:10");

    choices.scheduled = true;
    choices.every = QStringLiteral("00:00:00");
    EXPECT_TRUE(Refusal(choices).startsWith(QStringLiteral("Sample Every must be a time above")));
    choices.scheduleEvery = false;
    EXPECT_TRUE(Refusal(choices).startsWith(QStringLiteral("Add at least one time")));
    choices.scheduleTimes = {QStringLiteral("08:00:00")};
    EXPECT_EQ(Refusal(choices), QString());
}

// A sampling routine too long for any DAS is refused instead of being built, up to the
// largest count a station file can hold.
TEST_F(ScriptGeneratorTest, RefusesASamplingRoutineTooLongToHold)
{
    TDevice* light = Device(QStringLiteral("Light"),
                            Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 1));
    light->SetDoAveraging(true);
    for (int samples : {2'000'000'000, 2'147'483'646, 2'147'483'647}) {
        light->SetAvgNumSamples(samples);
        EXPECT_TRUE(
            Refusal(TWizardChoices()).startsWith(QStringLiteral("The sampling routine would take")))
            << samples;
    }
}

// Every time the script names is a time of day, and each specific time names one routine.
TEST_F(ScriptGeneratorTest, RefusesTimesThatAreNoTimes)
{
    Device(QStringLiteral("CTD"), Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    TWizardChoices choices;
    choices.blackout = true;
    for (const char* bad : {"-1:00:00", "99:99:99", "12:00:00x", ""}) {
        const QString text = QString::fromLatin1(bad);
        choices.blackoutFrom = text;
        EXPECT_EQ(Refusal(choices),
                  QLatin1Char('\'') + text + QStringLiteral("' is not a valid time"));
        choices.blackoutFrom = QStringLiteral("20:00:00");
        choices.blackoutTo = text;
        EXPECT_EQ(Refusal(choices),
                  QLatin1Char('\'') + text + QStringLiteral("' is not a valid time"));
        choices.blackoutTo = QStringLiteral("04:00:00");
    }
    EXPECT_EQ(Refusal(choices), QString());
    // A scheduled script has no blackout hours: the fields are not read.
    choices.scheduled = true;
    choices.blackoutTo = QStringLiteral("99:99:99");
    choices.scheduleEvery = false;
    choices.scheduleTimes = {QStringLiteral("08:00:00"), QStringLiteral("-1:00:00")};
    EXPECT_EQ(Refusal(choices), QStringLiteral("'-1:00:00' is not a valid time"));
    choices.scheduleTimes = {QStringLiteral("12:00"), QStringLiteral(" 12:00")};
    EXPECT_EQ(Refusal(choices),
              QStringLiteral("The time 12:00:00 is listed twice -- Script Not Made."));
    choices.scheduleTimes = {QStringLiteral("12:00"), QStringLiteral("13:00")};
    EXPECT_EQ(Refusal(choices), QString());
}

// An instrument that sends by itself is powered, opened and routed, and never asked.
TEST_F(ScriptGeneratorTest, AnInstrumentSendingByItselfIsOnlyPoweredAndRouted)
{
    TDevice* gps = Device(QStringLiteral("GPS"),
                          Port(QStringLiteral("S1"), QStringLiteral("Serial"), 4, 7, 2));
    gps->SetCollectionType(1);
    gps->SetPortBaud(4800);
    gps->SetStartPrefix(QStringLiteral("GPS on"));

    const QStringList script = Script(TWizardChoices());

    EXPECT_EQ(Routine(script, QStringLiteral("PowerOn:")), TextLines(R"(
PowerOn:
    OpenSerial Data_GPS, 4800, "N81"
    RouteSerial Data_GPS Host Host_GPS
    SendString Host Host_GPS "GPS on"
    SetPower Power_GPS On
; Done with Power-On
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("SampleData:")).value(1),
              QStringLiteral("    ;Sample For 100 Ticks!"));
    EXPECT_TRUE(script.filter(QStringLiteral("Collect_")).isEmpty());
    EXPECT_TRUE(script.contains(QStringLiteral("define Host_GPS 7")));
}

// A mixed station sampled for 25 s with a remainder: a polled CTD and an averaged analog
// fluorometer sharing switch 3, and on switch 5 (with a second switch) an instrument with
// start, stop, power-on and power-off commands writing a plain DAS file; numbered files,
// a start-up delay, a blackout, and a sleep switch that pauses.
TEST_F(ScriptGeneratorTest, WritesAMixedTimedRunWithItsRemainder)
{
    TPort* s1 = Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 11, 3);
    TPort* s2 = Port(QStringLiteral("S2"), QStringLiteral("Serial"), 2, 12, 5, 6);
    TPort* a1 = Port(QStringLiteral("A1"), QStringLiteral("Analog"), 7, 20, 3);

    TDevice* ctd = Device(QStringLiteral("CTD"), s1);
    ctd->SetPacketPause(30);
    ctd->SetPortBaud(9600);
    ctd->SetPortSettings(QStringLiteral("N,8,1"));
    ctd->SetStartDataCapture(0);
    ctd->SetStopDataCapture(0);
    ctd->SetCmdGetData({QStringLiteral("D")});
    ctd->SetPrefix(QStringLiteral("C:"));
    ctd->SetPowerOnDelay(30);

    TDevice* o2 = Device(QStringLiteral("O2-X"), s2);
    o2->SetCollectionType(2);
    o2->SetPortBaud(19200);
    o2->SetPortSettings(QStringLiteral("E,7,2"));
    o2->SetCaptureDest(3);
    o2->SetCaptureDestAppend(false);
    o2->SetCaptureDestName(QStringLiteral("O2\\O2_DATA.TXT"));
    o2->SetStartDataCapture(4);
    o2->SetStopDataCapture(2);
    o2->SetCmdStart({QStringLiteral("START")});
    o2->SetCmdStop({QStringLiteral("STOP")});
    o2->SetCmdStartDelay(20);
    o2->SetStartAfterDelay(10);
    o2->SetCmdStopDelay(15);
    o2->SetPowerOnCmd(true);
    o2->SetPowerOnCmdWait(40);
    o2->SetCmdPowerOn({QStringLiteral("WAKE")});
    o2->SetPowerOffCmd(true);
    o2->SetPowerOffCmdWait(25);
    o2->SetCmdPowerOff({QStringLiteral("SLEEP")});
    o2->SetStopSuffix(QStringLiteral("END"));
    o2->SetPowerOnDelay(100);

    TDevice* fluoro = Device(QStringLiteral("Fluoro"), a1);
    fluoro->SetPacketPause(40);
    fluoro->SetDoAveraging(true);
    fluoro->SetAvgNumSamples(2);
    fluoro->SetAvgPause(5);
    fluoro->SetCaptureDest(2);
    fluoro->SetCaptureDestName(QStringLiteral("FL\\FLUOR000.RAW"));
    fluoro->SetStartDataCapture(0);
    fluoro->SetStopDataCapture(0);
    fluoro->SetSuffix(QStringLiteral("#"));

    TWizardChoices choices;
    choices.path = QStringLiteral("/tmp/x/Mixed Run.pxs");
    choices.comments = {QStringLiteral("First line"), QStringLiteral("Second")};
    choices.startSequence = true;
    choices.sequenceText = QStringLiteral("7");
    choices.startUpDelay = QStringLiteral("00:01:05");
    choices.sleepAtEnd = true;
    choices.durationTimed = QStringLiteral("00:00:25");
    choices.timedAgain = true;
    choices.blackout = true;
    choices.blackoutFrom = QStringLiteral("21:00:00");
    choices.blackoutTo = QStringLiteral("05:30:00");
    choices.sleepSwitch = TSleepSwitchAction::PauseScript;

    const QStringList script = Script(choices);
    EXPECT_EQ(script.value(0), QStringLiteral("; Mixed Run.pxs -- 02/01/2024 08:30:05"));
    const char* body120 = R"(    ;Sample For 120 Ticks!
    Gosub Collect_CTD
    ResetAverage Average_Fluoro
    SendAnalog Data_Fluoro Average Average_Fluoro
    WaitTicks 5
    SendAnalog Data_Fluoro Average Average_Fluoro
    WaitTicks 5
    Gosub Collect_Fluoro
    WaitTicks 20
    Gosub Collect_CTD
    WaitTicks 10
    ResetAverage Average_Fluoro
    SendAnalog Data_Fluoro Average Average_Fluoro
    WaitTicks 5
    SendAnalog Data_Fluoro Average Average_Fluoro
    WaitTicks 5
    Gosub Collect_Fluoro
    WaitTicks 10
    Gosub Collect_CTD
    WaitTicks 20
    ResetAverage Average_Fluoro
    SendAnalog Data_Fluoro Average Average_Fluoro
    WaitTicks 5
    SendAnalog Data_Fluoro Average Average_Fluoro
    WaitTicks 5
    Gosub Collect_CTD
    Gosub Collect_Fluoro)";
    QStringList expected = TextLines(R"(

; First line
; Second

; Defines
define On 1
define Off 0
define Power_CTD 3
define Data_CTD 1
define Host_CTD 11
define Data_Fluoro 7
define File_Fluoro 1
define Average_Fluoro 1
define Power_O2_X 5
define AuxPower_O2_X 6
define Data_O2_X 2
define File_O2_X 2

; Initialize sequential file numbering
ResetSeqNum 7

; Pause between start signal and actual data collection routines
Sleep 65

; Main Data Collection Loop
MainLoop:
    ; Do not collect data during blackput times
    GosubDuring 21:00:00 05:30:00 BlackOut
    ; Increment Counter for Sequentially numbered files.
    NextSeqNum
    Gosub DoDataCollect
    ; Done.
    ; Go to sleep to conserve power
    Sleep 1000000000
    ; Pause so that an endscript can be recieved
    Wait 5
; Now loop back
Goto MainLoop

; Sleep during blackout times
BlackOut:
    SleepUntil 05:30:00
Return

; Now let's turn on instruments and collect some data!
DoDataCollect:
    ; First turn on the instruments and start data collection
    Gosub PowerOn
    ; Now Synchonize the Timer
    Wait 0
    ; Now Loop 4 Times
    Repeat 4
        ; Sample the Data for 6 Seconds
        Gosub SampleData
    ; Sample Again
    EndRepeat
    ; Sample Remainder of the Data for 100 Ticks
    Gosub SampleFinalData
    ; Finally turn off the instruments
    Gosub PowerOff
; And Finish
Return

; Instrument Turn-on Routine
PowerOn:
    OpenSerial Data_CTD, 9600, "N81"
    RouteSerial Data_CTD Host Host_CTD
    SetPower Power_CTD On
    WaitTicks 30
    OpenFile File_O2_X "O2_DATA.TXT"
    OpenFileSeq File_Fluoro "FLUOR000.RAW"
    OpenSerial Data_O2_X, 19200, "E72"
    SetPower Power_O2_X On
    SetPower AuxPower_O2_X On
    WaitTicks 40
    SendString Serial Data_O2_X "WAKE\r"
    WaitTicks 20
    SendString Serial Data_O2_X "START\r"
    WaitTicks 10
    RouteSerial Data_O2_X File File_O2_X
; Done with Power-On
Return

; Data Sampling Loop - 6 Second Duration
SampleData:
    Repeat 4
        Gosub TimedSample
    EndRepeat 
    Gosub StartSample
    ; Re-align Timing
    Wait 6
; Done WithSample
Return

; Final Data Sampling Loop - Samples for 100 Ticks
SampleFinalData:
    Gosub TinySample
; Done WithSample
Return

; One Sample Loop of Duration Exactly 120 Ticks
TimedSample:
    Gosub StartSample
    WaitTicks 30
    OnSwitchOff SwitchOff
; Done With Exact Duration Sampling Routine
Return

; Sample for Almost 120 Ticks, Omitting final WaitTicks
StartSample:
@BODY120@
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return

; Do Remainder of Sampling Routine - 100 Ticks
TinySample:
@BODY100@
    WaitTicks 10
    OnSwitchOff SwitchOff
; Done With Very Short Duration Sampling Routine
Return

; Sample and Store/Send data from CTD
Collect_CTD:
    SendString Host Host_CTD "C:"
    SendString Serial Data_CTD "D\r", 0
Return

; Sample and Store/Send data from Fluoro
Collect_Fluoro:
    SendAverage Average_Fluoro File File_Fluoro
    SendString File File_Fluoro "#"
Return

; Instrument Data-off and Turn-off Routine
PowerOff:
    CloseFile File_Fluoro
    SendString Serial Data_O2_X "STOP\r"
    SetPower Power_CTD Off
    CloseSerial Data_CTD
    WaitTicks 15
    SendString File File_O2_X "END"
    CloseFile File_O2_X
    SendString Serial Data_O2_X "SLEEP\r"
    WaitTicks 25
    SetPower Power_O2_X Off
    SetPower AuxPower_O2_X Off
    CloseSerial Data_O2_X
; Done with Power-Off
Return

; Handle Sleep switch - Pauses script
SwitchOff:
  ; Go to sleep indefinitely
  Sleep 1000000000
; And return
  Return

; Exit Script - Sets status to "Script Done"
ScriptDone:
  EndScript:)");
    // The 100-tick remainder has the same lines as the 120-tick body up to its last
    // collection, then waits out its own length.
    QStringList withBodies;
    for (const QString& line : expected) {
        if (line == QStringLiteral("@BODY120@") || line == QStringLiteral("@BODY100@")) {
            withBodies << TextLines(body120);
        } else {
            withBodies << line;
        }
    }
    withBodies.replace(withBodies.indexOf(QStringLiteral("    ;Sample For 120 Ticks!"),
                                          withBodies.indexOf(QStringLiteral("TinySample:"))),
                       QStringLiteral("    ;Sample For 100 Ticks!"));
    EXPECT_EQ(script.mid(1), withBodies);
}

// A scheduled run whose interval does not divide the day is spelled out as times past
// midnight; the serial instrument checked in the time-out list is collected once at power-on
// and left out of the sampling body; the sleep switch ends the script.
TEST_F(ScriptGeneratorTest, WritesAScheduledTimeOutRunAtSpelledOutTimes)
{
    TDevice* adcp = Device(QStringLiteral("ADCP 1"),
                           Port(QStringLiteral("S1"), QStringLiteral("Serial"), 3, 13, 4));
    adcp->SetPacketPause(200);
    adcp->SetPortBaud(4800);
    adcp->SetStartDataCapture(1);
    adcp->SetStopDataCapture(1);
    adcp->SetPowerOnCmdWait(30);
    adcp->SetCmdStartDelay(50);
    adcp->SetStartAfterDelay(30);
    adcp->SetStopAfterDelay(200);
    adcp->SetCmdGetData({QStringLiteral("\\!SupCr"), QStringLiteral("PING")});
    adcp->SetPowerOnDelay(30);
    TDevice* temp = Device(QStringLiteral("Temp"),
                           Port(QStringLiteral("A1"), QStringLiteral("Analog"), 5, 21, 2));
    temp->SetPacketPause(50);
    temp->SetCaptureDest(1);
    temp->SetCaptureDestOther(40);
    temp->SetStartDataCapture(0);
    temp->SetStopDataCapture(0);
    temp->SetPowerOnDelay(30);

    TWizardChoices choices;
    choices.path = QStringLiteral("Sched.pxs");
    choices.scheduled = true;
    choices.every = QStringLiteral("00:25:00");
    choices.from = QStringLiteral("23:30:00");
    choices.until = QStringLiteral("00:20:00");
    choices.blackout = true;  // no blackout in a scheduled script
    choices.duration = TSampleDuration::TimeOut;
    choices.timeOutDevices = {QStringLiteral("ADCP 1")};

    const TGeneratedScript generated = Generate(choices);
    ASSERT_TRUE(generated.expandedTimes.has_value());
    EXPECT_EQ(*generated.expandedTimes,
              QStringList({QStringLiteral("23:30:00"), QStringLiteral("23:55:00"),
                           QStringLiteral("00:20:00")}));
    EXPECT_EQ(generated.lines.mid(1), TextLines(R"(

; Defines
define On 1
define Off 0
define Power_Temp 2
define Data_Temp 5
define Host_Temp 40
define Power_ADCP_1 4
define Data_ADCP_1 3
define Host_ADCP_1 13

; Main Data Collection Loop
MainLoop:
    ; Jump to routines at irregular intervals to collect data
    GosubDuring 23:30:00 23:55:00 Do23_30_00
    GosubDuring 23:55:00 00:20:00 Do23_55_00
    GosubDuring 00:20:00 23:30:00 Do00_20_00
; Now loop back
Goto MainLoop
    ; Collect data, then sleep for the rest of the interval

Do23_30_00:
    Gosub DoDataCollect
    SleepUntil 23:55:00
Return

Do23_55_00:
    Gosub DoDataCollect
    SleepUntil 00:20:00
Return

Do00_20_00:
    Gosub DoDataCollect
    SleepUntil 23:30:00
Return
GoTo ScriptDone

; Now let's turn on instruments and collect some data!
DoDataCollect:
    ; First turn on the instruments and start data collection
    Gosub PowerOn
    ; Now Synchonize the Timer
    Wait 0
    ; Now Enable Serial Timeouts
    EnableTimeout Data_ADCP_1
    ; Now Start the Data Collection Loop
    RepeatTimeOut 3000  60000
        ; Sample the Data for 2 Seconds
        Gosub SampleData
    ; Sample Again
    EndRepeat
    ; Finally turn off the instruments
    Gosub PowerOff
; And Finish
Return

; Instrument Turn-on Routine
PowerOn:
    SetPower Power_Temp On
    WaitTicks 30
    OpenSerial Data_ADCP_1, 4800, "N81"
    SetPower Power_ADCP_1 On
    WaitTicks 30
    RouteSerial Data_ADCP_1 Host Host_ADCP_1
    WaitTicks 20
    Gosub Collect_ADCP_1
; Done with Power-On
Return

; Data Sampling Loop - 2 Second Duration
SampleData:
    Gosub StartSample
    ; Re-align Timing
    Wait 2
; Done WithSample
Return

; Sample for Almost 200 Ticks, Omitting final WaitTicks
StartSample:
    OnSwitchOff SwitchOff
    ;Sample For 200 Ticks!
    Gosub Collect_Temp
    WaitTicks 50
    Gosub Collect_Temp
    WaitTicks 50
    Gosub Collect_Temp
    WaitTicks 50
    Gosub Collect_Temp
    OnSwitchOff SwitchOff
; Done With Short Duration Sampling Routine
Return

; Sample and Store/Send data from ADCP 1
Collect_ADCP_1:
    SendString Serial Data_ADCP_1 "PING", 0
Return

; Sample and Store/Send data from Temp
Collect_Temp:
    SendAnalog Data_Temp Host Host_Temp
Return

; Instrument Data-off and Turn-off Routine
PowerOff:
    SetPower Power_ADCP_1 Off
    SetPower Power_Temp Off
    CloseSerial Data_ADCP_1
; Done with Power-Off
Return

; Handle Sleep switch - Ends script nicely
SwitchOff:
  ; Turn off the instruments
  Gosub PowerOff
; And Finish

; Exit Script - Sets status to "Script Done"
ScriptDone:
  EndScript:)"));
}

}  // namespace
