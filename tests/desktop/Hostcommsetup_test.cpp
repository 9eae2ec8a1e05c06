// The host communications setup against the DAS stand-in: the rows of the PC's COM ports,
// device ports added and removed, and the change of baud rate and protocol on both sides of
// the link without losing it.
#include "desktop/Hostcommsetup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "DesktopFixture.h"
#include "link/Das.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "station/PortClasses.h"
#include "support/LineSpeed.h"
#include "support/Pty.h"
#include "support/das/DasStation.h"
#include "support/das/DasSystem.h"

namespace {

class HostCommTest : public DesktopFixture {
protected:
    void SetUp() override
    {
        DesktopFixture::SetUp();
        // COM1 is the stand-in, COM3 another line; the PC has no other port.
        for (int n = 2; n <= kHighestComPort; ++n) {
            SetComPortDevicePath(n, QStringLiteral("/nonexistent/COM") + QString::number(n));
        }
        SetComPortDevicePath(3, com3.Slave());
    }

    void TearDown() override
    {
        if (HostCommSetupForm != nullptr) {
            HostCommSetupForm->hide();
        }
        DesktopFixture::TearDown();
        SetSerialPortOpenerForTest({});
    }

    // The setup window as the File menu's action shows it.
    THostCommSetupForm& Open()
    {
        HostCommSetupForm->show();
        return *HostCommSetupForm;
    }

    // The link carries the DAS's data (after a change, at the new settings).
    bool LinkCarries(const QByteArray& text)
    {
        const uint32_t before = PacketCounters().dataPacketsReceived.load();
        das.SendChannelData(kInfoChannel, text);
        return WaitUntil([before] {
            return PacketCounters().dataPacketsReceived.load() > before;
        }, 10000);
    }

    TPty com3;
    TDasSystem system{console};
};

TEST_F(HostCommTest, RowsShowThePcsPortsAndWhatUsesThem)
{
    Start();
    THostCommSetupForm& f = Open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Host Communications Setup"));
    EXPECT_EQ(f.width(), 612);
    EXPECT_EQ(f.height(), f.DesignedHeight() + 56);
    EXPECT_EQ(f.Row(2).port, nullptr);
    ASSERT_NE(f.Row(3).port, nullptr);
    EXPECT_EQ(f.Row(3).port->text(), QStringLiteral("COM3:"));
    EXPECT_EQ(f.Row(3).port->y(), 66);
    EXPECT_EQ(f.Row(3).dasPort->y(), 64);
    EXPECT_EQ(f.Row(3).devicePort->y(), 64);
    EXPECT_EQ(f.Row(1).dasPort->y(), 8);
    EXPECT_EQ(f.Row(3).dasPort->text(), QStringLiteral("Use as DAS Port"));
    EXPECT_EQ(f.Row(3).devicePort->text(), QStringLiteral("Use as Device Port"));
    EXPECT_GT(f.Row(3).devicePort->x(), f.Row(3).dasPort->x() + f.Row(3).dasPort->width());
    EXPECT_GT(f.Row(3).device->x(), f.Row(3).devicePort->x() + f.Row(3).devicePort->width());
    EXPECT_LE(f.Row(3).device->geometry().right(), 612 - 10);
    EXPECT_TRUE(f.Row(1).dasPort->isChecked());
    EXPECT_FALSE(f.Row(1).devicePort->isEnabled());
    EXPECT_TRUE(f.Row(3).devicePort->isEnabled());
    EXPECT_EQ(f.ComboBox_BaudRate->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(f.ComboBox_BaudRate->currentIndex(), 2);
    EXPECT_EQ(f.ComboBox_Protocol->currentText(), QStringLiteral("Error Correcting Protocol"));
    QStringList rates;
    for (int i = 0; i < f.ComboBox_BaudRate->count(); ++i) {
        rates << f.ComboBox_BaudRate->itemText(i);
    }
    EXPECT_EQ(rates, (QStringList{"38400", "57600", "115200", "230400"}));
    EXPECT_TRUE(f.Cb_ChangeDAS->isChecked());
    f.hide();
    EXPECT_EQ(f.Row(3).port, nullptr);

    // A device wired to COM3: its box stays ticked and fixed, and COM3 cannot be the DAS's.
    TPort* pcPort = PortArray->AddPCPort(3);
    pcPort->SetDevice(Device("CTD"));
    Open();
    EXPECT_TRUE(f.Row(3).devicePort->isChecked());
    EXPECT_FALSE(f.Row(3).devicePort->isEnabled());
    EXPECT_FALSE(f.Row(3).dasPort->isEnabled());
    EXPECT_EQ(f.Row(3).device->text(), QStringLiteral("Device: CTD"));
    f.hide();
    pcPort->SetDevice(nullptr);

    // A link level the list does not offer selects nothing, and OK keeps it.
    Host.SetProtocol(3);
    Open();
    EXPECT_EQ(f.ComboBox_Protocol->currentIndex(), -1);
    f.Button_OK->click();
    EXPECT_EQ(GetProtocol(), 3);
    EXPECT_FALSE(console.Texts().join(QLatin1Char('\n')).contains(QStringLiteral("SETPROTOCOL")));
    Host.SetProtocol(1);
}

TEST_F(HostCommTest, DevicePortsAreAddedAndRemovedAndAnUnchangedOkStillResetsTheLink)
{
    Start();
    THostCommSetupForm& f = Open();
    f.Row(3).devicePort->click();
    EXPECT_FALSE(f.Row(3).dasPort->isEnabled());
    Das->SendCommandAt(QStringLiteral("RUNSCRIPT"), 60000);
    PacketCounters().receiveErrors = 9;
    f.Button_OK->click();

    const TPort* port = PortArray->FindPort(QStringLiteral("COM3:"));
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->GetConnectorName(), QStringLiteral("PC COM3:"));
    EXPECT_EQ(port->GetType(), TPortType::PCSerial);
    EXPECT_EQ(port->GetHostChannel(), 3);
    EXPECT_EQ(port->GetSerialPort(), 3);
    EXPECT_EQ(port->GetPowerSwitch(), 0);
    EXPECT_TRUE(ConfigurationChanged);
    EXPECT_FALSE(f.isVisible());
    // Nothing about the link changed: no change sent, queued commands dropped, the counters
    // cleared, the link running as before.
    EXPECT_FALSE(console.Texts().join(QLatin1Char('\n')).contains(QStringLiteral("SETPROTOCOL")));
    EXPECT_FALSE(console.Texts().contains(QStringLiteral("RUNSCRIPT")));
    EXPECT_EQ(PacketCounters().receiveErrors.load(), 0u);
    EXPECT_TRUE(LinkCarries("still here"));

    ConfigurationChanged = false;
    Open();
    EXPECT_TRUE(f.Row(3).devicePort->isChecked());
    f.Row(3).devicePort->click();
    f.Button_OK->click();
    EXPECT_EQ(PortArray->FindPort(QStringLiteral("COM3:")), nullptr);
    EXPECT_TRUE(ConfigurationChanged);
}

TEST_F(HostCommTest, BaudRateAndProtocolChangeOnBothSidesAndTheLinkGoesOn)
{
    Start();
    ASSERT_TRUE(LinkCarries("before"));
    THostCommSetupForm& f = Open();
    f.ComboBox_BaudRate->setCurrentText(QStringLiteral("57600"));
    f.Button_OK->click();
    EXPECT_TRUE(console.Texts().contains(QStringLiteral("SETPROTOCOL 57600 1")));
    EXPECT_EQ(Host.DasBaud(), 57600u);
    EXPECT_EQ(LineSpeed(das.SlavePath()), 57600u);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(LinkCarries("at 57600"));

    Open();
    EXPECT_EQ(f.ComboBox_BaudRate->currentText(), QStringLiteral("57600"));
    f.ComboBox_Protocol->setCurrentIndex(1);
    f.ComboBox_BaudRate->setCurrentText(QStringLiteral("115200"));
    f.Button_OK->click();
    EXPECT_TRUE(console.Texts().contains(QStringLiteral("SETPROTOCOL 115200 2")));
    EXPECT_EQ(GetProtocol(), 2);
    EXPECT_EQ(LineSpeed(das.SlavePath()), 115200u);
    EXPECT_TRUE(LinkCarries("error detecting"));

    // Without "Change Settings on DAS" only the PC's side changes.
    const qsizetype sent = console.Texts().size();
    Open();
    f.Cb_ChangeDAS->setChecked(false);
    f.ComboBox_BaudRate->setCurrentText(QStringLiteral("38400"));
    f.Button_OK->click();
    EXPECT_EQ(LineSpeed(das.SlavePath()), 38400u);
    for (const QString& text : console.Texts().mid(sent)) {
        EXPECT_FALSE(text.startsWith(QStringLiteral("SETPROTOCOL")));
    }
    Host.SetProtocol(1);
}

// The DAS stays at the level it was switched to while the program restarts; the demo's
// stand-in, started anew, meets the station the program opens next at that station's level.
TEST_F(HostCommTest, TheNextDemoStartsItsDasAtTheLevelTheStationWasSavedWith)
{
    TDASDesktopForm& desktop = Start();
    EXPECT_EQ(RememberedStationProtocol(), 1);
    THostCommSetupForm& f = Open();
    f.ComboBox_Protocol->setCurrentIndex(1);
    f.Button_OK->click();
    ASSERT_EQ(GetProtocol(), 2);

    // Saved as a station of its own, which the settings then name as the one to open.
    const QString saved = settingsDir.filePath(QStringLiteral("Level2.das"));
    desktop.Config().ConfigFileName = saved;
    ASSERT_TRUE(desktop.Config().StoreConfiguration(true));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(VersionedKeyPath(1.26, QStringLiteral("DasDesktop")), false));
    reg.WriteString(QStringLiteral("INIFile"), saved);
    EXPECT_EQ(RememberedStationProtocol(), 2);

    reg.WriteString(QStringLiteral("INIFile"), settingsDir.filePath(QStringLiteral("None.das")));
    EXPECT_EQ(RememberedStationProtocol(), 0);
    Host.SetProtocol(1);
}

TEST_F(HostCommTest, RefusedChangesLeaveTheLinkAlone)
{
    Start();
    THostCommSetupForm& f = Open();

    // 230400 on COM1 asks first; No stops with the window open.
    f.ComboBox_BaudRate->setCurrentText(QStringLiteral("230400"));
    prompt.QueueMessageAnswer(TMsgResult::No);
    f.Button_OK->click();
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("PC Serial Port May not handle 230400 Baud! Continue?"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(Host.DasBaud(), 115200u);

    // A port that cannot be opened: nothing changes.
    auto com5 = std::make_unique<TPty>();
    SetComPortDevicePath(5, com5->Slave());
    f.hide();
    Open();
    ASSERT_NE(f.Row(5).dasPort, nullptr);
    f.Row(5).dasPort->click();
    com5.reset();
    prompt.shown.clear();
    f.Button_OK->click();
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Unable to Open COM5 at 115200 baud. Aborting Changes"));
    EXPECT_EQ(Host.DasPort(), 1);
    EXPECT_TRUE(LinkCarries("untouched"));
}

TEST_F(HostCommTest, ADasPortThatWillNotOpenAgainIsReportedAndTriedUntilItComesBack)
{
    TDASDesktopForm& f = Start();
    THostCommSetupForm& setup = Open();
    // The port goes away between the check and the reopening, and comes back later.
    auto gone = std::make_shared<bool>(true);
    SetSerialPortOpenerForTest([gone](const QString& path) -> std::unique_ptr<ISerialPort> {
        if (*gone) {
            errno = ENOENT;
            return nullptr;
        }
        return TTermiosPort::Open(path);
    });
    setup.Button_OK->click();
    EXPECT_FALSE(DasPortOpen());
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("System Error: Could Not Open Comm Port"));
    EXPECT_EQ(f.ToolMessage(), QStringLiteral("Disconnected"));
    EXPECT_TRUE(f.DeviceListGrey());
    const size_t boxes = prompt.shown.size();

    // Queued while the port is away, sent once it is back; the link recovers by itself,
    // without a box for each try.
    Das->SendCommand(QStringLiteral("CHECKSCRIPT"));
    *gone = false;
    EXPECT_TRUE(WaitUntil([] { return DasPortOpen(); }, 10000));
    EXPECT_TRUE(WaitUntil([this] {
        return console.Texts().contains(QStringLiteral("CHECKSCRIPT"));
    }, 10000));
    EXPECT_TRUE(LinkCarries("back"));
    EXPECT_TRUE(WaitUntil([&f] { return f.ToolMessage() == QStringLiteral("Connected to DAS"); }));
    EXPECT_FALSE(f.DeviceListGrey());
    EXPECT_EQ(prompt.shown.size(), boxes);
    EXPECT_EQ(Host.DasPort(), 1);
    EXPECT_EQ(Host.DasBaud(), 115200u);
    SetSerialPortOpenerForTest({});
}

// A PC UART that runs only at the standard rates up to 230400: any other rate is refused, as
// its driver refuses it.
class TStandardRatesPort final : public ISerialPort {
public:
    // `onOpen`: whether the rate a port is opened at is checked too, or only a change of rate.
    explicit TStandardRatesPort(std::unique_ptr<TTermiosPort> port, bool onOpen = true)
        : port_(std::move(port)), onOpen_(onOpen)
    {
    }
    static bool Takes(uint32_t baud)
    {
        for (uint32_t rate : {9600u, 19200u, 38400u, 57600u, 115200u, 230400u}) {
            if (rate == baud) {
                return true;
            }
        }
        errno = EINVAL;
        return false;
    }
    bool CheckProperties() override { return port_->CheckProperties(); }
    bool ApplySettings(const TSerialSettings& s) override
    {
        return (!onOpen_ || Takes(s.baud)) && port_->ApplySettings(s);
    }
    bool SetBaudRate(uint32_t baud) override { return Takes(baud) && port_->SetBaudRate(baud); }
    bool SetRtsToggle() override { return port_->SetRtsToggle(); }
    bool SetReadTimeout(int ms) override { return port_->SetReadTimeout(ms); }
    ssize_t Write(const uint8_t* b, size_t n) override { return port_->Write(b, n); }
    ssize_t Read(uint8_t* b, size_t n) override { return port_->Read(b, n); }
    int OutQueue() override { return port_->OutQueue(); }
    int InQueue() override { return port_->InQueue(); }
    bool PurgeInput() override { return port_->PurgeInput(); }
    bool SetBreak(bool on) override { return port_->SetBreak(on); }
    bool SetLineMarks(bool on) override { return port_->SetLineMarks(on); }
    int WaitHandle() const override { return port_->WaitHandle(); }
    bool HungUp() override { return port_->HungUp(); }

private:
    std::unique_ptr<TTermiosPort> port_;
    bool onOpen_;
};

TEST_F(HostCommTest, ARateThePcsPortRefusesIsToldInOneBoxWithTheLinkRunningAndNeverSent)
{
    SetSerialPortOpenerForTest([](const QString& path) -> std::unique_ptr<ISerialPort> {
        std::unique_ptr<TTermiosPort> port = TTermiosPort::Open(path);
        return port ? std::make_unique<TStandardRatesPort>(std::move(port)) : nullptr;
    });
    Start();
    ASSERT_TRUE(LinkCarries("before"));
    THostCommSetupForm& f = Open();
    Das->SendCommandAt(QStringLiteral("RUNSCRIPT"), 60000);
    f.ComboBox_BaudRate->setCurrentText(QStringLiteral("100000"));
    const size_t before = prompt.shown.size();
    // While the box is open the link runs, at the working rate.
    prompt.onMessage = [this](const TShownDialog&) {
        ASSERT_FALSE(Host.Thread().Paused());
        EXPECT_EQ(LineSpeed(das.SlavePath()), 115200u);
        EXPECT_TRUE(LinkCarries("while the box is open"));
    };
    f.Button_OK->click();
    prompt.onMessage = nullptr;
    EXPECT_TRUE(f.isVisible());
    // Nothing sent, nothing dropped, the link as it was.
    EXPECT_FALSE(console.Texts().join(QLatin1Char('\n')).contains(QStringLiteral("SETPROTOCOL")));
    EXPECT_TRUE(TimedQueue->HoldsOnChannel(kCommandChannel, "RUNSCRIPT"));
    EXPECT_EQ(Host.DasBaud(), 115200u);
    EXPECT_EQ(LineSpeed(das.SlavePath()), 115200u);
    EXPECT_TRUE(LinkCarries("still at 115200"));
    // One box, which names the rate.
    ASSERT_EQ(prompt.shown.size(), before + 1);
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Unable to Set Baud Rate to 100000."));

    // On another port, the test opening refuses it.
    f.Row(3).dasPort->click();
    f.Button_OK->click();
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Unable to Open COM3 at 100000 baud. Aborting Changes"));
    EXPECT_FALSE(console.Texts().join(QLatin1Char('\n')).contains(QStringLiteral("SETPROTOCOL")));
    EXPECT_EQ(Host.DasPort(), 1);
    EXPECT_TRUE(LinkCarries("still on COM1"));
}

TEST_F(HostCommTest, ARateTheNewPortRefusesOnceItIsTheDasPortIsToldWithTheLinkRunning)
{
    // The port takes the rate when it is tried, and refuses it once it is the DAS port.
    SetSerialPortOpenerForTest([](const QString& path) -> std::unique_ptr<ISerialPort> {
        std::unique_ptr<TTermiosPort> port = TTermiosPort::Open(path);
        return port ? std::make_unique<TStandardRatesPort>(std::move(port), false) : nullptr;
    });
    Start();
    THostCommSetupForm& f = Open();
    f.Cb_ChangeDAS->setChecked(false);
    f.Row(3).dasPort->click();
    f.ComboBox_BaudRate->setCurrentText(QStringLiteral("100000"));
    const size_t before = prompt.shown.size();
    bool linkRan = false;
    prompt.onMessage = [this, &linkRan](const TShownDialog&) {
        linkRan = !Host.Thread().Paused();
        EXPECT_EQ(LineSpeed(com3.Slave()), 115200u);
    };
    f.Button_OK->click();
    prompt.onMessage = nullptr;
    ASSERT_EQ(prompt.shown.size(), before + 1);
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Unable to Set Baud Rate to 100000."));
    EXPECT_TRUE(linkRan);
    EXPECT_EQ(Host.DasPort(), 3);
    EXPECT_EQ(Host.DasBaud(), 115200u);
    EXPECT_EQ(LineSpeed(com3.Slave()), 115200u);
}

TEST_F(HostCommTest, AnotherDasPortIsANewLineWhoseEchoIsLearntAnew)
{
    // However late the stand-ins' threads bring an echo back on a busy machine.
    SetEchoLatencyForTest(std::chrono::seconds(10));
    TDASDesktopForm& desktop = Start();
    // The DAS's packets behind the host's acknowledgements, with no echo ahead of them: COM1
    // does not echo.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(LinkCarries("no echo here"));
    }
    // No status requests: nothing the host sends shows the new line's echo by the way.
    desktop.Desktop_RequestStatusPackets->setChecked(false);
    // COM3 hears itself: the echo of the host's NAK 0 is byte for byte a poll of the DAS. Its
    // DAS keeps quiet until the host listens, so that no poll of its waits unanswered.
    TDasStandIn echoing;
    echoing.SetEcho(true);
    echoing.SetProtocol(1);
    echoing.SetSilent(true);
    echoing.Start();
    SetComPortDevicePath(3, echoing.SlavePath());
    THostCommSetupForm& f = Open();
    f.Row(3).dasPort->click();
    f.Button_OK->click();
    ASSERT_EQ(Host.DasPort(), 3);
    echoing.SetSilent(false);
    ASSERT_TRUE(WaitUntil([&] { return echoing.polls.load() >= 20; }));
    EXPECT_EQ(echoing.unaskedAnswers.load(), 0u);
    SetEchoLatencyForTest(kDefaultEchoLatency);
    Host.Disconnect();
}

}  // namespace
