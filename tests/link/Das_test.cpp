#include "link/Das.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "link/Host.h"
#include "link/LinkUi.h"
#include "link/MuxClasses.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/SerialPort.h"
#include "platform/WaitMs.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/das/DasConsole.h"
#include "support/das/DasFrames.h"
#include "support/das/DasStandIn.h"

namespace {

constexpr uint32_t kT0 = 5'000'000;

// One block taken off the queue: its channel, bytes and due time relative to kT0.
struct TBlock {
    uint8_t channel = 0;
    QByteArray bytes;
    int32_t dueMs = 0;
};

// Every test queues into its own TimedQueue on a frozen queue clock, so due times are exact.
class DasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreezeQueueClock(kT0);
        saved_ = TimedQueue;
        TimedQueue = &queue;
    }
    void TearDown() override
    {
        TimedQueue = saved_;
        UnfreezeQueueClock();
    }

    std::vector<TBlock> Drain()
    {
        std::vector<TBlock> blocks;
        while (queue.Count() > 0) {
            char buffer[512];
            uint32_t length = sizeof buffer;
            TListInfo info;
            queue.Read(buffer, length, info, false);
            blocks.push_back({info.channel, QByteArray(buffer, length),
                              QueueTimeDiff(info.time, kT0)});
        }
        return blocks;
    }
    static QByteArray Sent(const char* text) { return QByteArray(text) + '\0'; }

    TDataList queue;
    TDas das;

private:
    TDataList* saved_ = nullptr;
};

TEST_F(DasTest, EstimatesWaitsAndBreaksAsTheDasRunsThem)
{
    EXPECT_EQ(das.SendCommandAt("WAIT 3", 200), 3200);
    EXPECT_EQ(das.SendCommandAt("WaitTicks 25", 40), 290);
    EXPECT_EQ(das.SendCommandAt("SENDBREAK 1 100", 0), 1000);
    EXPECT_EQ(das.SendCommandAt("SendBreak 1 100  ", 5), 1005);
    EXPECT_EQ(das.SendCommandAt("wait 2", 0), 2000);
    // Not numbers where the count should stand: no running time.
    EXPECT_EQ(das.SendCommandAt("WAIT x", 10), 10);
    EXPECT_EQ(das.SendCommandAt("WAIT", 10), 10);
    EXPECT_EQ(das.SendCommandAt("SENDBREAK 1 50", 0), 0);
    // A host-side line ends in CR, so its word holding "WAIT" adds nothing.
    EXPECT_EQ(das.SendCommandAt("*DeviceWait 12\r", 300), 300);
    EXPECT_EQ(das.SendCommand("SENDSTATUS HOST 247"), 0);
}

TEST_F(DasTest, EstimatesSendStringFromItsQuotedTextAndTrailingDelay)
{
    // Four quoted characters, each 10 x 5 + 10 ms.
    EXPECT_EQ(das.SendCommandAt("SendString Serial 3 \"AT\\r\", 5", 0), 240);
    EXPECT_EQ(das.SendCommandAt("SendString Serial 12 \"ABCDEFGHIJ\", 0  ", 100), 200);
    // Quotes inside the text count up to the last one before the number.
    EXPECT_EQ(das.SendCommandAt("SendString Serial 3 \"a\"b\", 1", 0), 60);
    // No trailing number, or no quoted text: nothing added.
    EXPECT_EQ(das.SendCommandAt("SENDSTRING HOST 254 \"abc\"", 0), 0);
    EXPECT_EQ(das.SendCommandAt("SendString Serial 3 ABCDEF, 5", 0), 0);
}

TEST_F(DasTest, QueuesEachCommandOnTheCommandChannelWithItsZeroByte)
{
    const QString longCommand = QString(150, QLatin1Char('x'));
    das.SendCommandAt(longCommand, 25);
    das.PicoDos("Date");
    das.ResetSeqNum(5);
    das.SendCommand(QString::fromLatin1("Set NAME=M\xfc"));

    const std::vector<TBlock> blocks = Drain();
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].bytes, Sent("PicoDos \"Date \""));
    EXPECT_EQ(blocks[1].bytes, Sent("ResetSeqNum 5"));
    EXPECT_EQ(blocks[2].bytes, Sent("Set NAME=M\xfc"));  // Latin-1, one byte a character
    EXPECT_EQ(blocks[3].bytes.size(), 100);
    EXPECT_EQ(blocks[3].bytes, QByteArray(99, 'x') + '\0');
    EXPECT_EQ(blocks[3].dueMs, 25);
    for (const TBlock& block : blocks) {
        EXPECT_EQ(block.channel, kCommandChannel);
    }
}

TEST_F(DasTest, CommentsAndEmptyCommandsAreNotSentButKeepTheDelay)
{
    EXPECT_EQ(das.SendCommandAt(";comment", 70), 70);
    EXPECT_EQ(das.SendCommandAt("", 40), 40);
    EXPECT_EQ(das.SendCommandAt("; WAIT 5", 0), 5000);
    EXPECT_EQ(queue.Count(), 0);
    // Without a queue nothing is sent, but the estimate stands.
    EXPECT_EQ(TDas::QueueCommand("WAIT 1", 10, nullptr), 1010);
}

TEST_F(DasTest, CommandListChainsEachLineAfterThePreviousOne)
{
    EXPECT_EQ(das.SendCommandList("WAIT 1\r\nX", 0), 1000);
    EXPECT_EQ(das.SendCommandList("", 700), 700);
    EXPECT_EQ(das.SendCommandList("WaitTicks 10\nY\r\n", 50), 150);

    // The queue holds them by due time.
    const std::vector<TBlock> blocks = Drain();
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].bytes, Sent("WAIT 1"));
    EXPECT_EQ(blocks[0].dueMs, 0);
    EXPECT_EQ(blocks[1].bytes, Sent("WaitTicks 10"));
    EXPECT_EQ(blocks[1].dueMs, 50);
    EXPECT_EQ(blocks[2].bytes, Sent("Y"));
    EXPECT_EQ(blocks[2].dueMs, 150);
    EXPECT_EQ(blocks[3].bytes, Sent("X"));
    EXPECT_EQ(blocks[3].dueMs, 1000);
}

TEST_F(DasTest, TimedLinesAreDueAtTheirStampsPlusTheRunningTimeBeforeThem)
{
    EXPECT_EQ(das.SendTimedLines({"00000100 000A", "00000300 001B"}, 0), 3000);
    std::vector<TBlock> blocks = Drain();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes, Sent("A"));
    EXPECT_EQ(blocks[0].dueMs, 1000);
    EXPECT_EQ(blocks[1].bytes, Sent("B"));
    EXPECT_EQ(blocks[1].dueMs, 3000);

    // A's own two seconds push B on.
    EXPECT_EQ(das.SendTimedLines({"00000100 000WAIT 2", "00000300 001B"}, 0), 5000);
    blocks = Drain();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].bytes, Sent("B"));
    EXPECT_EQ(blocks[1].dueMs, 5000);
}

TEST_F(DasTest, TimedLinesSkipShortLinesAndKeepTheirOrderAtEqualTimes)
{
    const QStringList lines = {
        "10000000 000First",     // from stamp 0 a step this large adds no delay
        "short",                 // skipped
        "abcdefgh 001Second",    // not a number: the previous stamp
        "10000000 002*DataStart 12\r",
        "10000050 003Third",
        "10000020 004Fourth",    // earlier than the one before: no delay, no going back
    };
    EXPECT_EQ(das.SendTimedLines(lines, 0), 500);
    const std::vector<TBlock> blocks = Drain();
    ASSERT_EQ(blocks.size(), 5u);
    EXPECT_EQ(blocks[0].bytes, Sent("First"));
    EXPECT_EQ(blocks[1].bytes, Sent("Second"));
    EXPECT_EQ(blocks[2].bytes, Sent("*DataStart 12\r"));
    EXPECT_EQ(blocks[3].bytes, Sent("Third"));
    EXPECT_EQ(blocks[4].bytes, Sent("Fourth"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(blocks[i].dueMs, 0) << i;
    }
    EXPECT_EQ(blocks[3].dueMs, 500);
    EXPECT_EQ(blocks[4].dueMs, 500);
}

// The main window's side that records the debug memo, as lines and as the memo's text.
class TMemoUi final : public ILinkUi {
public:
    void AppendDebugMemo(const QString& line) override
    {
        memo.append(line);
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + line;
    }
    void KeepDebugMemoTail(int chars) override
    {
        if (text.size() > chars) {
            text = text.right(chars);
        }
    }
    QStringList memo;
    QString text;
};

TEST_F(DasTest, TimedLinesAreShownInTheDebugMemoOnlyWhenItIsVisible)
{
    TMemoUi ui;
    Host.SetLinkUi(&ui);
    Host.SetDebugMemoVisible(false);
    das.SendTimedLines({"00000100 000A"}, 0);
    EXPECT_TRUE(ui.memo.isEmpty());
    Host.SetDebugMemoVisible(true);
    das.SendTimedLines({"00000100 000A", "00000200 001B"}, 0);
    Host.SetDebugMemoVisible(false);
    Host.SetLinkUi(nullptr);
    EXPECT_EQ(ui.memo, QStringList({"00000100 000A", "00000200 001B"}));
}

TEST_F(DasTest, TheDebugMemoKeepsItsLast20000Characters)
{
    TMemoUi ui;
    Host.SetLinkUi(&ui);
    Host.SetDebugMemoVisible(true);
    // 2000 lines of 13 characters and a line break: 27999 characters in all.
    QStringList lines;
    for (int i = 0; i < 2000; ++i) {
        lines << QStringLiteral("%1 000A").arg(i, 8, 10, QLatin1Char('0'));
    }
    das.SendTimedLines(lines, 0);
    Host.SetDebugMemoVisible(false);
    Host.SetLinkUi(nullptr);
    EXPECT_EQ(ui.text.size(), 20000);
    EXPECT_TRUE(ui.text.endsWith(QStringLiteral("\n00001999 000A")));
}

TEST(TimedLine, FormatsTimeSequenceAndCommandAndWrapsTheSequence)
{
    QStringList list;
    uint8_t sequence = 255;
    TDas::AddTimedLine(list, 100, sequence, "CMD");
    EXPECT_EQ(sequence, 0);
    AddTimedLine(list, 12345678, sequence, "*DataStart 7\r");
    EXPECT_EQ(sequence, 1);
    EXPECT_EQ(list, QStringList({"00000100 255CMD", "12345678 000*DataStart 7\r"}));
    EXPECT_EQ(TimedLineStamp(list[1], -1), 12345678);
    EXPECT_EQ(TimedLineStamp("1234567x 000A", -1), -1);
    EXPECT_EQ(TimedLineCommand(list[1]), "*DataStart 7\r");
}

TEST(DasSlots, FreedSlotsAreReusedAndNamesMatchInAnyCase)
{
    TDas das;
    EXPECT_EQ(das.AddSlotName("A"), 1);
    EXPECT_EQ(das.AddSlotName("B"), 2);
    EXPECT_EQ(das.ReleaseSlotName("A"), 1);
    EXPECT_EQ(das.AddSlotName("C"), 1);
    EXPECT_EQ(das.FindSlotName("B"), 2);
    EXPECT_EQ(das.FindSlotName("X"), 0);
    EXPECT_EQ(das.ReleaseSlotName("X"), 0);

    // Two uses of one slot: one release keeps it.
    EXPECT_EQ(das.AddSlotName("data0.raw"), 3);
    EXPECT_EQ(das.AddSlotName("DATA0.RAW"), 3);
    EXPECT_EQ(das.ReleaseSlotName("Data0.Raw"), 3);
    EXPECT_EQ(das.FindSlotName("data0.raw"), 3);
    EXPECT_EQ(das.ReleaseSlotName("data0.raw"), 3);
    EXPECT_EQ(das.FindSlotName("data0.raw"), 0);

    // A free slot is no name's slot.
    EXPECT_EQ(das.FindSlotName(""), 0);
    EXPECT_EQ(das.AddSlotName(""), 0);
    EXPECT_EQ(das.AddSlotName("D"), 3);
}

TEST(DasUnit, StartsAsAnUnconfiguredUnit)
{
    const TDas das;
    EXPECT_EQ(das.ID, "PX000000");
    EXPECT_EQ(das.Model, kModelPelagrix);
}

TEST(DasWake, WritesFiveWakeBytesHalfASecondApartWithTheLinkParked)
{
    auto port = std::make_unique<TFakeSerialPort>();
    TFakeSerialPort* fake = port.get();
    InstallDasPortForTest(std::move(port));

    TDas das;
    std::vector<int> waits;
    std::vector<int> writtenBeforeWait;
    std::vector<bool> parkedDuringWait;
    das.SetWaitForTest([&](int ms) {
        waits.push_back(ms);
        writtenBeforeWait.push_back(static_cast<int>(fake->Written().size()));
        parkedDuringWait.push_back(Host.Thread().Paused());
    });
    das.Wake();

    EXPECT_EQ(fake->Written(), QByteArray(5, '\x03'));
    EXPECT_EQ(waits, std::vector<int>({100, 500, 500, 500, 500}));
    EXPECT_EQ(writtenBeforeWait, std::vector<int>({0, 1, 2, 3, 4}));
    EXPECT_EQ(parkedDuringWait, std::vector<bool>(5, true));
    EXPECT_FALSE(Host.Thread().Paused());
    InstallDasPortForTest(nullptr);
}

// End to end: commands go through the link thread and a pseudo-terminal to the DAS stand-in,
// whose console records them on the queue clock, which the test steps by hand.
class DasLinkTest : public ::testing::Test {
protected:
    static constexpr uint16_t kCom = 41;

    void SetUp() override
    {
        FreezeQueueClock(kT0);
        savedSend_ = SendQueue;
        savedTimed_ = TimedQueue;
        SendQueue = &send;
        TimedQueue = &timed;
        ASSERT_TRUE(standIn.IsOpen());
        SetComPortDevicePath(kCom, standIn.SlavePath());
        Host.SetDasPort(kCom);
        Host.SetDasBaud(115200);
        // Each test starts a fresh exchange: no machine state left from the one before.
        ASSERT_TRUE(Host.Pause());
        ResetProtocolEngine();
        // No block of an earlier test is still in flight.
        Host.Thread().Link().Reset();
    }
    void TearDown() override
    {
        Host.Disconnect();
        SetComPortDevicePath(kCom, QString());
        SendQueue = savedSend_;
        TimedQueue = savedTimed_;
        UnfreezeQueueClock();
    }

    // Lets the stand-in poll `count` more times, so the link thread has had its chances.
    void LetTheLinkTurn(uint32_t count)
    {
        const uint32_t target = standIn.polls.load() + count;
        ASSERT_TRUE(WaitUntil([&] { return standIn.polls.load() >= target; }));
    }

    TFakePrompt prompt;
    TDataList send;
    TDataList timed;
    TDasStandIn standIn;
    TDasConsole console{standIn};
    TDas das;

private:
    TDataList* savedSend_ = nullptr;
    TDataList* savedTimed_ = nullptr;
};

TEST_F(DasLinkTest, CommandsReachTheConsoleOnTheCommandChannelWhenDue)
{
    standIn.Start();
    ASSERT_TRUE(Host.Connect());

    const int finished = das.SendCommandAt("WAIT 1", 0);
    das.SendCommandAt("SendStatus Host 247", finished);
    das.PicoDos("Date");
    ASSERT_TRUE(console.WaitForCommands(2));

    // Due now: the wait and the PicoDos command; the status request waits for its second.
    LetTheLinkTurn(10);
    EXPECT_EQ(console.Texts(), QStringList({"WAIT 1", "PicoDos \"Date \""}));
    StepQueueClock(999);
    LetTheLinkTurn(10);
    EXPECT_EQ(console.Commands().size(), 2u);
    StepQueueClock(1);
    ASSERT_TRUE(console.WaitForCommands(3));

    const std::vector<TConsoleCommand> commands = console.Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].queueTime, kT0);
    EXPECT_EQ(commands[1].queueTime, kT0);
    EXPECT_EQ(commands[2].Text(), "SendStatus Host 247");
    EXPECT_EQ(commands[2].queueTime, kT0 + 1000);
    EXPECT_EQ(commands[1].PicoDosText(), "Date");
    for (const TConsoleCommand& command : commands) {
        EXPECT_EQ(command.terminator, 0);
    }
    EXPECT_EQ(standIn.ReceivedOn(kCommandChannel),
              QByteArray("WAIT 1\0PicoDos \"Date \"\0SendStatus Host 247\0", 43));
}

TEST_F(DasLinkTest, ConsoleAnswersThroughItsHandlerTable)
{
    std::mutex lock;
    QStringList answered;
    const auto answer = [&](const QString& what) {
        const std::lock_guard guard(lock);
        answered.append(what);
    };
    console.On("sendstatus", [&](const TConsoleCommand&) {
        console.SendChannelText(kStatusChannel, "status\r\n");
        answer("status");
    });
    console.OnPicoDos("date", [&](const TConsoleCommand& command) {
        console.SendChannelText(kClockChannel, command.PicoDosText());
        answer("date");
    });
    console.OnOther([&](const TConsoleCommand& command) { answer("other " + command.Word()); });
    standIn.Start();
    ASSERT_TRUE(Host.Connect());

    das.SendCommand("SENDSTATUS HOST 247");
    das.PicoDos("Date");
    das.SendCommand("Dir");
    ASSERT_TRUE(WaitUntil([&] {
        const std::lock_guard guard(lock);
        return answered.size() == 3;
    }));
    EXPECT_EQ(answered, QStringList({"status", "date", "other DIR"}));
    // The host took the answers (acknowledged them).
    EXPECT_TRUE(WaitUntil([&] { return standIn.AllSent(); }));
}

TEST_F(DasLinkTest, WakeBytesGoOutAloneWhileTheLinkIsParked)
{
    // Scripted: the host answers only the polls the test writes.
    standIn.SetProtocol(0);
    standIn.Start();
    ASSERT_TRUE(Host.Connect());
    das.SendCommand("Time");

    // A poll waits on the line from the first pause on; a running link would answer it.
    bool polled = false;
    das.SetWaitForTest([&](int) {
        if (!polled) {
            standIn.WriteControl(0, 0);
            polled = true;
        }
        WaitMs(5);
    });
    das.Wake();

    // Five wake bytes, then the answer to the poll: a packet of 18 bytes around "Time" and 0.
    ASSERT_TRUE(standIn.WaitForHostBytes(5 + 18 + 5));
    const QByteArray written = standIn.TakeHostBytes();
    das::TFrameParser parser;
    parser.Feed(written.mid(5));
    const std::optional<das::TFrame> frame = parser.Next();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(written.left(5), QByteArray(5, '\x03'));
    ASSERT_EQ(frame->kind, das::TFrame::TKind::Data);
    ASSERT_FALSE(frame->segments.empty());
    for (size_t i = 1; i < frame->segments.size(); ++i) {
        EXPECT_TRUE(frame->segments[i].bytes.isEmpty());
    }
    EXPECT_EQ(frame->segments[0].channel, kCommandChannel);
    EXPECT_EQ(frame->segments[0].bytes, QByteArray("Time\0", 5));
}

}  // namespace
