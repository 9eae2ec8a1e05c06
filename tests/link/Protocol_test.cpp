#include "link/Protocol.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "link/PacketBytes.h"
#include "link/Packets.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/SerialPort.h"
#include "support/TestWaits.h"
#include "support/das/DasStandIn.h"

namespace {

QByteArray Pattern(qsizetype size, uint32_t seed)
{
    std::mt19937 rng(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes) {
        c = static_cast<char>(rng());
    }
    return bytes;
}

// Drives the protocol engine against the DAS stand-in over a pseudo-terminal, playing the
// link thread's part: it keeps a packet pending while it has data and takes received packets.
class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(das.IsOpen());
        auto port = TTermiosPort::Open(das.SlavePath());
        ASSERT_TRUE(port);
        ASSERT_TRUE(port->ApplySettings(TSerialSettings{}));
        ASSERT_TRUE(port->SetReadTimeout(20));
        InstallDasPortForTest(std::move(port));
        ClearReceiveBuffer();
        ResetProtocolEngine();
        ResetLinkCounters();
        SetProtocol(kErrorCorrectingProtocol);
        link.Reset();
    }
    void TearDown() override
    {
        das.Stop();
        SetPostXmitPause(0);
        SetEchoLatencyForTest(kDefaultEchoLatency);
        CloseDasPort();
    }

    // Queues host bytes on `channel`, sent `payload` bytes a packet.
    void QueueHostData(uint8_t channel, const QByteArray& bytes, int payload = kMaxPayload)
    {
        hostChannel = channel;
        hostData = bytes;
        hostOffset = 0;
        hostPayload = payload;
    }
    void Refill()
    {
        if (link.pendingPacket.load() != nullptr || hostOffset >= hostData.size()) {
            return;
        }
        DataPacket& packet = TransmitPacket();
        std::memset(&packet, 0, kDataHeaderSize);
        const auto n = static_cast<int>(std::min<qsizetype>(hostPayload, hostData.size() - hostOffset));
        packet.channel[0] = hostChannel;
        packet.count[0] = static_cast<uint8_t>(n);
        std::memcpy(packet.data, hostData.constData() + hostOffset, static_cast<size_t>(n));
        SetPacketTimeLsbFirst(packet, QueueClockNow());
        hostOffset += n;
        link.pendingPacket = &packet;
    }
    void Step()
    {
        Refill();
        StepProtocol(link);
        if (const DataPacket* packet = link.receivedPacket.load()) {
            ++dispatched;
            for (int i = 0; i < 4 && (i == 0 || packet->count[i] > 0); ++i) {
                int offset = 0;
                for (int j = 0; j < i; ++j) {
                    offset += packet->count[j];
                }
                received[packet->channel[i]].append(
                    reinterpret_cast<const char*>(packet->data) + offset, packet->count[i]);
            }
            link.receivedPacket = nullptr;
            if (afterHandOn) {
                afterHandOn();
            }
        }
    }
    bool StepUntil(const std::function<bool()>& done, int timeoutMs = kTestWaitMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired()) {
                return false;
            }
            Step();
        }
        return true;
    }
    // Scripted DAS: steps until the host has written `count` bytes and takes them.
    QByteArray HostAnswer(qsizetype count)
    {
        EXPECT_TRUE(StepUntil([&] { return das.WaitForHostBytes(count, 0); }));
        // Let the engine settle back to listening so nothing further is pending.
        EXPECT_TRUE(StepUntil([] { return ErrorCorrectingState() == kStateIdle; }));
        return das.TakeHostBytes();
    }
    void StartScripted()
    {
        das.SetProtocol(0);
        das.Start();
    }
    // The host's data packet as a frame.
    static das::TFrame Frame(const QByteArray& bytes)
    {
        das::TFrameParser parser;
        parser.Feed(bytes);
        std::optional<das::TFrame> frame = parser.Next();
        return frame ? *frame : das::TFrame{};
    }

    // Both directions carry a stream at once; every byte must arrive once and in order.
    void Exchange(qsizetype size, int payload)
    {
        const QByteArray toDas = Pattern(size, 1);
        const QByteArray fromDas = Pattern(size, 2);
        das.SetMaxPayload(payload);
        das.SendChannelData(7, fromDas);
        QueueHostData(5, toDas, payload);
        das.Start();
        const bool done = StepUntil(
            [&] { return received[7].size() >= size && das.WaitForBytes(5, size, 0); },
            kExchangeTimeoutMs);
        EXPECT_TRUE(done) << "host got " << received[7].size() << ", DAS got "
                          << das.ReceivedOn(5).size();
        EXPECT_TRUE(received[7] == fromDas);
        EXPECT_TRUE(das.ReceivedOn(5) == toDas);
    }

    // Instrument data streams from the DAS while text typed for its instrument goes out, and
    // every third acknowledgement with a packet riding on it comes back with `bytes` bytes
    // spoilt. Nothing is lost or taken twice, and the host answers no echo of its own but at
    // most once for each one spoilt.
    void ExchangeWithSpoiltEchoes(int bytes)
    {
        SetEchoLatencyForTest(std::chrono::seconds(10));
        das.SetEcho(true);
        das.SetEchoSpoiling(3, bytes);
        das.SetTurnaround(std::chrono::microseconds(0));
        das.SetAnswerTimes(std::chrono::milliseconds(kTestWaitMs), std::chrono::milliseconds(10));
        Exchange(1 << 15, 64);
        EXPECT_GT(das.spoiltEchoes.load(), 20u);
        EXPECT_LE(das.unaskedAnswers.load(), das.spoiltEchoes.load());
    }

    // The link thread goes on from handing a packet on (and purging after its answer) only
    // once the DAS has begun its next one, as when it was held up meanwhile.
    void HandOnUntilTheDasHasBegun()
    {
        afterHandOn = [this] {
            QDeadlineTimer deadline(kTestWaitMs);
            while (GetCommInQueue(DasPortHandle()) == 0 && !das.AllSent() &&
                   !deadline.hasExpired()) {
                std::this_thread::yield();
            }
        };
    }
    // The DAS's stream on channel 7 arrives whole, and the DAS never had to send a packet
    // again nor the host to ask for one.
    void ExpectCarriedWithoutAskingAgain(const QByteArray& sent)
    {
        EXPECT_TRUE(StepUntil([&] { return received[7].size() >= sent.size(); }));
        EXPECT_TRUE(received[7] == sent);
        EXPECT_EQ(das.resends.load(), 0u);
        EXPECT_EQ(ProtocolCounters().naksSent.load(), 0u);
        EXPECT_EQ(PacketCounters().receiveErrors.load(), 0u);
    }

    static constexpr int kExchangeTimeoutMs = 60000;
    // One byte in a hundred spoiled makes most exchanges fail and many wait out a time-out,
    // so the noisy run carries 8 KB each way in small packets to stay within seconds.
    static constexpr qsizetype kCorruptedExchangeBytes = 1 << 13;

    TDasStandIn das;
    LinkState link;
    // Runs after each received packet is handed on (the link thread's dispatch).
    std::function<void()> afterHandOn;
    std::map<int, QByteArray> received;
    int dispatched = 0;
    uint8_t hostChannel = 0;
    QByteArray hostData;
    qsizetype hostOffset = 0;
    int hostPayload = kMaxPayload;
};

TEST_F(ProtocolTest, PollWithNothingPendingIsAnsweredWithNakZero)
{
    StartScripted();
    das.WriteControl(kNak, 0);
    EXPECT_EQ(HostAnswer(6), kNak0);
    EXPECT_EQ(ProtocolCounters().naksReceived.load(), 0u);
}

TEST_F(ProtocolTest, PendingPacketIsSentOnEveryPollUntilAcknowledged)
{
    StartScripted();
    QueueHostData(5, "ABC");
    Refill();
    das.WriteControl(kNak, 0);
    const QByteArray first = HostAnswer(21);
    const das::TFrame frame = Frame(first);
    ASSERT_EQ(frame.kind, das::TFrame::TKind::Data);
    EXPECT_EQ(frame.sequence, 0);
    EXPECT_EQ(frame.flags, 0);
    EXPECT_EQ(frame.segments[0].channel, 5);
    EXPECT_EQ(frame.segments[0].bytes, "ABC");

    das.WriteControl(kNak, 0);
    EXPECT_EQ(HostAnswer(21), first);
    EXPECT_EQ(ProtocolCounters().resends.load(), 0u);

    // A NAK naming a packet counts as a NAK and a resend.
    das.WriteControl(kNak, 5);
    EXPECT_EQ(HostAnswer(21), first);
    EXPECT_EQ(ProtocolCounters().naksReceived.load(), 1u);
    EXPECT_EQ(ProtocolCounters().resends.load(), 1u);

    // The ACK frees the host to speak at once: nothing more queued, so a NAK 0.
    das.WriteControl(kAck, 0);
    EXPECT_EQ(HostAnswer(6), kNak0);
    EXPECT_EQ(link.pendingPacket.load(), nullptr);
    EXPECT_EQ(link.sendSequence.load(), 1);
}

TEST_F(ProtocolTest, DasDataIsAcknowledgedAndHandedOnOnce)
{
    StartScripted();
    das.WriteData(9, 0, 0x01020304, {{7, "0123456789"}});
    EXPECT_EQ(HostAnswer(6), kAck9);
    EXPECT_EQ(received[7], "0123456789");

    // A repeat is acknowledged again but not handed on.
    das.WriteData(9, 0, 0x01020304, {{7, "0123456789"}});
    EXPECT_EQ(HostAnswer(6), kAck9);
    EXPECT_EQ(received[7], "0123456789");
    EXPECT_EQ(ProtocolCounters().duplicates.load(), 1u);

    // Flagged to be taken even when repeated.
    das.WriteData(9, kFlagAcceptRepeat, 0, {{7, "again"}});
    EXPECT_EQ(HostAnswer(6), kAck9);
    EXPECT_EQ(received[7], "0123456789again");
    EXPECT_EQ(dispatched, 2);
}

TEST_F(ProtocolTest, HostPacketRidesOnAckd)
{
    StartScripted();
    QueueHostData(5, "ABC");
    Refill();
    das.WriteData(9, 0, 0, {{7, "xyz"}});
    const QByteArray answer = HostAnswer(6 + 21);
    EXPECT_EQ(answer.left(6), kAckd9);
    const das::TFrame frame = Frame(answer.mid(6));
    EXPECT_EQ(frame.segments[0].bytes, "ABC");
    EXPECT_EQ(received[7], "xyz");
    EXPECT_NE(link.pendingPacket.load(), nullptr);

    // Still pending: a poll gets it again; the DAS's ACKd then frees it, with no answer.
    das.WriteControl(kNak, 0);
    EXPECT_EQ(HostAnswer(21), answer.mid(6));
    das.WriteControl(kAckd, 0);
    EXPECT_TRUE(StepUntil([&] { return link.pendingPacket.load() == nullptr; }));
    EXPECT_EQ(ProtocolCounters().ackdsReceived.load(), 1u);
    for (int i = 0; i < 3; ++i) {
        Step();
    }
    EXPECT_TRUE(das.TakeHostBytes().isEmpty());
}

TEST_F(ProtocolTest, NakdMakesTheHostListenForTheDasData)
{
    StartScripted();
    das.WriteControl(kNakd, 0);
    EXPECT_TRUE(StepUntil([] { return ErrorCorrectingState() == kStateNakdListen; }));
    for (int i = 0; i < 3; ++i) {
        Step();
    }
    EXPECT_TRUE(das.TakeHostBytes().isEmpty());
    das.WriteData(9, 0, 0, {{7, "late"}});
    EXPECT_EQ(HostAnswer(6), kAck9);
    EXPECT_EQ(received[7], "late");
}

TEST_F(ProtocolTest, BadPacketIsAnsweredWithNakOnceTheLineIsQuiet)
{
    StartScripted();
    QByteArray bad = das::EncodeData(4, 0, 0, {{7, "spoiled"}});
    bad[18] = static_cast<char>(bad[18] ^ 0x20);
    das.WriteRaw(bad);
    EXPECT_EQ(HostAnswer(6), kNak0);
    EXPECT_GE(ProtocolCounters().purges.load(), 1u);
    EXPECT_GE(ProtocolCounters().naksSent.load(), 1u);
    EXPECT_TRUE(received.empty());

    // Garbage twice in a row is answered once.
    das.WriteRaw(QByteArray(8, 'z'));
    EXPECT_EQ(HostAnswer(6), kNak0);
    das.WriteRaw(QByteArray(8, 'z'));
    for (int i = 0; i < 5; ++i) {
        Step();
    }
    EXPECT_TRUE(das.TakeHostBytes().isEmpty());
}

TEST_F(ProtocolTest, TheNextPacketFollowsAnAckAndOnlyTheAckNamingAPacketConfirmsIt)
{
    StartScripted();
    QueueHostData(5, "0123456789", 5);
    Refill();
    das.WriteControl(kNak, 0);
    EXPECT_EQ(Frame(HostAnswer(23)).segments[0].bytes, "01234");
    // The ACK frees the next packet at once, without a poll.
    das.WriteControl(kAck, 0);
    const das::TFrame second = Frame(HostAnswer(23));
    EXPECT_EQ(second.sequence, 1);
    EXPECT_EQ(second.segments[0].bytes, "56789");

    // The DAS acknowledges packet 0 once more (it had a resent copy): packet 1 stays pending
    // and, the host's turn given, goes again.
    das.WriteControl(kAck, 0);
    const das::TFrame again = Frame(HostAnswer(23));
    EXPECT_EQ(again.sequence, 1);
    EXPECT_EQ(again.segments[0].bytes, "56789");
    EXPECT_EQ(ProtocolCounters().staleAcks.load(), 1u);
    EXPECT_EQ(ProtocolCounters().acksReceived.load(), 2u);

    // A stale ACKd frees nothing either.
    das.WriteControl(kAckd, 0);
    EXPECT_TRUE(StepUntil([] { return ProtocolCounters().ackdsReceived.load() == 1; }));
    EXPECT_NE(link.pendingPacket.load(), nullptr);
    EXPECT_EQ(link.sendSequence.load(), 1);
    EXPECT_EQ(ProtocolCounters().staleAcks.load(), 2u);

    // The ACK that names it does; with nothing left the host polls.
    das.WriteControl(kAck, 1);
    EXPECT_EQ(HostAnswer(6), kNak0);
    EXPECT_EQ(link.pendingPacket.load(), nullptr);
    EXPECT_EQ(link.sendSequence.load(), 2);

    // With nothing pending an ACK moves no number.
    das.WriteControl(kAck, 2);
    EXPECT_EQ(HostAnswer(6), kNak0);
    EXPECT_EQ(link.sendSequence.load(), 2);
    EXPECT_EQ(ProtocolCounters().staleAcks.load(), 3u);
}

TEST_F(ProtocolTest, RepeatedAcknowledgementsLoseNoHostPacket)
{
    // Every fifth host packet is lost on the line and answered with the acknowledgement of
    // the one before: each must be sent again, none dropped unsent.
    das.SetRepeatAcknowledgements(5);
    Exchange(1 << 16, kMaxPayload);
    // A repeat read together with what follows it is passed over unseen; the rest are
    // counted as stale.
    EXPECT_GT(ProtocolCounters().staleAcks.load(), 0u);
    EXPECT_LE(ProtocolCounters().staleAcks.load(), das.repeatedAcks.load());
}

TEST_F(ProtocolTest, SendSequenceWrapsAfter255)
{
    link.sendSequence = 255;
    DataPacket packet{};
    link.pendingPacket = &packet;
    DropPendingPacket(link);
    EXPECT_EQ(link.sendSequence.load(), 0);
    EXPECT_EQ(link.pendingPacket.load(), nullptr);
}

TEST_F(ProtocolTest, LevelTwoSendsWithoutPollsAndAcknowledgesNothing)
{
    SetProtocol(kErrorDetectingProtocol);
    StartScripted();
    QueueHostData(5, "ABC");
    Refill();
    const QByteArray packet = HostAnswer(21);
    EXPECT_EQ(Frame(packet).segments[0].bytes, "ABC");
    EXPECT_EQ(link.pendingPacket.load(), nullptr);
    EXPECT_EQ(link.sendSequence.load(), 1);

    das.WriteData(1, 0, 0, {{7, "one"}});
    das.WriteData(2, 0, 0, {{7, "two"}});
    EXPECT_TRUE(StepUntil([&] { return received[7] == "onetwo"; }));
    for (int i = 0; i < 3; ++i) {
        Step();
    }
    EXPECT_TRUE(das.TakeHostBytes().isEmpty());
}

// Between the DAS's switch to level 2 and the host's own, the host still answers each DAS
// packet with ACKd and its unacknowledged packet: the DAS runs that command once, not once per
// answer.
TEST_F(ProtocolTest, DasAtLevelTwoTakesTheHostsRepeatedPacketOnce)
{
    das.SetProtocol(2);
    das.Start();
    QueueHostData(5, "SendAnalog 1  Host 11");
    Refill();
    // The host answers each DAS packet with its unacknowledged one. Nothing paces the two
    // sides, so a DAS packet that meets the host's own write on the line may be lost: the DAS
    // sends until the host has repeated itself a few times.
    for (int i = 0; i < 50 && das.hostDuplicates.load() < 3; ++i) {
        const qsizetype before = received[7].size();
        das.SendChannelData(7, QByteArray::number(i % 10));
        StepUntil([&] { return received[7].size() > before; }, 1000);
    }
    EXPECT_TRUE(das.WaitForBytes(5, 1));
    EXPECT_EQ(das.ReceivedOn(5), "SendAnalog 1  Host 11");
    EXPECT_GE(das.hostDuplicates.load(), 3u);
}

TEST_F(ProtocolTest, LevelTwoKeepsThePacketWhileTheOutputIsBusy)
{
    auto port = std::make_unique<TFakeSerialPort>();
    TFakeSerialPort* fake = port.get();
    InstallDasPortForTest(std::move(port));
    SetProtocol(kErrorDetectingProtocol);
    fake->SetOutQueue(10);
    QueueHostData(5, "ABC");
    Refill();
    for (int i = 0; i < 3; ++i) {
        StepProtocol(link);
    }
    EXPECT_NE(link.pendingPacket.load(), nullptr);
    EXPECT_TRUE(fake->Written().isEmpty());
    fake->SetOutQueue(0);
    StepProtocol(link);
    EXPECT_EQ(link.pendingPacket.load(), nullptr);
    EXPECT_EQ(fake->Written().size(), 21);
}

TEST_F(ProtocolTest, APacketTheDasSendsWhileTheHostHandsOnTheLastIsNotPurged)
{
    // A DAS that answers at once sends its next packet while the host is still handing on the
    // last one (waiting for room in a channel's ring, writing an archive): the purge after the
    // host's acknowledgement must not throw it away, whole or in part.
    das.SetTurnaround(std::chrono::microseconds(0));
    // Long enough that no packet is sent twice unless it was lost.
    das.SetAnswerTimes(std::chrono::milliseconds(kTestWaitMs), std::chrono::milliseconds(10));
    const QByteArray data = Pattern(20 * kMaxPayload, 3);
    das.SendChannelData(7, data);
    HandOnUntilTheDasHasBegun();
    das.Start();
    ExpectCarriedWithoutAskingAgain(data);
}

TEST_F(ProtocolTest, AFastDasOnALineThatDoesNotEchoNeverHasToAskAgain)
{
    // Text lines paced at the line's rate, from a DAS that answers at once. The host purges
    // after each acknowledgement with the DAS's next packet begun: its line feed alone, or up
    // to a line feed of its text and the next line's first digit.
    das.SetBaudRate(115200);
    das.SetTurnaround(std::chrono::microseconds(0));
    das.SetPollInterval(std::chrono::milliseconds(0));
    das.SetAnswerTimes(std::chrono::milliseconds(kTestWaitMs), std::chrono::milliseconds(10));
    das.SetPacketGap(std::chrono::milliseconds(3));
    HandOnUntilTheDasHasBegun();
    QByteArray lines;
    for (int i = 0; lines.size() < 6000; ++i) {
        lines += QByteArray::number(21.5 + i % 97 / 1000.0, 'f', 3) + ",8.20" +
                 QByteArray::number(i % 100) + "\r\n";
    }
    das.SetMaxPayload(60);
    das.SendChannelData(7, lines);
    das.Start();
    ExpectCarriedWithoutAskingAgain(lines);
}

TEST_F(ProtocolTest, OnALineThatEchoesTheHostNeverAnswersItsOwnEcho)
{
    // However late the stand-in's thread brings the echo back on a busy machine.
    SetEchoLatencyForTest(std::chrono::seconds(10));
    das.SetEcho(true);
    das.SetTurnaround(std::chrono::microseconds(0));
    das.SetAnswerTimes(std::chrono::milliseconds(kTestWaitMs), std::chrono::milliseconds(10));
    Exchange(1 << 16, kMaxPayload);
    EXPECT_EQ(das.unaskedAnswers.load(), 0u);
    EXPECT_EQ(das.resends.load(), 0u);
    EXPECT_EQ(ProtocolCounters().naksSent.load(), 0u);
}

TEST_F(ProtocolTest, TheHostsOwnPacketsAreNeverTakenForTheDasOnesWhateverSpoilsTheirEcho)
{
    // The DAS's data packet 5 comes while the host's packet waits: the host answers with an
    // ACKd 5 and its own packet, whose echo comes back with one bit flipped, then the DAS goes
    // on. Its own data packet is never handed on nor acknowledged, its own ACKd never confirms
    // its packet (the sequences meet when the host's packet is number 5 too). The echo comes in
    // pieces, the ACKd first; also with two bytes of the ACKd or of the data packet spoilt.
    auto port = std::make_unique<TFakeSerialPort>();
    TFakeSerialPort* fake = port.get();
    InstallDasPortForTest(std::move(port));
    SetEchoLatencyForTest(std::chrono::hours(1));
    const auto dasData = [](uint8_t sequence, const QByteArray& text) {
        return das::EncodeData(sequence, 0, 1000, {{7, text}});
    };
    const QByteArray ackdHeader = Bytes({0x0A, 0x32, kAckd, 5});
    enum TSpoilt { kAckdStart, kAckdCrc, kPayload, kDataCrc, kAckdTwice, kDataTwice };
    for (const TSpoilt spoilt :
         {kAckdStart, kAckdCrc, kPayload, kDataCrc, kAckdTwice, kDataTwice}) {
        for (const uint8_t hostSequence : {uint8_t{5}, uint8_t{9}}) {
            for (const bool dasGoesOn : {true, false}) {
                const std::string what = "spoilt at " + std::to_string(spoilt) + ", host packet " +
                                         std::to_string(hostSequence) +
                                         (dasGoesOn ? ", DAS goes on" : ", DAS sends again");
                ClearReceiveBuffer();
                ResetProtocolEngine();
                link.Reset();
                link.sendSequence = hostSequence;
                received.clear();
                QueueHostData(5, "typed text");
                fake->TakeWritten();
                fake->FeedInput(dasData(5, "das 5 "));
                ASSERT_TRUE(StepUntil([&] { return fake->Written().size() >= 6 + 18 + 10; }));
                // The echo comes after the purge that follows the answer.
                ASSERT_TRUE(StepUntil([] { return ErrorCorrectingState() == kStateIdle; }));
                const QByteArray answer = fake->TakeWritten();
                ASSERT_EQ(answer.left(4), ackdHeader) << what;
                ASSERT_EQ(static_cast<uint8_t>(answer[8]), hostSequence) << what;

                QByteArray echo = answer;
                const qsizetype places[] = {0, 5, 6 + 16, echo.size() - 1, 0, 6};
                echo[places[spoilt]] = static_cast<char>(echo[places[spoilt]] ^ 0x01);
                if (spoilt >= kAckdTwice) {
                    const qsizetype second = places[spoilt] + 4;
                    echo[second] = static_cast<char>(echo[second] ^ 0x80);
                }
                // The DAS confirms the host's packet with its own next one, or did not hear the
                // answer and sends its packet 5 again.
                const QByteArray reply =
                    dasGoesOn ? das::EncodeControl(kAckd, hostSequence) + dasData(6, "das 6 ")
                              : dasData(5, "das 5 ");
                for (const QByteArray& piece :
                     {echo.left(6), echo.mid(6, 10), echo.mid(16), reply}) {
                    fake->FeedInput(piece);
                    for (int i = 0; i < 20; ++i) {
                        Step();
                    }
                }
                ASSERT_TRUE(StepUntil([&] {
                    return fake->Written().size() >= (dasGoesOn ? 6 : answer.size());
                })) << what;
                for (int i = 0; i < 20; ++i) {
                    Step();
                }
                EXPECT_TRUE(received[5].isEmpty()) << what;
                if (dasGoesOn) {
                    EXPECT_EQ(received[7], "das 5 das 6 ") << what;
                    EXPECT_EQ(link.pendingPacket.load(), nullptr) << what;
                    EXPECT_EQ(fake->TakeWritten(), das::EncodeControl(kAck, 6)) << what;
                } else {
                    EXPECT_EQ(received[7], "das 5 ") << what;
                    // Still unconfirmed, the host's packet rides on the next answer again.
                    EXPECT_NE(link.pendingPacket.load(), nullptr) << what;
                    EXPECT_EQ(fake->TakeWritten(), answer) << what;
                }
            }
        }
    }
}

TEST_F(ProtocolTest, OnALineThatEchoesSpoiltEchoesLoseNothingAndAreNotAnswered)
{
    ExchangeWithSpoiltEchoes(1);
}

TEST_F(ProtocolTest, OnALineThatEchoesEchoesSpoiltInTwoBytesLoseNothingAndAreNotAnswered)
{
    ExchangeWithSpoiltEchoes(2);
}

TEST_F(ProtocolTest, WhatComesDuringThePostTransmitPauseIsNotListenedTo)
{
    auto port = std::make_unique<TFakeSerialPort>();
    TFakeSerialPort* fake = port.get();
    InstallDasPortForTest(std::move(port));
    for (const int64_t pause : {kPerfFrequency / 1000, int64_t{0}}) {
        SetPostXmitPause(pause);
        ClearReceiveBuffer();
        ResetProtocolEngine();
        fake->TakeWritten();
        // The DAS polls; the host answers; the DAS's data comes while the pause runs.
        fake->FeedInput(kNak0);
        while (fake->Written().isEmpty() && dispatched == 0) {
            Step();
        }
        ASSERT_EQ(fake->TakeWritten(), kNak0);
        fake->FeedInput(kDataAbc);
        for (int i = 0; i < 8; ++i) {
            Step();
        }
        EXPECT_EQ(dispatched, pause > 0 ? 0 : 1) << pause;
        EXPECT_EQ(fake->Written().isEmpty(), pause > 0) << pause;
    }
}

TEST_F(ProtocolTest, ThePostTransmitPauseRunsItsWholeLengthAndWhatCameBeforeItsEndIsDropped)
{
    auto port = std::make_unique<TFakeSerialPort>();
    TFakeSerialPort* fake = port.get();
    InstallDasPortForTest(std::move(port));
    SetPostXmitPause(20 * kPerfFrequency / 1000);
    // The poll comes with the start of a packet behind it, read into the receive buffer with it.
    fake->FeedInput(kNak0 + kDataAbc.left(5));
    while (fake->Written().isEmpty()) {
        Step();
    }
    ASSERT_EQ(fake->TakeWritten(), kNak0);
    ASSERT_EQ(ErrorCorrectingState(), kStateWaitXmit);
    Step();
    EXPECT_GE(PerfCounter(), GetPostXmitDeadline()) << "the pause ended early";
    // Nothing heard before the pause ended is joined to what comes after it.
    fake->FeedInput(kDataAbc);
    for (int i = 0; i < 8 && dispatched == 0; ++i) {
        Step();
    }
    EXPECT_EQ(dispatched, 1);
    // Acknowledged: an ACK (kind 1) naming the packet's sequence 3.
    const QByteArray answer = fake->TakeWritten();
    ASSERT_EQ(answer.size(), 6);
    EXPECT_EQ(answer.mid(0, 4), Bytes({0x0A, 0x32, 0x01, 0x03}));
    EXPECT_EQ(PacketCounters().receiveErrors.load(), 0u);
}

TEST_F(ProtocolTest, LevelOneCarriesAMegabyteEachWayExactlyOnce)
{
    Exchange(1 << 20, kMaxPayload);
}

TEST_F(ProtocolTest, LevelOneRecoversFromCorruptedBytesInBothDirections)
{
    das.SetLineFaults(0.01, 0, 20240601);
    Exchange(kCorruptedExchangeBytes, 48);
    EXPECT_GT(das.badFrames.load() + PacketCounters().receiveErrors.load(), 0u);
}

TEST_F(ProtocolTest, LevelOneCarriesAMegabyteEachWayOnANoisyLine)
{
    // One packet in a hundred is spoiled on its way, in each direction: every byte still
    // arrives once and in order, whatever is resent and acknowledged twice.
    das.SetWriteFaults(0.01, 20240602);
    Exchange(1 << 20, kMaxPayload);
    EXPECT_GT(das.badFrames.load(), 0u);
    EXPECT_GT(PacketCounters().receiveErrors.load(), 0u);
    EXPECT_GT(das.resends.load(), 0u);
}

}  // namespace
