#include "link/Serial.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#include "platform/Clocks.h"
#include "support/FakePrompt.h"
#include "support/Pty.h"
#include "support/TestWaits.h"

namespace {

constexpr int kDasCom = 7;
constexpr int kEchoCom = 8;
constexpr int kMissingCom = 9;

QByteArray Bytes(const char* text) { return QByteArray(text); }

const uint8_t* Data(const QByteArray& bytes)
{
    return reinterpret_cast<const uint8_t*>(bytes.constData());
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(pty.Slave().isEmpty());
        ASSERT_FALSE(echoPty.Slave().isEmpty());
        SetComPortDevicePath(kDasCom, pty.Slave());
        SetComPortDevicePath(kEchoCom, echoPty.Slave());
        SetComPortDevicePath(kMissingCom, missingDir.path() + QStringLiteral("/ttyNone"));
        SetPreXmitPause(0);
        SetPostXmitPause(0);
    }

    void TearDown() override
    {
        CloseDasPort();
        SetSerialPortOpenerForTest({});
        SetDriverRateForTest(nullptr);
        for (int n : {kDasCom, kEchoCom, kMissingCom}) {
            SetComPortDevicePath(n, QString());
        }
    }

    // Waits until the port's driver holds `count` received bytes.
    static bool WaitForInput(TCommHandle& h, uint32_t count)
    {
        const QDeadlineTimer deadline(kTestWaitMs);
        while (GetCommInQueue(h) < count) {
            pollfd p{h.Port()->WaitHandle(), POLLIN, 0};
            if (deadline.hasExpired() ||
                ::poll(&p, 1, static_cast<int>(deadline.remainingTime())) < 0) {
                return false;
            }
        }
        return true;
    }

    // Makes a fake the DAS port and returns it (the module owns it).
    TFakeSerialPort* InstallFake()
    {
        auto fake = std::make_unique<TFakeSerialPort>();
        TFakeSerialPort* raw = fake.get();
        InstallDasPortForTest(std::move(fake));
        return raw;
    }

    TFakePrompt prompt;
    TPty pty;
    TPty echoPty;
    QTemporaryDir missingDir;
};

// --- Opening, settings and closing, over a pseudo-terminal ---

TEST_F(SerialTest, OpensDasPortRawAt9600AndChangesOnlyTheSpeed)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true))
        << prompt.Messages().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(DasPortOpen());
    termios tio = pty.Termios();
    EXPECT_EQ(pty.Speed(), 9600u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_NE(tio.c_cflag & CREAD, 0u);

    const tcflag_t otherBits = tio.c_cflag & ~static_cast<tcflag_t>(CBAUD | CIBAUD);
    ASSERT_TRUE(SetDasBaudRate(115200));
    EXPECT_EQ(pty.Speed(), 115200u);
    EXPECT_EQ(pty.Termios().c_cflag & ~static_cast<tcflag_t>(CBAUD | CIBAUD), otherBits);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SerialTest, SetsAnyTypedBaudRateExactly)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    for (uint32_t baud : {14400u, 28800u, 31250u, 250000u, 9601u}) {
        ASSERT_TRUE(SetDasBaudRate(baud)) << baud;
        EXPECT_EQ(pty.Speed(), baud);
    }
    const tcflag_t size = pty.Termios().c_cflag & CSIZE;
    EXPECT_EQ(size, static_cast<tcflag_t>(CS8));
}

// A driver that cannot make every rate runs some a little off; more than 3 % off, the rate is
// refused and the line keeps the speed it had.
TEST_F(SerialTest, ARateTheDriverRunsMoreThanThreePercentOffIsRefused)
{
    SetDriverRateForTest([](uint32_t baud) -> uint32_t {
        switch (baud) {
        case 100000:
            return 104000;
        case 200000:
            return 194000;  // 3 % slow
        case 250000:
            return 257501;  // just over 3 % fast
        default:
            return baud;
        }
    });
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    ASSERT_TRUE(SetDasBaudRate(115200));
    EXPECT_FALSE(SetDasBaudRate(100000));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Change Baud Rate"));
    EXPECT_TRUE(prompt.shown[0].text.startsWith(QStringLiteral("Error# 22: ")))
        << prompt.shown[0].text.toStdString();
    EXPECT_EQ(pty.Speed(), 115200u);
    EXPECT_EQ(DasCharacterTimeNs(), 86'805);
    // Asked to stay quiet, the refusal opens no box.
    EXPECT_FALSE(SetDasBaudRate(250000, false));
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(pty.Speed(), 115200u);

    EXPECT_TRUE(SetDasBaudRate(200000));
    EXPECT_EQ(pty.Speed(), 200000u);
    EXPECT_EQ(prompt.shown.size(), 1u);

    // A port opened at such a rate fails at its line settings and stays closed.
    TCommHandle echo;
    EXPECT_FALSE(OpenCommPort(echo, kEchoCom, 100000, QStringLiteral("N,8,1"), 0, true, false));
    EXPECT_FALSE(echo.IsOpen());
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("System Error: Could Not Set Comm State"));
}

TEST_F(SerialTest, DasBaudChangeKeepsDasLineSettingsAfterAnotherPortOpens)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    TCommHandle echo;
    ASSERT_TRUE(OpenCommPort(echo, kEchoCom, 1200, QStringLiteral("E,7,2"), 1, true, true));
    ASSERT_TRUE(SetDasBaudRate(57600));

    const termios das = pty.Termios();
    EXPECT_EQ(pty.Speed(), 57600u);
    EXPECT_EQ(das.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(das.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(das.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(echoPty.Speed(), 1200u);
    CloseCommPort(echo);
}

TEST_F(SerialTest, CharacterTimeFollowsTheLinesSpeedAndFraming)
{
    EXPECT_EQ(DasCharacterTimeNs(), 0);
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    // Start bit, 8 data bits, stop bit: 10 bits at 9600 baud, then at 115200.
    EXPECT_EQ(DasCharacterTimeNs(), 1'041'666);
    ASSERT_TRUE(SetDasBaudRate(115200));
    EXPECT_EQ(DasCharacterTimeNs(), 86'805);
    // Start bit, 7 data bits, parity bit, 2 stop bits: 11 bits at 1200 baud.
    TCommHandle echo;
    ASSERT_TRUE(OpenCommPort(echo, kEchoCom, 1200, QStringLiteral("E,7,2"), 1, true, true));
    EXPECT_EQ(echo.Port()->CharacterTimeNs(), 9'166'666);
    CloseCommPort(echo);
    ASSERT_TRUE(CloseDasPort());
    EXPECT_EQ(DasCharacterTimeNs(), 0);
}

TEST_F(SerialTest, AppliesParityStopBitsAndFlowToTheLine)
{
    // A pseudo-terminal always reads back 8 data bits without parity enable; the bits it keeps
    // show the rest.
    struct TCase {
        const char* settings;
        int flow;
        tcflag_t cflagSet;
        tcflag_t cflagClear;
        tcflag_t iflagSet;
    };
    const TCase cases[] = {
        {"O,7,2", 2, PARODD | CSTOPB | CRTSCTS, CMSPAR, 0},
        {"E,6,1", 1, 0, PARODD | CMSPAR | CSTOPB | CRTSCTS, IXON | IXOFF},
        {"M,5,1", 0, CMSPAR | PARODD, CSTOPB | CRTSCTS, 0},
        {"s,8,1", 0, CMSPAR, PARODD | CSTOPB | CRTSCTS, 0},
    };
    for (const TCase& c : cases) {
        TCommHandle h;
        ASSERT_TRUE(
            OpenCommPort(h, kEchoCom, 19200, QString::fromLatin1(c.settings), c.flow, true, false))
            << c.settings;
        const termios tio = echoPty.Termios();
        EXPECT_EQ(tio.c_cflag & c.cflagSet, c.cflagSet) << c.settings;
        EXPECT_EQ(tio.c_cflag & c.cflagClear, 0u) << c.settings;
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), c.iflagSet) << c.settings;
        EXPECT_EQ(echoPty.Speed(), 19200u);
        EXPECT_TRUE(CloseCommPort(h));
        EXPECT_FALSE(h.IsOpen());
    }
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SerialTest, ModeTextGivesEveryLineSetting)
{
    TFakeSerialPort* fake = nullptr;
    SetSerialPortOpenerForTest([&](const QString&) -> std::unique_ptr<ISerialPort> {
        auto port = std::make_unique<TFakeSerialPort>();
        fake = port.get();
        return port;
    });
    TCommHandle h;
    ASSERT_TRUE(OpenCommPort(h, kEchoCom, 19200, QStringLiteral("O,7,2"), 2, true, false));
    EXPECT_EQ(fake->Settings(), (TSerialSettings{19200, 'O', 7, 20, 2}));
    ASSERT_TRUE(OpenCommPort(h, kEchoCom, 300, QStringLiteral("e,5,1"), 1, true, false));
    EXPECT_EQ(fake->Settings(), (TSerialSettings{300, 'E', 5, 10, 1}));
    ASSERT_TRUE(OpenCommPort(h, kEchoCom, 4800, QStringLiteral("S,6,1"), 0, true, false));
    EXPECT_EQ(fake->Settings(), (TSerialSettings{4800, 'S', 6, 10, 0}));
}

TEST_F(SerialTest, UnbuildableSettingsFailAsSetCommStateAndLeaveThePortClosed)
{
    for (const char* settings : {"N,8,1.5", "N,9,1", "Q,8,1"}) {
        prompt.shown.clear();
        TCommHandle h;
        // The box shows even when the caller asked for a silent open.
        EXPECT_FALSE(
            OpenCommPort(h, kEchoCom, 9600, QString::fromLatin1(settings), 0, false, false));
        EXPECT_FALSE(h.IsOpen());
        ASSERT_EQ(prompt.shown.size(), 1u) << settings;
        EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Set Comm State"));
        EXPECT_TRUE(prompt.shown[0].text.startsWith(QStringLiteral("Error# ")));
        // 1.5 stop bits exist on the DAS's lines but not here: the box says what to choose.
        EXPECT_EQ(prompt.shown[0].text.contains(QStringLiteral("choose 1 or 2 stop bits")),
                  QByteArray(settings).endsWith("1.5"))
            << prompt.shown[0].text.toStdString();
    }
    // Nothing half-open stays behind to block the next try.
    TCommHandle h;
    EXPECT_TRUE(OpenCommPort(h, kEchoCom, 9600, QStringLiteral("N,8,1"), 0, true, false));
}

TEST_F(SerialTest, MissingPortOpenedSilentlyFailsWithoutBox)
{
    EXPECT_FALSE(OpenDasPort(kMissingCom, false));
    EXPECT_FALSE(DasPortOpen());
    EXPECT_TRUE(prompt.shown.empty());

    EXPECT_FALSE(OpenDasPort(kMissingCom, true));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Open Comm Port"));
    EXPECT_TRUE(prompt.shown[0].text.startsWith(QStringLiteral("Error# ")));
}

TEST_F(SerialTest, OpenFailureClosesWhatTheHandleHeld)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    EXPECT_FALSE(OpenDasPort(kMissingCom, false));
    EXPECT_FALSE(DasPortOpen());
    // The first port was let go: it opens again.
    EXPECT_TRUE(OpenDasPort(kDasCom, true));
}

TEST_F(SerialTest, PortHeldElsewhereFailsLikeAccessDenied)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    TCommHandle second;
    EXPECT_FALSE(OpenCommPort(second, kDasCom, 9600, QStringLiteral("N,8,1"), 0, true, false));
    EXPECT_FALSE(second.IsOpen());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Open Comm Port"));

    errno = 0;
    EXPECT_EQ(TTermiosPort::Open(pty.Slave()), nullptr);
    EXPECT_TRUE(IsAccessDeniedError(errno)) << errno;

    ASSERT_TRUE(CloseDasPort());
    EXPECT_TRUE(OpenCommPort(second, kDasCom, 9600, QStringLiteral("N,8,1"), 0, true, false));
}

TEST_F(SerialTest, CloseEmptiesTheHandleAndHangsUpTheLine)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    ASSERT_TRUE(CloseDasPort());
    EXPECT_FALSE(DasPortOpen());
    EXPECT_EQ(DasPortHandle().Port(), nullptr);
    pollfd p{pty.Master(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kTestWaitMs), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    EXPECT_FALSE(CloseDasPort());  // nothing left to close
}

// --- Reading and writing over a pseudo-terminal ---

TEST_F(SerialTest, DasPortCarriesBytesBothWays)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    const QByteArray out("ABC\n\x00\xff\x03z", 8);
    ASSERT_TRUE(WriteDasPort(Data(out), static_cast<uint32_t>(out.size())));
    EXPECT_EQ(pty.Read(out.size()), out);

    uint8_t buffer[100];
    uint32_t count = sizeof buffer;
    EXPECT_TRUE(ReadDasPort(buffer, count));
    EXPECT_EQ(count, 0u);

    const QByteArray in("\x0a\x32\x00\x00\xc3", 5);
    pty.Write(in);
    ASSERT_TRUE(WaitForInput(DasPortHandle(), in.size()));
    count = sizeof buffer;
    ASSERT_TRUE(ReadDasPort(buffer, count));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), count), in);

    // A read never takes more than the room it is given.
    pty.Write(Bytes("0123456789"));
    ASSERT_TRUE(WaitForInput(DasPortHandle(), 10));
    count = 4;
    ASSERT_TRUE(ReadDasPort(buffer, count));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), count), Bytes("0123"));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SerialTest, InputQueueCountsWaitingBytesAndPurgeDropsThem)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    pty.Write(Bytes("0123456789"));
    ASSERT_TRUE(WaitForInput(DasPortHandle(), 10));
    EXPECT_EQ(GetCommInQueue(DasPortHandle()), 10u);
    EXPECT_EQ(GetCommOutQueue(DasPortHandle()), 0u);

    PurgeDasInput();
    EXPECT_EQ(GetCommInQueue(DasPortHandle()), 0u);
    uint8_t buffer[16];
    uint32_t count = sizeof buffer;
    EXPECT_TRUE(ReadDasPort(buffer, count));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SerialTest, OtherPortsReadWhatWaitsWithoutWaiting)
{
    TCommHandle h;
    ASSERT_TRUE(OpenCommPort(h, kEchoCom, 9600, QStringLiteral("N,8,1"), 0, true, false));
    uint8_t buffer[8];
    uint32_t count = sizeof buffer;
    EXPECT_TRUE(ReadCommPort(h, buffer, count));
    EXPECT_EQ(count, 0u);
    echoPty.Write(Bytes("xy"));
    ASSERT_TRUE(WaitForInput(h, 2));
    count = sizeof buffer;
    ASSERT_TRUE(ReadCommPort(h, buffer, count));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer), count), Bytes("xy"));
}

// --- What a pseudo-terminal cannot show, on the fake port ---

TEST_F(SerialTest, ShortWriteSendsEveryByteOnceInOrderAfterOneBox)
{
    TFakeSerialPort* fake = InstallFake();
    fake->QueueWriteStep({3, 0});
    const QByteArray out = Bytes("0123456789");
    EXPECT_TRUE(WriteDasPort(Data(out), 10));
    EXPECT_EQ(fake->Written(), out);
    EXPECT_EQ(fake->WriteCalls(), 2);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Could not send 7bytes"));
}

TEST_F(SerialTest, WriteFailureShowsOneBoxPerRunOfFailures)
{
    TFakeSerialPort* fake = InstallFake();
    const QByteArray out = Bytes("ABC");
    fake->QueueWriteStep({-1, EIO});
    fake->QueueWriteStep({-1, EIO});
    EXPECT_FALSE(WriteDasPort(Data(out), 3));
    EXPECT_FALSE(WriteDasPort(Data(out), 3));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Write to Comm Port"));
    EXPECT_TRUE(prompt.shown[0].text.startsWith(QStringLiteral("Error# %1: ").arg(EIO)));

    EXPECT_TRUE(WriteDasPort(Data(out), 3));
    fake->QueueWriteStep({-1, EIO});
    EXPECT_FALSE(WriteDasPort(Data(out), 3));
    EXPECT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(fake->Written(), out);
}

TEST_F(SerialTest, PassingWriteFailureIsRetriedThreeTimesThenReported)
{
    TFakeSerialPort* fake = InstallFake();
    const QByteArray out = Bytes("ABCDEF");
    fake->QueueWriteStep({-1, EAGAIN});
    fake->QueueWriteStep({2, 0});
    fake->QueueWriteStep({-1, EAGAIN});
    fake->QueueWriteStep({-1, EAGAIN});
    EXPECT_TRUE(WriteDasPort(Data(out), 6));
    EXPECT_EQ(fake->Written(), out);
    ASSERT_EQ(prompt.shown.size(), 1u);  // only the short write's box
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Could not send 4bytes"));

    prompt.shown.clear();
    fake->TakeWritten();
    const int callsBefore = fake->WriteCalls();
    for (int i = 0; i < 4; ++i) {
        fake->QueueWriteStep({-1, EAGAIN});
    }
    EXPECT_FALSE(WriteDasPort(Data(out), 6));
    EXPECT_EQ(fake->WriteCalls() - callsBefore, 4);
    EXPECT_TRUE(fake->Written().isEmpty());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Write to Comm Port"));
}

TEST_F(SerialTest, PausesOfZeroNeitherWaitNorSetADeadline)
{
    TFakeSerialPort* fake = InstallFake();
    const int64_t deadlineBefore = GetPostXmitDeadline();
    EXPECT_TRUE(WriteDasPort(Data(Bytes("A")), 1));
    EXPECT_EQ(GetPostXmitDeadline(), deadlineBefore);

    SetPostXmitPause(5000);
    SetPreXmitPause(1000);
    EXPECT_EQ(GetPostXmitPause(), 5000);
    EXPECT_EQ(GetPreXmitPause(), 1000);
    const int64_t before = PerfCounter();
    EXPECT_TRUE(WriteDasPort(Data(Bytes("B")), 1));
    const int64_t after = PerfCounter();
    EXPECT_GE(GetPostXmitDeadline(), before + 1000 + 5000);
    EXPECT_LE(GetPostXmitDeadline(), after + 5000);
    EXPECT_EQ(fake->Written(), Bytes("AB"));

    // A pause of many milliseconds runs its whole length before the write.
    SetPostXmitPause(0);
    SetPreXmitPause(15 * kPerfFrequency / 1000);
    const int64_t start = PerfCounter();
    EXPECT_TRUE(WriteDasPort(Data(Bytes("C")), 1));
    EXPECT_GE(PerfCounter() - start, 15 * kPerfFrequency / 1000);
    EXPECT_EQ(fake->Written(), Bytes("ABC"));
}

TEST_F(SerialTest, BreakReachesThePortGiven)
{
    TFakeSerialPort* fake = InstallFake();
    SetDasBreak(DasPortHandle());
    EXPECT_TRUE(fake->BreakOn());
    ClearDasBreak(DasPortHandle());
    EXPECT_FALSE(fake->BreakOn());
    EXPECT_EQ(fake->BreakCalls(), 2);

    fake->FailOp(TFakeSerialPort::TOp::Break, EIO);
    SetDasBreak(DasPortHandle());
    ClearDasBreak(DasPortHandle());
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].title,
              QStringLiteral("System Error: Could Not Start Comm Port Break"));
    EXPECT_EQ(prompt.shown[1].title,
              QStringLiteral("System Error: Could Not Clear Comm Port Break"));
}

TEST_F(SerialTest, QueueQueriesReportZeroOnFailure)
{
    TFakeSerialPort* fake = InstallFake();
    fake->SetOutQueue(17);
    fake->FeedInput(Bytes("abc"));
    EXPECT_EQ(GetCommOutQueue(DasPortHandle()), 17u);
    EXPECT_EQ(GetCommInQueue(DasPortHandle()), 3u);

    fake->FailOp(TFakeSerialPort::TOp::OutQueue, EIO);
    fake->FailOp(TFakeSerialPort::TOp::InQueue, EIO);
    EXPECT_EQ(GetCommOutQueue(DasPortHandle()), 0u);
    EXPECT_EQ(GetCommOutQueue(DasPortHandle()), 0u);
    EXPECT_EQ(GetCommInQueue(DasPortHandle()), 0u);
    QStringList titles;
    for (const TShownDialog& d : prompt.shown) {
        titles << d.title;
    }
    EXPECT_EQ(
        titles,
        QStringList({QStringLiteral("System Error: Could Not Get Comm Port Output Buffer Size"),
                     QStringLiteral("System Error: Could Not Get Comm Port Input Buffer Size")}));
}

TEST_F(SerialTest, FailedReadsAndPurgesShowOneBoxPerRun)
{
    TFakeSerialPort* fake = InstallFake();
    fake->FailOp(TFakeSerialPort::TOp::Read, EIO);
    fake->FailOp(TFakeSerialPort::TOp::Purge, EIO);
    uint8_t buffer[8];
    for (int i = 0; i < 3; ++i) {
        uint32_t count = sizeof buffer;
        EXPECT_FALSE(ReadDasPort(buffer, count));
        EXPECT_EQ(count, 0u);
        PurgeDasInput();
    }
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Read From Comm Port"));
    EXPECT_EQ(prompt.shown[1].title,
              QStringLiteral("System Error: Could Not Purge Comm Port Input Buffer"));

    fake->FailOp(TFakeSerialPort::TOp::Read, 0);
    fake->FeedInput(Bytes("ok"));
    uint32_t count = sizeof buffer;
    EXPECT_TRUE(ReadDasPort(buffer, count));
    EXPECT_EQ(count, 2u);
    fake->FailOp(TFakeSerialPort::TOp::Read, EIO);
    count = sizeof buffer;
    EXPECT_FALSE(ReadDasPort(buffer, count));
    EXPECT_EQ(prompt.shown.size(), 3u);
}

TEST_F(SerialTest, AHungUpDasLineIsOneFailedReadAndIsLeftAlone)
{
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    pty.CloseMaster();
    uint8_t buffer[8];
    for (int i = 0; i < 3; ++i) {
        uint32_t count = sizeof buffer;
        EXPECT_FALSE(ReadDasPort(buffer, count));
        EXPECT_EQ(count, 0u);
    }
    EXPECT_TRUE(DasPortLost());
    // Every other use fails without a box of its own: the loss was told once.
    EXPECT_FALSE(WriteDasPort(Data(Bytes("A")), 1));
    PurgeDasInput();
    EXPECT_EQ(GetCommOutQueue(DasPortHandle()), 0u);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Read From Comm Port"));
    EXPECT_TRUE(prompt.shown[0].text.startsWith(QStringLiteral("Error# 5: ")));
    // The next port is a port like any other.
    CloseDasPort();
    EXPECT_FALSE(DasPortLost());
}

TEST_F(SerialTest, ClosedDasPortFailsEveryUseWithItsBox)
{
    EXPECT_FALSE(DasPortOpen());
    EXPECT_FALSE(WriteDasPort(Data(Bytes("A")), 1));
    EXPECT_FALSE(SetDasBaudRate(9600));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Write to Comm Port"));
    EXPECT_EQ(prompt.shown[1].title, QStringLiteral("System Error: Could Not Change Baud Rate"));
}

// --- The steps after the open, through ports the test hands in ---

TEST_F(SerialTest, OpenDasPortConfiguresTheLineAndTheTwentyMsRead)
{
    TFakeSerialPort* fake = nullptr;
    QString openedPath;
    SetSerialPortOpenerForTest([&](const QString& path) -> std::unique_ptr<ISerialPort> {
        openedPath = path;
        auto port = std::make_unique<TFakeSerialPort>();
        fake = port.get();
        return port;
    });
    ASSERT_TRUE(OpenDasPort(kDasCom, true));
    EXPECT_EQ(openedPath, pty.Slave());
    ASSERT_NE(fake, nullptr);
    TSerialSettings expected;
    expected.baud = 9600;
    EXPECT_EQ(fake->Settings(), expected);
    EXPECT_EQ(fake->ReadTimeout(), 20);
    EXPECT_TRUE(fake->RtsToggleAsked());  // asked; a line without the mode still opens
    EXPECT_TRUE(prompt.shown.empty());

    ASSERT_TRUE(SetDasBaudRate(38400));
    expected.baud = 38400;
    EXPECT_EQ(fake->Settings(), expected);
}

TEST_F(SerialTest, FailedStepAfterTheOpenClosesThePortWithTheStepsBox)
{
    struct TCase {
        TFakeSerialPort::TOp op;
        const char* title;
    };
    const TCase cases[] = {
        {TFakeSerialPort::TOp::Properties, "System Error: Could Not Get Comm Port Properties"},
        {TFakeSerialPort::TOp::Settings, "System Error: Could Not Set Comm State"},
        {TFakeSerialPort::TOp::ReadTimeout, "System Error: Could Not Set Comm Timeouts"},
    };
    for (const TCase& c : cases) {
        prompt.shown.clear();
        SetSerialPortOpenerForTest([&](const QString&) -> std::unique_ptr<ISerialPort> {
            auto port = std::make_unique<TFakeSerialPort>();
            port->FailOp(c.op, EIO);
            return port;
        });
        EXPECT_FALSE(OpenDasPort(kDasCom, false));
        EXPECT_FALSE(DasPortOpen());
        EXPECT_EQ(DasPortHandle().Port(), nullptr);
        ASSERT_EQ(prompt.shown.size(), 1u) << c.title;
        EXPECT_EQ(prompt.shown[0].title, QString::fromLatin1(c.title));
    }
}

// --- COM numbers ---

TEST_F(SerialTest, ComNumbersMapToDevicePaths)
{
    EXPECT_EQ(ComPortDevicePath(1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(ComPortDevicePath(12), QStringLiteral("/dev/ttyS11"));
    EXPECT_TRUE(ComPortDevicePath(0).isEmpty());
    EXPECT_EQ(ComPortDevicePath(kDasCom), pty.Slave());
    SetComPortDevicePath(kDasCom, QString());
    EXPECT_EQ(ComPortDevicePath(kDasCom), QStringLiteral("/dev/ttyS6"));
}

TEST_F(SerialTest, ComPortExistsOnlyForTerminalDevicesAndNeverOpensThem)
{
    EXPECT_TRUE(ComPortExists(kDasCom));
    EXPECT_FALSE(ComPortExists(kMissingCom));
    EXPECT_FALSE(ComPortExists(0));

    constexpr int kOther = 10;
    SetComPortDevicePath(kOther, QStringLiteral("/dev/null"));
    EXPECT_FALSE(ComPortExists(kOther));
    const QString plain = missingDir.filePath(QStringLiteral("plain"));
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    SetComPortDevicePath(kOther, plain);
    EXPECT_FALSE(ComPortExists(kOther));
    SetComPortDevicePath(kOther, QString());

    // Looking must not have taken the port.
    EXPECT_TRUE(OpenDasPort(kDasCom, true));
}

// --- Plain files ---

TEST_F(SerialTest, FileHandlesWriteAndReadBack)
{
    const QString path = missingDir.filePath(QStringLiteral("archive.dar"));
    TFileHandle out;
    ASSERT_TRUE(out.OpenWrite(path));
    const QByteArray bytes("\x0a\x31\x00rec", 6);
    EXPECT_TRUE(WriteFileHandle(out, Data(bytes), 6));
    out.Close();
    EXPECT_FALSE(out.IsOpen());

    TFileHandle in;
    ASSERT_TRUE(in.OpenRead(path));
    uint8_t buffer[4];
    QByteArray got;
    uint32_t count = 0;
    do {
        count = sizeof buffer;
        ASSERT_TRUE(ReadFileHandle(in, buffer, count));
        got.append(reinterpret_cast<const char*>(buffer), count);
    } while (count > 0);
    EXPECT_EQ(got, bytes);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SerialTest, FileFailuresShowTheirBoxOncePerRun)
{
    TFileHandle closed;
    EXPECT_FALSE(WriteFileHandle(closed, Data(Bytes("A")), 1));
    EXPECT_FALSE(WriteFileHandle(closed, Data(Bytes("A")), 1));
    TFileHandle readOnly;
    ASSERT_TRUE(readOnly.OpenRead(QStringLiteral("/dev/null")));
    EXPECT_FALSE(WriteFileHandle(readOnly, Data(Bytes("A")), 1));
    uint8_t buffer[4];
    uint32_t count = sizeof buffer;
    EXPECT_FALSE(ReadFileHandle(closed, buffer, count));
    EXPECT_EQ(count, 0u);

    QStringList titles;
    for (const TShownDialog& d : prompt.shown) {
        titles << d.title;
    }
    EXPECT_EQ(titles, QStringList({QStringLiteral("System Error: Could Not Write to File"),
                                   QStringLiteral("System Error: Could Not Write to File"),
                                   QStringLiteral("System Error: Could Not Read From File")}));
}

TEST_F(SerialTest, SystemErrorBoxNamesCodeAndText)
{
    ShowSystemError(QStringLiteral("Title"), ENOENT);
    errno = EACCES;
    ShowSystemError(QStringLiteral("Other"));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Title"));
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("Error# %1: %2").arg(ENOENT).arg(qt_error_string(ENOENT)));
    EXPECT_TRUE(prompt.shown[1].text.startsWith(QStringLiteral("Error# %1: ").arg(EACCES)));
}

}  // namespace
