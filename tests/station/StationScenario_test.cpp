// A whole station driven through its batches: ports of every kind, devices sharing a power
// switch, start-all (F1), stop-all (F2) and the capture batches, with every capture start and
// stop choice. Each expected command and its due time (ms after the batch was sent) is
// worked out by hand beside it from the sequence rules: bands order equal times, a step of
// 10,000,000 hundredths or more counts as no wait, ";" lines are never sent.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "StationFixture.h"
#include "link/Host.h"
#include "link/LinkFakes.h"
#include "station/DeviceSequences.h"

namespace {

using TDue = std::vector<std::pair<int, QString>>;

// The parts one after the other.
TDue Joined(std::initializer_list<TDue> parts)
{
    TDue all;
    for (const TDue& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class StationScenario : public StationLinkTest {
protected:
    void SetUp() override
    {
        StationLinkTest::SetUp();
        Host.SetLinkUi(&ui);
        // One port of each kind; the two analog inputs share power switch 4.
        ports.AddPort(QStringLiteral("S1"), QStringLiteral("J1"), 1, 1, 0, 1,
                      QStringLiteral("Serial"));
        ports.AddPort(QStringLiteral("A1"), QStringLiteral("J2"), 11, 1, 0, 4,
                      QStringLiteral("Analog"));
        ports.AddPort(QStringLiteral("A2"), QStringLiteral("J3"), 12, 2, 0, 4,
                      QStringLiteral("AnalogDiff"));
        ports.AddPort(QStringLiteral("F1"), QStringLiteral("J4"), 21, 1, 0, 5,
                      QStringLiteral("Frequency"));
        ports.AddPCPort(3);
        for (const char* name : {"CTD", "Oxy", "Temp", "Flow", "Winch"}) {
            TDevice* d = devices.Add(QString::fromLatin1(name));
            ASSERT_NE(d, nullptr);
            d->SetCaptureDest(0);
            d->SetSelected(true);
        }
        ctd = devices.Items(0);
        ASSERT_EQ(ctd->GetPort()->GetName(), QStringLiteral("S1"));
        ASSERT_EQ(devices.Items(4)->GetPort()->GetName(), QStringLiteral("COM3:"));
    }
    void TearDown() override
    {
        Host.SetLinkUi(nullptr);
        StationLinkTest::TearDown();
    }

    // The console commands queued on channel 255 with their due times, in queue order.
    TDue Queued()
    {
        TDue out;
        for (const TTaken& t : Drain(timedQueue)) {
            EXPECT_EQ(t.channel, kCommandChannel);
            out.emplace_back(t.dueMs, QString::fromLatin1(t.bytes.chopped(1)));
        }
        return out;
    }

    // The CTD as the start and stop tables below are worked out for: power-on commands after
    // 20, a start and a stop command, power-off commands with a wait of 40.
    void SetUpCtd()
    {
        for (int i = 1; i < devices.Count(); ++i) {
            devices.Items(i)->SetSelected(false);
        }
        ctd->SetPowerOnCmd(true);
        ctd->SetPowerOnCmdWait(20);
        ctd->SetCmdPowerOn({QStringLiteral("INIT")});
        ctd->SetCmdStart({QStringLiteral("GO")});
        ctd->SetCmdStop({QStringLiteral("STOP")});
        ctd->SetPowerOffCmd(true);
        ctd->SetPowerOffCmdWait(40);
        ctd->SetCmdPowerOff({QStringLiteral("BYE")});
    }

    TFakeLinkUi ui;
    TDevice* ctd = nullptr;
};

const QString kUnroute = QStringLiteral("UnRouteSerial 1");
const QString kRoute = QStringLiteral("RouteSerial 1 Host 1");
const QString kEmpty = QStringLiteral("SendString Serial 1 \"\"");
const QString kStartHost = QStringLiteral("*StartHostCapture 1\r");
const QString kStopHost = QStringLiteral("SendString Host 255 \"StopHostCapture 1\\r\"");

TEST_F(StationScenario, StartAllPowersEachSwitchOnceInPowerOrderAndStartsEveryDevice)
{
    // Power order: switch 0 (Winch on COM3:), 1 (CTD), 4 (Oxy, then Temp: no second power),
    // 5 (Flow), each switch 30 after the one before. Every device captures from its power-on
    // (StartDataCapture 0) to its own channel. Data starts at 49,999,970 for all, a step
    // beyond 10,000,000 that counts as no wait after the last power line (10,000,140).
    devices.StartData(nullptr);
    const TDue expected = {
        {0, "ResetSeqNum 0"},
        {0, "*RouteSerial 3\r"},       // 10000000 000
        {0, "*StartHostCapture 3\r"},  // 10000000 011
        {300, "CloseSerial 1"},        // 10000030 000..003
        {300, "OpenSerial 1, 9600, \"N81\""},
        {300, kRoute},
        {300, kEmpty},
        {300, kUnroute},  // 10000030 011..014
        {300, kStartHost},
        {300, kRoute},
        {300, kEmpty},
        {300, "SETPOWER 1 1"},            // 10000030 050
        {600, "*StartHostCapture 11\r"},  // 10000060 011
        {600, "SETPOWER 4 1"},            // 10000060 050
        {900, "*StartHostCapture 12\r"},  // 10000090 011 (Temp)
        {900, "*StartHostCapture 21\r"},  // 10000090 011 (Flow)
        {900, "SETPOWER 5 1"},            // 10000090 050
        {1400, "*DataStart 1\r"},         // 49999970 211, after ";" at 10000140
        {1400, "*DataStart 11\r"},
        {1400, "*DataStart 12\r"},
        {1400, "*DataStart 21\r"},
        {1400, "*DataStart 3\r"},
    };
    EXPECT_EQ(Queued(), expected);
    for (int i = 0; i < devices.Count(); ++i) {
        EXPECT_TRUE(devices.Items(i)->GetCaptureOn()) << i;
    }
}

TEST_F(StationScenario, StartAllPlacesTheCaptureStartAsEachChoiceSays)
{
    SetUpCtd();
    // P = 10,000,000, D = 50,000,000; power-on commands from P + 20; ";" at P + 20 + 50;
    // the start command and "*DataStart" at D - 30 (StartAfterDelay).
    const TDue head = {
        {0, "ResetSeqNum 0"}, {0, "CloseSerial 1"}, {0, "OpenSerial 1, 9600, \"N81\""},
        {0, kRoute},          {0, kEmpty},
    };
    const TDue power = {{0, "SETPOWER 1 1"}, {0, "*DeviceWait 1\r"}};
    const TDue commands = {{200, "SendString Serial 1 \"INIT\\r\""}, {200, "*DeviceGo 1\r"}};
    const TDue data = {{700, "SendString Serial 1 \"GO\\r\""}, {700, "*DataStart 1\r"}};
    const auto capture = [](int due) {
        return TDue{{due, kUnroute}, {due, kStartHost}, {due, kRoute}, {due, kEmpty}};
    };
    const TDue expected[6] = {
        // 0: at P, band 10, before the power line.
        Joined({head, capture(0), power, commands, data}),
        // 1: at P + PowerOnCmdWait, band 90, before the power-on commands.
        Joined({head, power, capture(200), commands, data}),
        // 2: at D, after the data start (";" markers at P + 30 + 20 and P + 50 + 20).
        Joined({head, power, commands, data, capture(1000)}),
        // 3: at D - 30, band 170, just before the start command.
        Joined({head, power, commands, capture(700), data}),
        // 4: at D, after the data start.
        Joined({head, power, commands, data, capture(1000)}),
        // 5: no capture start in the start-all batch.
        Joined({head, power, commands, data}),
    };
    for (int value = 0; value <= 5; ++value) {
        SCOPED_TRACE(value);
        ctd->SetStartDataCapture(static_cast<int8_t>(value));
        devices.StartData(ctd);
        EXPECT_EQ(Queued(), expected[value]);
    }
}

TEST_F(StationScenario, StopAllPlacesTheCaptureStopAsEachChoiceSays)
{
    SetUpCtd();
    // T0 = 10,000,000: the stop command and "*DataStop" at T0; the power-off commands at
    // T0 + 50 (CmdStopDelay), "*DeviceGo" 40 later; power off and close at T0 + 50 + 40 + 40
    // (the wait counts twice).
    const TDue data = {{0, "SendString Serial 1 \"STOP\\r\""}, {0, "*DataStop 1\r"}};
    const TDue offCommands = {{500, "*DeviceWait 1\r"}, {500, "SendString Serial 1 \"BYE\\r\""}};
    const TDue go = {{900, "*DeviceGo 1\r"}};
    const TDue off = {{1300, "SETPOWER 1 0"}, {1300, "CloseSerial 1"}};
    const auto capture = [](int due) {
        return TDue{{due, kUnroute}, {due, kStopHost}, {due, kRoute}, {due, kEmpty}};
    };
    const TDue expected[6] = {
        // 0: at T0, band 0, before the stop command.
        Joined({capture(0), data, offCommands, go, off}),
        // 1: at T0 + StopAfterDelay (200), band 100.
        Joined({data, offCommands, go, off, capture(2000)}),
        // 2: at T0 + 50, band 120, before the power-off commands.
        Joined({data, capture(500), offCommands, go, off}),
        // 3: at T0 + 50 + 200, band 180.
        Joined({data, offCommands, go, off, capture(2500)}),
        // 4: at T0 + 50 + 40, band 190, after "*DeviceGo".
        Joined({data, offCommands, go, capture(900), off}),
        // 5: at T0 + 50 + 30 + 200, band 120.
        Joined({data, offCommands, go, off, capture(2800)}),
    };
    for (int value = 0; value <= 5; ++value) {
        SCOPED_TRACE(value);
        ctd->SetStopDataCapture(static_cast<int8_t>(value));
        devices.StopData(ctd);
        EXPECT_EQ(Queued(), expected[value]);
    }
}

TEST_F(StationScenario, CaptureBatchesAndStopAllOfTheWholeStation)
{
    // Start Capture: one time for all devices, in power order, one running sequence.
    devices.StartCapture(nullptr);
    EXPECT_EQ(Queued(), (TDue{{0, "ResetSeqNum 0"},
                              {0, "*StartHostCapture 3\r"},
                              {0, kUnroute},
                              {0, kStartHost},
                              {0, kRoute},
                              {0, kEmpty},
                              {0, "*StartHostCapture 11\r"},
                              {0, "*StartHostCapture 12\r"},
                              {0, "*StartHostCapture 21\r"}}));

    // Stop Capture: the DAS echoes each stop back on channel 255 when it reaches it.
    devices.StopCapture(nullptr);
    EXPECT_EQ(Queued(), (TDue{{0, "SendString Host 255 \"StopHostCapture 3\\r\""},
                              {0, kUnroute},
                              {0, kStopHost},
                              {0, kRoute},
                              {0, kEmpty},
                              {0, "SendString Host 255 \"StopHostCapture 11\\r\""},
                              {0, "SendString Host 255 \"StopHostCapture 12\\r\""},
                              {0, "SendString Host 255 \"StopHostCapture 21\\r\""}}));

    // Stop all: every stop sequence from T0 = 10,000,000; switch 4 is switched off once, by
    // Oxy. Each device's data stops at T0 (band 40, equal lines in text order); the stop
    // command delay (50) puts the captures' stop (StopDataCapture 4, band 190), power off
    // (band 200) and the closing of the serial ports (band 240) at T0 + 50. Only the DAS
    // serial port is unrouted and routed back; the PC port is closed by the host.
    devices.StopData(nullptr);
    EXPECT_EQ(Queued(), (TDue{{0, "*DataStop 1\r"},
                              {0, "*DataStop 11\r"},
                              {0, "*DataStop 12\r"},
                              {0, "*DataStop 21\r"},
                              {0, "*DataStop 3\r"},
                              {500, "SendString Host 255 \"StopHostCapture 11\\r\""},
                              {500, "SendString Host 255 \"StopHostCapture 12\\r\""},
                              {500, "SendString Host 255 \"StopHostCapture 21\\r\""},
                              {500, "SendString Host 255 \"StopHostCapture 3\\r\""},
                              {500, kUnroute},   // 10000050 190
                              {500, kStopHost},  // 191..193
                              {500, kRoute},
                              {500, kEmpty},
                              {500, "SETPOWER 1 0"},
                              {500, "SETPOWER 4 0"},
                              {500, "SETPOWER 5 0"},
                              {500, "*UnRouteSerial 3\r"},
                              {500, "CloseSerial 1"}}));
    for (int i = 0; i < devices.Count(); ++i) {
        EXPECT_FALSE(devices.Items(i)->GetCaptureOn()) << i;
        EXPECT_FALSE(devices.Items(i)->GetDataOn()) << i;
    }
}

TEST_F(StationScenario, CaptureIntoAFileOnTheDasRoutesThePortBackWhenItStops)
{
    devices.SetCaptureToHost(false);
    ctd->SetCaptureDest(3);
    ASSERT_TRUE(ctd->SetCaptureDestName(QStringLiteral("CTD\\CAST.RAW")));
    for (int i = 1; i < devices.Count(); ++i) {
        devices.Items(i)->SetSelected(false);
    }
    prompt.QueueMessageAnswer(TMsgResult::Ok);  // captured on the DAS, not on screen
    devices.StartCapture(ctd);
    EXPECT_EQ(Queued(), (TDue{{0, "ResetSeqNum 0"},
                              {0, "OpenFile 1 \"CAST.RAW\" "},
                              {0, "RouteSerial 1 File 1"},
                              {0, kEmpty}}));
    devices.StopCapture(ctd);
    EXPECT_EQ(Queued(), (TDue{{0, "CloseFile 1"}, {0, kRoute}, {0, kEmpty}}));
}

}  // namespace
