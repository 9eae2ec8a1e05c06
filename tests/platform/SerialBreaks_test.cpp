#include "platform/SerialBreaks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "support/TestWaits.h"

namespace {

// The chunks as words: "data:<bytes>", "break", "error".
std::vector<std::string> Words(const std::vector<TLineChunk>& chunks)
{
    std::vector<std::string> words;
    for (const TLineChunk& chunk : chunks) {
        switch (chunk.kind) {
        case TLineChunk::TKind::Data:
            words.push_back("data:" + chunk.bytes.toStdString());
            break;
        case TLineChunk::TKind::Break:
            words.emplace_back("break");
            break;
        case TLineChunk::TKind::LineError:
            words.emplace_back("error");
            break;
        }
    }
    return words;
}

std::vector<std::string> Parse(TLineMarkParser& parser, const QByteArray& input)
{
    std::vector<TLineChunk> chunks;
    parser.Feed(reinterpret_cast<const uint8_t*>(input.constData()),
                static_cast<size_t>(input.size()), chunks);
    return Words(chunks);
}

using TWords = std::vector<std::string>;

}  // namespace

TEST(LineMarkParser, SeparatesDataBreaksAndBadBytesInArrivalOrder)
{
    TLineMarkParser parser;
    EXPECT_EQ(Parse(parser, QByteArray("ab\xFF\0\0cd", 7)), (TWords{"data:ab", "break", "data:cd"}));
    EXPECT_EQ(Parse(parser, QByteArray("x\xFF\0yz", 5)), (TWords{"data:x", "error", "data:yz"}));
    // A bad byte of value FF is not doubled by the driver.
    EXPECT_EQ(Parse(parser, QByteArray("\xFF\0\xFF", 3)), (TWords{"error", "data:\xFF"}));
}

TEST(LineMarkParser, UnescapesDoubledFfAndKeepsStrayFfAsData)
{
    TLineMarkParser parser;
    EXPECT_EQ(Parse(parser, QByteArray("a\xFF\xFF\xFF\xFF" "b")), (TWords{"data:a\xFF\xFF" "b"}));
    EXPECT_EQ(Parse(parser, QByteArray("\xFF" "q")), (TWords{"data:\xFF" "q"}));
}

TEST(LineMarkParser, FinishesAMarkCutBetweenReads)
{
    TLineMarkParser parser;
    EXPECT_EQ(Parse(parser, QByteArray("a\xFF")), (TWords{"data:a"}));
    EXPECT_EQ(Parse(parser, QByteArray(1, '\0')), TWords{});
    EXPECT_EQ(Parse(parser, QByteArray(1, '\0')), (TWords{"break"}));
    EXPECT_EQ(Parse(parser, QByteArray("\xFF")), TWords{});
    EXPECT_EQ(Parse(parser, QByteArray("\xFF")), (TWords{"data:\xFF"}));
    EXPECT_EQ(Parse(parser, QByteArray("\xFF\0", 2)), TWords{});
    EXPECT_EQ(Parse(parser, QByteArray("k")), (TWords{"error", "data:k"}));
}

TEST(LineMarkParser, ABreakReportedTwiceInARowIsOneBreak)
{
    TLineMarkParser parser;
    EXPECT_EQ(Parse(parser, QByteArray("\xFF\0\0\xFF\0\0z", 7)), (TWords{"break", "data:z"}));
}

TEST(FakeSerialPortMarks, FeedsInputAsTheDriverMarksIt)
{
    TFakeSerialPort port;
    port.FeedInput(QByteArray("a\xFF"));
    port.FeedBreak();
    port.FeedBadByte('x');
    uint8_t buffer[16];
    ssize_t n = port.Read(buffer, sizeof buffer);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), n), QByteArray("a\xFF\0x", 4));

    ASSERT_TRUE(port.SetLineMarks(true));
    port.FeedInput(QByteArray("a\xFF"));
    port.FeedBreak();
    port.FeedBadByte('x');
    n = port.Read(buffer, sizeof buffer);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), n),
              QByteArray("a\xFF\xFF\xFF\0\0\xFF\0x", 9));

    EXPECT_FALSE(port.HungUp());
    port.HangUp();
    port.FeedInput("late");
    EXPECT_TRUE(port.HungUp());
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);

    port.FailOp(TFakeSerialPort::TOp::LineMarks, EIO);
    EXPECT_FALSE(port.SetLineMarks(false));
    EXPECT_TRUE(port.LineMarksOn());
}

// A terminal's line marks, seen from the far end of a pseudo-terminal.
TEST(TermiosPortMarks, DoublesDataFfAndSeesTheFarEndHangUp)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::unique_ptr<TTermiosPort> port = TTermiosPort::Open(QString::fromLocal8Bit(::ptsname(master)));
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->ApplySettings(TSerialSettings{}));
    EXPECT_EQ(port->WaitHandle(), port->Fd());
    ASSERT_TRUE(port->SetLineMarks(true));
    termios tio{};
    ASSERT_EQ(::tcgetattr(port->Fd(), &tio), 0);
    EXPECT_NE(tio.c_iflag & PARMRK, 0u);
    EXPECT_EQ(tio.c_iflag & (IGNBRK | BRKINT | ISTRIP), 0u);

    ASSERT_EQ(::write(master, "a\xFF" "b", 3), 3);
    pollfd p{port->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kTestWaitMs), 1);
    uint8_t buffer[16];
    const ssize_t n = port->Read(buffer, sizeof buffer);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), n), QByteArray("a\xFF\xFF" "b"));

    ASSERT_TRUE(port->SetLineMarks(false));
    ASSERT_EQ(::tcgetattr(port->Fd(), &tio), 0);
    EXPECT_EQ(tio.c_iflag & PARMRK, 0u);

    EXPECT_FALSE(port->HungUp());
    ::close(master);
    EXPECT_TRUE(port->HungUp());
}
