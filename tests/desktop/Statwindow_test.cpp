// The link statistics window: the figures of a refresh, the interval and pause settings, the
// trace files, the buttons; and, against the DAS stand-in, live figures, the trace files'
// lines and the window's placement across a restart.
#include "desktop/Statwindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "DesktopFixture.h"
#include "ToolWindowFixture.h"
#include "desktop/StripChart.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/Serial.h"

namespace {

// Runs the test with the current folder in a temporary folder of its own.
class TInFolder {
public:
    explicit TInFolder(const QString& path) : previous_(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }
    ~TInFolder() { QDir::setCurrent(previous_); }
    TInFolder(const TInFolder&) = delete;
    TInFolder& operator=(const TInFolder&) = delete;

private:
    QString previous_;
};

class StatisticsTest : public ToolWindowTest {
protected:
    void SetUp() override
    {
        ToolWindowTest::SetUp();
        Host.ResetStatistics();
        Host.SetDasBaud(115200);
        SetProtocol(1);
    }
    void TearDown() override
    {
        CloseProtocolLogs();
        Host.SetForceComm(false);
        SetPreXmitPause(0);
        SetPostXmitPause(0);
        ToolWindowTest::TearDown();
    }

    QStringList States() const
    {
        return form.SGStates->toPlainText().split(QLatin1Char('\n'));
    }

    TStatisticsForm form;
};

TEST_F(StatisticsTest, ShowsTheLinksCountersRatesAndSettings)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Statistics"));
    EXPECT_GE(form.width(), 479);
    EXPECT_EQ(form.StateNames->toPlainText().split(QLatin1Char('\n')),
              (QStringList{"Awaiting Pkt input", "Packet Received", "Waiting Xmit Done",
                           "ACK Received", "ACKd Received", "NAK Received", "NAKd Received",
                           "Data Received", "Data Error(1)", "Data Error(2)"}));
    EXPECT_EQ(form.BTLogFile->text(), QStringLiteral("Open Log"));
    EXPECT_EQ(form.CheckBox_ForceComm->text(),
              QStringLiteral("Force communication if disconnected"));
    EXPECT_EQ(form.Label_StatInterval->text(), QStringLiteral("Update every 1000 ms."));
    EXPECT_EQ(form.Label_PreXmitPause->text(), QStringLiteral(u"Pre-Xmit pause: 0 \u00b5s."));
    EXPECT_EQ(form.Label_PostXmitPause->text(), QStringLiteral(u"Post-Xmit pause: 0 \u00b5s."));
    EXPECT_EQ(form.Timer_StatWindow->interval(), 1000);

    // The link's work: 2000 payload bytes in 10 data packets, 40 polls, 3 errors.
    PacketCounters().dataPacketsReceived = 10;
    PacketCounters().controlPacketsReceived = 40;
    PacketCounters().receiveErrors = 2;
    ProtocolCounters().duplicates = 1;
    ProtocolCounters().resends = 4;
    for (int i = 0; i < 10; ++i) {
        ProtocolCounters().receiveAttempts += 5;
        ProtocolCounters().dispatches += 2;
    }
    ProtocolCounters().naksSent = 7;
    DataPacket packet{};
    packet.sequence = 42;
    packet.channel[0] = 20;
    packet.count[0] = 200;
    MuxArray->AddChannel(20);
    for (int i = 0; i < 10; ++i) {
        Host.DispatchDataPacket(packet);
    }
    Host.SendToChannel(20, "0123456789", 10);
    Host.SendToChannel(20, "abc", 3);
    Host.SendToChannel(20, "xyzxyz", 6);
    Das->SendCommandAt(QStringLiteral("DIR"), 500);
    Das->SendCommandAt(QStringLiteral("SENDSTATUS HOST 247"), 500);
    SetProtocol(2);

    form.Refresh(2.0);
    // The byte rate lags a tick: its first refresh shows the empty ring's 0.
    EXPECT_EQ(form.LBDatarate->text(), QStringLiteral("0"));
    EXPECT_EQ(form.LBAckRcvd->text(), QStringLiteral("40"));
    EXPECT_EQ(form.LBDatRcvd->text(), QStringLiteral("10"));
    EXPECT_EQ(form.LBTotBytes->text(), QStringLiteral("2000"));
    EXPECT_EQ(form.LBSeqErrs->text(), QStringLiteral("1"));
    EXPECT_EQ(form.LBNumerrs->text(), QStringLiteral("2"));
    EXPECT_EQ(form.LBRetrans->text(), QStringLiteral("4"));
    EXPECT_EQ(form.LBDataSeq->text(), QStringLiteral("42"));
    // (2 checksum errors + 1 duplicate) in 2 s.
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("2"));
    EXPECT_EQ(form.LBPktCount->text(), QStringLiteral("5"));
    // 10 + 3 + 6 bytes of data, "DIR" and "SENDSTATUS HOST 247" with their zero bytes.
    EXPECT_EQ(form.LBPktBytes->text(), QStringLiteral("43"));
    EXPECT_EQ(form.LBUseProtocol->text(), QStringLiteral("Med"));
    EXPECT_EQ(form.LBBaudRate->text(), QStringLiteral("115200"));
    EXPECT_EQ(States(), (QStringList{"50", "20", "0", "0", "0", "0", "0", "0", "0", "7"}));

    // 1000 bytes/s went into the ring: one sample of eight.
    form.Refresh(1.0);
    EXPECT_EQ(form.LBDatarate->text(), QString::number(1000 / 8));
    const std::vector<double> data = form.PerformanceGraph->Points(TStatisticsForm::kDataSeries);
    EXPECT_EQ(data.back(), 1000 / 8);
    EXPECT_EQ(form.PerformanceGraph->FullScale(), 115200 * 0.05);
    SetProtocol(3);
    form.Refresh(1.0);
    EXPECT_EQ(form.LBUseProtocol->text(), QStringLiteral("Lgt"));
    SetProtocol(1);
    form.Refresh(1.0);
    EXPECT_EQ(form.LBUseProtocol->text(), QStringLiteral("Hvy"));
}

TEST_F(StatisticsTest, ErrorRateCountsIdleListeningAndShowsNoErrorForNone)
{
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("0"));

    // Nothing heard in a second: 50 idle receive attempts.
    ProtocolCounters().receiveAttempts += 50;
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("50"));
    const std::vector<double> errors =
        form.PerformanceGraph->Points(TStatisticsForm::kErrorSeries);
    EXPECT_DOUBLE_EQ(errors.back(), 0.02 * 50 * 115200 * 0.05);

    // Packets heard: attempts are no errors then. Errors show as the integer nearest to the
    // rate plus a half: 3/s shows 4, one error in 3 s shows 1, none shows 0.
    ProtocolCounters().receiveAttempts += 50;
    ProtocolCounters().dispatches += 50;
    ProtocolCounters().purges += 3;
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("4"));
    ProtocolCounters().dispatches += 10;
    PacketCounters().receiveErrors += 1;
    form.Refresh(3.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("1"));
    ProtocolCounters().dispatches += 10;
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("0"));

    // Cleared: the counts went back, which shows the least rate, never a negative one.
    form.BTClrStats->click();
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("1"));
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("0"));
    // Idle listening cleared away is no negative rate either.
    ProtocolCounters().receiveAttempts += 500;
    form.Refresh(1.0);
    form.BTClrStats->click();
    form.Refresh(1.0);
    EXPECT_EQ(form.LBErrorRate->text(), QStringLiteral("0"));
    EXPECT_EQ(States(), (QStringList{"0", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(form.LBTotBytes->text(), QStringLiteral("0"));
}

TEST_F(StatisticsTest, IntervalAndPausesAreAskedForAndKeptWithoutDrift)
{
    prompt.QueueInput(QStringLiteral("50"));
    form.Button_StatIntervalChange->click();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Change Status Period"));
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("Enter Millseconds between status updates (100 minimum)"));
    EXPECT_EQ(form.GetUpdateInterval(), 100);
    EXPECT_EQ(form.Label_StatInterval->text(), QStringLiteral("Update every 100 ms."));
    prompt.QueueInput(QStringLiteral("abc"));
    form.Button_StatIntervalChange->click();
    EXPECT_EQ(form.GetUpdateInterval(), 100);
    prompt.QueueInput(QStringLiteral("250"));
    form.Button_StatIntervalChange->click();
    EXPECT_EQ(form.Timer_StatWindow->interval(), 250);
    prompt.QueueInput(std::nullopt);
    form.Button_StatIntervalChange->click();
    EXPECT_EQ(form.GetUpdateInterval(), 250);

    prompt.QueueInput(QStringLiteral("-5"));
    form.Button_PreXmitPause->click();
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Change Pre-Transmit Pause"));
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Enter microseconds to pause before packet transmit"));
    EXPECT_EQ(form.Label_PreXmitPause->text(), QStringLiteral(u"Pre-Xmit pause: 0 \u00b5s."));
    prompt.QueueInput(QStringLiteral("10"));
    form.Button_PreXmitPause->click();
    EXPECT_EQ(GetPreXmitPause(), 10 * kPerfFrequency / 1'000'000);
    prompt.QueueInput(QStringLiteral("xyz"));
    form.Button_PreXmitPause->click();
    EXPECT_EQ(form.GetPreXmitPause(), 10);

    prompt.QueueInput(QStringLiteral("1234"));
    form.Button_PostXmitPause->click();
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Change Pre-Transmit Pause"));
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Enter microseconds after packet transmit to supress reception"));
    EXPECT_EQ(form.Label_PostXmitPause->text(),
              QStringLiteral(u"Post-Xmit pause: 1234 \u00b5s."));

    // A pause saved and loaded again many times stays the pause it was.
    for (int us : {0, 1, 10, 1234}) {
        int value = us;
        for (int i = 0; i < 5; ++i) {
            form.SetPostXmitPause(value);
            value = form.GetPostXmitPause();
        }
        EXPECT_EQ(value, us);
    }
}

TEST_F(StatisticsTest, EachTraceFileIsSwitchedByItself)
{
    QTemporaryDir dir;
    {
        const TInFolder inside(dir.path());
        form.BTLogFile->click();
        EXPECT_EQ(form.BTLogFile->text(), QStringLiteral("Close Log"));
        EXPECT_TRUE(ProtocolLogOpen());
        EXPECT_TRUE(RawLogOpen());
        TraceSentControl(kNak, 0);
        form.BTLogFile->click();
        EXPECT_EQ(form.BTLogFile->text(), QStringLiteral("Open Log File"));
        EXPECT_FALSE(ProtocolLogOpen());
        EXPECT_FALSE(RawLogOpen());
    }
    QFile log(dir.filePath(QStringLiteral("protolog.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().endsWith(" SND-->  NAK     Seq=   0 \n"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("protoraw.txt"))));

    // Only the raw file can be made: the next click closes it and tries the other again.
    QTemporaryDir partly;
    ASSERT_TRUE(QDir(partly.path()).mkdir(QStringLiteral("protolog.txt")));
    {
        const TInFolder inside(partly.path());
        form.BTLogFile->click();
        EXPECT_FALSE(ProtocolLogOpen());
        EXPECT_TRUE(RawLogOpen());
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Log Error"));
        EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Could Not Open Log File"));
        ASSERT_TRUE(QDir(partly.path()).rmdir(QStringLiteral("protolog.txt")));
        form.BTLogFile->click();
        EXPECT_TRUE(ProtocolLogOpen());
        EXPECT_FALSE(RawLogOpen());
        EXPECT_EQ(prompt.shown.size(), 1u);
        form.BTLogFile->click();
        EXPECT_FALSE(ProtocolLogOpen());
        EXPECT_TRUE(RawLogOpen());
        CloseRawLog();

        // Neither can be made.
        ASSERT_TRUE(QFile::remove(partly.filePath(QStringLiteral("protolog.txt"))));
        ASSERT_TRUE(QFile::remove(partly.filePath(QStringLiteral("protoraw.txt"))));
        ASSERT_TRUE(QDir(partly.path()).mkdir(QStringLiteral("protolog.txt")));
        ASSERT_TRUE(QDir(partly.path()).mkdir(QStringLiteral("protoraw.txt")));
        prompt.shown.clear();
        form.BTLogFile->click();
    }
    QStringList shown;
    for (const TShownDialog& d : prompt.shown) {
        shown << d.title + QStringLiteral(": ") + d.text;
    }
    EXPECT_EQ(shown, (QStringList{"Log Error: Could Not Open Log File",
                                  "Log Error: Could Not Open raw File"}));
}

TEST_F(StatisticsTest, ButtonsClearTheQueuesAndSetTheForcedPoll)
{
    Host.SendToChannel(20, "abc", 3);
    Das->SendCommandAt(QStringLiteral("DIR"), 500);
    form.BTClrOutputBuffer->click();
    EXPECT_EQ(SendQueue->Count(), 0);
    EXPECT_EQ(TimedQueue->Count(), 0);

    form.CheckBox_ForceComm->click();
    EXPECT_TRUE(form.IsForceComm());
    EXPECT_TRUE(Host.ForceComm());
    form.CheckBox_ForceComm->click();
    EXPECT_FALSE(form.IsForceComm());
    EXPECT_FALSE(Host.ForceComm());
}

// --- Against the DAS stand-in ---

class StatisticsLinkTest : public DesktopFixture {};

TEST_F(StatisticsLinkTest, LiveFiguresAndTraceFilesWhileTheLinkRuns)
{
    TDASDesktopForm& f = Start();
    StatisticsForm->SetUpdateInterval(100);
    f.ShowHostStatisticsExecute();
    ASSERT_TRUE(StatisticsForm->isVisible());
    EXPECT_TRUE(StatisticsForm->Timer_StatWindow->isActive());
    ASSERT_TRUE(WaitUntil([] { return StatisticsForm->LBAckRcvd->text().toInt() > 20; }));
    EXPECT_EQ(StatisticsForm->LBUseProtocol->text(), QStringLiteral("Hvy"));

    QTemporaryDir dir;
    {
        const TInFolder inside(dir.path());
        StatisticsForm->BTLogFile->click();
        das.SendChannelData(kInfoChannel, "hello");
        const uint32_t before = PacketCounters().controlPacketsReceived.load();
        ASSERT_TRUE(WaitUntil([before] {
            return PacketCounters().controlPacketsReceived.load() > before + 10 &&
                   PacketCounters().dataPacketsReceived.load() > 0;
        }, 10000));
        StatisticsForm->BTLogFile->click();
    }
    QFile log(dir.filePath(QStringLiteral("protolog.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains(" RCV<--  NAK     Seq=   0 \n"));
    EXPECT_TRUE(text.contains(" SND-->  NAK     Seq=   0 \n"));
    EXPECT_TRUE(text.contains(" Chan/Bytes 0/5 0/0 0/0 0/0:hello\n"));
    QFile raw(dir.filePath(QStringLiteral("protoraw.txt")));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_TRUE(raw.readAll().contains("\n0A 32 00 00 "));
}

TEST_F(StatisticsLinkTest, AWindowTheOperatorClosedStaysClosedAtTheNextStart)
{
    TDASDesktopForm& f = Start();
    f.ShowHostStatisticsExecute();
    StatisticsForm->close();
    EXPECT_FALSE(StatisticsForm->Timer_StatWindow->isActive());
    form.reset();
    DeleteToolForms();
    CreateToolForms();
    Start();
    EXPECT_FALSE(StatisticsForm->isVisible());

    // Left open when the program ends, it opens again.
    form->ShowHostStatisticsExecute();
    StatisticsForm->move(123, 45);
    form.reset();
    DeleteToolForms();
    CreateToolForms();
    Start();
    EXPECT_TRUE(StatisticsForm->isVisible());
    EXPECT_EQ(StatisticsForm->frameGeometry().topLeft(), QPoint(123, 45));
    StatisticsForm->hide();
}

}  // namespace
