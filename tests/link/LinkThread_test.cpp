#include "link/Thddascomm.h"

#include <gtest/gtest.h>

#include <mutex>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QFile>
#include <optional>
#include <thread>

#include "link/Host.h"
#include "link/LinkFakes.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/TerminalViews.h"
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
constexpr uint32_t kT0 = 2'000'000;

// The link thread against the DAS stand-in on a pseudo-terminal. Unless a test says otherwise
// the stand-in is scripted: the test writes the DAS's control packets and reads the host's.
class LinkThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NewLinkGlobals();
        MuxArray->AddChannel(255);
        Host.SetLinkUi(&ui);
        SetComPortDevicePath(kPtyPort, das.SlavePath());
        Host.SetDasPort(kPtyPort);
        Host.SetProtocol(kErrorCorrectingProtocol);
        das.SetProtocol(0);
        das.Start();
        // The thread is parked (or never ran): a fresh engine and receive buffer.
        ResetProtocolEngine();
        // No block of an earlier test is still in flight.
        Host.Thread().Link().Reset();
        ClearReceiveBuffer();
        // The scripted DAS writes the moment the host listens: the host's answer is its own
        // echo only for as long as it takes on the line.
        SetEchoLatencyForTest(std::chrono::milliseconds(0));
    }
    void TearDown() override
    {
        SetEchoLatencyForTest(kDefaultEchoLatency);
        EXPECT_TRUE(Host.Disconnect());
        Host.SetDasBaud(kDefaultDasBaud);
        Host.SetForceComm(false);
        das.Stop();
        Host.Thread().SetRingReaderGone(kRingReaderGone);
        Host.SetLinkUi(nullptr);
        DeleteLinkGlobals();
        UnfreezeQueueClock();
    }

    void Connect() { ASSERT_TRUE(Host.Connect()); }

    // The DAS port's device name stays while the device comes and goes, as a USB adapter's
    // does: a link in `devices` to the stand-in's line, which the DAS port is mapped to.
    QString AdapterName(const QTemporaryDir& devices)
    {
        const QString name = devices.filePath(QStringLiteral("ttyDAS"));
        EXPECT_TRUE(QFile::link(das.SlavePath(), name));
        SetComPortDevicePath(kPtyPort, name);
        return name;
    }

    // Waits until the link thread has entered its listening state after everything it did so
    // far and no longer looks for its answer's echo, so that a control packet written now is
    // not purged with or taken for the line's echo.
    void WaitListening()
    {
        const uint32_t seen = ProtocolCounters().receiveAttempts.load();
        ASSERT_TRUE(WaitUntil([&] {
            return ProtocolCounters().receiveAttempts.load() > seen && !AnswerEchoAwaited();
        }));
    }
    // The next frame the host writes.
    std::optional<das::TFrame> NextFrame(int timeoutMs = kTestWaitMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (std::optional<das::TFrame> frame = parser.Next()) {
                return frame;
            }
            das.WaitForHostBytes(1, 20);
            parser.Feed(das.TakeHostBytes());
        }
        return std::nullopt;
    }
    // Writes a control packet as the DAS and returns the host's answer.
    das::TFrame Exchange(uint8_t kind, uint8_t sequence)
    {
        WaitListening();
        das.WriteControl(kind, sequence);
        std::optional<das::TFrame> frame = NextFrame();
        EXPECT_TRUE(frame.has_value());
        return frame.value_or(das::TFrame{});
    }
    das::TFrame Poll() { return Exchange(kNak, 0); }
    // Writes `bytes` as the DAS in pieces of the given sizes (the rest last), each only once
    // the link thread has listened again after the one before: far slower than the line.
    void WriteInPieces(const QByteArray& bytes, std::initializer_list<int> sizes)
    {
        qsizetype at = 0;
        for (const int size : sizes) {
            das.WriteRaw(bytes.mid(at, size));
            at += size;
            WaitListening();
            WaitListening();
        }
        das.WriteRaw(bytes.mid(at));
    }
    das::TFrame Ack(const das::TFrame& sent) { return Exchange(kAck, sent.sequence); }

    // The segments a packet carries: the first always, then up to the first empty one.
    static std::vector<std::pair<int, QByteArray>> Segments(const das::TFrame& frame)
    {
        std::vector<std::pair<int, QByteArray>> out;
        for (const das::TSegment& s : frame.segments) {
            if (!out.empty() && s.bytes.isEmpty()) {
                break;
            }
            out.emplace_back(s.channel, s.bytes);
            if (s.bytes.isEmpty()) {
                break;
            }
        }
        return out;
    }
    static std::vector<int> Counts(const das::TFrame& frame)
    {
        std::vector<int> out;
        for (const auto& segment : Segments(frame)) {
            out.push_back(static_cast<int>(segment.second.size()));
        }
        return out;
    }
    static bool IsPoll(const das::TFrame& frame)
    {
        return frame.kind == das::TFrame::TKind::Control && frame.controlKind == kNak &&
               frame.sequence == 0;
    }

    TDasStandIn das;
    das::TFrameParser parser;
    TFakeLinkUi ui;
};

using Segs = std::vector<std::pair<int, QByteArray>>;

TEST_F(LinkThreadTest, PacksOneChannelsBlocksAndSendsCommandChannelBlocksAlone)
{
    FreezeQueueClock(kT0);
    SendQueue->Add(5, "aaaa", 4);
    SendQueue->Add(5, "bbbb", 4);
    SendQueue->Add(255, "X", 1);
    Connect();
    const das::TFrame first = Poll();
    ASSERT_EQ(first.kind, das::TFrame::TKind::Data);
    EXPECT_EQ(Segments(first), Segs({{5, "aaaa"}, {5, "bbbb"}}));
    EXPECT_EQ(first.time, kT0);  // the block's queue time, least significant byte first
    // Unacknowledged, the same packet comes again.
    EXPECT_EQ(Segments(Poll()), Segs({{5, "aaaa"}, {5, "bbbb"}}));
    const das::TFrame second = Ack(first);
    EXPECT_EQ(Segments(second), Segs({{255, "X"}}));
    EXPECT_NE(second.sequence, first.sequence);
    EXPECT_TRUE(IsPoll(Ack(second)));
}

TEST_F(LinkThreadTest, FillsThePayloadAcrossBlocksAndTransfersTravelAlone)
{
    for (int i = 0; i < 3; ++i) {
        SendQueue->Add(254, QByteArray(99, char('a' + i)).constData(), 99);
    }
    Connect();
    // Added after connecting, which drops queued file data.
    SendQueue->Add(250, QByteArray(254, 'f').constData(), 254);
    SendQueue->Add(250, QByteArray(254, 'g').constData(), 254);
    SendQueue->Add(250, QByteArray(92, 'h').constData(), 92);
    SendQueue->Add(250, nullptr, 0);
    das::TFrame frame = Poll();
    EXPECT_EQ(Counts(frame), std::vector<int>({99, 99, 56}));
    frame = Ack(frame);
    EXPECT_EQ(Segments(frame), Segs({{254, QByteArray(43, 'c')}}));
    for (int expected : {254, 254, 92, 0}) {
        frame = Ack(frame);
        ASSERT_EQ(frame.kind, das::TFrame::TKind::Data);
        ASSERT_EQ(Segments(frame).size(), 1u);
        EXPECT_EQ(frame.segments[0].channel, 250);
        EXPECT_EQ(frame.segments[0].bytes.size(), expected);
    }
    EXPECT_TRUE(IsPoll(Ack(frame)));
}

TEST_F(LinkThreadTest, AnEndOfTransferBlockStartsAPacketOfItsOwn)
{
    Connect();
    // A script's last line, its end block, then typed data for another channel.
    SendQueue->Add(254, "last", 4);
    SendQueue->Add(254, nullptr, 0);
    SendQueue->Add(5, "typed", 5);
    das::TFrame frame = Poll();
    EXPECT_EQ(Segments(frame), Segs({{254, "last"}}));
    frame = Ack(frame);
    ASSERT_EQ(frame.kind, das::TFrame::TKind::Data);
    EXPECT_EQ(frame.segments[0].channel, 254);
    EXPECT_TRUE(frame.segments[0].bytes.isEmpty());
    frame = Ack(frame);
    EXPECT_EQ(Segments(frame), Segs({{5, "typed"}}));
}

TEST_F(LinkThreadTest, TimedBlocksWaitUntilDueWhileChannelDataGoes)
{
    FreezeQueueClock(kT0);
    TimedQueue->AddTimed(7, "now", NextTimedSequence(), 0, 3);
    TimedQueue->AddTimed(7, "later", NextTimedSequence(), 10, 5);
    Connect();
    // Only the due head goes; the block behind it is not due yet.
    das::TFrame frame = Poll();
    EXPECT_EQ(Segments(frame), Segs({{7, "now"}}));
    SendQueue->Add(5, "data", 4);
    frame = Ack(frame);
    EXPECT_EQ(Segments(frame), Segs({{5, "data"}}));
    frame = Ack(frame);
    EXPECT_TRUE(IsPoll(frame));
    StepQueueClock(10);
    frame = Poll();
    EXPECT_EQ(Segments(frame), Segs({{7, "later"}}));
    EXPECT_EQ(frame.time, kT0 + 10);
    Ack(frame);
}

TEST_F(LinkThreadTest, HostCommandLinesRunWithoutAPacket)
{
    TFakeDevice device;
    MuxArray->AddChannel(12, &device);
    Connect();
    ASSERT_TRUE(Host.Pause());
    // Queued as the DAS command sender queues them: each with its terminating zero.
    TimedQueue->AddTimed(255, "*DataStart 12\r", NextTimedSequence(), 0, 15);
    TimedQueue->AddTimed(255, "*DataStop 12\r", NextTimedSequence(), 0, 14);
    Host.Unpause();
    ASSERT_TRUE(WaitUntil([&] { return device.Effects().size() == 2; }));
    EXPECT_EQ(device.Effects(), QStringList({"data on", "data off"}));
    EXPECT_EQ(TimedQueue->Count(), 0);
    EXPECT_TRUE(IsPoll(Poll()));
}

TEST_F(LinkThreadTest, OnlyTheCommandChannelsStarBlocksAreHostCommands)
{
    TFakeDevice device;
    MuxArray->AddChannel(12, &device);
    FreezeQueueClock(kT0);
    Connect();
    // Queued with the thread parked, so they are packed in one go.
    ASSERT_TRUE(Host.Pause());
    // Instrument text that begins with "*" goes to the instrument.
    TimedQueue->AddTimed(12, "*IDN?\r", NextTimedSequence(), 0, 6);
    // A long host command block after other due text: it travels alone and runs whole.
    TimedQueue->AddTimed(7, QByteArray(200, 'x').constData(), NextTimedSequence(), 0, 200);
    QByteArray lines = "*DataStart 12\r";
    for (int i = 0; i < 30; ++i) {
        lines += "DeviceWait 12\rDeviceGo 12\r";
    }
    lines += "DataStop 12\r";
    ASSERT_GT(lines.size(), kMaxPayload);
    lines.append('\0');
    TimedQueue->AddTimed(255, lines.constData(), NextTimedSequence(), 0,
                         static_cast<uint32_t>(lines.size()));
    Host.Unpause();
    const das::TFrame frame = Poll();
    EXPECT_EQ(Segments(frame), Segs({{12, "*IDN?\r"}, {7, QByteArray(200, 'x')}}));
    // No part of the command block goes to the DAS.
    EXPECT_TRUE(IsPoll(Ack(frame)));
    ASSERT_TRUE(WaitUntil([&] { return device.Effects().size() == 62; }));
    EXPECT_EQ(device.Effects().first(), "data on");
    EXPECT_EQ(device.Effects().last(), "data off");
    EXPECT_EQ(TimedQueue->Count(), 0);
}

// A PC device port the link thread may write while the test reads what it got.
class TLockedPcPort final : public IPcDevicePort {
public:
    int Read(char*, int) override { return 0; }
    bool Write(const char* bytes, int count) override
    {
        std::lock_guard lock(lock_);
        written_.append(bytes, count);
        return true;
    }
    QByteArray Written() const
    {
        std::lock_guard lock(lock_);
        return written_;
    }

private:
    mutable std::mutex lock_;
    QByteArray written_;
};

TEST_F(LinkThreadTest, TimedTextForAnInstrumentOnAPcPortGoesToThatPort)
{
    TFakeDevice device;
    TMux* mux = MuxArray->AddChannel(40, &device);
    auto port = std::make_unique<TLockedPcPort>();
    TLockedPcPort* pc = port.get();
    mux->SetPcPort(std::move(port));
    Connect();
    ASSERT_TRUE(Host.Pause());
    TimedQueue->AddTimed(40, "SAMPLE\r", NextTimedSequence(), 0, 7);
    SendQueue->Add(5, "next", 4);
    Host.Unpause();
    ASSERT_TRUE(WaitUntil([&] { return pc->Written() == "SAMPLE\r"; }));
    // Nothing of it goes over the link: the DAS sees only the other channel's data.
    EXPECT_EQ(Segments(Poll()), Segs({{5, "next"}}));
    MuxArray->RemoveChannel(40);
}

TEST_F(LinkThreadTest, SilenceLosesTheLinkAndTheFirstExchangeRestoresIt)
{
    Connect();
    Poll();
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Connected to DAS"; }));
    EXPECT_FALSE(ui.grey);
    Host.SetForceComm(true);
    parser.Clear();
    das.TakeHostBytes();
    // About 101 reads of 20 ms each.
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Disconnected"; }));
    EXPECT_TRUE(ui.grey);
    // With the forced poll on, the host polls a silent DAS by itself.
    std::optional<das::TFrame> unasked = NextFrame();
    ASSERT_TRUE(unasked.has_value());
    EXPECT_TRUE(IsPoll(*unasked));
    Host.SetForceComm(false);

    Poll();
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Connected to DAS"; }));
    EXPECT_FALSE(ui.grey);

    ASSERT_TRUE(Host.Pause());
    Host.SetRecording(true);
    Host.UpdateStatus();
    EXPECT_EQ(ui.LastMessage(), "Recording Archive");
    Host.SetRecording(false);
    SetPlayingBack(true);
    Host.UpdateStatus();
    EXPECT_EQ(ui.LastMessage(), "Playing Archive");
    SetPlayingBack(false);
    Host.Unpause();
}

TEST_F(LinkThreadTest, SilenceAfterANakdLosesTheLinkToo)
{
    Connect();
    Poll();
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Connected to DAS"; }));
    Host.SetForceComm(true);
    parser.Clear();
    das.TakeHostBytes();
    // The DAS tells the host to listen for its data, then says nothing more.
    WaitListening();
    das.WriteControl(kNakd, 0);
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Disconnected"; }));
    EXPECT_TRUE(ui.grey);
    // Still listening there, the host polls the lost link by itself, so it can come back.
    std::optional<das::TFrame> unasked = NextFrame();
    ASSERT_TRUE(unasked.has_value());
    EXPECT_TRUE(IsPoll(*unasked));
    ASSERT_TRUE(Host.Pause());
    EXPECT_EQ(ErrorCorrectingState(), kStateNakdListen);
    Host.Unpause();
    Host.SetForceComm(false);
    // The DAS polls until it is answered, as it does after its time-out: a poll that comes
    // while the host still looks for the echo of a forced poll of its own is taken for it.
    for (int tries = 0; tries < 20 && ui.LastMessage() != "Connected to DAS"; ++tries) {
        das.WriteControl(kNak, 0);
        WaitUntil([&] { return ui.LastMessage() == "Connected to DAS"; }, 500);
    }
    EXPECT_TRUE(ui.LastMessage() == "Connected to DAS");
    std::optional<das::TFrame> answer = NextFrame();
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(IsPoll(*answer));
}

TEST_F(LinkThreadTest, APacketStillArrivingOnASlowLineIsNotSilence)
{
    // At 9600 baud a full packet takes about 265 ms to arrive, a byte or a few per read: the
    // link is busy all that time, however many reads it takes.
    MuxArray->AddChannel(5);
    das.SetBaudRate(9600);
    das.SetProtocol(1);
    Connect();
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Connected to DAS"; }));
    ui.messages.clear();
    for (int i = 0; i < 6; ++i) {
        das.SendChannelData(5, QByteArray(254, static_cast<char>('a' + i)));
    }
    ASSERT_TRUE(WaitUntil([&] { return das.AllSent(); }));
    EXPECT_FALSE(ui.messages.contains(QStringLiteral("Disconnected")))
        << ui.messages.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(ui.grey);
}

TEST_F(LinkThreadTest, APausedThreadNeitherReadsNorWrites)
{
    SendQueue->Add(5, "held", 4);
    Connect();
    WaitListening();
    ASSERT_TRUE(Host.Pause());
    EXPECT_TRUE(Host.Thread().Parked());
    das.WriteControl(kNak, 0);
    EXPECT_FALSE(das.WaitForHostBytes(1, 200));
    // The port is ours while the thread is parked.
    const ControlPacket raw = MakeControlPacket(kAck, 9);
    EXPECT_TRUE(Host.WriteRaw(reinterpret_cast<const uint8_t*>(&raw), sizeof raw));
    ASSERT_TRUE(das.WaitForHostBytes(sizeof raw));
    EXPECT_EQ(das.TakeHostBytes(), QByteArray(reinterpret_cast<const char*>(&raw), sizeof raw));
    Host.Unpause();
    // The poll written while parked is read now.
    std::optional<das::TFrame> frame = NextFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(Segments(*frame), Segs({{5, "held"}}));
}

// Collects what reaches a channel's ring.
QByteArray DrainInto(TMux& mux, QByteArray& into)
{
    const int n = mux.ReadQueue();
    into.append(mux.Scratch(), n);
    return into;
}

TEST_F(LinkThreadTest, APacketArrivingInPiecesIsLeftToArriveTakenWholeAndAnswered)
{
    // At 9600 baud a byte takes about a millisecond.
    Host.SetDasBaud(9600);
    TMux* mux = MuxArray->AddChannel(20);
    Connect();
    WaitListening();
    // Pieces far apart: each packet is still taken whole, however slowly it comes.
    WriteInPieces(das::EncodeControl(kNak, 0), {1, 2, 1});
    std::optional<das::TFrame> answer = NextFrame();
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(IsPoll(*answer));
    const QByteArray payload = QByteArray(200, 'p') + "end";
    // A packet start alone, part of the header, the rest of the header, part of the payload.
    WriteInPieces(das::EncodeData(12, 0, 0, {{20, payload}}), {1, 4, 11, 150});
    answer = NextFrame();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->kind, das::TFrame::TKind::Control);
    EXPECT_EQ(answer->controlKind, kAck);
    EXPECT_EQ(answer->sequence, 12);
    QByteArray received;
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received).size() >= payload.size(); }));
    EXPECT_EQ(received, payload);

    // A packet coming at the line's own pace, a byte at a time: the link thread lets the bytes
    // still on the way arrive before it listens again, instead of waking for each of them.
    const QByteArray paced = QByteArray(250, 'q') + "end";
    const QByteArray packet = das::EncodeData(13, 0, 0, {{20, paced}});
    WaitListening();
    das.SetBaudRate(9600);
    const uint32_t listensBefore = ProtocolCounters().receiveAttempts.load();
    das.WriteRaw(packet);
    answer = NextFrame();
    const uint32_t listens = ProtocolCounters().receiveAttempts.load() - listensBefore;
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->controlKind, kAck);
    EXPECT_EQ(answer->sequence, 13);
    EXPECT_LT(listens, packet.size() / 4);
    received.clear();
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received).size() >= paced.size(); }));
    EXPECT_EQ(received, paced);

    // Half arrived when the link pauses, the rest far longer on the way than a read waits.
    das.SetBaudRate(0);
    const QByteArray halted = das::EncodeData(14, 0, 0, {{20, "paused between"}});
    WaitListening();
    das.WriteRaw(halted.left(20));
    WaitListening();
    WaitListening();
    ASSERT_TRUE(Host.Pause());
    EXPECT_TRUE(Host.Thread().Parked());
    das.WriteRaw(halted.mid(20));
    Host.Unpause();
    answer = NextFrame();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->controlKind, kAck);
    EXPECT_EQ(answer->sequence, 14);
    received.clear();
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received).size() >= 14; }));
    EXPECT_EQ(received, "paused between");
    EXPECT_EQ(ProtocolCounters().naksSent.load(), 0u);
    EXPECT_EQ(PacketCounters().receiveErrors.load(), 0u);
}

TEST_F(LinkThreadTest, APacketWaitingForRoomGoesOnOnceTheRingLosesItsReaderOrItsChannel)
{
    // The bytes in the ring never wait long enough here to count as having no reader.
    Host.Thread().SetRingReaderGone(std::chrono::hours(1));
    TNullTerminalView window;
    struct TEnding {
        const char* what;
        std::function<void(TMux&)> giveReader;
        std::function<void(TMux&)> end;
    };
    const std::vector<TEnding> endings = {
        {"window closed", [&](TMux& mux) { mux.SetWindow(&window); },
         [](TMux& mux) { mux.CloseWindow(); }},
        {"capture ended", [](TMux& mux) { mux.MarkCaptureNotOnPc(); },
         [](TMux& mux) { mux.StopCapture(); }},
        {"channel removed", [&](TMux& mux) { mux.SetWindow(&window); },
         [](TMux& mux) { MuxArray->RemoveChannel(mux.GetChannelNumber()); }},
    };
    Connect();
    uint8_t sequence = 0;
    for (const TEnding& ending : endings) {
        SCOPED_TRACE(ending.what);
        TMux* mux = MuxArray->AddChannel(20);
        ending.giveReader(*mux);
        ASSERT_TRUE(mux->PushData(QByteArray(kChannelRingBytes, 'x').constData(),
                                  static_cast<int>(kChannelRingBytes)));
        // No pass asked for earlier is still to come.
        ASSERT_TRUE(WaitUntil([] { return !MuxArray->ServiceRequested(); }));
        WaitListening();
        das.WriteData(++sequence, 0, 0, {{20, "more"}});
        // Handing it on, the link thread waits for room in the full ring and asks for a pass,
        // which the event loop, not running, never serves.
        ASSERT_TRUE(PollUntil([] { return MuxArray->ServiceRequested(); }));
        // Acknowledged before it is handed on.
        std::optional<das::TFrame> answer = NextFrame();
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->controlKind, kAck);
        EXPECT_EQ(answer->sequence, sequence);
        ending.end(*mux);
        // The link goes on: the DAS's next packet is answered.
        EXPECT_TRUE(IsPoll(Poll()));
        if (MuxArray->GetChannel(20) != nullptr) {
            // The oldest bytes gave way to the packet's.
            QByteArray received;
            EXPECT_EQ(DrainInto(*mux, received).size(), kChannelRingBytes);
            EXPECT_TRUE(received.endsWith("xmore"));
            MuxArray->RemoveChannel(20);
        }
    }
}

TEST_F(LinkThreadTest, ReconnectingWhileDataFlowsLosesNothingAcknowledged)
{
    TMux* mux = MuxArray->AddChannel(20);
    das.SetProtocol(1);
    QByteArray sent;
    for (int i = 0; i < 300; ++i) {
        const QByteArray chunk = QByteArray::number(i).rightJustified(5, '0') + QByteArray(45, '.');
        sent += chunk;
        das.SendChannelData(20, chunk);
    }
    Connect();
    QByteArray received;
    for (int round = 0; round < 4; ++round) {
        const qsizetype target = sent.size() * (round + 1) / 5;
        ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received).size() >= target; }));
        ASSERT_TRUE(Host.Disconnect());
        Connect();
    }
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received).size() >= sent.size() && das.AllSent(); }));
    QCoreApplication::processEvents();
    DrainInto(*mux, received);
    EXPECT_EQ(received, sent);
}

TEST_F(LinkThreadTest, ABlockInFlightAtDisconnectGoesAgainAfterConnect)
{
    SendQueue->Add(5, "typed", 5);
    Connect();
    const das::TFrame first = Poll();
    EXPECT_EQ(Segments(first), Segs({{5, "typed"}}));
    // Unacknowledged when the link goes: the same packet, under the same number, comes first
    // on the new link, so a DAS that had it knows the copy.
    ASSERT_TRUE(Host.Disconnect());
    Connect();
    const das::TFrame again = Poll();
    EXPECT_EQ(Segments(again), Segs({{5, "typed"}}));
    EXPECT_EQ(again.sequence, first.sequence);
    const das::TFrame next = Ack(again);
    EXPECT_TRUE(IsPoll(next));

    // File data and timed commands in flight are dropped with their queues, as Connect means.
    SendQueue->Add(250, "file", 4);
    EXPECT_EQ(Segments(Poll()), Segs({{250, "file"}}));
    ASSERT_TRUE(Host.Disconnect());
    Connect();
    EXPECT_TRUE(IsPoll(Poll()));
    TimedQueue->AddTimed(255, "SENDSTATUS HOST 247", NextTimedSequence(), 0, 19);
    EXPECT_EQ(Segments(Poll()), Segs({{255, "SENDSTATUS HOST 247"}}));
    ASSERT_TRUE(Host.Disconnect());
    Connect();
    EXPECT_TRUE(IsPoll(Poll()));
    // A console command of the send queue (an echo port's break) is no timed command: kept.
    SendQueue->Add(255, "SETBREAK 3", 10);
    EXPECT_EQ(Segments(Poll()), Segs({{255, "SETBREAK 3"}}));
    ASSERT_TRUE(Host.Disconnect());
    Connect();
    EXPECT_EQ(Segments(Poll()), Segs({{255, "SETBREAK 3"}}));
}

TEST_F(LinkThreadTest, ADasPacketResentAfterAReconnectIsDeliveredOnce)
{
    TMux* mux = MuxArray->AddChannel(20);
    Connect();
    WaitListening();
    das.WriteData(9, 0, 0, {{20, "once"}});
    std::optional<das::TFrame> ack = NextFrame();
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->controlKind, kAck);
    ASSERT_TRUE(Host.Disconnect());
    Connect();
    // The acknowledgement was lost: the DAS sends the packet again.
    WaitListening();
    das.WriteData(9, 0, 0, {{20, "once"}});
    ack = NextFrame();
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->controlKind, kAck);
    EXPECT_EQ(ack->sequence, 9);
    ASSERT_TRUE(Host.Pause());
    QByteArray received;
    EXPECT_EQ(DrainInto(*mux, received), "once");
    EXPECT_EQ(ProtocolCounters().duplicates.load(), 1u);
    Host.Unpause();
}

TEST_F(LinkThreadTest, AnUnpluggedPortIsToldOnceRestsAndComesBackWithNothingLost)
{
    TFakePrompt prompt;
    QTemporaryDir devices;
    const QString name = AdapterName(devices);
    TMux* mux = MuxArray->AddChannel(20);
    das.SetProtocol(1);
    Connect();
    SendQueue->Add(5, "one,", 4);
    das.SendChannelData(20, "before,");
    QByteArray received;
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received) == "before," && das.AllSent(); }));
    ASSERT_TRUE(das.WaitForBytes(5, 4));

    // The adapter is pulled.
    das.Unplug();
    QFile::remove(name);
    ASSERT_TRUE(WaitUntil([&] { return !prompt.shown.empty(); }));
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Read From Comm Port"));
    // Meanwhile the link thread rests: a thread that spins uses about all of its time.
    const int64_t cpuBefore = Host.Thread().CpuTimeNs();
    QElapsedTimer elapsed;
    elapsed.start();
    WaitUntil([] { return false; }, 500);
    const int64_t cpuUsed = Host.Thread().CpuTimeNs() - cpuBefore;
    EXPECT_LT(cpuUsed, elapsed.nsecsElapsed() / 4);
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Disconnected"; }));
    // Data for the DAS queued while the port is gone waits for it.
    SendQueue->Add(5, "two", 3);
    das.SendChannelData(20, "after");

    // It comes back: the link carries on where it stood.
    ASSERT_TRUE(das.Replug());
    ASSERT_TRUE(QFile::link(das.SlavePath(), name));
    // The port is tried again from the UI thread's event loop, at the watchdog's pace.
    ASSERT_TRUE(WaitUntil([&] { return das.WaitForBytes(5, 7, 0); }));
    EXPECT_EQ(das.ReceivedOn(5), "one,two");
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(*mux, received).size() >= 12; }));
    EXPECT_EQ(received, "before,after");
    ASSERT_TRUE(WaitUntil([&] { return ui.LastMessage() == "Connected to DAS"; }));
    EXPECT_EQ(prompt.Messages().size(), 1) << prompt.Messages().join('|').toStdString();
}

// The DAS's data packets come behind the host's acknowledgements with no echo ahead of them,
// more than three answers in a row: the link has seen that the line does not echo.
void ShowTheLineDoesNotEcho(TDasStandIn& line, TMux& mux)
{
    line.SetMaxPayload(10);
    const QByteArray text(60, 'n');
    line.SendChannelData(mux.GetChannelNumber(), text);
    QByteArray received;
    ASSERT_TRUE(WaitUntil([&] { return DrainInto(mux, received).size() >= text.size(); }));
    // The poll behind the last acknowledgement has been answered too.
    const uint32_t polls = line.polls.load();
    ASSERT_TRUE(WaitUntil([&] { return line.AllSent() && line.polls.load() > polls + 2; }));
}

// An idle link on a line that hears itself: the host answers each of the DAS's polls and never
// the echo of its own answer, which is byte for byte a poll. The DAS has kept quiet until the
// host listened again (SetSilent), so that no poll of its waited unanswered meanwhile.
void ExpectNoAnswerUnasked(TDasStandIn& line)
{
    const uint32_t unasked = line.unaskedAnswers.load();
    const uint32_t polls = line.polls.load();
    line.SetSilent(false);
    ASSERT_TRUE(WaitUntil([&] { return line.polls.load() >= polls + 20; }));
    EXPECT_EQ(line.unaskedAnswers.load(), unasked);
}

TEST_F(LinkThreadTest, ALineConnectedToIsLearntAnewWhateverTheLastOneShowed)
{
    // However late the stand-ins' threads bring an echo back on a busy machine.
    SetEchoLatencyForTest(std::chrono::seconds(10));
    TMux* mux = MuxArray->AddChannel(20);
    das.SetProtocol(1);
    Connect();
    ShowTheLineDoesNotEcho(das, *mux);

    TDasStandIn echoing;
    echoing.SetEcho(true);
    echoing.SetProtocol(1);
    echoing.SetSilent(true);
    echoing.Start();
    constexpr uint16_t kEchoingPort = kPtyPort + 1;
    SetComPortDevicePath(kEchoingPort, echoing.SlavePath());
    ASSERT_TRUE(Host.Disconnect());
    Host.SetDasPort(kEchoingPort);
    Connect();
    ExpectNoAnswerUnasked(echoing);
    // The same line connected again is new too: it may have been rewired meanwhile.
    echoing.SetEcho(false);
    ShowTheLineDoesNotEcho(echoing, *mux);
    echoing.SetSilent(true);
    ASSERT_TRUE(Host.Disconnect());
    echoing.SetEcho(true);
    Connect();
    ExpectNoAnswerUnasked(echoing);
    ASSERT_TRUE(Host.Disconnect());
}

TEST_F(LinkThreadTest, ALostPortThatComesBackIsLearntAnew)
{
    TFakePrompt prompt;
    SetEchoLatencyForTest(std::chrono::seconds(10));
    QTemporaryDir devices;
    const QString name = AdapterName(devices);
    TMux* mux = MuxArray->AddChannel(20);
    das.SetProtocol(1);
    Connect();
    ShowTheLineDoesNotEcho(das, *mux);

    // The adapter is pulled, and what is plugged in under its name hears itself.
    das.Unplug();
    QFile::remove(name);
    ASSERT_TRUE(WaitUntil([] { return !DasPortOpen(); }));
    das.SetEcho(true);
    das.SetSilent(true);
    ASSERT_TRUE(das.Replug());
    ASSERT_TRUE(QFile::link(das.SlavePath(), name));
    ASSERT_TRUE(WaitUntil([] { return DasPortOpen(); }));
    ExpectNoAnswerUnasked(das);
    EXPECT_EQ(prompt.Messages().size(), 1) << prompt.Messages().join('|').toStdString();
}

TEST_F(LinkThreadTest, PausingQueueingAndClearingWhileTheLinkRuns)
{
    das.SetProtocol(1);
    Connect();
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        // An echo reader's share: channel data from a thread of its own.
        for (int i = 0; !stop.load(); ++i) {
            Host.SendToChannel(30, "echo", 4);
            if (i % 50 == 0) {
                std::this_thread::yield();
            }
            if (SendQueue->Count() > 200) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    for (int i = 0; i < 60; ++i) {
        Host.QueueTimedCommand(255, "SENDSTATUS HOST 247", i % 3);
        Host.QueueTimedCommand(31, "text", 1);
        if (i % 4 == 0) {
            ASSERT_TRUE(Host.Pause());
            EXPECT_TRUE(Host.Thread().Parked());
            Host.Unpause();
        }
        if (i % 7 == 0) {
            Host.ClearCommandQueue();
            Host.ClearChannelData(30);
        }
        if (i % 11 == 0) {
            Host.ClearOutputBuffers();
        }
        (void)Host.Thread().CurrentPacketTime();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    producer.join();
    Host.ClearOutputBuffers();
    // The link still carries data afterwards.
    Host.SendToChannel(32, "last", 4);
    EXPECT_TRUE(das.WaitForBytes(32, 4));
    EXPECT_EQ(das.ReceivedOn(32), "last");
}

}  // namespace
