#include "station/DeviceSequences.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <limits>

#include "link/Das.h"
#include "link/Host.h"
#include "link/LinkFakes.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "station/DataPolling.h"
#include "station/StationFixture.h"
#include "support/QtHelpers.h"
#include "support/das/DasConsole.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStandIn.h"

namespace {

constexpr uint32_t kNow = 5'000'000;

// The sequences of devices against a DAS command sender whose queue the test reads, and a
// debug memo that shows every timed list as it was sorted and sent.
class DeviceSequencesTest : public StationLinkTest {
protected:
    DeviceSequencesTest() : StationLinkTest(kNow) {}

    void SetUp() override
    {
        StationLinkTest::SetUp();
        Host.SetLinkUi(&ui);
        Host.SetDebugMemoVisible(true);
    }
    void TearDown() override
    {
        Host.SetDebugMemoVisible(false);
        Host.SetLinkUi(nullptr);
        StationLinkTest::TearDown();
    }

    // A port on DAS serial port `p`, host channel `hc`, power switch `sw`.
    TDevice* AddDevice(const QString& name, int p, int hc, int sw,
                       const QString& type = QStringLiteral("Serial"))
    {
        ports.AddPort(name, QStringLiteral("J") + name, hc, p, 0, sw, type);
        TDevice* device = devices.Add(name);
        EXPECT_NE(device, nullptr);
        device->SetCaptureDest(0);
        return device;
    }

    // The command texts queued on channel 255, without their zero byte.
    QStringList Commands()
    {
        QStringList out;
        for (const TTaken& t : Drain(timedQueue)) {
            if (t.channel == kCommandChannel) {
                out << QString::fromLatin1(t.bytes.chopped(1));
            }
        }
        return out;
    }
    static QStringList Sorted(QStringList list)
    {
        SortTimedLines(list);
        return list;
    }

    TFakeLinkUi ui;
};

TEST_F(DeviceSequencesTest, PowerOnOpensTheSerialPortAndPowersTheSwitch)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    SendPowerOnSequence(*ctd, true, false, true, 0);
    EXPECT_EQ(
        ui.memo,
        (QStringList{"00000000 000CloseSerial 3", "00000000 001OpenSerial 3, 9600, \"N81\"",
                     "00000000 002RouteSerial 3 Host 3", "00000000 003SendString Serial 3 \"\"",
                     "00000000 004SETPOWER 5 1", "00000000 005SendStatus Host 247"}));
    const std::vector<TTaken> queued = Drain(timedQueue);
    ASSERT_EQ(queued.size(), 6U);
    EXPECT_EQ(queued[0].bytes, QByteArray("CloseSerial 3\0", 14));
    EXPECT_EQ(queued[5].bytes, QByteArray("SendStatus Host 247\0", 20));
    for (const TTaken& t : queued) {
        EXPECT_EQ(t.channel, kCommandChannel);
    }

    EXPECT_EQ(SettingsLetters(QStringLiteral("N,8,1.5")), QStringLiteral("N81"));
    EXPECT_EQ(SettingsLetters(QStringLiteral("E,7")), QStringLiteral("E71"));
    EXPECT_EQ(SettingsLetters(QStringLiteral("N")), QStringLiteral("N81"));
}

TEST_F(DeviceSequencesTest, PowerOnCommandsWaitAndMarkTheDeviceBusy)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetPowerOnCmd(true);
    ctd->SetPowerOnCmdWait(30);
    ctd->SetCmdPowerOn({"AT"});
    QStringList list;
    int T = 0;
    uint8_t seq = 0;
    AddPowerOnCmdCommands(*ctd, list, T, seq);
    EXPECT_EQ(Sorted(list), (QStringList{"00000000 000*DeviceWait 3\r",
                                         "00000030 001SendString Serial 3 \"AT\\r\"",
                                         "00000030 002*DeviceGo 3\r"}));
    EXPECT_EQ(T, 30);

    ctd->SetPowerOffCmd(true);
    ctd->SetPowerOffCmdWait(20);
    ctd->SetCmdPowerOff({"BYE"});
    SendPowerOffSequence(*ctd, true, true, true);
    EXPECT_EQ(
        ui.memo,
        (QStringList{"00000000 000*DeviceWait 3\r", "00000000 001SendString Serial 3 \"BYE\\r\"",
                     "00000020 002*DeviceGo 3\r", "00000020 003CloseSerial 3",
                     "00000020 004SETPOWER 5 0", "00000020 005SendStatus Host 247"}));
}

TEST_F(DeviceSequencesTest, StartSequenceOfASerialDeviceWithCommands)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetPowerOnCmd(true);
    ctd->SetPowerOnCmdWait(30);
    ctd->SetCmdPowerOn({"AT"});
    ctd->SetCollectionType(2);
    ctd->SetCmdStart({"GO", "\\\\WaitTicks 20"});
    ctd->SetCmdStartDelay(50);
    ctd->SetStartAfterDelay(30);
    ctd->SetStartDataCapture(0);
    QStringList list;
    int P = kBatchStartTime;
    uint8_t seq = 0;
    AddStartSequence(*ctd, list, kBatchDataTime, P, seq, true);
    EXPECT_EQ(
        Sorted(list),
        (QStringList{"10000000 000CloseSerial 3", "10000000 001OpenSerial 3, 9600, \"N81\"",
                     "10000000 002RouteSerial 3 Host 3", "10000000 003SendString Serial 3 \"\"",
                     "10000000 010;", "10000000 011UnRouteSerial 3",
                     "10000000 012*StartHostCapture 3\r", "10000000 013RouteSerial 3 Host 3",
                     "10000000 014SendString Serial 3 \"\"", "10000000 050SETPOWER 5 1",
                     "10000000 130*DeviceWait 3\r", "10000030 131SendString Serial 3 \"AT\\r\"",
                     "10000030 132*DeviceGo 3\r", "10000080 210;",
                     "49999950 211SendString Serial 3 \"GO\\r\"", "49999970 212*DataStart 3\r"}));
    EXPECT_EQ(P, kBatchStartTime + 30);
    EXPECT_TRUE(ctd->GetCaptureOn());
}

TEST_F(DeviceSequencesTest, StartSequencesOfAnalogAndFrequencyDevices)
{
    TDevice* analog = AddDevice(QStringLiteral("OXY"), 4, 20, 3, QStringLiteral("Analog"));
    analog->SetCollectionType(0);
    analog->SetStartDataCapture(4);
    QStringList list;
    int P = kBatchStartTime;
    uint8_t seq = 0;
    AddStartSequence(*analog, list, kBatchDataTime, P, seq, false);
    EXPECT_EQ(Sorted(list),
              (QStringList{"10000050 210;", "10000050 212;", "49999970 211*DataStart 20\r",
                           "50000000 213*StartHostCapture 20\r"}));
    EXPECT_EQ(P, kBatchStartTime);

    devices.SetCaptureToHost(false);
    TDevice* freq = AddDevice(QStringLiteral("FRQ"), 6, 22, 4, QStringLiteral("Frequency"));
    freq->SetCaptureDest(3);
    freq->SetCaptureDestName(QStringLiteral("FRQ\\FRQ_1000.RAW"));
    freq->SetStartDataCapture(2);
    list.clear();
    P = kBatchStartTime;
    AddStartSequence(*freq, list, kBatchDataTime, P, seq, true);
    EXPECT_EQ(Sorted(list), (QStringList{"10000000 050SETPOWER 4 1", "10000030 212;",
                                         "10000050 210;", "49999970 211*DataStart 22\r",
                                         "50000000 213OpenFile 1 \"FRQ_1000.RAW\" "}));
    EXPECT_EQ(P, kBatchStartTime + 30);
}

TEST_F(DeviceSequencesTest, StartAllInterleavesSelectedDevicesInPowerOrder)
{
    TDevice* a = AddDevice(QStringLiteral("A"), 1, 1, 0);
    TDevice* b = AddDevice(QStringLiteral("B"), 2, 2, 3);
    TDevice* c = AddDevice(QStringLiteral("C"), 3, 3, 5);
    ports.SetPowerOnPriority(c->GetPort(), 1);  // switch 5 before switch 3
    for (TDevice* d : {a, b, c}) {
        d->SetCollectionType(1);
        d->SetStartDataCapture(5);
        d->SetSelected(true);
    }
    devices.StartData(nullptr);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(ui.memo, (QStringList{"10000000 000CloseSerial 1",
                                    "10000000 001OpenSerial 1, 9600, \"N81\"",
                                    "10000000 002RouteSerial 1 Host 1",
                                    "10000000 003SendString Serial 1 \"\"",
                                    "10000000 050SETPOWER 0 1",
                                    "10000030 000CloseSerial 3",
                                    "10000030 001OpenSerial 3, 9600, \"N81\"",
                                    "10000030 002RouteSerial 3 Host 3",
                                    "10000030 003SendString Serial 3 \"\"",
                                    "10000030 050SETPOWER 5 1",
                                    "10000050 210;",
                                    "10000060 000CloseSerial 2",
                                    "10000060 001OpenSerial 2, 9600, \"N81\"",
                                    "10000060 002RouteSerial 2 Host 2",
                                    "10000060 003SendString Serial 2 \"\"",
                                    "10000060 050SETPOWER 3 1",
                                    "10000080 210;",
                                    "10000110 210;",
                                    "49999970 211*DataStart 1\r",
                                    "49999970 211*DataStart 2\r",
                                    "49999970 211*DataStart 3\r",
                                    "49999970 212;",
                                    "49999970 212;",
                                    "49999970 212;"}));
    const QStringList commands = Commands();
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.first(), QStringLiteral("ResetSeqNum 0"));
    EXPECT_EQ(commands.mid(commands.size() - 3),
              (QStringList{"*DataStart 1\r", "*DataStart 2\r", "*DataStart 3\r"}));
}

TEST_F(DeviceSequencesTest, StopAllOrdersBandsAndWaitsForTheStopBlock)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCollectionType(2);
    ctd->SetCmdStop({"STOP"});
    ctd->SetCmdStopDelay(50);
    ctd->SetStopDataCapture(4);
    devices.StopData(ctd);
    EXPECT_EQ(
        ui.memo,
        (QStringList{"10000000 040SendString Serial 3 \"STOP\\r\"", "10000000 041*DataStop 3\r",
                     "10000000 194;", "10000050 190UnRouteSerial 3",
                     "10000050 191SendString Host 255 \"StopHostCapture 3\\r\"",
                     "10000050 192RouteSerial 3 Host 3", "10000050 193SendString Serial 3 \"\"",
                     "10000050 200SETPOWER 5 0", "10000050 240CloseSerial 3"}));
    const std::vector<TTaken> queued = Drain(timedQueue);
    ASSERT_EQ(queued.size(), 8U);
    EXPECT_EQ(queued[2].bytes, QByteArray("UnRouteSerial 3\0", 16));
    EXPECT_GE(queued[2].dueMs - queued[0].dueMs, 500);
    EXPECT_FALSE(ctd->GetDataOn());
}

TEST_F(DeviceSequencesTest, SavedDataCaptureRunsInTheStopBatch)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCollectionType(1);
    ctd->SetStartDataCapture(5);
    ctd->SetStopDataCapture(5);
    ctd->SetCmdGetSavedData({"DUMP"});
    ctd->SetStartAfterDelay(30);
    ctd->SetStopAfterDelay(200);
    QStringList start;
    int P = kBatchStartTime;
    uint8_t seq = 0;
    AddStartSequence(*ctd, start, kBatchDataTime, P, seq, false);
    EXPECT_FALSE(start.join(u'|').contains(QStringLiteral("Capture")));

    QStringList stop;
    AddStopSequence(*ctd, stop, kBatchStartTime, false, seq);
    EXPECT_EQ(
        Sorted(stop),
        (QStringList{"10000000 040*DataStop 3\r", "10000000 080SendString Serial 3 \"DUMP\\r\"",
                     "10000030 081UnRouteSerial 3", "10000030 082*StartHostCapture 3\r",
                     "10000030 083RouteSerial 3 Host 3", "10000030 084SendString Serial 3 \"\"",
                     "10000230 120UnRouteSerial 3",
                     "10000230 121SendString Host 255 \"StopHostCapture 3\\r\"",
                     "10000230 122RouteSerial 3 Host 3", "10000230 123SendString Serial 3 \"\"",
                     "10000230 240CloseSerial 3"}));
}

TEST_F(DeviceSequencesTest, CaptureOnTheDasTakesAndFreesAFileSlot)
{
    devices.SetCaptureToHost(false);
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCaptureDest(3);
    ctd->SetCaptureDestName(QStringLiteral("CTD_1\\CTD_1000.RAW"));
    ctd->SetStartPrefix(QStringLiteral("S"));
    QStringList list;
    int T = 0;
    uint8_t seq = 0;
    AddStartCaptureCommands(*ctd, list, T, seq);
    EXPECT_EQ(list, (QStringList{"00000000 000OpenFile 1 \"CTD_1000.RAW\" ",
                                 "00000000 001SendString File  1 \"S\\r\"",
                                 "00000000 002RouteSerial 3 File 1",
                                 "00000000 003SendString Serial 3 \"\""}));
    list.clear();
    AddStopCaptureCommands(*ctd, list, T, seq);
    // Once the file is closed the instrument's port goes back to its own host channel.
    EXPECT_EQ(list, (QStringList{"00000000 004CloseFile 1", "00000000 005RouteSerial 3 Host 3",
                                 "00000000 006SendString Serial 3 \"\""}));
    EXPECT_FALSE(ctd->GetCaptureOn());
    EXPECT_EQ(das.AddSlotName(QStringLiteral("OTHER\\O.RAW")), 1);
}

// The master setting moved while a capture ran: the capture still ends where it was made, so
// no file stays open (and filling) on the PC, and no file slot stays taken on the DAS.
TEST_F(DeviceSequencesTest, AFileCaptureEndsWhereItWasMadeWhenTheMasterSettingMoved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    devices.SetCaptureDir(dir.path() + QLatin1Char('/'));
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCaptureDest(3);
    ctd->SetCaptureDestName(QStringLiteral("CTD_1\\CTD_1000.RAW"));
    QStringList list;
    int T = 0;
    uint8_t seq = 0;
    AddStartCaptureCommands(*ctd, list, T, seq);
    // "*StartHostCapture 3" opened the file on the PC; then the data was sent to the DAS.
    TMux* channel = ctd->GetMux();
    ASSERT_NE(channel, nullptr);
    channel->StartCapture();
    ASSERT_TRUE(channel->IsCaptureOnPc());
    devices.SetCaptureToHost(false);
    list.clear();
    AddStopCaptureCommands(*ctd, list, T, seq);
    EXPECT_EQ(list, (QStringList{"00000000 004UnRouteSerial 3",
                                 "00000000 005SendString Host 255 \"StopHostCapture 3\\r\"",
                                 "00000000 006RouteSerial 3 Host 3",
                                 "00000000 007SendString Serial 3 \"\""}));
    channel->StopCapture();

    // The other way round: captured into a file on the DAS, stopped after the setting moved
    // back to the PC.
    list.clear();
    AddStartCaptureCommands(*ctd, list, T, seq);
    EXPECT_TRUE(list.first().endsWith(QStringLiteral("OpenFile 1 \"CTD_1000.RAW\" ")));
    devices.SetCaptureToHost(true);
    list.clear();
    AddStopCaptureCommands(*ctd, list, T, seq);
    EXPECT_EQ(list, (QStringList{"00000000 011CloseFile 1", "00000000 012RouteSerial 3 Host 3",
                                 "00000000 013SendString Serial 3 \"\""}));
    EXPECT_FALSE(channel->IsCaptureOnPc());
    EXPECT_EQ(das.FindSlotName(QStringLiteral("CTD_1\\CTD_1000.RAW")), 0);
}

TEST_F(DeviceSequencesTest, AnalogCaptureStopNeedsNoRouting)
{
    TDevice* analog = AddDevice(QStringLiteral("OXY"), 4, 20, 3, QStringLiteral("Analog"));
    QStringList list;
    int T = 0;
    uint8_t seq = 0;
    AddStopCaptureCommands(*analog, list, T, seq);
    EXPECT_EQ(list, QStringList{"00000000 000SendString Host 255 \"StopHostCapture 20\\r\""});
}

TEST_F(DeviceSequencesTest, DataStopRemovesOnlyTheDevicesOwnQueuedCommands)
{
    TDevice* one = AddDevice(QStringLiteral("ONE"), 7, 1, 5);
    for (const char* text : {"*DataStart 12\r", "*DataStart 1\r", "*DeviceGo 21\r",
                             "SendString Serial 7 \"x\"", "SendString Serial 1 \"y\"",
                             "SendString Serial 71 \"z\"", "OpenSerial 7, 9600, \"N81\""}) {
        das.SendCommandAt(QString::fromLatin1(text), 1000);
    }
    const char data[] = "AB";
    sendQueue.Add(1, data, 2);
    sendQueue.Add(12, data, 2);
    SendDataStop(*one);
    EXPECT_EQ(Commands(), (QStringList{"*DataStop 1\r", "*DataStart 12\r", "*DeviceGo 21\r",
                                       "SendString Serial 1 \"y\"", "SendString Serial 71 \"z\""}));
    const std::vector<TTaken> left = Drain(sendQueue);
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(left[0].channel, 12);
}

TEST_F(DeviceSequencesTest, PcPortDeviceGetsNoDasSerialPortCommands)
{
    ports.AddPCPort(3);
    TDevice* pc = devices.Add(QStringLiteral("PC"));
    ASSERT_NE(pc, nullptr);
    pc->SetCaptureDest(0);
    pc->SetPowerOnCmd(true);
    pc->SetPowerOnCmdWait(30);
    pc->SetCmdPowerOn({"AT"});
    pc->SetCollectionType(2);
    pc->SetCmdStart({"GO"});
    pc->SetCmdStop({"STOP"});
    pc->SetStartDataCapture(0);
    // The block text goes to the device's port through its host channel, in time order.
    const auto pcData = [this](TDataList& queue) {
        QList<QByteArray> out;
        for (const TTaken& t : Drain(queue)) {
            if (t.channel == 3) {
                out << t.bytes;
            } else {
                EXPECT_FALSE(t.bytes.startsWith("SendString PCSerial")) << t.bytes.constData();
            }
        }
        return out;
    };
    devices.StartData(pc);
    EXPECT_EQ(pcData(timedQueue), (QList<QByteArray>{"AT\r", "GO\r"}));
    devices.StopData(pc);
    EXPECT_EQ(pcData(sendQueue), QList<QByteArray>{"STOP\r"});
    const QString memo = ui.memo.join(u'|');
    for (const char* word : {"OpenSerial", "CloseSerial", "SendString Serial", "SETPOWER"}) {
        EXPECT_FALSE(memo.contains(QLatin1String(word))) << word;
    }
    EXPECT_FALSE(memo.contains(QStringLiteral("0RouteSerial")));
    EXPECT_FALSE(memo.contains(QStringLiteral("0UnRouteSerial")));
    EXPECT_TRUE(memo.contains(QStringLiteral("000*RouteSerial 3\r")));
    EXPECT_TRUE(memo.contains(QStringLiteral("240*UnRouteSerial 3\r")));
}

TEST_F(DeviceSequencesTest, CaptureFileExistsOnlyForHostFileCaptures)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    devices.SetCaptureDir(dir.path());
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCaptureDestName(QStringLiteral("CTD_1\\CTD_1000.RAW"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("CTD_1")));
    QFile(dir.filePath(QStringLiteral("CTD_1/CTD_1000.RAW"))).open(QIODevice::WriteOnly);

    ctd->SetCaptureDest(2);
    EXPECT_TRUE(CaptureFileExists(*ctd));
    ctd->SetCaptureDestName(QStringLiteral("CTD_1\\CTD_5000.RAW"));
    EXPECT_FALSE(CaptureFileExists(*ctd));
    ctd->SetCaptureDestName(QStringLiteral("CTD_1\\CTD_1000.RAW"));
    ctd->SetCaptureDest(3);
    ctd->SetCaptureDestAppend(true);
    EXPECT_FALSE(CaptureFileExists(*ctd));
    ctd->SetCaptureDestAppend(false);
    EXPECT_TRUE(CaptureFileExists(*ctd));
    ctd->SetCaptureDest(0);
    EXPECT_FALSE(CaptureFileExists(*ctd));
    ctd->SetCaptureDest(3);
    devices.SetCaptureToHost(false);
    EXPECT_FALSE(CaptureFileExists(*ctd));
}

TEST_F(DeviceSequencesTest, CaptureQuestionsGuardTheDasAndExistingFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    devices.SetCaptureDir(dir.path());
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCaptureDest(3);
    ctd->SetCaptureDestName(QStringLiteral("CTD_1\\CTD_1000.RAW"));

    // Captured on the DAS: Cancel ends the batch before anything is sent.
    devices.SetCaptureToHost(false);
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    devices.StartData(ctd);
    ASSERT_EQ(prompt.shown.size(), 1U);
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("Warning: Data will be captured on the DAS and not appear on screen. "
                             "\r\nFiles on DAS may be over written.  Continue?"));
    EXPECT_TRUE(ui.memo.isEmpty());
    EXPECT_TRUE(Commands().isEmpty());

    // Captured on the PC over an existing file: OK goes on.
    devices.SetCaptureToHost(true);
    ctd->SetCaptureDestAppend(false);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("CTD_1")));
    QFile(dir.filePath(QStringLiteral("CTD_1/CTD_1000.RAW"))).open(QIODevice::WriteOnly);
    prompt.QueueMessageAnswer(TMsgResult::Ok);
    devices.StartCapture(ctd);
    ASSERT_EQ(prompt.shown.size(), 2U);
    EXPECT_EQ(prompt.shown[1].text,
              QStringLiteral("Warning: Capture files will be over-witten. Continue?"));
    const QStringList sent = Commands();
    ASSERT_FALSE(sent.isEmpty());
    EXPECT_EQ(sent.first(), QStringLiteral("ResetSeqNum 0"));
    EXPECT_TRUE(ctd->GetCaptureOn());

    // A channel destination asks nothing.
    ctd->SetCaptureDest(0);
    EXPECT_TRUE(devices.ConfirmCapture(ctd));
    EXPECT_EQ(prompt.shown.size(), 2U);
}

TEST_F(DeviceSequencesTest, NumberedCaptureAdvancesTheFileNumberOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    devices.SetCaptureDir(dir.path());
    TDevice* a = AddDevice(QStringLiteral("A"), 1, 1, 0);
    TDevice* b = AddDevice(QStringLiteral("B"), 2, 2, 3);
    TDevice* c = AddDevice(QStringLiteral("C"), 3, 3, 5);
    a->SetCaptureDest(2);
    for (TDevice* d : {a, b, c}) {
        d->SetSelected(true);
    }
    devices.StartCapture(nullptr);
    EXPECT_EQ(ui.memo, (QStringList{"10000000 000UnRouteSerial 1",
                                    "10000000 001*StartHostCapture 1\r",
                                    "10000000 002RouteSerial 1 Host 1",
                                    "10000000 003SendString Serial 1 \"\"",
                                    "10000000 004UnRouteSerial 2",
                                    "10000000 005*StartHostCapture 2\r",
                                    "10000000 006RouteSerial 2 Host 2",
                                    "10000000 007SendString Serial 2 \"\"",
                                    "10000000 008UnRouteSerial 3",
                                    "10000000 009*StartHostCapture 3\r",
                                    "10000000 010RouteSerial 3 Host 3",
                                    "10000000 011SendString Serial 3 \"\"",
                                    "10000000 012*NextSeqNum\r"}));

    // The start-all batch places it after both the data time and the last power-on.
    ui.memo.clear();
    Drain(timedQueue);
    devices.StartData(nullptr);
    EXPECT_EQ(ui.memo.filter(QStringLiteral("NextSeqNum")).size(), 1);
    EXPECT_TRUE(ui.memo.last().startsWith(QStringLiteral("50000000 ")));
    EXPECT_TRUE(ui.memo.last().endsWith(QStringLiteral("*NextSeqNum\r")));

    // Stopping never advances it and always ends with the marker at the batch time.
    ui.memo.clear();
    devices.StopData(nullptr);
    EXPECT_TRUE(ui.memo.filter(QStringLiteral("NextSeqNum")).isEmpty());
    EXPECT_EQ(ui.memo.filter(QRegularExpression(QStringLiteral("^10000000 \\d{3};$"))).size(), 1);
}

TEST_F(DeviceSequencesTest, HugeSettingsKeepEveryTimeWithinEightDigits)
{
    constexpr int kHuge = std::numeric_limits<int>::max();
    TDevice* a = AddDevice(QStringLiteral("A"), 1, 1, 3);
    TDevice* b = AddDevice(QStringLiteral("B"), 2, 2, 5);
    a->SetCollectionType(2);
    a->SetPowerOnCmd(true);
    a->SetPowerOnCmdWait(kHuge);
    a->SetCmdStartDelay(kHuge);
    a->SetStartAfterDelay(std::numeric_limits<int>::min());
    a->SetStartDataCapture(3);
    a->SetPowerOnDelay(kHuge);
    a->SetPowerOffCmd(true);
    a->SetPowerOffCmdWait(kHuge);
    a->SetCmdStopDelay(kHuge);
    a->SetStopAfterDelay(kHuge);
    a->SetStopDataCapture(3);
    for (TDevice* d : {a, b}) {
        d->SetSelected(true);
    }
    devices.StartData(nullptr);
    devices.StopData(nullptr);
    ASSERT_FALSE(ui.memo.isEmpty());
    for (const QString& line : ui.memo) {
        ASSERT_GE(line.size(), 12) << qPrintable(line);
        EXPECT_EQ(line[8], QLatin1Char(' ')) << qPrintable(line);
        bool ok = false;
        const int time = line.left(8).toInt(&ok);
        EXPECT_TRUE(ok && time >= 0 && time <= 99'999'999) << qPrintable(line);
    }
    // The marker after a huge start delay sits at the last time a line can carry, and the
    // next switch is powered no earlier than the first, never wrapped round to the start.
    EXPECT_TRUE(ui.memo.contains(QStringLiteral("99999999 210;")));
    const QStringList secondPower = ui.memo.filter(QStringLiteral("SETPOWER 5 1"));
    ASSERT_EQ(secondPower.size(), 1);
    EXPECT_TRUE(secondPower.first().startsWith(QStringLiteral("99999999 ")));
}

// Hands the DAS's control text on channel 255 to the host-side command interpreter, as the
// main window does.
class TControlTextReader final : public IFixedChannelReaders {
public:
    void ReceiveControlText(const char* bytes, int count) override
    {
        Host.ReceiveControlText(bytes, count);
    }
};

// End to end: the sequences go through the link thread and a pseudo-terminal to the DAS
// stand-in and its instruments; the queue clock is stepped by hand.
class DeviceSequencesLinkTest : public DeviceSequencesTest {
protected:
    static constexpr uint16_t kCom = 42;

    void SetUp() override
    {
        DeviceSequencesTest::SetUp();
        Host.SetDebugMemoVisible(false);
        mux.SetFixedChannelReaders(&reader);
        ASSERT_TRUE(standIn.IsOpen());
        SetComPortDevicePath(kCom, standIn.SlavePath());
        Host.SetDasPort(kCom);
        Host.SetDasBaud(115200);
        standIn.Start();
        ASSERT_TRUE(Host.Connect());
    }
    void TearDown() override
    {
        Host.Disconnect();
        standIn.Stop();
        SetComPortDevicePath(kCom, QString());
        mux.SetFixedChannelReaders(nullptr);
        // Work the link thread posted meanwhile must not reach the devices of the next test.
        QCoreApplication::processEvents();
        DeviceSequencesTest::TearDown();
    }

    // Serves the host channels until `done` holds.
    bool ServeUntil(const std::function<bool()>& done)
    {
        return WaitUntil([&] {
            MuxArray->Service(NowDateTime());
            return done();
        });
    }

    TControlTextReader reader;
    TDasStandIn standIn;
    TDasConsole console{standIn};
    TDasInstruments instruments{standIn, console};
};

TEST_F(DeviceSequencesLinkTest, StartDataStreamsIntoTheChannelAndStopDataEndsIt)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, 5);
    ctd->SetCollectionType(2);
    ctd->SetCmdStart({"GO"});
    ctd->SetCmdStop({"STOP"});
    instruments.AddSerialInstrument(3, TInstrumentSpec{});
    QByteArray captured;
    ctd->GetMux()->SetCaptureFile(std::make_unique<TMemoryCapture>(&captured));

    devices.StartData(ctd);
    const QStringList powerBlock{"ResetSeqNum 0",
                                 "CloseSerial 3",
                                 "OpenSerial 3, 9600, \"N81\"",
                                 "RouteSerial 3 Host 3",
                                 "SendString Serial 3 \"\"",
                                 "UnRouteSerial 3",
                                 "RouteSerial 3 Host 3",
                                 "SendString Serial 3 \"\"",
                                 "SETPOWER 5 1"};
    ASSERT_TRUE(console.WaitForCommands(static_cast<size_t>(powerBlock.size())));
    EXPECT_EQ(console.Texts(), powerBlock);
    // The console records a command before its handler runs.
    EXPECT_TRUE(WaitUntil([&] { return instruments.SwitchOn(5) && instruments.RouteOf(3) == 3; }));
    EXPECT_FALSE(ctd->GetDataOn());

    // The data block waits for the command start delay.
    StepQueueClock(1000);
    ASSERT_TRUE(console.WaitForCommands(static_cast<size_t>(powerBlock.size()) + 1));
    EXPECT_EQ(console.Texts().last(), QStringLiteral("SendString Serial 3 \"GO\\r\""));
    EXPECT_EQ(console.Commands().back().queueTime, kNow + 1000);
    ASSERT_TRUE(WaitUntil([&] { return ctd->GetDataOn(); }));
    ASSERT_TRUE(ServeUntil([&] { return captured.contains("SAMPLE\r\nSAMPLE\r\n"); }));
    EXPECT_TRUE(instruments.IsStreaming(3));

    console.Clear();
    devices.StopData(ctd);
    EXPECT_FALSE(ctd->GetDataOn());
    ASSERT_TRUE(console.WaitForCommands(1));
    EXPECT_EQ(console.Texts().first(), QStringLiteral("SendString Serial 3 \"STOP\\r\""));
    StepQueueClock(1000);
    ASSERT_TRUE(console.WaitForCommands(7));
    EXPECT_EQ(console.Texts(),
              (QStringList{"SendString Serial 3 \"STOP\\r\"", "UnRouteSerial 3",
                           "SendString Host 255 \"StopHostCapture 3\\r\"", "RouteSerial 3 Host 3",
                           "SendString Serial 3 \"\"", "SETPOWER 5 0", "CloseSerial 3"}));
    EXPECT_TRUE(WaitUntil([&] {
        return !instruments.IsStreaming(3) && !instruments.SwitchOn(5) && !instruments.IsOpen(3);
    }));
    // The DAS's echo of the capture stop closes the channel's capture.
    ASSERT_TRUE(ServeUntil([&] { return !ctd->GetMux()->HasCaptureFile(); }));
}

TEST_F(DeviceSequencesLinkTest, PolledDeviceIsAskedAtItsPacketPause)
{
    TDevice* oxy = AddDevice(QStringLiteral("OXY"), 4, 20, 3, QStringLiteral("Analog"));
    oxy->SetCollectionType(0);
    oxy->SetPacketPause(5);
    oxy->SetStartDataCapture(5);
    InstallDataPolling(devices);
    devices.StartData(oxy);
    StepQueueClock(1000);
    ASSERT_TRUE(WaitUntil([&] { return oxy->GetDataOn(); }));

    // Each poll asks once; the readings land in the device's channel.
    ASSERT_TRUE(ServeUntil([&] {
        devices.PollAll(NowDateTime());
        return instruments.ReadingsFrom(4) >= 3;
    }));
    EXPECT_TRUE(console.Texts().contains(QStringLiteral("SendAnalog 4  Host 20")));
    EXPECT_TRUE(standIn.WaitForBytes(kCommandChannel, 1));
    EXPECT_TRUE(ServeUntil([&] { return oxy->GetPort()->TestAndClearActivity(true); }));
}

}  // namespace
