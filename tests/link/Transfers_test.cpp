#include "link/MuxClasses.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <thread>
#include <vector>

#include "link/Das.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"
#include "support/das/DasConsole.h"
#include "support/das/DasFiles.h"
#include "support/das/DasStandIn.h"

namespace {

// The main window's data timer interval.
constexpr int kDataTimerMs = 100;

QByteArray RandomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (char& c : bytes) {
        c = static_cast<char>(rng.bounded(256));
    }
    return bytes;
}

// Records the progress windows asked for and leaves them to the link's windowless progress.
class RecordingServices final : public IChannelServices {
public:
    QString CaptureFolder() const override { return QString(); }
    void SetupDeviceCapture(IChannelDevice&) override {}
    IProgressView* CreateProgress(TMux&, const QString& caption, const QString& text,
                                  int idleTimeoutMs, int64_t total) override
    {
        captions << caption;
        texts << text;
        idleTimeouts.push_back(idleTimeoutMs);
        totals.push_back(total);
        return nullptr;
    }
    void ExecProgress(IProgressView&) override {}

    QStringList captions;
    QStringList texts;
    std::vector<int> idleTimeouts;
    std::vector<int64_t> totals;
};

// Short waits for tests: a stalled transfer gives up after a fraction of a second.
TTransferTimings QuickTimings()
{
    TTransferTimings timings;
    timings.fetchIdleMs = 300;
    timings.sendIdleMs = 300;
    timings.settleStepMs = 10;
    timings.settleSteps = 3;
    return timings;
}

// Idle times for transfers over the real link: generous, so only a silent DAS runs them out.
TTransferTimings LinkTimings()
{
    TTransferTimings timings = QuickTimings();
    timings.fetchIdleMs = 5000;
    timings.sendIdleMs = 5000;
    return timings;
}

// --- Transfers against a stand-in for the link thread ---

// A block as it left the send queues.
struct TSentBlock {
    uint8_t channel;
    QByteArray bytes;
};

// Plays the link thread and the data timer on the UI thread: each tick packs every queued
// block (telling its channel, as the link thread does) unless stalled, and runs a service
// pass. `answer` sees each console command and may push the DAS's reply into a channel.
class FakeLink {
public:
    FakeLink()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(2);
    }

    void Tick()
    {
        while (!stalled && TimedQueue->Count() > 0) {
            TSentBlock block = Take(*TimedQueue);
            const QByteArray command = block.bytes.left(block.bytes.indexOf('\0'));
            commands << QString::fromLatin1(command);
            if (answer) {
                answer(command);
            }
        }
        while (!stalled && SendQueue->Count() > 0) {
            TSentBlock block = Take(*SendQueue);
            if (TMux* mux = MuxArray->GetChannel(block.channel)) {
                mux->OnBlockSent(static_cast<uint32_t>(block.bytes.size()));
            }
            blocks.push_back(block);
        }
        MuxArray->Service(NowDateTime());
    }

    // The sizes of the blocks sent on a channel.
    std::vector<int> Sizes(uint8_t channel) const
    {
        std::vector<int> sizes;
        for (const TSentBlock& block : blocks) {
            if (block.channel == channel) {
                sizes.push_back(static_cast<int>(block.bytes.size()));
            }
        }
        return sizes;
    }
    QByteArray Bytes(uint8_t channel) const
    {
        QByteArray all;
        for (const TSentBlock& block : blocks) {
            if (block.channel == channel) {
                all += block.bytes;
            }
        }
        return all;
    }

    bool stalled = false;
    std::function<void(const QByteArray&)> answer;
    QStringList commands;
    std::vector<TSentBlock> blocks;

private:
    static TSentBlock Take(TDataList& queue)
    {
        char buffer[kMaxSegmentBytes + 100];
        uint32_t length = sizeof buffer;
        TListInfo info;
        queue.Read(buffer, length, info, false);
        return {info.channel, QByteArray(buffer, static_cast<qsizetype>(length))};
    }

    QTimer timer_;
};

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SendQueue = &send;
        TimedQueue = &timed;
        MuxArray = &table;
        Das = &das;
        table.AddChannel(kFileChannel);
        table.AddChannel(kScriptChannel);
        table.SetTransferTimings(QuickTimings());
        table.SetChannelServices(&services);
    }
    void TearDown() override
    {
        Das = nullptr;
        MuxArray = nullptr;
        TimedQueue = nullptr;
        SendQueue = nullptr;
    }

    TMux& Files() { return *table.GetChannel(kFileChannel); }
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

    TFakePrompt prompt;
    QTemporaryDir dir;
    TDataList send;
    TDataList timed;
    TDas das;
    RecordingServices services;
    TMuxArray table;
};

TEST_F(TransferTest, FileGoesInBlocksOf254ThenAnEndBlock)
{
    FakeLink link;
    const QByteArray content = RandomBytes(600, 1);
    const QString path = WriteFile(Path("longfilename.text"), content);
    EXPECT_TRUE(Files().SendFile(path, QStringLiteral("C:\\LOGS\\")));
    link.Tick();
    EXPECT_EQ(link.commands, QStringList{QStringLiteral("RCVFILE \"C:\\LOGS\\longfile.tex\"")});
    EXPECT_EQ(link.Sizes(kFileChannel), (std::vector<int>{254, 254, 92, 0}));
    EXPECT_EQ(link.Bytes(kFileChannel), content);
    EXPECT_EQ(services.captions, QStringList{QStringLiteral("Sending File to Pelagrix")});
    EXPECT_EQ(services.texts.first(),
              QStringLiteral("Sending ") + path + QStringLiteral(" as \"C:\\LOGS\\longfile.tex\""));
    EXPECT_EQ(services.totals, (std::vector<int64_t>{600}));
    EXPECT_EQ(Files().GetSendState(), kSendIdle);
    EXPECT_EQ(Files().GetSendFile(), nullptr);
    EXPECT_TRUE(prompt.shown.empty());

    // 508 bytes end on a block boundary; an empty file is only its end block, and succeeds.
    link.blocks.clear();
    EXPECT_TRUE(Files().SendFile(WriteFile(Path("b.bin"), RandomBytes(508, 2)), QString()));
    EXPECT_EQ(link.Sizes(kFileChannel), (std::vector<int>{254, 254, 0}));
    link.blocks.clear();
    EXPECT_TRUE(Files().SendFile(WriteFile(Path("empty.bin"), QByteArray()), QString()));
    EXPECT_EQ(link.Sizes(kFileChannel), (std::vector<int>{0}));
    EXPECT_FALSE(link.commands.contains(QStringLiteral("STOPTRANSFER")));
}

TEST_F(TransferTest, AStalledSendIsStoppedAndDropped)
{
    FakeLink link;
    link.stalled = true;
    const QString path = WriteFile(Path("stuck.bin"), RandomBytes(600, 3));
    EXPECT_FALSE(Files().SendFile(path, QString()));
    EXPECT_EQ(prompt.Messages().last(), ApplicationTitle() + QStringLiteral(": Timeout sending ") + path);
    link.stalled = false;
    link.Tick();
    EXPECT_EQ(link.commands.last(), QStringLiteral("STOPTRANSFER"));
    EXPECT_TRUE(link.Sizes(kFileChannel).empty());
    EXPECT_EQ(Files().GetSendState(), kSendIdle);
    EXPECT_EQ(Files().GetSendFile(), nullptr);
    EXPECT_EQ(Files().GetProgressWindow(), nullptr);

    // The channel is usable again; a missing file is refused with a box.
    EXPECT_TRUE(Files().SendFile(path, QString()));
    EXPECT_FALSE(Files().SendFile(Path("absent.bin"), QString()));
    EXPECT_EQ(prompt.Messages().last(),
              ApplicationTitle() + QStringLiteral(": Error Opening File ") + Path("absent.bin"));
}

TEST_F(TransferTest, ScriptLinesAreCutZeroEndedAndChecked)
{
    FakeLink link;
    const QString longLine(120, QLatin1Char('A'));
    EXPECT_TRUE(table.GetChannel(kScriptChannel)->SendScript({longLine, QStringLiteral("B")}));
    link.Tick();
    EXPECT_EQ(link.commands,
              (QStringList{QStringLiteral("CLEARSCRIPT"), QStringLiteral("CHECKSCRIPT")}));
    EXPECT_EQ(link.Sizes(kScriptChannel), (std::vector<int>{99, 2, 0}));
    EXPECT_EQ(link.Bytes(kScriptChannel), QByteArray(98, 'A') + '\0' + "B" + '\0');
    EXPECT_EQ(services.captions, QStringList{QStringLiteral("Sending Script to Pelagrix")});
    EXPECT_EQ(services.totals, (std::vector<int64_t>{101}));
    EXPECT_EQ(table.GetChannel(kScriptChannel)->GetSendState(), kSendIdle);

    link.stalled = true;
    link.commands.clear();
    EXPECT_FALSE(table.GetChannel(kScriptChannel)->SendScript({QStringLiteral("X")}));
    EXPECT_EQ(prompt.Messages().last(), ApplicationTitle() + QStringLiteral(": Timeout sending script"));
    link.stalled = false;
    link.Tick();
    EXPECT_EQ(link.commands, QStringList{QStringLiteral("CLEARSCRIPT")});
    EXPECT_EQ(link.Sizes(kScriptChannel).size(), 3u);
}

TEST_F(TransferTest, FetchWritesOnlyWhatTheDasSendsAfterTheRequest)
{
    FakeLink link;
    TMux& files = Files();
    // Bytes left in the ring from before must not reach the file.
    files.PutData("stale", 5);
    link.answer = [&files](const QByteArray& command) {
        if (command.startsWith("SENDHOSTFILE")) {
            files.PutData("01234", 5);
            files.PutData("56789", 5);
            files.PutData(nullptr, 0);
        }
    };
    const QString path = Path("DATA.TXT");
    EXPECT_TRUE(files.GetFile(path, 10));
    EXPECT_EQ(link.commands, QStringList{QStringLiteral("SENDHOSTFILE  \"DATA.TXT\"")});
    EXPECT_EQ(ReadAll(path), QByteArray("0123456789"));
    EXPECT_EQ(services.captions, QStringList{QStringLiteral("Getting File from Pelagrix")});
    EXPECT_EQ(services.idleTimeouts, (std::vector<int>{300}));
    EXPECT_EQ(files.GetGetState(), kGetIdle);
    EXPECT_EQ(files.GetGetFile(), nullptr);

    // Unknown size: the end block alone makes an empty file.
    link.answer = [&files](const QByteArray&) { files.PutData(nullptr, 0); };
    EXPECT_TRUE(files.GetFile(Path("EMPTY.TXT"), 0));
    EXPECT_EQ(ReadAll(Path("EMPTY.TXT")), QByteArray());
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_FALSE(link.commands.contains(QStringLiteral("STOPTRANSFER")));
}

TEST_F(TransferTest, FetchNobodyAnswersTimesOut)
{
    FakeLink link;
    const QString path = Path("x/DATA.TXT");
    EXPECT_FALSE(Files().GetFile(path, 0));
    EXPECT_EQ(prompt.Messages().last(),
              ApplicationTitle() + QStringLiteral(": Error Opening File ") + path);

    const QString ok = Path("DATA.TXT");
    EXPECT_FALSE(Files().GetFile(ok, 0));
    EXPECT_EQ(prompt.Messages().last(),
              ApplicationTitle() + QStringLiteral(": Timeout receiving ") + ok);
    link.Tick();
    EXPECT_EQ(link.commands.last(), QStringLiteral("STOPTRANSFER"));
    EXPECT_EQ(Files().GetGetState(), kGetIdle);
    EXPECT_EQ(Files().GetGetFile(), nullptr);
}

TEST_F(TransferTest, AFileAlreadyOpenIsRefused)
{
    const QString path = WriteFile(Path("a.bin"), "abc");
    EXPECT_TRUE(Files().OpenGetFile(Path("out.bin")));
    EXPECT_FALSE(Files().OpenGetFile(Path("out.bin")));
    EXPECT_TRUE(Files().OpenSendFile(path));
    EXPECT_FALSE(Files().OpenSendFile(path));
    EXPECT_EQ(prompt.Messages(),
              (QStringList{ApplicationTitle() + QStringLiteral(": File ") + Path("out.bin") +
                               QStringLiteral(" is already open."),
                           ApplicationTitle() + QStringLiteral(": File ") + path +
                               QStringLiteral(" is already open.")}));
    Files().CloseGetFile();
    Files().CloseSendFile();
    EXPECT_EQ(Files().GetGetState(), kGetIdle);
    EXPECT_EQ(Files().GetSendState(), kSendIdle);
}

// --- End to end: the link thread and the DAS stand-in over a pseudo-terminal ---

class TransferLinkTest : public ::testing::Test {
protected:
    static constexpr uint16_t kCom = 43;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(standIn.IsOpen());
        SendQueue = &send;
        TimedQueue = &timed;
        MuxArray = &table;
        Das = &das;
        for (uint8_t channel : {kFileChannel, kScriptChannel, kCommandChannel}) {
            table.AddChannel(channel);
        }
        // Over the real link a slow or loaded machine may leave a gap between two blocks that
        // a unit test's short idle time would take for a stalled transfer.
        table.SetTransferTimings(LinkTimings());
        SetComPortDevicePath(kCom, standIn.SlavePath());
        Host.SetDasPort(kCom);
        Host.SetDasBaud(115200);
        Host.SetProtocol(kErrorCorrectingProtocol);
        standIn.SetProtocol(1);
        standIn.Start();
        ASSERT_TRUE(Host.Pause());
        ResetProtocolEngine();
        // No block of an earlier test is still in flight.
        Host.Thread().Link().Reset();
        ClearReceiveBuffer();
        ASSERT_TRUE(Host.Connect());
        // The main window's data timer.
        QObject::connect(&dataTimer, &QTimer::timeout, [] { MuxArray->Service(NowDateTime()); });
        dataTimer.start(1);
    }
    void TearDown() override
    {
        dataTimer.stop();
        EXPECT_TRUE(Host.Disconnect());
        standIn.Stop();
        SetComPortDevicePath(kCom, QString());
        Das = nullptr;
        MuxArray = nullptr;
        TimedQueue = nullptr;
        SendQueue = nullptr;
    }

    TMux& Files() { return *table.GetChannel(kFileChannel); }
    QString Path(const QString& name) { return dir.filePath(name); }

    // Sends the file, then fetches it back under the same name into another folder.
    void RoundTrip(const QString& name, const QByteArray& content)
    {
        const QString sent = WriteFile(Path(name), content);
        ASSERT_TRUE(Files().SendFile(sent, QString()));
        ASSERT_TRUE(files.WaitForFile(name));
        EXPECT_EQ(files.File(name), content);
        QDir(dir.path()).mkpath(QStringLiteral("back"));
        const QString back = Path(QStringLiteral("back/") + name);
        ASSERT_TRUE(Files().GetFile(back, content.size()));
        EXPECT_EQ(ReadAll(back), content);
    }

    TFakePrompt prompt;
    QTemporaryDir dir;
    TDataList send;
    TDataList timed;
    TDas das;
    TMuxArray table;
    TDasStandIn standIn;
    TDasConsole console{standIn};
    TDasFiles files{standIn, console};
    QTimer dataTimer;
};

TEST_F(TransferLinkTest, FilesGoToTheDasAndComeBackByteIdentical)
{
    RoundTrip(QStringLiteral("DATA600.BIN"), RandomBytes(600, 7));
    RoundTrip(QStringLiteral("EMPTY.BIN"), QByteArray());
    EXPECT_FALSE(console.Texts().contains(QStringLiteral("STOPTRANSFER")));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(TransferLinkTest, AMegabyteRoundTrip)
{
    // The data timer at the program's own pace: the DAS sends as fast as the line takes, far
    // faster than one 8 KB ring per 100 ms, so the passes that keep up are the ones the link
    // asks for.
    dataTimer.setInterval(kDataTimerMs);
    const QString name = QStringLiteral("BIG.BIN");
    const QByteArray content = RandomBytes(1 << 20, 11);
    ASSERT_TRUE(Files().SendFile(WriteFile(Path(name), content), QString()));
    ASSERT_TRUE(files.WaitForFile(name));
    EXPECT_EQ(files.File(name), content);

    QDir(dir.path()).mkpath(QStringLiteral("back"));
    const QString back = Path(QStringLiteral("back/") + name);
    ASSERT_TRUE(Files().GetFile(back, content.size()));
    const QByteArray fetched = ReadAll(back);
    ASSERT_EQ(fetched.size(), content.size());
    EXPECT_TRUE(fetched == content) << "the fetched file differs from the DAS's";
    EXPECT_FALSE(console.Texts().contains(QStringLiteral("STOPTRANSFER")));
}

TEST_F(TransferLinkTest, ScriptOfLongAndShortLinesIsLoadedAndChecked)
{
    const QStringList lines{QString(150, QLatin1Char('L')), QStringLiteral("x"), QString(),
                            QString(98, QLatin1Char('M')), QStringLiteral("End")};
    ASSERT_TRUE(Host.SendScript(lines));
    ASSERT_TRUE(files.WaitForScriptChecked());
    EXPECT_EQ(files.ScriptLines(),
              (QStringList{QString(98, QLatin1Char('L')), QStringLiteral("x"), QString(),
                           QString(98, QLatin1Char('M')), QStringLiteral("End")}));
    EXPECT_TRUE(console.Texts().startsWith(QStringLiteral("CLEARSCRIPT")));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(TransferLinkTest, AnUnansweredFetchTimesOutAndStopsTheTransfer)
{
    files.PutFile(QStringLiteral("QUIET.BIN"), "never sent");
    files.SetAnswerFetches(false);
    table.SetTransferTimings(QuickTimings());
    const QString path = Path(QStringLiteral("QUIET.BIN"));
    EXPECT_FALSE(Files().GetFile(path, 0));
    EXPECT_EQ(prompt.Messages(),
              QStringList{ApplicationTitle() + QStringLiteral(": Timeout receiving ") + path});
    ASSERT_TRUE(console.WaitForCommands(2));
    EXPECT_EQ(console.Texts(), (QStringList{QStringLiteral("SENDHOSTFILE  \"QUIET.BIN\""),
                                            QStringLiteral("STOPTRANSFER")}));
}

}  // namespace
