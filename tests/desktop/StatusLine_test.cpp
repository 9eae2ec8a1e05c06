#include "desktop/StatusLine.h"

#include <gtest/gtest.h>

#include "station/StationFixture.h"

namespace {

// Feeds chunks to a buffer and collects the lines it hands on.
struct TLineCollector {
    TStatusLineBuffer buffer;
    QList<QByteArray> lines;

    void Feed(const QByteArray& chunk)
    {
        buffer.Append(chunk.constData(), static_cast<int>(chunk.size()),
                      [this](const QByteArray& line) { lines << line; });
    }
};

}  // namespace

TEST(StatusLineBuffer, HandsOnALineOnlyOnceItsEndArrives)
{
    TLineCollector c;
    c.Feed("25.1,12");
    EXPECT_TRUE(c.lines.isEmpty());
    c.Feed(",0,OO,11,xR\r\n");
    EXPECT_EQ(c.lines, QList<QByteArray>{"25.1,12,0,OO,11,xR"});
    EXPECT_EQ(c.buffer.Fill(), 0);
}

TEST(StatusLineBuffer, EveryKindOfLineEndEndsOneLine)
{
    TLineCollector c;
    c.Feed("A\rB\nC\r\nD");
    EXPECT_EQ(c.lines, (QList<QByteArray>{"A", "B", "C"}));
    EXPECT_EQ(c.buffer.Fill(), 1);

    TLineCollector twice;
    twice.Feed("a\n\nb\n");
    EXPECT_EQ(twice.lines, (QList<QByteArray>{"a", "b"}));
}

TEST(StatusLineBuffer, LineFeedInTheNextChunkBelongsToTheCarriageReturn)
{
    TLineCollector c;
    c.Feed("status one\r");
    c.Feed("\nstatus two\r");
    c.Feed("\n");
    EXPECT_EQ(c.lines, (QList<QByteArray>{"status one", "status two"}));

    // Only a leading LF is taken: text after a chunk-ending CR starts a new line.
    TLineCollector next;
    next.Feed("x\r");
    next.Feed("y\r\n");
    EXPECT_EQ(next.lines, (QList<QByteArray>{"x", "y"}));
}

TEST(StatusLineBuffer, DropsALineTooLongForTheBufferAndReadsTheNextOne)
{
    TLineCollector c;
    const QByteArray junk(kStatusLineBytes + 100, 'J');
    c.Feed(junk.left(5000));
    c.Feed(junk.mid(5000));
    c.Feed("more junk\r\n25.1,12.0\r\n");
    EXPECT_EQ(c.lines, QList<QByteArray>{"25.1,12.0"});

    // Exactly full without a line end, then the end in the next chunk.
    TLineCollector full;
    full.Feed(QByteArray(kStatusLineBytes, 'F'));
    full.Feed("\r\nok\r\n");
    EXPECT_EQ(full.lines, QList<QByteArray>{"ok"});

    // A long line that still fits is handed on whole.
    TLineCollector fits;
    const QByteArray longLine(kStatusLineBytes - 1, 'L');
    fits.Feed(longLine + "\n");
    ASSERT_EQ(fits.lines.size(), 1);
    EXPECT_EQ(fits.lines[0], longLine);
}

TEST(StatusFields, ReadsTheSevenFieldsWithinTheirSizes)
{
    const TStatusFields f = ReadStatusFields(QStringLiteral("25.1, 12.0,--,0,OOOO,1111,xR"));
    EXPECT_EQ(f.sensors[0], QStringLiteral("25.1"));
    EXPECT_EQ(f.sensors[1], QStringLiteral("12.0"));
    EXPECT_EQ(f.sensors[2], QStringLiteral("--"));
    EXPECT_EQ(f.sensors[3], QStringLiteral("0"));
    EXPECT_EQ(f.portStates, QStringLiteral("OOOO"));
    EXPECT_EQ(f.powerStates, QStringLiteral("1111"));
    EXPECT_EQ(f.scriptState, QStringLiteral("xR"));

    const TStatusFields longer = ReadStatusFields(
        QString(100, QLatin1Char('9')) + QStringLiteral(",1,2,3,") + QString(30, 'O') +
        QStringLiteral(",") + QString(30, '1') + QStringLiteral(",xRunning"));
    EXPECT_EQ(longer.sensors[0]->size(), kSensorFieldSize - 1);
    EXPECT_EQ(longer.portStates->size(), kStateFieldSize - 1);
    EXPECT_EQ(longer.powerStates->size(), kStateFieldSize - 1);
    EXPECT_EQ(longer.scriptState, QStringLiteral("xRu"));

    const TStatusFields shortLine = ReadStatusFields(QStringLiteral("25.1,12.0"));
    EXPECT_TRUE(shortLine.sensors[1].has_value());
    EXPECT_FALSE(shortLine.sensors[2].has_value());
    EXPECT_FALSE(shortLine.portStates.has_value());
    EXPECT_FALSE(shortLine.scriptState.has_value());
}

TEST(StatusFields, SensorAndScriptTexts)
{
    EXPECT_EQ(SensorPanelText(QStringLiteral("Temp="), QStringLiteral("25.1")),
              QStringLiteral("Temp=25.1"));
    EXPECT_EQ(SensorPanelText(QStringLiteral("Current="), QStringLiteral("--")), QString());

    EXPECT_EQ(ScriptStateText(QStringLiteral("xD")), QStringLiteral("Script Done"));
    EXPECT_EQ(ScriptStateText(QStringLiteral("xH")), QStringLiteral("Script Halted"));
    EXPECT_EQ(ScriptStateText(QStringLiteral("xR")), QStringLiteral("Script Running"));
    EXPECT_EQ(ScriptStateText(QStringLiteral("xS")), QStringLiteral("Script Loaded"));
    EXPECT_EQ(ScriptStateText(QStringLiteral("xZ")), QStringLiteral("No Script"));
    // Too short to hold the state character.
    EXPECT_EQ(ScriptStateText(QStringLiteral("R")), QStringLiteral("No Script"));
    EXPECT_EQ(ScriptStateText(QString()), QStringLiteral("No Script"));

    EXPECT_EQ(StateAt(QStringLiteral("CO"), 1), QLatin1Char('O'));
    EXPECT_EQ(StateAt(QStringLiteral("CO"), 2), QLatin1Char(' '));
    EXPECT_EQ(StateAt(QStringLiteral("CO"), -1), QLatin1Char(' '));
}

class DeviceStatesTest : public StationTest {
protected:
    int State(const TDevice* device) const { return device->GetListItem()->StateIndex(); }
};

TEST_F(DeviceStatesTest, SerialDeviceFollowsItsPortAndSwitch)
{
    AddPort(QStringLiteral("Serial 2"), 2, 3);
    TDevice* ctd = devices.Add(QStringLiteral("CTD"));
    ASSERT_NE(ctd, nullptr);

    UpdateDeviceStates(devices, &mux, QStringLiteral("CCOC"), QStringLiteral("0001"));
    EXPECT_EQ(State(ctd), kStateSerialOpen + kStatePowered);
    EXPECT_EQ(Row(ctd, kColPort), QStringLiteral("OPEN"));
    EXPECT_EQ(Row(ctd, kColPower), QStringLiteral("ON"));

    ctd->GetPort()->SetActivity();
    UpdateDeviceStates(devices, &mux, QStringLiteral("CCOC"), QStringLiteral("0001"));
    EXPECT_EQ(State(ctd), 11);
    EXPECT_FALSE(ctd->GetPort()->TestAndClearActivity(false));

    // Strings shorter than the port's and switch's numbers read as closed and off.
    UpdateDeviceStates(devices, &mux, QStringLiteral("CC"), QStringLiteral("00"));
    EXPECT_EQ(State(ctd), kStateSerialClosed);
    EXPECT_EQ(Row(ctd, kColPort), QStringLiteral("closed"));
    EXPECT_EQ(Row(ctd, kColPower), QStringLiteral("off"));
}

TEST_F(DeviceStatesTest, PortThatIsNotSerialOpensWithItsPower)
{
    AddPort(QStringLiteral("Analog 1"), 11, 2, QStringLiteral("Analog"));
    TDevice* oxygen = devices.Add(QStringLiteral("Oxygen"));
    ASSERT_NE(oxygen, nullptr);

    UpdateDeviceStates(devices, &mux, QString(), QStringLiteral("001"));
    EXPECT_EQ(State(oxygen), kStatePowered);
    EXPECT_EQ(Row(oxygen, kColPort), QStringLiteral("OPEN"));
    EXPECT_EQ(Row(oxygen, kColPower), QStringLiteral("ON"));

    UpdateDeviceStates(devices, &mux, QString(), QStringLiteral("000"));
    EXPECT_EQ(State(oxygen), kStateNotSerial);
    EXPECT_EQ(Row(oxygen, kColPort), QStringLiteral("closed"));
    EXPECT_EQ(Row(oxygen, kColPower), QStringLiteral("off"));
}

TEST_F(DeviceStatesTest, PcWiredDeviceIsOpenOnlyWithItsPcPort)
{
    ports.AddPCPort(3);
    TDevice* meter = devices.Add(QStringLiteral("Meter"));
    ASSERT_NE(meter, nullptr);
    ASSERT_TRUE(meter->GetPort()->IsPCSerial());

    // The DAS's serial port 3 being open says nothing of the PC's COM3.
    UpdateDeviceStates(devices, &mux, QStringLiteral("OOOO"), QStringLiteral("1"));
    EXPECT_EQ(State(meter), kStateSerialClosed + kStatePowered);
    EXPECT_EQ(Row(meter, kColPort), QStringLiteral("closed"));
}

TEST_F(DeviceStatesTest, ActivityIconsFollowThePortsActivity)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TDevice* a = devices.Add(QStringLiteral("A"));
    TDevice* b = devices.Add(QStringLiteral("B"));
    ASSERT_NE(b, nullptr);

    a->GetListItem()->SetStateIndex(11);
    b->GetListItem()->SetStateIndex(5);
    b->GetPort()->SetActivity();
    RefreshActivityIcons(devices);
    EXPECT_EQ(State(a), 5);
    EXPECT_EQ(State(b), 11);
    EXPECT_FALSE(b->GetPort()->TestAndClearActivity(false));

}

TEST_F(DeviceStatesTest, WalkEndsAtTheFirstDeviceWithoutPort)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TDevice* a = devices.Add(QStringLiteral("A"));
    TDevice* b = devices.Add(QStringLiteral("B"));
    ASSERT_NE(b, nullptr);
    a->SetPort(nullptr);
    b->GetListItem()->SetStateIndex(9);

    UpdateDeviceStates(devices, &mux, QStringLiteral("OOO"), QStringLiteral("111"));
    EXPECT_EQ(State(b), 9);
}
