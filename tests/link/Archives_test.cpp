#include "link/Archives.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTimer>
#include <cstring>
#include <deque>
#include <map>

#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/LinkFakes.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/DateTimeText.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/TerminalViews.h"
#include "support/das/DasFrames.h"
#include "support/das/DasStandIn.h"

// Qt is not built with the thread sanitizer, so it cannot see that the atomic reference count
// of a QByteArray shared between the stand-in's thread and the test orders the last release
// after every use. Only sanitizer builds read this.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QTypedArrayData<char>::deallocate\n";
}

namespace {

constexpr uint16_t kPtyPort = 7;

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray Header(const QByteArray& id, const QByteArray& time)
{
    QByteArray header = id.leftJustified(kArchiveIdBytes, '\0', true);
    header += time.leftJustified(kArchiveTimeBytes, '\0', true);
    return header;
}

QByteArray Pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + seed * 31) & 0xFF);
    }
    return bytes;
}

// Bytes without a period, so a stretch lost, repeated or moved shows as a difference.
QByteArray Distinct(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    uint32_t x = 2463534242u;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

// An archive of `data` for `channel` in full packets, every third packet carrying it in two
// segments with a byte for `other` between them.
QByteArray ArchiveOf(const QByteArray& data, uint8_t channel, uint8_t other)
{
    QByteArray file = Header("PX000000", "01/02/2024 10:11:12");
    uint8_t sequence = 0;
    qsizetype at = 0;
    for (int n = 0; at < data.size(); ++n, ++sequence) {
        const auto time = static_cast<uint32_t>(1000 + n);
        if (n % 3 == 2) {
            const QByteArray first = data.mid(at, 120);
            const QByteArray second = data.mid(at + first.size(), 120);
            at += first.size() + second.size();
            file += das::EncodeData(sequence, 0, time, {{channel, first}, {other, "+"}, {channel, second}});
        } else {
            file += das::EncodeData(sequence, 0, time, {{channel, data.mid(at, kMaxPayload)}});
            at += kMaxPayload;
        }
    }
    return file;
}

// A terminal window that keeps everything it is shown.
class TRecordingView final : public TNullTerminalView {
public:
    void ShowData(const char* bytes, int count) override { data.append(bytes, count); }

    QByteArray data;
};

// A PC device port whose reads return the queued blocks, one per read.
class TScriptedPcPort final : public IPcDevicePort {
public:
    explicit TScriptedPcPort(std::deque<QByteArray>* reads) : reads_(reads) {}
    int Read(char* dest, int size) override
    {
        if (reads_->empty()) {
            return 0;
        }
        const QByteArray block = reads_->front().left(size);
        reads_->pop_front();
        std::memcpy(dest, block.constData(), static_cast<size_t>(block.size()));
        return static_cast<int>(block.size());
    }
    bool Write(const char*, int) override { return true; }

private:
    std::deque<QByteArray>* reads_;
};

// The archive code with the link manager, the channel table and a scripted prompt. No DAS
// port is open unless a test connects to the stand-in.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The queue clock takes its base from the local time on first use; taken here, the
        // link thread never does that while the test reads the date.
        QueueClockNow();
        SendQueue = new TDataList;
        TimedQueue = new TDataList;
        MuxArray = new TMuxArray;
        Das = &das;
        Host.SetLinkUi(&ui);
        ASSERT_TRUE(Host.Pause());
        ResetProtocolEngine();
        // No block of an earlier test is still in flight.
        Host.Thread().Link().Reset();
        ClearReceiveBuffer();
        Host.ResetStatistics();
    }
    void TearDown() override
    {
        if (PlayingBack()) {
            Host.PlayArchive(false);
        }
        if (Host.Recording()) {
            Host.RecordArchive(false);
        }
        EXPECT_TRUE(Host.Disconnect());
        Host.SetLinkUi(nullptr);
        Das = nullptr;
        delete MuxArray;
        MuxArray = nullptr;
        delete TimedQueue;
        TimedQueue = nullptr;
        delete SendQueue;
        SendQueue = nullptr;
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    // Channels with a window each.
    TMux* AddViewed(uint8_t channel)
    {
        return MuxArray->AddChannel(channel, &views[channel]);
    }

    void Record(const QString& path)
    {
        prompt.QueueFile(path);
        Host.RecordArchive(true);
    }
    // Starts a playback of `path` at real-time pace or as fast as possible.
    void Play(const QString& path, bool realTime)
    {
        prompt.QueueFile(path);
        prompt.QueueMessageAnswer(realTime ? TMsgResult::Yes : TMsgResult::No);
        Host.PlayArchive(true);
    }
    // Waits until the playback has handed on its whole file, serving the channels meanwhile.
    bool PlayToEnd()
    {
        const bool ended = WaitUntil([] {
            MuxArray->Service(NowDateTime());
            return !PlaybackFileOpen();
        });
        MuxArray->Service(NowDateTime());
        return ended;
    }

    QTemporaryDir dir;
    TFakePrompt prompt;
    TFakeLinkUi ui;
    TDas das;
    std::map<int, TRecordingView> views;
};

// --- The file format ---

TEST(ArchiveFormat, HostRecordMatchesTheWire)
{
    DataPacket packet{};
    const uint8_t abc[] = {'a', 'b', 'c'};
    ASSERT_EQ(MakeHostRecord(packet, 255, 0x1234, 7, abc, 3), 21u);
    const QByteArray expected = QByteArray::fromHex("0a31ff8000001234070000000300000061626338" "4f");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&packet), 21).toHex(' '),
              expected.toHex(' '));

    // The DAS side's own parser reads it as one segment for channel 7.
    das::TFrameParser parser;
    parser.Feed(expected);
    const std::optional<das::TFrame> frame = parser.Next();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->kind, das::TFrame::TKind::Data);
    EXPECT_EQ(frame->flags, 0x80);
    EXPECT_EQ(frame->segments.at(0).channel, 7);
    EXPECT_EQ(frame->segments.at(0).bytes, "abc");

    // A full record is 272 bytes with a good CRC.
    const QByteArray full = Pattern(kMaxPayload, 3);
    EXPECT_EQ(MakeHostRecord(packet, 1, 0, 9, reinterpret_cast<const uint8_t*>(full.constData()),
                             kMaxPayload),
              272u);
    EXPECT_TRUE(PacketCrcOk(reinterpret_cast<const uint8_t*>(&packet), 272));
}

TEST(ArchiveFormat, HeaderTextsStayWithinTheirFields)
{
    EXPECT_EQ(ArchiveTextField(QStringLiteral("PX000000"), kArchiveIdBytes),
              QByteArray("PX000000") + QByteArray(40, '\0'));
    // Too long: cut so that the last byte stays zero.
    const QByteArray longText = ArchiveTextField(QString(30, QLatin1Char('t')), kArchiveTimeBytes);
    EXPECT_EQ(longText, QByteArray(23, 't') + QByteArray(1, '\0'));

    // A foreign header without any zero: each text is read to its field's end, no further.
    QByteArray foreign(kArchiveHeaderBytes + 10, 'x');
    foreign.replace(kArchiveIdBytes, kArchiveTimeBytes, QByteArray(kArchiveTimeBytes, 'y'));
    TArchiveHeader header = ParseArchiveHeader(reinterpret_cast<const uint8_t*>(foreign.data()));
    EXPECT_EQ(header.id, QString(kArchiveIdBytes, QLatin1Char('x')));
    EXPECT_EQ(header.startTime, QString(kArchiveTimeBytes, QLatin1Char('y')));

    // Texts end at their first zero.
    const QByteArray normal = Header("PX12", "01/02/2024 10:11:12");
    header = ParseArchiveHeader(reinterpret_cast<const uint8_t*>(normal.data()));
    EXPECT_EQ(header.id, QStringLiteral("PX12"));
    EXPECT_EQ(header.startTime, QStringLiteral("01/02/2024 10:11:12"));
}

// --- Recording ---

TEST_F(ArchiveTest, RecordingWritesTheHeaderThenWholePackets)
{
    const QString path = Path("rec.dar");
    Record(path);
    ASSERT_TRUE(Host.Recording());
    EXPECT_EQ(prompt.lastFileOptions.title, "Select Pelagrix Archive File to Record");
    EXPECT_EQ(prompt.lastFileOptions.filter, "Pelagrix Archive Files (*.dar)|*.dar");
    EXPECT_EQ(prompt.lastFileOptions.defaultExt, "dar");
    // The master capture folder's "Archives", made when missing.
    EXPECT_EQ(QDir(prompt.lastFileOptions.folder).absolutePath(),
              QDir(GetProgramDataDir() + QStringLiteral("Data/Archives")).absolutePath());
    EXPECT_TRUE(QFileInfo(prompt.lastFileOptions.folder).isDir());
    EXPECT_EQ(prompt.Messages(), QStringList{"Wendrok: Click to begin archive recording."});
    EXPECT_EQ(ui.actions, (std::vector<bool>{false, true, false, true}));

    // A received packet of two segments, as the link thread hands it on.
    const QByteArray wire = das::EncodeData(9, 0, 0x01020304, {{5, "hello"}, {6, "abc"}});
    DataPacket packet{};
    std::memcpy(&packet, wire.constData(), static_cast<size_t>(wire.size()));
    Host.ArchivePacket(packet);

    // PC device port data: 300 bytes make records of 254 and 46 with one sequence number; the
    // next call takes the next number; exactly 254 bytes make one record.
    const QByteArray pc = Pattern(300, 1);
    Host.ArchiveHostData(pc.constData(), 300, 7);
    Host.ArchiveHostData(pc.constData(), 254, 8);
    Host.RecordArchive(false);
    EXPECT_FALSE(Host.Recording());
    EXPECT_FALSE(Host.Archive().RecordFileOpen());
    EXPECT_EQ(ui.actions, (std::vector<bool>{true, false, false, false}));

    // Appended after the stop: nothing.
    Host.ArchivePacket(packet);
    Host.ArchiveHostData(pc.constData(), 3, 7);

    const QByteArray file = ReadAll(path);
    ASSERT_EQ(file.size(), kArchiveHeaderBytes + wire.size() + (18 + 254) + (18 + 46) + (18 + 254));
    EXPECT_EQ(file.left(kArchiveIdBytes), QByteArray("PX000000") + QByteArray(40, '\0'));
    const QByteArray timeField = file.mid(kArchiveIdBytes, kArchiveTimeBytes);
    EXPECT_EQ(timeField.at(kArchiveTimeBytes - 1), '\0');
    const QString startTime = QString::fromLatin1(timeField.constData());
    EXPECT_TRUE(StrToDateTime(startTime).has_value()) << startTime.toStdString();

    QByteArray rest = file.mid(kArchiveHeaderBytes);
    EXPECT_EQ(rest.left(wire.size()), wire);
    rest = rest.mid(wire.size());
    das::TFrameParser parser;
    parser.Feed(rest);
    std::vector<das::TFrame> records;
    while (std::optional<das::TFrame> frame = parser.Next()) {
        records.push_back(*frame);
    }
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(parser.Pending(), 0);
    for (const das::TFrame& record : records) {
        EXPECT_EQ(record.kind, das::TFrame::TKind::Data);
        EXPECT_EQ(record.flags, kFlagHostRecord);
        EXPECT_EQ(record.segments.size(), 4u);
    }
    EXPECT_EQ(records[0].segments[0].channel, 7);
    EXPECT_EQ(records[0].segments[0].bytes, pc.left(254));
    EXPECT_EQ(records[1].segments[0].bytes, pc.mid(254));
    EXPECT_EQ(records[0].sequence, records[1].sequence);
    EXPECT_EQ(records[2].sequence, static_cast<uint8_t>(records[0].sequence + 1));
    EXPECT_EQ(records[2].segments[0].channel, 8);
    EXPECT_EQ(records[2].segments[0].bytes, pc.left(254));
}

TEST_F(ArchiveTest, RecordingNeedsAFileThatCanBeCreated)
{
    // Cancelled: nothing happens.
    prompt.QueueFile(std::nullopt);
    Host.RecordArchive(true);
    EXPECT_FALSE(Host.Recording());
    EXPECT_TRUE(prompt.Messages().isEmpty());

    Record(Path("missing/rec.dar"));
    EXPECT_FALSE(Host.Recording());
    EXPECT_FALSE(Host.Archive().RecordFileOpen());
    EXPECT_EQ(prompt.Messages(), QStringList{"Wendrok: Error Opening Archive"});

    // A file that takes no bytes: the failed header write is told, and nothing records.
    if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
        prompt.shown.clear();
        Record(QStringLiteral("/dev/full"));
        EXPECT_FALSE(Host.Recording());
        EXPECT_FALSE(Host.Archive().RecordFileOpen());
        ASSERT_EQ(prompt.Messages().size(), 1);
        EXPECT_TRUE(prompt.Messages()[0].startsWith(
            QStringLiteral("System Error: Could Not Write to File: Error# ")))
            << prompt.Messages()[0].toStdString();
    }
}

// --- Playback ---

TEST_F(ArchiveTest, ShortOrMissingFilesAreRefused)
{
    WriteAll(Path("short.dar"), Header("PX000000", "01/02/2024 10:11:12").left(60));
    Play(Path("short.dar"), false);
    EXPECT_EQ(prompt.Messages(), (QStringList{"Wendrok: Play back at real-time speed?",
                                              "Wendrok: Can not Read Archive File."}));
    EXPECT_EQ(prompt.lastFileOptions.title, "Select Pelagrix Archive File to Play Back");
    EXPECT_FALSE(PlayingBack());
    EXPECT_FALSE(Host.Archive().IsOpen());
    EXPECT_FALSE(PlaybackFileOpen());

    prompt.shown.clear();
    Play(Path("none.dar"), true);
    EXPECT_EQ(prompt.Messages().last(), "Wendrok: Error Opening Archive");
    EXPECT_FALSE(PlayingBack());

    // Cancel at the pace question: the file is not even opened.
    prompt.shown.clear();
    prompt.QueueFile(Path("short.dar"));
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    Host.PlayArchive(true);
    EXPECT_EQ(prompt.Messages(), QStringList{"Wendrok: Play back at real-time speed?"});
    EXPECT_FALSE(Host.Archive().IsOpen());
    EXPECT_FALSE(PlayingBack());
}

TEST_F(ArchiveTest, FastPlaybackHandsOnEveryPacketInFileOrder)
{
    AddViewed(12);
    AddViewed(7);
    // Host records share their numbers with the DAS's packets, and the first packet carries
    // the number a fresh link starts from: every one of them is delivered.
    QByteArray file = Header("PX000123", "01/02/2024 10:11:12");
    file += das::EncodeData(255, 0, 1000, {{12, "hello"}});
    file += das::EncodeData(255, kFlagHostRecord, 1001, {{7, "pc1"}});
    file += das::EncodeData(4, 0, 1002, {{12, " world"}});
    file += das::EncodeData(4, kFlagHostRecord, 1003, {{7, "pc2"}});
    file += das::EncodeData(4, kFlagHostRecord, 1004, {{7, "pc3"}});
    // A DAS repeat is still dropped.
    file += das::EncodeData(4, 0, 1005, {{12, "REPEAT"}});
    file += das::EncodeData(5, 0, 1006, {{12, "!"}, {7, "+"}});
    WriteAll(Path("play.dar"), file);

    Play(Path("play.dar"), false);
    ASSERT_TRUE(PlayingBack());
    EXPECT_FALSE(Host.RealTimePlayback());
    EXPECT_EQ(prompt.Messages(),
              (QStringList{"Wendrok: Play back at real-time speed?",
                           "Wendrok: Archive Starts at: 01/02/2024 10:11:12.\r\n Click to start "
                           "archive playback."}));
    EXPECT_EQ(ui.actions, (std::vector<bool>{false, true, true, true}));

    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(views[12].data, "hello world!");
    EXPECT_EQ(views[7].data, "pc1pc2pc3+");
    EXPECT_EQ(ProtocolCounters().duplicates.load(), 1u);
    // The playback has ended but not stopped: that is the data timer's part.
    EXPECT_TRUE(PlayingBack());

    Host.PlayArchive(false);
    EXPECT_FALSE(PlayingBack());
    EXPECT_TRUE(Host.Thread().Parked());
    EXPECT_EQ(ui.actions, (std::vector<bool>{true, false, false, false}));

    // A second archive whose first packet repeats the last number of the first one.
    views[12].data.clear();
    file = Header("PX000123", "t");
    file += das::EncodeData(5, 0, 1, {{12, "again"}});
    WriteAll(Path("again.dar"), file);
    Play(Path("again.dar"), false);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(views[12].data, "again");
}

TEST_F(ArchiveTest, StoppingAPlaybackClosesTheFileWithTheThreadParked)
{
    AddViewed(12);
    // More than the receive buffer holds, so the file is still being read when it stops.
    QByteArray file = Header("PX000000", "t");
    for (int i = 0; i < 20; ++i) {
        file += das::EncodeData(static_cast<uint8_t>(i), 0, static_cast<uint32_t>(1000 + i * 1000),
                                {{12, Pattern(200, i)}});
    }
    WriteAll(Path("long.dar"), file);
    // At real-time pace the second packet is a second away.
    Play(Path("long.dar"), true);
    ASSERT_TRUE(WaitUntil([] { return Host.BytesReceived() > 0; }));
    EXPECT_TRUE(Host.Archive().IsOpen());

    Host.PlayArchive(false);
    EXPECT_TRUE(Host.Thread().Parked());
    EXPECT_FALSE(Host.Archive().IsOpen());
    EXPECT_FALSE(PlaybackFileOpen());
    // Nothing of the archive is left to reach the next live link.
    EXPECT_EQ(ReceiveBufferFill(), 0u);
    EXPECT_LT(Host.BytesReceived(), 20u * 200u);
}

TEST_F(ArchiveTest, RealTimePlaybackSkipsLongGaps)
{
    AddViewed(12);
    QByteArray file = Header("PX000000", "t");
    file += das::EncodeData(1, 0, 5000, {{12, "a"}});
    file += das::EncodeData(2, 0, 5000 + 40000, {{12, "b"}});
    file += das::EncodeData(3, 0, 5000 + 40000 + 5, {{12, "c"}});
    WriteAll(Path("gap.dar"), file);
    Play(Path("gap.dar"), true);
    EXPECT_TRUE(Host.RealTimePlayback());
    // Forty seconds of silence are not waited for.
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(views[12].data, "abc");
}

TEST_F(ArchiveTest, AForeignFileDeliversNothing)
{
    AddViewed(kInfoChannel);
    AddViewed(12);
    QByteArray text;
    while (text.size() < 4000) {
        text += "Some notes about the cruise, nothing like an archive at all.\n";
    }
    WriteAll(Path("notes.dar"), text);
    Play(Path("notes.dar"), false);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(prompt.Messages(),
              (QStringList{"Wendrok: Play back at real-time speed?",
                           "Wendrok: Archive Starts at: " + QString::fromLatin1(text.mid(48, 24)) +
                               ".\r\n Click to start archive playback."}));
    EXPECT_EQ(Host.BytesReceived(), 0u);
    EXPECT_TRUE(views[kInfoChannel].data.isEmpty());
    EXPECT_TRUE(views[12].data.isEmpty());
}

TEST_F(ArchiveTest, HostileArchivesPlayWhatIsWholeAndEnd)
{
    AddViewed(12);
    QByteArray binary;
    for (int i = 0; i < 5000; ++i) {
        binary += static_cast<char>((i * 113 + 29) & 0xFF);
    }
    const QByteArray a = das::EncodeData(1, 0, 1000, {{12, "a"}});
    const QByteArray b = das::EncodeData(2, 0, 1001, {{12, "b"}});
    const QByteArray c = das::EncodeData(3, 0, 1002, {{12, "c"}});
    const struct {
        const char* name;
        QByteArray file;
        bool realTime;
        const char* delivered;
    } cases[] = {
        // Only a header; a start time with no zero and bytes past Latin-1 letters.
        {"bare.dar", QByteArray(kArchiveIdBytes + kArchiveTimeBytes, '\xFF'), false, ""},
        // Noise between whole packets, and a packet cut short at the end.
        {"noise.dar", Header("PX", "<b>t</b>") + a + binary + b + c.left(c.size() / 2), false,
         "ab"},
        // A zero-filled stretch as a disk error leaves one.
        {"zeros.dar", Header("", "") + QByteArray(4096, '\0') + a, false, "a"},
        // Packet times that run backwards, wrap or leap: nothing is waited for long.
        {"times.dar",
         Header("PX", "t") + das::EncodeData(1, 0, 0xFFFFFFFFu, {{12, "w"}}) +
             das::EncodeData(2, 0, 0, {{12, "x"}}) + das::EncodeData(3, 0, 0x7FFFFFFFu, {{12, "y"}}) +
             das::EncodeData(4, 0, 3, {{12, "z"}}),
         true, "wxyz"},
    };
    for (const auto& k : cases) {
        views[12].data.clear();
        prompt.shown.clear();
        WriteAll(Path(k.name), k.file);
        Play(Path(k.name), k.realTime);
        ASSERT_TRUE(PlayingBack()) << k.name;
        ASSERT_TRUE(PlayToEnd()) << k.name;
        EXPECT_EQ(views[12].data, k.delivered) << k.name;
        Host.PlayArchive(false);
        EXPECT_FALSE(PlayingBack());
    }
    // The start time shown is the header's field, at most its size, whatever it holds.
    WriteAll(Path("bare.dar"), cases[0].file);
    prompt.shown.clear();
    Play(Path("bare.dar"), false);
    ASSERT_EQ(prompt.Messages().size(), 2);
    EXPECT_TRUE(prompt.Messages()[1].contains(QString(kArchiveTimeBytes, QChar(0xFF))));
    Host.PlayArchive(false);
}

// --- Fast playback and the channel rings ---

TEST_F(ArchiveTest, FastPlaybackWaitsForTheUiToReadEachRing)
{
    AddViewed(12);
    AddViewed(13);
    // Five rings' worth for one channel: handed on at full speed, most of it would give way
    // before the next data timer tick.
    const QByteArray data = Distinct(5 * static_cast<int>(kChannelRingBytes));
    WriteAll(Path("fast.dar"), ArchiveOf(data, 12, 13));

    // The data timer's pace.
    QTimer dataTimer;
    dataTimer.setInterval(100);
    QObject::connect(&dataTimer, &QTimer::timeout, [] { MuxArray->Service(NowDateTime()); });
    dataTimer.start();
    Play(Path("fast.dar"), false);
    ASSERT_TRUE(PlayingBack());
    ASSERT_TRUE(WaitUntil([] { return !PlaybackFileOpen(); }, 30000));
    dataTimer.stop();
    MuxArray->Service(NowDateTime());

    ASSERT_EQ(views[12].data.size(), data.size());
    EXPECT_TRUE(views[12].data == data) << "the bytes differ from the archive's";
    EXPECT_EQ(views[13].data, QByteArray(views[13].data.size(), '+'));
    EXPECT_GE(views[13].data.size(), 10);
    EXPECT_EQ(Host.BytesReceived(), static_cast<uint32_t>(data.size() + views[13].data.size()));
}

TEST_F(ArchiveTest, ALongFastPlaybackRunsOnThePassesItAsksFor)
{
    AddViewed(12);
    AddViewed(13);
    // Several blocks of the file, with packets across the blocks' ends, and no data timer:
    // each pass the link asks for frees room in the rings, which lets the link go on at once.
    const QByteArray data = Distinct(static_cast<int>(3 * kPlaybackBlockBytes));
    WriteAll(Path("long.dar"), ArchiveOf(data, 12, 13));
    Play(Path("long.dar"), false);
    ASSERT_TRUE(PlayingBack());
    ASSERT_TRUE(WaitUntil([] { return !PlaybackFileOpen(); }));
    MuxArray->Service(NowDateTime());

    ASSERT_EQ(views[12].data.size(), data.size());
    EXPECT_TRUE(views[12].data == data) << "the bytes differ from the archive's";
    EXPECT_EQ(Host.BytesReceived(), static_cast<uint32_t>(data.size() + views[13].data.size()));
    EXPECT_EQ(PacketCounters().receiveErrors.load(), 0u);
}

TEST_F(ArchiveTest, AFullRingHoldsUpNeitherAStopNorAPlaybackNobodyReads)
{
    // No window, capture or fetch: a service pass leaves the channel's bytes in its ring.
    TMux* mux = MuxArray->AddChannel(12);
    const QByteArray data = Distinct(3 * static_cast<int>(kChannelRingBytes));
    // Channel 13 does not exist, nor does the info channel its bytes would go to.
    WriteAll(Path("unread.dar"), ArchiveOf(data, 12, 13));

    // Nobody reads the channel: the playback waits with the ring full.
    Play(Path("unread.dar"), false);
    ASSERT_TRUE(WaitUntil([mux] { return mux->RingFree() < static_cast<uint32_t>(kMaxPayload); }));
    EXPECT_TRUE(Host.Archive().IsOpen());
    Host.PlayArchive(false);
    EXPECT_TRUE(Host.Thread().Parked());
    EXPECT_FALSE(PlaybackFileOpen());
    EXPECT_LT(Host.BytesReceived(), static_cast<uint32_t>(data.size()));

    // A channel that is never read (no window, capture or fetch takes its bytes) cannot hold
    // a playback for ever: after a while it is written over as on the live link, newest kept.
    mux->ReadQueue();
    Play(Path("unread.dar"), false);
    ASSERT_TRUE(WaitUntil([] { return !PlaybackFileOpen(); }));
    EXPECT_GT(Host.BytesReceived(), static_cast<uint32_t>(data.size()));
    const int n = mux->ReadQueue();
    EXPECT_EQ(QByteArray(mux->Scratch(), n), data.right(static_cast<int>(kChannelRingBytes)));
}

TEST_F(ArchiveTest, APlaybackTheThreadIsTooBusyToPauseForIsNotStartedAndTheLinkRunsOn)
{
    WriteAll(Path("play.dar"), Header("PX000000", "t") + das::EncodeData(1, 0, 1000, {{12, "x"}}));
    TFakeDasPorts ports;
    Host.SetProtocol(kErrorDetectingProtocol);
    const auto restore = qScopeGuard([] { Host.SetProtocol(kErrorCorrectingProtocol); });
    ASSERT_TRUE(Host.Connect());
    // A long write at a low baud rate: the link thread does not park in time.
    ASSERT_TRUE(ports.HoldWriting("long"));
    Play(Path("play.dar"), false);
    EXPECT_EQ(prompt.Messages(),
              (QStringList{"Wendrok: Play back at real-time speed?",
                           "Wendrok: The link could not be paused; the archive was not played "
                           "back."}));
    EXPECT_FALSE(PlayingBack());
    EXPECT_FALSE(Host.Archive().IsOpen());
    EXPECT_FALSE(Host.Thread().Paused());
    // The live link carries on, never to park unasked.
    ASSERT_TRUE(ports.ReleaseAndSend("long", "next"));
    EXPECT_FALSE(Host.Thread().Parked());
}

// --- A live session recorded and played back ---

TEST_F(ArchiveTest, PlaybackRepeatsWhatTheLiveLinkDelivered)
{
    TDasStandIn standIn;
    standIn.SetProtocol(kErrorCorrectingProtocol);
    standIn.SetMaxPayload(100);
    standIn.Start();
    SetComPortDevicePath(kPtyPort, standIn.SlavePath());
    Host.SetDasPort(kPtyPort);
    Host.SetProtocol(kErrorCorrectingProtocol);
    ASSERT_TRUE(Host.Connect());

    AddViewed(20);
    AddViewed(21);
    TMux* pcChannel = AddViewed(30);
    std::deque<QByteArray> pcReads{Pattern(300, 5), Pattern(10, 6), Pattern(600, 7)};
    pcChannel->SetPcPort(std::make_unique<TScriptedPcPort>(&pcReads));

    das.ID = QStringLiteral("PX000777");
    const QString path = Path("live.dar");
    Record(path);
    ASSERT_TRUE(Host.Recording());
    const QByteArray a = Pattern(3000, 1);
    const QByteArray b = Pattern(2000, 2);
    for (int i = 0; i < 3; ++i) {
        standIn.SendChannelData(20, a.mid(i * 1000, 1000));
        standIn.SendChannelData(21, b.mid(i * 700, 700));
    }
    ASSERT_TRUE(WaitUntil([&] {
        MuxArray->Service(NowDateTime());
        return views[20].data.size() == a.size() && views[21].data.size() == b.size() &&
               views[30].data.size() == 910 && standIn.AllSent();
    }));
    Host.RecordArchive(false);
    const std::map<int, QByteArray> live{
        {20, views[20].data}, {21, views[21].data}, {30, views[30].data}};
    EXPECT_EQ(live.at(20), a);
    EXPECT_EQ(live.at(21), b);
    EXPECT_EQ(ReadAll(path).left(8), "PX000777");

    // The main window disconnects before a playback; the PC port is gone.
    ASSERT_TRUE(Host.Disconnect());
    pcChannel->ClosePcPort();
    for (auto& [channel, view] : views) {
        view.data.clear();
    }
    Play(path, false);
    ASSERT_TRUE(PlayingBack());
    // The data timer: serve the channels, and once the file is through, stop and reconnect.
    ASSERT_TRUE(WaitUntil([] {
        MuxArray->Service(NowDateTime());
        return Host.EndFinishedPlayback();
    }));
    MuxArray->Service(NowDateTime());
    for (const auto& [channel, bytes] : live) {
        EXPECT_EQ(views[channel].data, bytes) << "channel " << channel;
    }
    EXPECT_FALSE(PlayingBack());
    EXPECT_TRUE(DasPortOpen());
    EXPECT_EQ(ui.actions, (std::vector<bool>{true, false, false, false}));

    ASSERT_TRUE(Host.Disconnect());
    standIn.Stop();
}

}  // namespace
