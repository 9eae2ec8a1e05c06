#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "link/Host.h"
#include "link/LinkFakes.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/SerialPort.h"
#include "platform/UiPost.h"
#include "support/FakePrompt.h"
#include "support/Pty.h"
#include "support/QtHelpers.h"

namespace {

// COM numbers the tests map to pseudo-terminals, fakes or missing devices.
constexpr int kEchoCom = 41;
constexpr int kOtherCom = 42;
constexpr int kFakeEchoCom = 43;
constexpr int kFakePcCom = 44;
constexpr int kMissingCom = 7;
constexpr uint8_t kChannel = 12;

// A device with chosen echo settings and port.
class TEchoDevice final : public IChannelDevice {
public:
    explicit TEchoDevice(QString name, int echoPort = 0) : name_(std::move(name))
    {
        echo.port = echoPort;
        echo.baud = 9600;
        echo.settings = QStringLiteral("N,8,1");
    }
    QString GetName() const override { return name_; }
    void SetPortActivity() override {}
    void RefreshListRow() override { ++rowRefreshes; }
    void SetDataActive(bool) override {}
    void SetBusy(bool) override {}
    void SetCaptureOn(bool) override {}
    TCaptureTarget CaptureTarget() const override { return {}; }
    void CaptureStopped() override {}
    TChannelSerialSettings EchoSettings() const override { return echo; }
    TChannelPortInfo PortInfo() const override { return port; }

    // A device on DAS serial port `number`, or on a PC COM port.
    void OnDasSerialPort(int number)
    {
        port = {true, true, false, number, 9600, QStringLiteral("N,8,1")};
    }
    void OnPcSerialPort(int com) { port = {true, true, true, com, 9600, QStringLiteral("N,8,1")}; }

    TChannelSerialSettings echo;
    TChannelPortInfo port;
    int rowRefreshes = 0;

private:
    QString name_;
};

class TWindow final : public ITerminalView {
public:
    void ShowData(const char* bytes, int count) override { shown.append(bytes, count); }
    void SetHostChannel(TMux*) override {}
    void ClearReceived() override {}
    void SetCaption(const QString&) override {}
    void ShowNormal() override {}
    void ChannelStateChanged() override { ++stateChanges; }
    void DestroyView() override {}

    QByteArray shown;
    int stateChanges = 0;
};

class TPortTable final : public IPortTableLookup {
public:
    bool HasPortNamed(const QString& name) const override { return names.contains(name); }
    QSet<QString> names;
};

struct TBlock {
    int channel;
    QByteArray bytes;
    bool operator==(const TBlock& other) const
    {
        return channel == other.channel && bytes == other.bytes;
    }
};

void PrintTo(const TBlock& block, std::ostream* os)
{
    *os << block.channel << ":" << block.bytes.toStdString();
}

// The channel table with its send queue, COM numbers mapped to pseudo-terminals or to fakes
// the test keeps, a recorded prompt and the station's port table.
class EchoPortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(echoPty.Slave().isEmpty());
        SetComPortDevicePath(kEchoCom, echoPty.Slave());
        SetComPortDevicePath(kOtherCom, otherPty.Slave());
        SetComPortDevicePath(kMissingCom, missingDir.path() + QStringLiteral("/ttyNone"));
        for (const int com : {kFakeEchoCom, kFakePcCom}) {
            fakes[com] = std::make_shared<TFakeSerialPort>();
            closed[com] = std::make_shared<bool>(false);
            SetComPortDevicePath(com, QStringLiteral("/fake/COM%1").arg(com));
        }
        SetSerialPortOpenerForTest([this](const QString& path) -> std::unique_ptr<ISerialPort> {
            for (const auto& [com, fake] : fakes) {
                if (path == QStringLiteral("/fake/COM%1").arg(com)) {
                    *closed[com] = false;
                    return std::make_unique<TSharedFakePort>(fake, closed[com]);
                }
            }
            return TTermiosPort::Open(path);
        });
        savedSend_ = SendQueue;
        SendQueue = new TDataList;
        MuxArray = &table;
        table.SetPortTableLookup(&portTable);
    }
    void TearDown() override
    {
        // Readers end before the queue and the fakes they use.
        while (table.Count() > 0) {
            table.RemoveChannel(table.Items(0)->GetChannelNumber());
        }
        MuxArray = nullptr;
        delete SendQueue;
        SendQueue = savedSend_;
        SetSerialPortOpenerForTest({});
        for (const int com : {kEchoCom, kOtherCom, kMissingCom, kFakeEchoCom, kFakePcCom}) {
            SetComPortDevicePath(com, QString());
        }
    }

    // A window that outlives the channels (they close it when they go).
    TWindow& NewWindow() { return windows.emplace_back(); }
    TMux* AddDevice(uint8_t channel, TEchoDevice& device, TWindow* window = nullptr)
    {
        return table.AddChannel(channel, &device, window);
    }

    // The device's channel with a window and its echo port open on the fake kFakeEchoCom.
    TMux* AddWithFakeEcho(TEchoDevice& device, TWindow& window)
    {
        TMux* mux = AddDevice(kChannel, device, &window);
        mux->ToggleEcho();
        EXPECT_TRUE(mux->IsEchoOpen());
        return mux;
    }
    TFakeSerialPort& FakeEcho() { return *fakes[kFakeEchoCom]; }
    // Runs the UI thread's posted work up to now.
    static void FlushPosted()
    {
        bool flushed = false;
        PostToUi([&flushed] { flushed = true; });
        ASSERT_TRUE(WaitUntil([&flushed] { return flushed; }));
    }

    // Every block queued so far, taken from the queue.
    static std::vector<TBlock> TakeBlocks()
    {
        std::vector<TBlock> blocks;
        while (SendQueue->Count() > 0) {
            char buffer[512];
            uint32_t length = sizeof buffer;
            TListInfo info;
            SendQueue->Read(buffer, length, info, false);
            blocks.push_back({info.channel, QByteArray(buffer, static_cast<qsizetype>(length))});
        }
        return blocks;
    }
    // The bytes queued for `channel`, waiting until `count` of them came.
    QByteArray WaitForQueued(uint8_t channel, int count)
    {
        QByteArray got;
        WaitUntil([&] {
            for (const TBlock& block : TakeBlocks()) {
                EXPECT_EQ(block.channel, channel);
                got.append(block.bytes);
            }
            return got.size() >= count;
        });
        return got;
    }
    bool WaitForQueueCount(int count)
    {
        return WaitUntil([&] { return SendQueue->Count() >= count; });
    }
    QString LastMessageText() const
    {
        for (auto it = prompt.shown.rbegin(); it != prompt.shown.rend(); ++it) {
            if (it->kind == QStringLiteral("message")) {
                return it->text;
            }
        }
        return QString();
    }

    TFakePrompt prompt;
    TPty echoPty;
    TPty otherPty;
    QTemporaryDir missingDir;
    std::map<int, std::shared_ptr<TFakeSerialPort>> fakes;
    std::map<int, std::shared_ptr<bool>> closed;
    TPortTable portTable;
    std::deque<TWindow> windows;
    TMuxArray table;

private:
    TDataList* savedSend_ = nullptr;
};

}  // namespace

TEST_F(EchoPortsTest, EchoCarriesChannelDataOutAndPortInputBackExactly)
{
    TEchoDevice device(QStringLiteral("CTD"), kEchoCom);
    TWindow& window = NewWindow();
    TMux* mux = AddDevice(kChannel, device, &window);
    mux->ToggleEcho();
    ASSERT_TRUE(mux->IsEchoOpen());
    EXPECT_GT(device.rowRefreshes, 0);
    EXPECT_GT(window.stateChanges, 0);

    const QByteArray out("to\xFF\0port\r\n", 10);
    mux->PutData(out.constData(), static_cast<int>(out.size()));
    table.Service(1.0);
    EXPECT_EQ(echoPty.Read(static_cast<int>(out.size())), out);
    EXPECT_EQ(window.shown, out);

    const QByteArray in("from\xFF\0\xFF\xFFport", 12);
    echoPty.Write(in);
    EXPECT_EQ(WaitForQueued(kChannel, static_cast<int>(in.size())), in);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(EchoPortsTest, PcDevicePortFeedsTheChannelAndTakesItsData)
{
    TEchoDevice device(QStringLiteral("Sonde"));
    device.OnPcSerialPort(kOtherCom);
    TWindow& window = NewWindow();
    TMux* mux = AddDevice(kChannel, device, &window);
    ASSERT_TRUE(mux->OpenPcPort(kOtherCom));
    ASSERT_TRUE(mux->HasPCPort());

    // Nothing arrived: the channel is not marked and nothing is dispatched.
    EXPECT_FALSE(table.Service(1.0));
    EXPECT_EQ(table.NextPending(), nullptr);
    EXPECT_TRUE(window.shown.isEmpty());

    otherPty.Write("abc");
    ASSERT_TRUE(WaitUntil([&] {
        table.Service(1.0);
        return window.shown == "abc";
    }));

    Host.SendToChannel(kChannel, "xyz", 3);
    EXPECT_EQ(otherPty.Read(3), "xyz");
    // From the echo reader's thread the device port takes the data as well.
    std::thread reader([mux] { mux->OnEchoData("rt", 2); });
    reader.join();
    EXPECT_EQ(otherPty.Read(2), "rt");
    EXPECT_EQ(SendQueue->Count(), 0);

    mux->ClosePcPort();
    EXPECT_FALSE(mux->HasPCPort());
    EXPECT_FALSE(mux->WritePcPort("no", 2));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(EchoPortsTest, BreakOnTheEchoPortOfADasSerialDeviceQueuesSetAndClearBreak)
{
    TEchoDevice device(QStringLiteral("ADCP"), kFakeEchoCom);
    device.OnDasSerialPort(3);
    ASSERT_TRUE(AddWithFakeEcho(device, NewWindow())->IsEchoOpen());
    TFakeSerialPort& echo = FakeEcho();

    echo.FeedBreak();
    ASSERT_TRUE(WaitForQueueCount(1));
    echo.FeedInput("d");
    ASSERT_TRUE(WaitForQueueCount(3));
    EXPECT_EQ(TakeBlocks(), (std::vector<TBlock>{{kCommandChannel, QByteArray("SETBREAK 3\0", 11)},
                                                  {kCommandChannel, QByteArray("CLEARBREAK 3\0", 13)},
                                                  {kChannel, "d"}}));
}

TEST_F(EchoPortsTest, BreakOnTheEchoPortOfAPcWiredDeviceGoesToItsDevicePort)
{
    TEchoDevice device(QStringLiteral("Winch"), kFakeEchoCom);
    device.OnPcSerialPort(kFakePcCom);
    TWindow& window = NewWindow();
    TMux* mux = AddDevice(kChannel, device, &window);
    ASSERT_TRUE(mux->OpenPcPort(kFakePcCom));
    mux->ToggleEcho();
    ASSERT_TRUE(mux->IsEchoOpen());
    TFakeSerialPort& echo = *fakes[kFakeEchoCom];
    TFakeSerialPort& pc = *fakes[kFakePcCom];

    echo.FeedBreak();
    ASSERT_TRUE(WaitUntil([&] { return pc.BreakOn(); }));
    echo.FeedInput("go");
    ASSERT_TRUE(pc.WaitWritten(2, kTestWaitMs));
    EXPECT_FALSE(pc.BreakOn());
    EXPECT_EQ(pc.BreakCalls(), 2);
    EXPECT_EQ(pc.Written(), "go");
    EXPECT_EQ(SendQueue->Count(), 0);

    // With the device port closed the break goes to the DAS by the port's number.
    mux->ClosePcPort();
    EXPECT_TRUE(*closed[kFakePcCom]);
    echo.FeedBreak();
    ASSERT_TRUE(WaitForQueueCount(1));
    EXPECT_EQ(TakeBlocks(),
              (std::vector<TBlock>{{kCommandChannel, QByteArray("SETBREAK 44\0", 12)}}));
}

TEST_F(EchoPortsTest, EchoPortHeldElsewhereNamesTheHolder)
{
    TEchoDevice a(QStringLiteral("A"), kEchoCom);
    TEchoDevice b(QStringLiteral("B"), kEchoCom);
    TMux* muxA = AddDevice(12, a);
    TMux* muxB = AddDevice(13, b);
    muxA->ToggleEcho();
    ASSERT_TRUE(muxA->IsEchoOpen());
    muxB->ToggleEcho();
    EXPECT_FALSE(muxB->IsEchoOpen());
    EXPECT_EQ(LastMessageText(),
              QStringLiteral("Can not echo to Serial Port 41 for B.\r\nPort is being used by A"));
    muxA->ToggleEcho();
    ASSERT_FALSE(muxA->IsEchoOpen());

    // The same port held by someone else: the DAS, a device port, another program.
    std::unique_ptr<TTermiosPort> holder = TTermiosPort::Open(echoPty.Slave());
    ASSERT_NE(holder, nullptr);
    const uint16_t savedDasPort = Host.DasPort();
    Host.SetDasPort(kEchoCom);
    muxB->ToggleEcho();
    Host.SetDasPort(savedDasPort);
    EXPECT_EQ(LastMessageText(), QStringLiteral("Can not echo to Serial Port 41 for B.\r\n"
                                                "Port is being used by the DAS"));
    portTable.names.insert(QStringLiteral("COM41:"));
    muxB->ToggleEcho();
    EXPECT_EQ(LastMessageText(), QStringLiteral("Can not echo to Serial Port 41 for B.\r\n"
                                                "Port is being used as a Device Port"));
    portTable.names.clear();
    muxB->ToggleEcho();
    EXPECT_EQ(LastMessageText(), QStringLiteral("Can not echo to Serial Port 41 for B.\r\n"
                                                "Port is being used by another program"));
    EXPECT_FALSE(muxB->IsEchoOpen());
}

TEST_F(EchoPortsTest, MissingPortsShowTheSystemErrorOrTheDevicePortBox)
{
    TEchoDevice device(QStringLiteral("CTD"), kMissingCom);
    TMux* mux = AddDevice(kChannel, device);
    mux->ToggleEcho();
    EXPECT_FALSE(mux->IsEchoOpen());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Open Comm Port"));
    EXPECT_TRUE(prompt.shown[0].text.startsWith(QStringLiteral("Error# ")));

    EXPECT_FALSE(mux->OpenPcPort(kMissingCom));
    EXPECT_FALSE(mux->HasPCPort());
    EXPECT_EQ(LastMessageText(), QStringLiteral("Error opening Serial Port 7"));
}

// Forwards the DAS's control text on channel 255 to the host-side command interpreter.
class TControlTextReader final : public IFixedChannelReaders {
public:
    void ReceiveControlText(const char* bytes, int count) override
    {
        Host.ReceiveControlText(bytes, count);
    }
};

TEST_F(EchoPortsTest, ARouteSerialFailingInsideAServicePassShowsItsBoxesAfterThePass)
{
    TControlTextReader reader;
    table.SetFixedChannelReaders(&reader);
    Host.ClearControlText();
    TEchoDevice device(QStringLiteral("Sonde"));
    device.OnPcSerialPort(kMissingCom);
    TWindow& window = NewWindow();
    TMux* mux = AddDevice(kChannel, device, &window);
    TMux* commands = table.AddChannel(kCommandChannel);
    const QByteArray text = "RouteSerial 12\r\n";
    commands->PutData(text.constData(), static_cast<int>(text.size()));
    mux->PutData("data", 4);
    table.Service(1.0);
    // The pass went on to the channel served after the command: no modal box ran inside it.
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(window.shown, QByteArray("data"));
    EXPECT_FALSE(mux->HasPCPort());
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 2; }));
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("System Error: Could Not Open Comm Port"));
    EXPECT_EQ(LastMessageText(), QStringLiteral("Error opening Serial Port 7"));
    table.SetFixedChannelReaders(nullptr);
}

TEST_F(EchoPortsTest, FailedPcDevicePortIsClosedWithTheChannelsBox)
{
    TEchoDevice device(QStringLiteral("Sonde"));
    device.OnPcSerialPort(kOtherCom);
    TMux* mux = AddDevice(3, device);
    ASSERT_TRUE(mux->OpenPcPort(kOtherCom));
    otherPty.CloseMaster();
    table.Service(1.0);
    EXPECT_FALSE(mux->HasPCPort());
    ASSERT_TRUE(WaitUntil([&] { return !prompt.shown.empty(); }));
    EXPECT_EQ(LastMessageText(), QStringLiteral("PC Port Device Error on Host Channel# 3"));

    // A write failing in the echo reader's thread: the port closes on the UI thread, one box.
    ASSERT_TRUE(mux->OpenPcPort(kFakePcCom));
    fakes[kFakePcCom]->QueueWriteStep({-1, EIO});
    std::thread reader([mux] {
        EXPECT_FALSE(mux->WritePcPort("a", 1));
        EXPECT_FALSE(mux->WritePcPort("b", 1));
    });
    reader.join();
    ASSERT_TRUE(WaitUntil([&] { return !mux->HasPCPort(); }));
    EXPECT_TRUE(*closed[kFakePcCom]);
    EXPECT_EQ(fakes[kFakePcCom]->WriteCalls(), 1);
    ASSERT_TRUE(WaitUntil([&] {
        return prompt.Messages().filter(QStringLiteral("PC Port Device Error")).size() == 2;
    }));
}

TEST_F(EchoPortsTest, ToggleOpensThenClosesAndTheReaderReadsNoMore)
{
    TEchoDevice device(QStringLiteral("CTD"), kFakeEchoCom);
    device.OnDasSerialPort(3);
    TWindow& window = NewWindow();
    TMux* mux = AddWithFakeEcho(device, window);
    TFakeSerialPort& echo = FakeEcho();
    EXPECT_EQ(echo.Settings().baud, 9600u);
    mux->ToggleEcho();
    EXPECT_FALSE(mux->IsEchoOpen());
    EXPECT_TRUE(*closed[kFakeEchoCom]);
    EXPECT_GE(window.stateChanges, 2);

    echo.FeedInput("late");
    echo.FeedBreak();
    FlushPosted();
    EXPECT_EQ(echo.InQueue(), 7);
    EXPECT_EQ(SendQueue->Count(), 0);

    // A device without an echo port number has nothing to open.
    device.echo.port = 0;
    mux->ToggleEcho();
    EXPECT_FALSE(mux->IsEchoOpen());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(EchoPortsTest, EchoPortFailuresAreToldOnTheUiThread)
{
    TEchoDevice device(QStringLiteral("CTD"), kFakeEchoCom);
    TWindow& window = NewWindow();
    TMux* mux = AddWithFakeEcho(device, window);
    TFakeSerialPort& echo = FakeEcho();

    // A bad byte goes on as it came; a box tells of it and the port stays open.
    echo.FeedBadByte('x');
    EXPECT_EQ(WaitForQueued(kChannel, 1), "x");
    ASSERT_TRUE(WaitUntil([&] { return !prompt.shown.empty(); }));
    FlushPosted();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Serial error on Echo Port 43 for CTD.\r\n"
                                                   "Some bad data may have been received."));
    EXPECT_TRUE(mux->IsEchoOpen());

    echo.FailOp(TFakeSerialPort::TOp::Read, EIO);
    ASSERT_TRUE(WaitUntil([&] { return !mux->IsEchoOpen(); }));
    EXPECT_TRUE(*closed[kFakeEchoCom]);
    EXPECT_EQ(LastMessageText(), QStringLiteral("Major Error on Echo Serial Port 43 for CTD.\r\n"
                                                "Port will be closed."));
}

TEST_F(EchoPortsTest, HostSideRoutingOpensAndClosesTheDevicePort)
{
    TEchoDevice device(QStringLiteral("Winch"), 0);
    device.OnPcSerialPort(kFakePcCom);
    TMux* mux = AddDevice(kChannel, device, &NewWindow());
    const QByteArray route = "RouteSerial " + QByteArray::number(kChannel) + "\r";
    Host.ReceiveControlText(route.constData(), static_cast<int>(route.size()));
    ASSERT_TRUE(WaitUntil([&] { return mux->HasPCPort(); }));

    // Data for the channel now goes to the instrument's port, not to the DAS.
    Host.SendToChannel(kChannel, "abc", 3);
    ASSERT_TRUE(fakes[kFakePcCom]->WaitWritten(3, kTestWaitMs));
    EXPECT_EQ(fakes[kFakePcCom]->Written(), "abc");
    EXPECT_EQ(SendQueue->Count(), 0);

    const QByteArray unroute = "UnRouteSerial " + QByteArray::number(kChannel) + "\r";
    Host.ReceiveControlText(unroute.constData(), static_cast<int>(unroute.size()));
    ASSERT_TRUE(WaitUntil([&] { return !mux->HasPCPort(); }));
}
