#include "station/CommandBlocks.h"

#include <gtest/gtest.h>

#include "link/Das.h"
#include "link/LinkFakes.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"
#include "station/StationFixture.h"

namespace {

class CommandBlocksTest : public StationLinkTest {
protected:
    void SetUp() override
    {
        StationLinkTest::SetUp();
        AddPort(QStringLiteral("S3"), 3, 5);
        device = devices.Add(QStringLiteral("CTD"));
        ASSERT_NE(device, nullptr);
    }

    // The block's timed lines on Serial 3 from `time`.
    QStringList Lines(const QStringList& block, int& time, uint8_t& seq)
    {
        QStringList list;
        AddCommandText(*device, list, time, block, QStringLiteral("3"), QStringLiteral("Serial"),
                       QString(), seq);
        return list;
    }
    QStringList Lines(const QStringList& block)
    {
        int time = 0;
        uint8_t seq = 0;
        return Lines(block, time, seq);
    }

    TDevice* device = nullptr;
};

TEST_F(CommandBlocksTest, DirectivesShapeTheTextLinesAfterThem)
{
    int time = 100;
    uint8_t seq = 0;
    EXPECT_EQ(Lines({"\\!Delay 5", "AT"}, time, seq),
              QStringList{"00000100 000SendString Serial 3 \"AT\\r\", 5"});
    EXPECT_EQ(seq, 1);
    EXPECT_EQ(time, 100);

    EXPECT_EQ(Lines({"\\!SupCr", "\\!Delay 5", "AT"}),
              QStringList{"00000000 000SendString Serial 3 \"AT\", 5"});
    // A bare "\!Delay " is text, and a delay that is no number is 0.
    EXPECT_EQ(Lines({"\\!Delay "}),
              QStringList{"00000000 000SendString Serial 3 \"\\!Delay \\r\""});
    EXPECT_EQ(Lines({"\\!Delay x", "A"}), QStringList{"00000000 000SendString Serial 3 \"A\\r\""});
}

TEST_F(CommandBlocksTest, EmptyTextLineSendsTheBareCommandOnlyUnderSuppression)
{
    EXPECT_EQ(Lines({""}), QStringList{"00000000 000SendString Serial 3 \"\\r\""});
    EXPECT_EQ(Lines({"\\!SupCr", ""}), QStringList{"00000000 000SendString Serial 3"});
}

TEST_F(CommandBlocksTest, RawLinesPassThroughAndWaitTicksAdvanceTheTime)
{
    int time = 10;
    uint8_t seq = 7;
    const QStringList lines = Lines({"\\\\WaitTicks 1,500", "\\\\SETPOWER 3 1", "X"}, time, seq);
    EXPECT_EQ(lines, (QStringList{"00001510 007SETPOWER 3 1",
                                  "00001510 008SendString Serial 3 \"X\\r\""}));
    EXPECT_EQ(time, 1510);
    // Two backslashes alone are a text line.
    EXPECT_EQ(Lines({"\\\\"}), QStringList{"00000000 000SendString Serial 3 \"\\\\\\r\""});
}

TEST_F(CommandBlocksTest, StampsBecomeDateAndTimeCommands)
{
    device->SetDateStampInfix(QStringLiteral("/"));
    device->SetDateStampFormat(1);
    device->SetTimeStampInfix(QStringLiteral(":"));
    EXPECT_EQ(Lines({"T=\\D"}), (QStringList{"00000000 000SendString Serial 3 \"T=\"",
                                             "00000000 001SendDate  Serial 3 \"/\" 1",
                                             "00000000 002SendString Serial 3 \"\\r\""}));
    EXPECT_EQ(AddSendStringWithStamps(*device, QString(), QStringLiteral("SendString "),
                                      QStringLiteral(" Host 20"), QStringLiteral("T=\\T"), 0),
              QStringLiteral("SendString  Host 20 \"T=\"\r\nSendTime  Host 20 \":\" "));
}

TEST_F(CommandBlocksTest, TimedLineTimesStayWithinEightDigits)
{
    int time = 99'999'990;
    uint8_t seq = 0;
    const QStringList lines = Lines({"\\\\WaitTicks 100", "A"}, time, seq);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("99999999 000SendString")))
        << lines[0].toStdString();
}

TEST(SplitSendString, KeepsEachLineWithinFortyColumns)
{
    const QString head = QStringLiteral("SendString Serial 3");
    const QString thirty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(SplitSendStringLines(head, thirty, 0),
              (QStringList{head + " \"abcdefghijklmnopqrstu\"", head + " \"vwxyz0123\""}));
    // An escape is never cut after its backslash.
    const QString escaped = QStringLiteral("abcdefghijklmnopqrst\\rxxxxxxxxxxxxxxxxxx");
    ASSERT_EQ(escaped.size(), 40);
    const QStringList lines = SplitSendStringLines(head, escaped, 0);
    EXPECT_EQ(lines[0], head + " \"abcdefghijklmnopqrst\"");
    EXPECT_EQ(lines[1], head + " \"\\rxxxxxxxxxxxxxxxxxx\"");
    // A character delay ends every line.
    for (const QString& line : SplitSendStringLines(head, thirty, 5)) {
        EXPECT_TRUE(line.endsWith(QStringLiteral("\", 5"))) << line.toStdString();
    }
    EXPECT_EQ(SplitSendString(head, QStringLiteral("ab"), 0), head + " \"ab\"");
}

TEST(SplitSendString, EndsForHeadsOfFortyColumnsOrMore)
{
    for (const int width : {39, 40, 47}) {
        const QString head =
            QStringLiteral("    SendString Serial Data_") + QString(width - 27, QLatin1Char('X'));
        const QString text = QStringLiteral("a\\rb\\\\c");
        const QStringList lines = SplitSendStringLines(head, text, 0);
        QString joined;
        for (const QString& line : lines) {
            const QString piece = line.mid(head.size() + 2).chopped(1);
            EXPECT_FALSE(piece.isEmpty());
            EXPECT_FALSE(piece.endsWith(QLatin1Char('\\')) && piece.size() == 1)
                << line.toStdString();
            joined += piece;
        }
        EXPECT_EQ(joined, text);
    }
}

TEST(DecodeEscapes, DecodesKnownEscapesAndDropsTheRest)
{
    EXPECT_EQ(DecodeEscapes(QStringLiteral("A\\x41\\q")), QByteArray("AA"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("ab\\")), QByteArray("ab"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\rx")), QByteArray("\rx"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\x0D")), QByteArray("\r"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\r\\")), QByteArray("\r\\"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\a\\b\\f\\n\\t\\v\\\\\\'\\\"\\?")),
              QByteArray("\a\b\f\n\t\v\\'\"?"));
    // Lower-case hex is no byte escape; a zero byte survives.
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\x0d")), QByteArray("0d"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("a\\x00b")), QByteArray("a\0b", 3));
}

TEST(DecodeEscapes, StopsAtTheEndOfAnIncompleteByteEscape)
{
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\x4")), QByteArray("4"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\x")), QByteArray());
    EXPECT_EQ(DecodeEscapes(QStringLiteral("z\\X")), QByteArray("z"));
    EXPECT_EQ(DecodeEscapes(QStringLiteral("\\xG1")), QByteArray("G1"));
}

TEST(BlockText, LinesNumbersAndWaits)
{
    EXPECT_EQ(SplitBlockLines(QStringLiteral("A\r\nB\r\n")), (QStringList{"A", "B"}));
    EXPECT_EQ(SplitBlockLines(QStringLiteral("A\rB\nC")), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(SplitBlockLines(QStringLiteral("\r\n")), QStringList{""});
    EXPECT_TRUE(SplitBlockLines(QString()).isEmpty());

    EXPECT_EQ(TextToInt(QStringLiteral(" 12 "), -1), 12);
    EXPECT_EQ(TextToInt(QStringLiteral("-3"), -1), -3);
    EXPECT_EQ(TextToInt(QStringLiteral("12a"), -1), -1);
    EXPECT_EQ(TextToInt(QStringLiteral("$1F"), -1), -1);
    EXPECT_EQ(TextToInt(QStringLiteral("99999999999"), -1), -1);

    EXPECT_EQ(SumWaitTicks({"\\\\WaitTicks 100", "abc", "\\\\WaitTicks 1,000"}), 1100);
    EXPECT_EQ(SumWaitTicks({"WaitTicks 5", "WaitTicks x"}), 5);
}

TEST(CommandsToScript, WritesTextLinesWithTheirDelay)
{
    QStringList out;
    CommandsToScript(out, QStringLiteral("    "), QStringLiteral(" Data_CTD"),
                     {"\\!SupCr", "AT", "\\\\WaitTicks 10"});
    EXPECT_EQ(out, (QStringList{"    SendString Serial Data_CTD \"AT\", 0", "    WaitTicks 10"}));
    out.clear();
    CommandsToScript(out, QString(), QStringLiteral(" Data_X"), {"\\!Delay 3", "T=\\D"});
    EXPECT_EQ(out, QStringList{"SendString Serial Data_X \"T=\\D\\r\", 3"});
}

TEST(TimedLinesToScript, InsertsWaitsForForwardSteps)
{
    QStringList out;
    TimedLinesToScript(
        out, {"00000100 000A", "00000100 001B", "00000130 002C", "50000000 003D", "short"}, 100);
    EXPECT_EQ(out, (QStringList{"A", "B", "WaitTicks 30", "C", "D"}));

    // A wait before the first line, with nothing written yet.
    out.clear();
    TimedLinesToScript(out, {"00000010 000  A"}, 0);
    EXPECT_EQ(out, (QStringList{"  WaitTicks 10", "  A"}));

    // Markers of four blanks only wait; their waits merge.
    out = QStringList{"    X"};
    TimedLinesToScript(out, {"00000030 000    ", "00000050 001    "}, 0);
    EXPECT_EQ(out, (QStringList{"    X", "    WaitTicks 50"}));
}

TEST(TimedLinesToScript, AMergedWaitStaysAtTheLargestCount)
{
    QStringList out{"WaitTicks 2147483000"};
    TimedLinesToScript(out, {"00009000 000B"}, 0);
    EXPECT_EQ(out, (QStringList{"WaitTicks 2147483647", "B"}));
}

TEST(TimedLinesToScript, MergesOnlyIntoWaitLines)
{
    QStringList out;
    TimedLinesToScript(out, {"00000000 000SendString Serial 3 \"WaitTicks\\r\"", "00000020 001B"},
                       0);
    EXPECT_EQ(out, (QStringList{"SendString Serial 3 \"WaitTicks\\r\"", "WaitTicks 20", "B"}));
}

TEST_F(CommandBlocksTest, SendCommandsNowWritesDasSerialTextThroughTheHostChannel)
{
    EXPECT_EQ(SendCommandsNow(*device, {"AB"}, 0), 0);
    const std::vector<TTaken> sent = Drain(sendQueue);
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].channel, 3);
    EXPECT_EQ(sent[0].bytes, QByteArray("AB\r"));

    // With a character delay the DAS sends it, and the time grows by the characters' delays.
    const int t = SendCommandsNow(*device, {"\\!Delay 2", "AB", "\\\\SETPOWER 1 0"}, 100);
    const std::vector<TTaken> commands = Drain(timedQueue);
    ASSERT_EQ(commands.size(), 2U);
    EXPECT_EQ(commands[0].bytes, QByteArray("SendString Serial 3 \"AB\\r\", 2\0", 30));
    EXPECT_EQ(commands[1].bytes, QByteArray("SETPOWER 1 0\0", 13));
    EXPECT_GE(t, 100 + 3 * 2 * 10);
}

TEST_F(CommandBlocksTest, SendCommandsNowWritesPcPortTextToTheDevicePort)
{
    ports.AddPCPort(4);
    TDevice* pc = devices.Add(QStringLiteral("PC"));
    ASSERT_NE(pc, nullptr);
    ASSERT_TRUE(pc->GetPort()->IsPCSerial());
    QByteArray written;
    bool closed = false;
    pc->GetMux()->SetPcPort(std::make_unique<TFakePcPort>(&written, &closed));
    EXPECT_EQ(SendCommandsNow(*pc, {"AB", "\\!SupCr", "C\\x41"}, 0), 0);
    EXPECT_EQ(written, QByteArray("AB\rCA"));
    EXPECT_EQ(sendQueue.Count(), 0);
    EXPECT_EQ(timedQueue.Count(), 0);
    pc->GetMux()->ClosePcPort();
    EXPECT_TRUE(closed);
}

}  // namespace
