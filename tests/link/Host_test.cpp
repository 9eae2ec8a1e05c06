#include "link/Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "link/Das.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/das/DasStandIn.h"
#include "link/LinkFakes.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/UiPost.h"

namespace {

constexpr uint32_t kT0 = 1'000'000;

// The link manager with queues, a channel table and a recorded main window, the link thread
// not running.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreezeQueueClock(kT0);
        NewLinkGlobals();
        Host.SetLinkUi(&ui);
        Host.ClearControlText();
        Host.ResetStatistics();
    }
    void TearDown() override
    {
        Host.SetLinkUi(nullptr);
        DeleteLinkGlobals();
        UnfreezeQueueClock();
    }

    static std::string ReadHead(TDataList& queue, TListInfo* info = nullptr)
    {
        char buffer[300];
        uint32_t length = sizeof buffer;
        TListInfo local;
        queue.Read(buffer, length, info != nullptr ? *info : local, false);
        return std::string(buffer, length);
    }
    void Control(const char* text) { Host.ReceiveControlText(text, static_cast<int>(std::strlen(text))); }
    void Control(const QByteArray& bytes)
    {
        Host.ReceiveControlText(bytes.constData(), static_cast<int>(bytes.size()));
    }

    TFakeLinkUi ui;
};

TEST_F(HostTest, QueueTimedCommandQueuesWithoutZeroAndEstimatesWaits)
{
    EXPECT_EQ(Host.QueueTimedCommand(255, "WaitTicks 50", 1000), 1500);
    ASSERT_EQ(TimedQueue->Count(), 1);
    EXPECT_EQ(TimedQueue->TotalBytes(), 12u);
    EXPECT_EQ(TimedQueue->FirstTime(), kT0 + 1000);
    EXPECT_EQ(ReadHead(*TimedQueue), "WaitTicks 50");

    EXPECT_EQ(Host.QueueTimedCommand(255, "WaitTicks 50", 0), 0);
    EXPECT_EQ(TimedQueue->Count(), 0);
    ASSERT_EQ(SendQueue->Count(), 1);
    EXPECT_EQ(ReadHead(*SendQueue), "WaitTicks 50");

    EXPECT_EQ(Host.QueueTimedCommand(255, "", 700), 700);
    EXPECT_EQ(TimedQueue->Count() + SendQueue->Count(), 0);

    EXPECT_EQ(Host.QueueTimedCommand(255, "wait 3", 100), 3100);
    EXPECT_EQ(Host.QueueTimedCommand(255, "Wait x", 100), 100);
    EXPECT_EQ(Host.QueueTimedCommand(255, "DataStart 12", 100), 100);
    // A device channel's text is queued on that channel.
    Host.QueueTimedCommand(12, "hello", 5);
    TimedQueue->RemoveChannel(255);
    EXPECT_EQ(TimedQueue->FirstChannel(), 12);
}

TEST_F(HostTest, TheLinkAndTheDasCommandSenderReadWaitsAlike)
{
    // Both readings of each line, from the same delay: they must agree.
    const int delay = 100;
    const std::vector<std::pair<QString, int>> lines{
        {"SETWAIT 10\r", 100},         // the number runs into the line end: none
        {"SETWAIT 10", 10'100},
        {"WaitTicks 25", 350},
        {"waitticks", 100},           // too short for a number: read as WAIT, "ICKS" is none
        {"WAITTICKS 12 ", 100},       // a blank after the number spoils it
        {"WAIT 3", 3'100},
        {"PicoDos \"WAIT 2\"", 100},  // the closing quote spoils it
        {"DataStart 12", 100},
    };
    for (const auto& [line, expected] : lines) {
        EXPECT_EQ(Host.QueueTimedCommand(255, line.toLatin1(), delay), expected) << line.toStdString();
        EXPECT_EQ(TDas::QueueCommand(line, delay, nullptr), expected) << line.toStdString();
    }
}

TEST_F(HostTest, AHugeWaitHoldsTheLaterLinesAtTheLongestDelay)
{
    // Ten ms a tick of 300,000,000 ticks is beyond any int: held at the largest delay, never
    // wrapped round to a line due at once.
    const int32_t finish = Host.QueueTimedCommand(12, "WAITTICKS 300000000", 5);
    EXPECT_EQ(finish, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Host.QueueTimedCommand(12, "WAIT 2147483", finish), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TDas::QueueCommand(QStringLiteral("WAITTICKS 300000000"), 5, nullptr),
              std::numeric_limits<int32_t>::max());
}

TEST_F(HostTest, ClearingTouchesOnlyTheNamedBlocks)
{
    TimedQueue->AddTimed(255, "*DataStart 1\r", 1, 10, 13);
    TimedQueue->AddTimed(255, "DataStart 1", 2, 20, 11);
    TimedQueue->AddTimed(7, "*DataStart 1", 3, 30, 12);
    SendQueue->Add(250, "file", 4);
    SendQueue->Add(251, "dir", 3);

    Host.RemovePrefixedCommand("DataStart");
    EXPECT_EQ(TimedQueue->Count(), 2);
    EXPECT_EQ(ReadHead(*TimedQueue), "DataStart 1");
    TimedQueue->AddTimed(255, "SENDSTATUS HOST 247", 5, 40, 19);
    Host.RemoveCommand("STATUS");
    EXPECT_EQ(TimedQueue->Count(), 1);

    TimedQueue->AddTimed(255, "x", 6, 40, 1);
    Host.ClearCommandQueue();
    ASSERT_EQ(TimedQueue->Count(), 1);
    EXPECT_EQ(TimedQueue->FirstChannel(), 7);

    Host.ClearChannelData(250);
    ASSERT_EQ(SendQueue->Count(), 1);
    EXPECT_EQ(SendQueue->FirstChannel(), 251);

    Host.ClearOutputBuffers();
    EXPECT_EQ(TimedQueue->Count() + SendQueue->Count(), 0);
}

TEST_F(HostTest, SendToChannelPrefersTheChannelsPcPort)
{
    QByteArray written;
    bool closed = false;
    TMux* mux = MuxArray->AddChannel(30);
    mux->SetPcPort(std::make_unique<TFakePcPort>(&written, &closed));
    Host.SendToChannel(30, "abc", 3);
    Host.SendToChannel(31, "xyz", 3);
    EXPECT_EQ(written, "abc");
    ASSERT_EQ(SendQueue->Count(), 1);
    EXPECT_EQ(SendQueue->FirstChannel(), 31);
    Host.SendToChannel(31, nullptr, 0);
    EXPECT_EQ(SendQueue->Count(), 2);
    // The port records into this test's locals: close it before they go.
    MuxArray->RemoveChannel(30);
}

TEST_F(HostTest, ControlTextRunsEachCompleteLineOnceInOrder)
{
    TFakeDevice device;
    MuxArray->AddChannel(12, &device);
    Control("DataSt");
    EXPECT_TRUE(device.events.isEmpty());
    Control("art 12\r\nDataStop 12\r\n");
    EXPECT_EQ(device.Effects(), QStringList({"data on", "data off"}));
    EXPECT_EQ(device.events.count(QStringLiteral("row")), 2);

    device.events.clear();
    Control("DeviceWait 12\rDeviceGo 12\n");
    EXPECT_EQ(device.Effects(), QStringList({"busy", "go"}));
}

TEST_F(HostTest, ControlTextWordsAndArguments)
{
    TFakeDevice device12;
    TFakeDevice device255;
    MuxArray->AddChannel(12, &device12);
    MuxArray->AddChannel(255, &device255);

    Control("datastart 12\rDataStart12\rDataStart 300\rDataStart -1\r");
    EXPECT_TRUE(device12.events.isEmpty());
    EXPECT_TRUE(device255.events.isEmpty());

    Control("DataStart\r");
    EXPECT_EQ(device255.Effects(), QStringList({"data on"}));
    Control("DataStop  12 \r");
    EXPECT_EQ(device12.Effects(), QStringList({"data off"}));
    Control("DataStart 99\rNextSeqNum 99\r");
    EXPECT_EQ(ui.nextSeqNums, 1);
}

TEST_F(HostTest, ZeroBytesBetweenCommandsDoNotSpoilTheNextLine)
{
    TFakeDevice device;
    MuxArray->AddChannel(12, &device);
    const QByteArray bytes("DataStart 12\r\0DataStop 12\r\0", 28);
    for (char c : bytes) {
        Host.ReceiveControlText(&c, 1);
    }
    EXPECT_EQ(device.Effects(), QStringList({"data on", "data off"}));
}

TEST_F(HostTest, AnOverlongLineIsDroppedAndLaterCommandsStillRun)
{
    TFakeDevice device;
    MuxArray->AddChannel(12, &device);
    Control(QByteArray(9000, 'x'));
    Control("DataStart 12\r");
    EXPECT_EQ(device.Effects(), QStringList({"data on"}));
    // A line end in the same arrival still ends the overlong line.
    Control(QByteArray(9000, 'x') + "\rDataStop 12\r");
    EXPECT_EQ(device.Effects(), QStringList({"data on", "data off"}));
}

TEST_F(HostTest, RoutingAndCaptureCommandsReachTheChannel)
{
    TFakePrompt prompt;
    TFakeDevice device;
    TMux* mux = MuxArray->AddChannel(40, &device);
    // A device without a port has nothing to route: no port opens and no box shows.
    Control("RouteSerial 40\r");
    EXPECT_FALSE(mux->HasPCPort());
    EXPECT_TRUE(prompt.shown.empty());

    QByteArray written;
    bool closed = false;
    mux->SetPcPort(std::make_unique<TFakePcPort>(&written, &closed));
    Control("UnRouteSerial 40\r");
    EXPECT_TRUE(closed);
    EXPECT_FALSE(mux->HasPCPort());

    mux->MarkCaptureNotOnPc();
    Control("StopHostCapture 40\r");
    EXPECT_FALSE(mux->HasCaptureFile());
    EXPECT_TRUE(device.events.contains(QStringLiteral("row")));
    // Channels that do not exist are left alone.
    Control("StopHostCapture 41\rUnRouteSerial 41\r");
}

TEST_F(HostTest, TimedCommandTextRunsOnTheUiThreadUpToItsZero)
{
    TFakeDevice device;
    MuxArray->AddChannel(12, &device);
    const QByteArray text("DataStart 12\rDataStop 12\r\0DataStart 12\r", 39);
    Host.PostHostCommands(reinterpret_cast<const uint8_t*>(text.constData()),
                          static_cast<uint32_t>(text.size()));
    EXPECT_TRUE(device.events.isEmpty());  // posted, not run in the caller
    ASSERT_TRUE(WaitUntil([&] { return device.Effects().size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(device.Effects(), QStringList({"data on", "data off"}));
}

DataPacket MakePacket(std::initializer_list<std::pair<uint8_t, QByteArray>> segments)
{
    DataPacket packet{};
    int i = 0;
    uint32_t used = 0;
    for (const auto& [channel, bytes] : segments) {
        packet.channel[i] = channel;
        packet.count[i] = static_cast<uint8_t>(bytes.size());
        std::memcpy(packet.data + used, bytes.constData(), static_cast<size_t>(bytes.size()));
        used += static_cast<uint32_t>(bytes.size());
        ++i;
    }
    return packet;
}

QByteArray Drain(TMux& mux)
{
    const int n = mux.ReadQueue();
    return QByteArray(mux.Scratch(), n);
}

TEST_F(HostTest, DispatchHandsSegmentsToTheirChannels)
{
    TMux* ch0 = MuxArray->AddChannel(0);
    TMux* ch7 = MuxArray->AddChannel(7);
    TMux* ch8 = MuxArray->AddChannel(8);
    DataPacket packet = MakePacket({{7, "0123456789"}, {0, ""}, {8, "after end"}});
    packet.sequence = 42;
    Host.DispatchDataPacket(packet);
    EXPECT_EQ(Drain(*ch7), "0123456789");
    EXPECT_EQ(Drain(*ch8), "");
    EXPECT_EQ(Host.BytesReceived(), 10u);
    EXPECT_EQ(Host.LastSequence(), 42);

    Host.DispatchDataPacket(MakePacket({{99, "text"}, {7, "x"}}));
    EXPECT_EQ(Drain(*ch0), "[99]text");
    EXPECT_EQ(Drain(*ch7), "x");
    EXPECT_EQ(Host.BytesReceived(), 15u);

    Host.ResetStatistics();
    EXPECT_EQ(Host.BytesReceived(), 0u);
    EXPECT_EQ(Host.LastSequence(), 0);
}

TEST_F(HostTest, DispatchNeverWalksPastThePayload)
{
    TMux* ch7 = MuxArray->AddChannel(7);
    DataPacket packet = MakePacket({{7, QByteArray(200, 'a')}});
    packet.channel[1] = 7;
    packet.count[1] = 200;  // claims more than the payload holds
    Host.DispatchDataPacket(packet);
    EXPECT_EQ(Host.BytesReceived(), 254u);
    EXPECT_EQ(Drain(*ch7).size(), 254);
}

TEST_F(HostTest, ArchiveActionsFollowPlaybackAndRecording)
{
    Host.UpdateActions();
    EXPECT_EQ(ui.actions, std::vector<bool>({true, false, false, false}));
    Host.SetRecording(true);
    Host.UpdateActions();
    EXPECT_EQ(ui.actions, std::vector<bool>({false, true, false, true}));
    Host.SetRecording(false);
    SetPlayingBack(true);
    Host.UpdateActions();
    EXPECT_EQ(ui.actions, std::vector<bool>({false, true, true, true}));
    SetPlayingBack(false);
}

TEST_F(HostTest, ALostLinkGreysTheDeviceListOnce)
{
    // The link counts as lost until the first exchange.
    ASSERT_TRUE(Host.Thread().LinkLost());
    Host.UpdateStatus();
    EXPECT_TRUE(ui.grey);
    EXPECT_EQ(ui.messages, QStringList({"Disconnected"}));
    Host.UpdateStatus();
    EXPECT_EQ(ui.messages.size(), 1);
}

TEST_F(HostTest, ConnectAsksForAnotherPortUntilCancelled)
{
    TFakePrompt prompt;
    TDasStandIn das;
    SetComPortDevicePath(9, QStringLiteral("/nonexistent/wendrok-tty"));
    SetComPortDevicePath(8, das.SlavePath());
    Host.SetDasPort(9);

    prompt.QueueInput(std::nullopt);
    EXPECT_FALSE(Host.Connect());
    EXPECT_FALSE(DasPortOpen());
    EXPECT_FALSE(Host.Thread().Running());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].kind, "input");
    EXPECT_EQ(prompt.shown[0].title, "Error: Could not open Comm port #9");
    EXPECT_EQ(prompt.shown[0].text, "Please choose another:");

    // Asked again; a non-number means port 1, which fails too, then port 8 opens.
    prompt.QueueInput(QStringLiteral("abc"));
    SetComPortDevicePath(1, QStringLiteral("/nonexistent/wendrok-tty1"));
    prompt.QueueInput(QStringLiteral("8"));
    TimedQueue->AddTimed(255, "stale", 1, 10, 5);
    TimedQueue->AddTimed(7, "kept", 2, 100000, 4);  // never due while the clock stands still
    SendQueue->Add(250, "stale", 5);
    ui.explorerVisible = true;
    EXPECT_TRUE(Host.Connect());
    ASSERT_EQ(prompt.shown.size(), 3u);
    EXPECT_EQ(prompt.shown[2].title, "Error: Could not open Comm port #1");
    EXPECT_TRUE(DasPortOpen());
    EXPECT_EQ(Host.DasPort(), 8);
    ASSERT_EQ(TimedQueue->Count(), 1);
    EXPECT_EQ(TimedQueue->FirstChannel(), 7);
    EXPECT_EQ(SendQueue->Count(), 0);
    EXPECT_EQ(ui.explorerRefreshes, 1);
    EXPECT_TRUE(Host.Thread().Running());

    EXPECT_TRUE(Host.Disconnect());
    EXPECT_FALSE(DasPortOpen());
    EXPECT_TRUE(Host.Thread().Parked());
    Host.StopThread();
    EXPECT_FALSE(Host.Thread().Running());
}

TEST_F(HostTest, CancellingTheBaudRateQuestionLeavesThePortClosed)
{
    TFakePrompt prompt;
    TDasStandIn das;
    SetComPortDevicePath(8, das.SlavePath());
    Host.SetDasPort(8);
    Host.SetDasBaud(0);  // no line runs at 0 baud

    prompt.QueueInput(std::nullopt);
    EXPECT_FALSE(Host.Connect());
    bool asked = false;
    for (const auto& box : prompt.shown) {
        asked = asked || (box.kind == "input" && box.title == "Error: Could not set Baud rate to 0" &&
                          box.text == "Please choose another:");
    }
    EXPECT_TRUE(asked);
    EXPECT_FALSE(DasPortOpen());
    EXPECT_FALSE(Host.Thread().Running());
    Host.SetDasBaud(kDefaultDasBaud);
}

// The link thread running on in-memory DAS ports whose writes the test holds for longer than
// a pause waits for the thread to park, as a long write at a low baud rate does. The
// error-detecting protocol sends what is queued without waiting for a poll.
class HostHeldWriteTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        Host.SetProtocol(kErrorDetectingProtocol);
    }
    void TearDown() override
    {
        ports.hold->Set(false);
        Host.Disconnect();
        Host.StopThread();
        Host.SetProtocol(kErrorCorrectingProtocol);
        HostTest::TearDown();
    }

    TFakePrompt prompt;
    TFakeDasPorts ports;
};

TEST_F(HostHeldWriteTest, ADisconnectTheThreadIsTooBusyForLeavesTheLinkRunningAndSaysSo)
{
    ASSERT_TRUE(Host.Connect());
    ASSERT_TRUE(ports.HoldWriting("long"));
    EXPECT_FALSE(Host.Disconnect());
    EXPECT_EQ(prompt.Messages(),
              QStringList{"Wendrok: The link could not be paused; it stays connected."});
    EXPECT_TRUE(DasPortOpen());
    EXPECT_FALSE(Host.Thread().Paused());
    // The write ends and the link carries on, never to park unasked.
    ASSERT_TRUE(ports.ReleaseAndSend("long", "next"));
    EXPECT_FALSE(Host.Thread().Parked());
    // Asked again when the link is not so busy, the disconnect is made.
    EXPECT_TRUE(Host.Disconnect());
    EXPECT_FALSE(DasPortOpen());
}

TEST_F(HostHeldWriteTest, ALostPortIsClosedAndOpenedAgainThoughTheThreadWasTooBusyToPause)
{
    QByteArray toInstrument;
    bool pcPortClosed = false;
    MuxArray->AddChannel(20)->SetPcPort(
        std::make_unique<TFakePcPort>(&toInstrument, &pcPortClosed, ports.hold));
    ASSERT_TRUE(Host.Connect());
    // The line hangs up. The link thread finds it and posts the loss to the UI thread, which
    // does not run it yet: meanwhile the thread is held in a long write to an instrument.
    ports.opened[0]->HangUp();
    ASSERT_TRUE(PollUntil([] { return DasPortLost(); }));
    ports.hold->Set(true);
    TimedQueue->AddTimed(20, "slow", NextTimedSequence(), 0, 4);
    ASSERT_TRUE(ports.hold->WaitHeld());
    // Now the UI thread runs what was posted: the loss's box, then the loss itself.
    ASSERT_TRUE(WaitUntil([&] { return !prompt.shown.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(Host.Thread().Paused());
    ports.hold->Set(false);

    // The port is closed and opened again at the watchdog's pace, and the link carries on.
    ASSERT_TRUE(WaitUntil(
        [&] { return ports.opened.size() == 2 && DasPortOpen() && !DasPortLost(); }));
    SendQueue->Add(5, "back", 4);
    EXPECT_TRUE(ports.opened[1]->WaitWritten(kDataPacketOverhead + 4, kTestWaitMs));
    EXPECT_EQ(toInstrument, "slow");
    // The loss's own box only: nobody asked for anything that was not done.
    EXPECT_EQ(prompt.Messages().size(), 1) << prompt.Messages().join('|').toStdString();
}

}  // namespace
