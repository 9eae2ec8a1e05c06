#include "link/Packets.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <vector>

#include "link/PacketBytes.h"
#include "link/Protocol.h"
#include "link/Serial.h"
#include "platform/SerialPort.h"
#include "support/TestWaits.h"

namespace {

// A data packet on channel 1 carrying `payload`, with its CRC.
QByteArray DataPacketBytes(uint8_t sequence, const QByteArray& payload)
{
    QByteArray p = Bytes({0x0A, 0x31, sequence, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                          static_cast<int>(payload.size()), 0, 0, 0});
    p.append(payload);
    const uint16_t crc = Crc16(reinterpret_cast<const uint8_t*>(p.constData()),
                               static_cast<uint32_t>(p.size()));
    p.append(static_cast<char>(crc >> 8));
    p.append(static_cast<char>(crc & 0xFF));
    return p;
}

// The host's data packet for channel 5 carrying "ABC", before it is sent.
DataPacket HostPacket()
{
    DataPacket packet{};
    packet.channel[0] = 5;
    packet.count[0] = 3;
    std::memcpy(packet.data, "ABC", 3);
    return packet;
}

// A playback file held in memory.
class TMemorySource final : public TPlaybackSource {
public:
    explicit TMemorySource(QByteArray bytes) : bytes_(std::move(bytes)) {}
    bool IsOpen() const override { return open_; }
    uint32_t Read(uint8_t* buffer, uint32_t room) override
    {
        const auto n = static_cast<uint32_t>(std::min<qsizetype>(room, bytes_.size()));
        std::memcpy(buffer, bytes_.constData(), n);
        bytes_.remove(0, n);
        return n;
    }
    void Close() override { open_ = false; }

private:
    QByteArray bytes_;
    bool open_ = true;
};

class PacketsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto port = std::make_unique<TFakeSerialPort>();
        fake = port.get();
        InstallDasPortForTest(std::move(port));
        ClearReceiveBuffer();
        ResetLinkCounters();
        SetProtocol(kErrorCorrectingProtocol);
        SetPlayingBack(false);
        SetPlaybackSource(nullptr);
        // Each case's echo is in time, however slowly the test runs.
        SetEchoLatencyForTest(std::chrono::hours(1));
    }
    void TearDown() override
    {
        SetEchoLatencyForTest(kDefaultEchoLatency);
        SetPlayingBack(false);
        SetPlaybackSource(nullptr);
        CloseProtocolLogs();
        CloseDasPort();
    }

    int Receive(const QByteArray& bytes)
    {
        fake->FeedInput(bytes);
        return ReceivePackets();
    }
    QByteArray Copy(const DataPacket& packet)
    {
        return QByteArray(reinterpret_cast<const char*>(&packet),
                          static_cast<qsizetype>(PacketPayloadLength(packet) + 18));
    }
    uint32_t Errors() { return PacketCounters().receiveErrors.load(); }
    // The host answers with an ACKd 9 and its packet 9 riding on it, or with a NAK 0; what it
    // wrote, the echo of it.
    QByteArray Answer(bool riding)
    {
        fake->TakeWritten();
        DataPacket packet = HostPacket();
        const bool sent = riding ? SendAckPacket(kAckd, 9) && SendDataPacket(packet, 9)
                                 : SendAckPacket(kNak, 0);
        EXPECT_TRUE(sent);
        return fake->TakeWritten();
    }

    TFakeSerialPort* fake = nullptr;
};

TEST_F(PacketsTest, CrcMatchesTheCheckValue)
{
    const char* check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 9, 0), 0x31C3);
    EXPECT_TRUE(PacketCrcOk(reinterpret_cast<const uint8_t*>(kAck9.constData()), 6));
    QByteArray bad = kAck9;
    bad[5] = 0x77;
    EXPECT_FALSE(PacketCrcOk(reinterpret_cast<const uint8_t*>(bad.constData()), 6));
}

TEST_F(PacketsTest, ControlPacketsGoOutByteExact)
{
    ASSERT_TRUE(SendAckPacket(kNak, 0));
    ASSERT_TRUE(SendAckPacket(kAck, 9));
    ASSERT_TRUE(SendAckPacket(kAckd, 9));
    ASSERT_TRUE(SendAckPacket(kNakd, 0));
    EXPECT_EQ(fake->TakeWritten(), kNak0 + kAck9 + Bytes({0x0A, 0x32, 0x03, 0x09, 0x07, 0x14}) +
                                       Bytes({0x0A, 0x32, 0x02, 0x00, 0xA5, 0x0C}));
}

TEST_F(PacketsTest, DataPacketsGoOutByteExact)
{
    DataPacket packet = HostPacket();
    ASSERT_TRUE(SendDataPacket(packet, 3));
    EXPECT_EQ(fake->TakeWritten(), kDataAbc);

    DataPacket empty{};
    ASSERT_TRUE(SendDataPacket(empty, 0));
    const QByteArray written = fake->TakeWritten();
    ASSERT_EQ(written.size(), 18);
    EXPECT_EQ(written.right(2), Bytes({0x2C, 0x8E}));
    EXPECT_EQ(CheckPacket(reinterpret_cast<const uint8_t*>(written.constData()), 18), kRcvData);
}

TEST_F(PacketsTest, DataPacketClaimingMoreThanItCanCarryIsNotSent)
{
    DataPacket packet{};
    packet.count[0] = 200;
    packet.count[1] = 100;
    EXPECT_FALSE(SendDataPacket(packet, 1));
    EXPECT_TRUE(fake->Written().isEmpty());
}

TEST_F(PacketsTest, DasPacketTimeReadsMostSignificantByteFirst)
{
    const QByteArray packet =
        Bytes({0x0A, 0x31, 0x09, 0x00, 0x01, 0x02, 0x03, 0x04, 0x07, 0, 0, 0, 0x0A, 0, 0, 0}) +
        QByteArray("0123456789") + Bytes({0x3C, 0x77});
    ASSERT_EQ(Receive(packet), kRcvData);
    const DataPacket& copy = ReceivedDataPacket();
    EXPECT_EQ(PacketTimeMsbFirst(copy), 0x01020304u);
    EXPECT_EQ(copy.channel[0], 7);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(copy.data), 10), "0123456789");
}

TEST_F(PacketsTest, CheckPacketClassifiesEveryCase)
{
    const auto check = [](const QByteArray& b) {
        return CheckPacket(reinterpret_cast<const uint8_t*>(b.constData()),
                           static_cast<uint32_t>(b.size()));
    };
    EXPECT_EQ(check(Bytes({0, 0, 0, 0, 0, 0})), kRcvFramingError);
    EXPECT_EQ(check(Bytes({0x0A, 0x33, 0, 0, 0, 0})), kRcvFramingError);
    EXPECT_EQ(check(Bytes({0x0A})), kRcvNothing);
    EXPECT_EQ(check(kAck9), kRcvControl);
    EXPECT_EQ(check(kAck9.left(5)), kRcvNothing);
    QByteArray badAck = kAck9;
    badAck[4] = 0;
    EXPECT_EQ(check(badAck), kRcvControlCrcError);
    EXPECT_EQ(check(kDataAbc), kRcvData);
    EXPECT_EQ(check(kDataAbc.left(10)), kRcvNothing);
    EXPECT_EQ(check(kDataAbc.left(20)), kRcvNothing);
    QByteArray badData = kDataAbc;
    badData[17] = 'X';
    EXPECT_EQ(check(badData), kRcvDataCrcError);
}

TEST_F(PacketsTest, CountsAboveAPacketsRoomAreAFramingErrorNeverCopied)
{
    QByteArray header = Bytes({0x0A, 0x31, 1, 0, 0, 0, 0, 0, 1, 2, 0, 0, 255, 255, 0, 0});
    QByteArray packet = header + QByteArray(510, 'x');
    const uint16_t crc = Crc16(reinterpret_cast<const uint8_t*>(packet.constData()),
                               static_cast<uint32_t>(packet.size()));
    packet.append(static_cast<char>(crc >> 8));
    packet.append(static_cast<char>(crc & 0xFF));
    EXPECT_EQ(CheckPacket(reinterpret_cast<const uint8_t*>(packet.constData()), 16),
              kRcvFramingError);
    // Level 2 reports the error itself; the resynchronisation then drops the whole claim.
    SetProtocol(kErrorDetectingProtocol);
    EXPECT_EQ(Receive(packet), kRcvFramingError);
    EXPECT_EQ(Errors(), 1u);
    EXPECT_EQ(PacketCounters().dataPacketsReceived.load(), 0u);
    // What is left of it is dropped on the way to the next good packet.
    fake->FeedInput(kAck9);
    int result = kRcvNothing;
    for (int i = 0; i < 5 && result != kRcvControl; ++i) {
        result = ReceivePackets();
    }
    EXPECT_EQ(result, kRcvControl);
    EXPECT_EQ(ReceivedControlPacket().sequence, 9);
}

TEST_F(PacketsTest, FiveBytesOrFewerAreNeverClassified)
{
    EXPECT_EQ(Receive(Bytes({0, 0, 0, 0, 0})), kRcvNothing);
    EXPECT_EQ(Errors(), 0u);
    // The sixth is classified: an error, reported though only the last byte is kept.
    EXPECT_EQ(Receive(Bytes({0})), kRcvFramingError);
    EXPECT_EQ(Errors(), 1u);
    EXPECT_EQ(ReceiveBufferFill(), 1u);
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
}

TEST_F(PacketsTest, GarbageBeforeAPacketIsDroppedByResynchronising)
{
    EXPECT_EQ(Receive(QByteArray("xyz") + kAck9), kRcvControl);
    EXPECT_EQ(Errors(), 1u);
    EXPECT_EQ(PacketCounters().controlPacketsReceived.load(), 1u);
    EXPECT_EQ(ReceivedControlPacket().kind, kAck);
    EXPECT_EQ(ReceiveBufferFill(), 0u);
}

TEST_F(PacketsTest, LevelOneReportsOnlyTheLastOfTwoDataPackets)
{
    EXPECT_EQ(Receive(DataPacketBytes(1, "one") + DataPacketBytes(2, "two")), kRcvData);
    EXPECT_EQ(ReceivedDataPacket().sequence, 2);
    EXPECT_EQ(PacketCounters().dataPacketsReceived.load(), 2u);
    EXPECT_EQ(ReceiveBufferFill(), 0u);
}

TEST_F(PacketsTest, LevelTwoReportsEachPacketInTurn)
{
    SetProtocol(kErrorDetectingProtocol);
    EXPECT_EQ(Receive(DataPacketBytes(1, "one") + DataPacketBytes(2, "two")), kRcvData);
    EXPECT_EQ(ReceivedDataPacket().sequence, 1);
    EXPECT_EQ(ReceivePackets(), kRcvData);
    EXPECT_EQ(ReceivedDataPacket().sequence, 2);
}

TEST_F(PacketsTest, ControlPacketFollowedByItsSequelIsReported)
{
    EXPECT_EQ(Receive(kAck9 + Bytes({0x0A, 0x31, 0x05})), kRcvControl);
    EXPECT_EQ(ReceiveBufferFill(), 3u);
    const QByteArray packet = DataPacketBytes(5, "five");
    EXPECT_EQ(Receive(packet.mid(3)), kRcvData);
    EXPECT_EQ(ReceivedDataPacket().sequence, 5);

    // A plain NAK after the ACK replaces it.
    EXPECT_EQ(Receive(kAck9 + kNak0), kRcvControl);
    EXPECT_EQ(ReceivedControlPacket().kind, kNak);
}

TEST_F(PacketsTest, ControlPacketWithTooFewBytesAfterItIsKept)
{
    EXPECT_EQ(Receive(kAck9 + Bytes({0x0A, 0x32})), kRcvControl);
    EXPECT_EQ(ReceivedControlPacket().kind, kAck);
    EXPECT_EQ(ReceiveBufferFill(), 2u);
}

TEST_F(PacketsTest, BytesMissingOfABegunPacketAreWhatItsBytesSoFarTell)
{
    const QByteArray data = DataPacketBytes(7, QByteArray(100, 'x'));  // 118 bytes
    const struct {
        QByteArray buffered;
        uint32_t missing;
    } cases[] = {
        {{}, 0},
        {Bytes({0x0A}), 5},                    // the shortest packet, a control packet
        {kAck9.left(3), 3},
        {data.left(4), 14},                    // at least an empty data packet
        {data.left(16), 102},                  // the header tells
        {data.left(117), 1},
        {Bytes({0x0A, 0x39}), 0},              // no packet type
        {Bytes({0x41, 0x0A, 0x31}), 0},        // noise first: nothing is begun at the start
    };
    for (const auto& c : cases) {
        ClearReceiveBuffer();
        EXPECT_EQ(Receive(c.buffered), kRcvNothing) << c.buffered.toHex().toStdString();
        EXPECT_EQ(PacketBytesMissing(), c.missing) << c.buffered.toHex().toStdString();
    }
    // A packet taken leaves nothing awaited.
    ClearReceiveBuffer();
    EXPECT_EQ(Receive(data), kRcvData);
    EXPECT_EQ(PacketBytesMissing(), 0u);
}

TEST_F(PacketsTest, PacketFedOneByteAtATimeIsReportedOnce)
{
    int reports = 0;
    for (qsizetype i = 0; i < kDataAbc.size(); ++i) {
        const int result = Receive(kDataAbc.mid(i, 1));
        if (i + 1 < kDataAbc.size()) {
            EXPECT_EQ(result, kRcvNothing) << "byte " << i;
        } else {
            EXPECT_EQ(result, kRcvData);
        }
        reports += result == kRcvData;
    }
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
}

TEST_F(PacketsTest, PlaybackReportsEveryPacketAndClosesAtTheEnd)
{
    CloseDasPort();
    TMemorySource source(DataPacketBytes(1, "one") + DataPacketBytes(2, "two"));
    SetPlaybackSource(&source);
    SetPlayingBack(true);
    EXPECT_TRUE(PlaybackFileOpen());
    EXPECT_EQ(ReceivePackets(), kRcvData);
    EXPECT_EQ(ReceivedDataPacket().sequence, 1);
    EXPECT_EQ(ReceivePackets(), kRcvData);
    EXPECT_EQ(ReceivedDataPacket().sequence, 2);
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
    EXPECT_FALSE(PlaybackFileOpen());
}

// --- The purge after the host's answer ---

TEST_F(PacketsTest, ThePurgeAfterAnAnswerKeepsWhatTheDasHasBegunToSend)
{
    // A DAS that answers at once: when the host comes to purge after its answer, the DAS's next
    // packet is waiting whole or in part, or its poll is. Whatever part has come, even one that
    // begins or ends like the host's own answer, is the DAS's.
    const QByteArray reply = DataPacketBytes(4, "reply");
    const QByteArray lines = DataPacketBytes(5, "21.537,8.2031\r\n21.540,8.2029\r\n");
    const qsizetype beforeLine = lines.indexOf("\n2", 17);
    const struct {
        QByteArray answer;
        QByteArray waiting;
        QByteArray later;
        int result;
    } cases[] = {
        {kAck9, reply, {}, kRcvData},
        {kAck9, reply.left(7), reply.mid(7), kRcvData},
        {kAck9, kNak0, {}, kRcvControl},
        // Only the line feed that starts either.
        {kAck9, reply.left(1), reply.mid(1), kRcvData},
        {kNak0, reply.left(1), reply.mid(1), kRcvData},
        // A control packet begun after a control answer.
        {kAck9, kNak0.left(2), kNak0.mid(2), kRcvControl},
        {kNak0, kAckd9.left(3), kAckd9.mid(3), kRcvControl},
        // Text lines cut just after a line feed and the next line's first digit.
        {kAck9, lines.left(beforeLine + 2), lines.mid(beforeLine + 2), kRcvData},
        {kNak0, lines.left(beforeLine + 2), lines.mid(beforeLine + 2), kRcvData},
    };
    for (const auto& c : cases) {
        ClearReceiveBuffer();
        const auto kind = static_cast<uint8_t>(c.answer[2]);
        ASSERT_TRUE(SendAckPacket(kind, static_cast<uint8_t>(c.answer[3])));
        fake->FeedInput(c.waiting);
        DropAnswerEcho(true);
        const int result = Receive(c.later);
        EXPECT_EQ(result, c.result) << c.answer.toHex().constData() << " then "
                                    << c.waiting.toHex().constData();
        if (result == kRcvData) {
            const QByteArray& whole = c.waiting + c.later;
            EXPECT_TRUE(Copy(ReceivedDataPacket()) == whole) << whole.toHex().constData();
        }
    }
    EXPECT_EQ(Errors(), 0u);
}

TEST_F(PacketsTest, ThePurgeAfterAnAnswerDropsItsEchoAndTheNoise)
{
    // A line that hears itself brings the host's acknowledgement back before the DAS's reply,
    // after noise of the line turning round, or alone, whole or with a byte spoilt; or the line
    // brings noise only.
    const QByteArray reply = DataPacketBytes(4, "reply");
    const QByteArray noise = Bytes({0x00, 0xFF, 0x31});
    QByteArray spoilt = kAck9;
    spoilt[4] = static_cast<char>(spoilt[4] ^ 0x01);
    const struct {
        QByteArray waiting;
        int result;
    } cases[] = {
        {kAck9 + reply, kRcvData},
        {noise + kAck9 + reply, kRcvData},
        {kAck9 + noise + reply, kRcvData},
        {spoilt + reply, kRcvData},
        {noise + spoilt + reply, kRcvData},
        {kAck9, kRcvNothing},
        {noise, kRcvNothing},
    };
    for (const auto& c : cases) {
        ClearReceiveBuffer();
        ASSERT_TRUE(SendAckPacket(kAck, 9));
        fake->FeedInput(c.waiting);
        DropAnswerEcho(true);
        EXPECT_EQ(ReceivePackets(), c.result) << c.waiting.toHex().constData();
        EXPECT_EQ(ReceiveBufferFill(), 0u);
    }
    EXPECT_EQ(ReceivedDataPacket().sequence, 4);
    EXPECT_EQ(PacketCounters().controlPacketsReceived.load(), 0u);
    EXPECT_EQ(Errors(), 0u);
}

TEST_F(PacketsTest, AnEchoThatComesInPiecesIsNeverTakenForTheDasPacket)
{
    // From the first answer on, wherever the echo is cut: the part that has come when the host
    // purges just after writing, the part at the purge after sending, the rest when it listens.
    // The echo of the host's NAK 0 is byte for byte a DAS poll; answered, it would have the host
    // answer its own echoes for ever.
    const QByteArray reply = DataPacketBytes(4, "reply");
    for (const bool riding : {false, true}) {
        for (qsizetype first = 0;; ++first) {
            ClearReceiveBuffer();
            ResetPacketCounters();
            const QByteArray echo = Answer(riding);
            if (first > echo.size()) {
                break;
            }
            const qsizetype second = (first + echo.size() + 1) / 2;
            fake->FeedInput(echo.left(first));
            DropAnswerEcho(false);
            fake->FeedInput(echo.mid(first, second - first));
            DropAnswerEcho(true);
            EXPECT_EQ(ReceivePackets(), kRcvNothing) << riding << " cut at " << first;
            fake->FeedInput(echo.mid(second) + reply);
            EXPECT_EQ(ReceivePackets(), kRcvData) << riding << " cut at " << first;
            EXPECT_EQ(ReceivedDataPacket().sequence, 4);
            EXPECT_EQ(PacketCounters().controlPacketsReceived.load(), 0u);
            EXPECT_EQ(Errors(), 0u);
        }
    }
}

TEST_F(PacketsTest, ALineThatHasShownItDoesNotEchoHasEveryPollAnswered)
{
    // Answers the host's poll with a NAK 0 of its own: the DAS polling at once, or the echo.
    const auto pollAfterPoll = [this] {
        ASSERT_TRUE(SendAckPacket(kNak, 0));
        fake->FeedInput(kNak0);
        DropAnswerEcho(true);
    };
    // The DAS's data packet behind an acknowledgement, with the echo ahead of it or not.
    const auto dataAfterAck = [this](bool echo) {
        ASSERT_TRUE(SendAckPacket(kAck, 9));
        fake->FeedInput((echo ? kAck9 : QByteArray()) + DataPacketBytes(4, "reply"));
        DropAnswerEcho(true);
        EXPECT_EQ(ReceivePackets(), kRcvData);
    };

    // Until the line has shown it: the poll is taken for the echo.
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
    // Two echoes lost to noise are no proof, and an echo seen starts the count again; the
    // polls between tell nothing either way.
    dataAfterAck(false);
    dataAfterAck(false);
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
    dataAfterAck(true);
    dataAfterAck(false);
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
    dataAfterAck(false);
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvNothing);

    // Three answers in a row with the DAS's packet and no echo ahead of it.
    dataAfterAck(false);
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvControl);
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvControl);
    EXPECT_EQ(ReceivedControlPacket().kind, kNak);

    // An echo no DAS packet can match shows that the line echoes after all.
    dataAfterAck(true);
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
    EXPECT_EQ(Errors(), 0u);

    // A port made the DAS port is a new line, learnt anew.
    for (int i = 0; i < 3; ++i) {
        dataAfterAck(false);
    }
    auto port = std::make_unique<TFakeSerialPort>();
    fake = port.get();
    InstallDasPortForTest(std::move(port));
    pollAfterPoll();
    EXPECT_EQ(ReceivePackets(), kRcvNothing);

    // A poll that comes after the echo would have is the DAS's.
    SetEchoLatencyForTest(std::chrono::milliseconds(0));
    ASSERT_TRUE(SendAckPacket(kNak, 0));
    DropAnswerEcho(true);
    QDeadlineTimer bound(kTestWaitMs);
    while (AnswerEchoAwaited() && !bound.hasExpired()) {
        EXPECT_EQ(ReceivePackets(), kRcvNothing);
    }
    ASSERT_FALSE(AnswerEchoAwaited()) << "the echo is still looked for long after its time";
    EXPECT_EQ(Receive(kNak0), kRcvControl);
}

TEST_F(PacketsTest, WhatTheDasSentBeforeTheAnswerIsNeverTakenForItsEcho)
{
    // The DAS's poll and its data packet are read together; the host answers the poll with its
    // own packet, whose echo comes behind the DAS's packet.
    DataPacket packet = HostPacket();
    const QByteArray dasData = DataPacketBytes(4, "reply");
    EXPECT_EQ(Receive(kNak0 + dasData), kRcvControl);
    fake->TakeWritten();
    ASSERT_TRUE(SendDataPacket(packet, 9));
    const QByteArray echo = fake->TakeWritten();
    fake->FeedInput(echo);
    DropAnswerEcho(true);
    EXPECT_EQ(ReceivePackets(), kRcvData);
    EXPECT_TRUE(Copy(ReceivedDataPacket()) == dasData);
    EXPECT_EQ(ReceivePackets(), kRcvNothing);
    EXPECT_EQ(ReceiveBufferFill(), 0u);
    EXPECT_EQ(PacketCounters().dataPacketsReceived.load(), 1u);
}

TEST_F(PacketsTest, SpoiltEchoesNeverShowThatTheLineDoesNotEcho)
{
    // Acknowledgements whose echo comes back spoilt (its start, its CRC, two bytes), each with
    // the DAS's next packet behind it, more times than it takes a line without echo to show
    // itself: the line still echoes, so the echo of the host's poll is not the DAS's.
    const QByteArray reply = DataPacketBytes(4, "reply");
    for (const std::vector<int>& spoilt : {std::vector<int>{0}, {5}, {2, 3}}) {
        ClearReceiveBuffer();
        for (int answer = 0; answer < 5; ++answer) {
            ASSERT_TRUE(SendAckPacket(kAck, 9));
            QByteArray echo = kAck9;
            for (const int at : spoilt) {
                echo[at] = static_cast<char>(echo[at] ^ 0x01);
            }
            fake->FeedInput(echo + reply);
            DropAnswerEcho(true);
            int result = ReceivePackets();
            for (int i = 0; i < 4 && result != kRcvData; ++i) {
                result = ReceivePackets();
            }
            EXPECT_EQ(result, kRcvData) << spoilt[0];
        }
        ASSERT_TRUE(SendAckPacket(kNak, 0));
        fake->FeedInput(kNak0);
        DropAnswerEcho(true);
        EXPECT_EQ(ReceivePackets(), kRcvNothing) << spoilt[0];
    }
}

TEST_F(PacketsTest, AControlPacketOfTheDasBehindASpoiltEchoOfTheSameBytesIsTheDasOne)
{
    // The echo of the host's poll, or of its ACKd 9 with its packet 9 riding on it, comes back
    // with two bytes of each packet spoilt; the DAS then polls at once, or confirms the host's
    // packet 9 with its own ACKd 9: the same bytes as the host's, and the DAS's.
    for (const bool riding : {false, true}) {
        ClearReceiveBuffer();
        QByteArray echo = Answer(riding);
        for (const qsizetype at : {qsizetype{4}, qsizetype{5}, echo.size() - 1, echo.size() - 2}) {
            echo[at] = static_cast<char>(echo[at] ^ 0x10);
        }
        const QByteArray reply = riding ? kAckd9 + DataPacketBytes(4, "reply") : kNak0;
        fake->FeedInput(echo + reply);
        DropAnswerEcho(true);
        int result = ReceivePackets();
        for (int i = 0; i < 4 && result != kRcvControl && result != kRcvNothing; ++i) {
            result = ReceivePackets();
        }
        ASSERT_EQ(result, kRcvControl) << riding;
        EXPECT_EQ(ReceivedControlPacket().kind, riding ? kAckd : kNak);
        EXPECT_EQ(ReceivedControlPacket().sequence, riding ? 9 : 0);
    }
}

TEST_F(PacketsTest, TheEchoOfAnAnswerOnTheLastLineIsNotLookedForOnANewOne)
{
    // The host answered a poll on the old line and the port changed before its echo came: the
    // new DAS's first poll is its own, not that echo.
    ASSERT_TRUE(SendAckPacket(kNak, 0));
    auto port = std::make_unique<TFakeSerialPort>();
    fake = port.get();
    InstallDasPortForTest(std::move(port));
    EXPECT_EQ(Receive(kNak0), kRcvControl);
}

TEST_F(PacketsTest, TracesShowPacketsWithoutBytesBeyondThePayload)
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    ASSERT_TRUE(OpenProtocolLogs());
    EXPECT_TRUE(ProtocolLogsOpen());
    EXPECT_EQ(Receive(kDataAbc), kRcvData);
    EXPECT_EQ(Receive(Bytes({0, 0, 0, 0, 0, 0})), kRcvFramingError);
    TraceSentControl(kAckd, 3);
    CloseProtocolLogs();
    EXPECT_FALSE(ProtocolLogsOpen());
    QDir::setCurrent(previous);

    QFile log(dir.filePath(QStringLiteral("protolog.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains(" RCV<--  DATA Seq=   3 Chan/Bytes 5/3 0/0 0/0 0/0:ABC\n"))
        << text.constData();
    EXPECT_TRUE(text.contains(" RCV Error  250  gPktIndex = 6:000000000000"));
    EXPECT_TRUE(text.contains(" SND-->  ACKd    Seq=   3 \n"));
    QFile raw(dir.filePath(QStringLiteral("protoraw.txt")));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray rawText = raw.readAll();
    EXPECT_TRUE(rawText.startsWith("{0A \n\n0A 31 03 00 ")) << rawText.constData();
    EXPECT_TRUE(rawText.contains("\n***ERROR 250***\n"));
}

}  // namespace
