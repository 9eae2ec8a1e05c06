#include <gtest/gtest.h>

#include <QRegularExpression>

#include "scripts/ScriptFixture.h"
#include "scripts/ScriptGenerator.h"

namespace {

// The power-on and power-off timelines of generated scripts.
class ScriptPowerTest : public ScriptStationTest {};

TEST_F(ScriptPowerTest, PowerOnPlacesStartCommandsBeforeTheDataTime)
{
    TDevice* x =
        Device(QStringLiteral("X"), Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    x->SetCollectionType(2);
    x->SetStartDataCapture(2);
    x->SetCmdStartDelay(50);
    x->SetStartAfterDelay(30);
    x->SetCmdStart({QStringLiteral("S")});

    const QStringList powerOn = Routine(Script(TWizardChoices()), QStringLiteral("PowerOn:"));

    EXPECT_EQ(powerOn.mid(1, powerOn.size() - 3), TextLines(R"(
    OpenSerial Data_X, 9600, "N81"
    SetPower Power_X On
    WaitTicks 50
    SendString Serial Data_X "S\r"
    WaitTicks 30
    RouteSerial Data_X Host Host_X)"));
}

TEST_F(ScriptPowerTest, BlockWaitsAndBandsOrderTheTimelines)
{
    TDevice* x =
        Device(QStringLiteral("X"), Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    x->SetCollectionType(2);
    x->SetPowerOnCmd(true);
    x->SetPowerOnCmdWait(0);
    x->SetCmdPowerOn({QStringLiteral("\\\\WaitTicks 100"), QStringLiteral("ON")});
    x->SetCmdStartDelay(0);
    x->SetStartAfterDelay(0);
    x->SetCmdStart({QStringLiteral("GO")});
    x->SetStartDataCapture(5);
    x->SetStopDataCapture(0);
    x->SetStopSuffix(QStringLiteral("END"));
    x->SetCmdStop({QStringLiteral("HALT")});

    const QStringList script = Script(TWizardChoices());

    // The marker after the block (start delay 0) lies 200 ticks after power-on.
    EXPECT_EQ(Routine(script, QStringLiteral("PowerOn:")), TextLines(R"(
PowerOn:
    OpenSerial Data_X, 9600, "N81"
    SetPower Power_X On
    WaitTicks 100
    SendString Serial Data_X "ON\r"
    WaitTicks 100
    SendString Serial Data_X "GO\r"
; Done with Power-On
Return)"));
    const QStringList powerOff = Routine(script, QStringLiteral("PowerOff:"));
    EXPECT_EQ(powerOff.value(1), QStringLiteral("    SendString Host Host_X \"END\""));
    EXPECT_EQ(powerOff.value(2), QStringLiteral("    SendString Serial Data_X \"HALT\\r\""));
}

TEST_F(ScriptPowerTest, DevicesOnOneSwitchShareItsDefineAndPowerLines)
{
    TPort* first = Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 6);
    TPort* second = Port(QStringLiteral("A2"), QStringLiteral("Analog"), 4, 21, 6);
    TPort* other = Port(QStringLiteral("A3"), QStringLiteral("Analog"), 5, 22, 7);
    Device(QStringLiteral("B"), second);
    Device(QStringLiteral("A"), first);
    Device(QStringLiteral("C"), other);

    const QStringList script = Script(TWizardChoices());

    // Power order follows the switch's ports, A's port first.
    EXPECT_TRUE(script.contains(QStringLiteral("define Power_A 6")));
    EXPECT_FALSE(script.join(QLatin1Char('\n')).contains(QStringLiteral("Power_B")));
    EXPECT_EQ(Routine(script, QStringLiteral("PowerOn:")), TextLines(R"(
PowerOn:
    SetPower Power_A On
    WaitTicks 30
    SetPower Power_C On
; Done with Power-On
Return)"));
    EXPECT_EQ(Routine(script, QStringLiteral("PowerOff:")), TextLines(R"(
PowerOff:
    SetPower Power_A Off
    SetPower Power_C Off
; Done with Power-Off
Return)"));
    // An analog port has no serial lines.
    EXPECT_FALSE(script.join(QLatin1Char('\n')).contains(QStringLiteral("Serial Data_")));
}

TEST_F(ScriptPowerTest, SwitchZeroIsPoweredOnceByItsFirstDevice)
{
    Device(QStringLiteral("A"), Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 0));
    Device(QStringLiteral("B"), Port(QStringLiteral("A2"), QStringLiteral("Analog"), 4, 21, 0));

    const QStringList script = Script(TWizardChoices());

    EXPECT_TRUE(script.contains(QStringLiteral("define Power_A 0")));
    EXPECT_EQ(script.filter(QStringLiteral("SetPower")),
              QStringList({QStringLiteral("    SetPower Power_A On"),
                           QStringLiteral("    SetPower Power_A Off")}));
}

TEST_F(ScriptPowerTest, CaptureFilesAreOpenedPerDeviceAndClosedOnceAfterTheLastWriter)
{
    TDevice* a =
        Device(QStringLiteral("A"), Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 1));
    TDevice* b =
        Device(QStringLiteral("B"), Port(QStringLiteral("A2"), QStringLiteral("Analog"), 4, 21, 2));
    TDevice* c =
        Device(QStringLiteral("C"), Port(QStringLiteral("A3"), QStringLiteral("Analog"), 5, 22, 3));
    // A and B write one DAS file (the folder and letter case make no other file on the DAS).
    a->SetCaptureDest(3);
    a->SetCaptureDestAppend(true);
    a->SetCaptureDestName(QStringLiteral("A\\SHARED.RAW"));
    a->SetStopDataCapture(0);
    b->SetCaptureDest(3);
    b->SetCaptureDestAppend(false);
    b->SetCaptureDestName(QStringLiteral("B\\shared.raw"));
    b->SetStopDataCapture(3);
    b->SetStopAfterDelay(200);
    c->SetCaptureDest(2);
    c->SetCaptureDestName(QStringLiteral("C\\C_000.RAW"));
    c->SetStopDataCapture(0);

    const QStringList script = Script(TWizardChoices());

    EXPECT_TRUE(script.contains(QStringLiteral("define File_A 1")));
    EXPECT_TRUE(script.contains(QStringLiteral("define File_B 1")));
    EXPECT_TRUE(script.contains(QStringLiteral("define File_C 2")));
    EXPECT_EQ(script.filter(QRegularExpression(QStringLiteral("^    (Append|Open)File"))),
              QStringList({QStringLiteral("    AppendFile File_A \"SHARED.RAW\""),
                           QStringLiteral("    OpenFile File_B \"shared.raw\""),
                           QStringLiteral("    OpenFileSeq File_C \"C_000.RAW\"")}));
    // A numbered file advances the file number each pass.
    EXPECT_EQ(
        Routine(script, QStringLiteral("MainLoop:")).mid(1, 2),
        QStringList({QStringLiteral("    ; Increment Counter for Sequentially numbered files."),
                     QStringLiteral("    NextSeqNum")}));
    EXPECT_EQ(Routine(script, QStringLiteral("PowerOff:")), TextLines(R"(
PowerOff:
    CloseFile File_C
    SetPower Power_A Off
    SetPower Power_B Off
    SetPower Power_C Off
    WaitTicks 200
    CloseFile File_A
; Done with Power-Off
Return)"));
}

// A send line's head leaves room for the text it carries: heads stay below 39 columns and
// head and piece within the DAS's 40, so long device names give shorter identifiers, still
// one per device, and no text is lost in the split.
TEST_F(ScriptPowerTest, LongDeviceNamesLeaveEverySendLineRoomForItsText)
{
    for (const char* name : {"Fluorometer 12345", "Fluorometer 12346"}) {
        const int n = static_cast<int>(devices.Count()) + 1;
        TDevice* d = Device(QString::fromLatin1(name), Port(QStringLiteral("S%1").arg(n),
                                                            QStringLiteral("Serial"), n, n, n + 2));
        d->SetCollectionType(2);
        d->SetCmdStart({QStringLiteral("START")});
        d->SetStartPrefix(QStringLiteral("Fluorometer on \\T"));
    }
    TDevice* light = Device(QStringLiteral("FluoroXYZ-12345"),
                            Port(QStringLiteral("A1"), QStringLiteral("Analog"), 3, 20, 5));
    light->SetPrefix(QStringLiteral("Light reading: "));

    const QStringList script = Script(TWizardChoices());

    EXPECT_EQ(script.filter(QStringLiteral("define Data_")),
              QStringList({QStringLiteral("define Data_Fluoro12345 1"),
                           QStringLiteral("define Data_Fluoro12346 2"),
                           QStringLiteral("define Data_Fluoro123_2 3")}));
    const auto textAfter = [&script](const QString& head) {
        QString text;
        for (const QString& line : script.filter(head + QStringLiteral(" \""))) {
            text += line.section(QLatin1Char('"'), 1, 1);
        }
        return text;
    };
    EXPECT_EQ(textAfter(QStringLiteral("    SendString Serial Data_Fluoro12346")),
              QStringLiteral("START\\r"));
    EXPECT_EQ(textAfter(QStringLiteral("    SendString Host Host_Fluoro12345")),
              QStringLiteral("Fluorometer on "));
    EXPECT_EQ(textAfter(QStringLiteral("    SendString Host Host_Fluoro123_2")),
              QStringLiteral("Light reading: "));
    int sends = 0;
    for (const QString& line : script.filter(QStringLiteral("    SendString "))) {
        const qsizetype quote = line.indexOf(QStringLiteral(" \""));
        ASSERT_GT(quote, 0) << line.toStdString();
        EXPECT_LT(quote, 39) << line.toStdString();
        EXPECT_LE(quote + line.section(QLatin1Char('"'), 1, 1).size(), 40) << line.toStdString();
        ++sends;
    }
    EXPECT_GT(sends, 10);
}

TEST_F(ScriptPowerTest, ShortPortSettingsAreReadWithoutRunningPastThem)
{
    TDevice* d = Device(QStringLiteral("CTD"),
                        Port(QStringLiteral("S1"), QStringLiteral("Serial"), 1, 1, 3));
    d->SetPortSettings(QStringLiteral("E"));

    EXPECT_TRUE(Script(TWizardChoices())
                    .contains(QStringLiteral("    OpenSerial Data_CTD, 9600, \"E81\"")));
}

}  // namespace
