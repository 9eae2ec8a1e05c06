#include "desktop/Dasdesktop.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <memory>

#include "DesktopFixture.h"
#include "desktop/Forms.h"
#include "desktop/WinMenuItem.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/Registry.h"
#include "platform/WindowPlacement.h"
#include "station/ConfigFiles.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/das/DasConsole.h"
#include "support/das/DasStandIn.h"
#include "support/das/DasStatus.h"

namespace {

const QString kDesktopKey = QStringLiteral("DasDesktop");

// A script editor list whose editors refuse to close while `refuse` is set.
class TRefusingEditors final : public IScriptEditForms {
public:
    explicit TRefusingEditors(bool& refuse) : refuse_(refuse) {}
    bool CanCloseAll() override { return !refuse_; }
    void CloseAll() override {}

private:
    bool& refuse_;
};

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(das.IsOpen());
        EnterTestStation(settingsDir, das);
        TDASDesktopForm::SetTerminateHandler([this] { ++terminated; });
        ConfigurationChanged = false;
        sampleDas = InstallSampleStation();
        ASSERT_FALSE(sampleDas.isEmpty());
    }

    void TearDown() override
    {
        form.reset();
        SetScriptEditFormsMaker({});
        TDASDesktopForm::SetTerminateHandler({});
        UnfreezeQueueClock();
        LeaveTestStation();
        Host.SetReadVersion(kHostVersion);
    }

    static QString KeyPath(int key) { return VersionedKeyPath(key / 100.0, kDesktopKey); }

    static void WriteIniFile(int key, const QString& value)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(KeyPath(key), true));
        reg.WriteString(QStringLiteral("INIFile"), value);
    }

    static QString ReadIniFile(int key)
    {
        TRegistry reg;
        return reg.OpenKey(KeyPath(key), false) ? reg.ReadString(QStringLiteral("INIFile"))
                                                : QStringLiteral("<no key>");
    }

    static bool KeyExists(int key) { return TRegistry().KeyExists(KeyPath(key)); }

    // The main window made and shown, its first show done.
    TDASDesktopForm& Start()
    {
        form = std::make_unique<TDASDesktopForm>();
        form->show();
        EXPECT_TRUE(WaitUntil([this] { return form->FirstShowDone(); }));
        return *form;
    }

    // Starts with the sample station remembered under the current key.
    TDASDesktopForm& StartWithSample()
    {
        WriteIniFile(kRegistryVersionKey, QStringLiteral("Config\\Demo.das"));
        TDASDesktopForm& f = Start();
        EXPECT_TRUE(f.IsConfigurationLoaded());
        return f;
    }

    // The console commands queued in TimedQueue, taken out of it.
    static QStringList TakeCommands() { return TakeQueuedCommands(); }

    QTemporaryDir settingsDir;
    TFakePrompt prompt;
    TDasStandIn das;
    TDasConsole console{das};
    TDasStatus status{console};
    QString sampleDas;
    int terminated = 0;
    std::unique_ptr<TDASDesktopForm> form;
};

// A whole run: start, link, status and shutdown. The shutdown joins the link thread, and the
// next start runs it afresh.
TEST_F(DesktopTest, StartsTheStationConnectsAndShowsTheDasStatus)
{
    status.SetStatusLine("25.1,12.0,--,0,COCC,01001000000000000,xR");
    TDASDesktopForm& f = StartWithSample();

    // The fixed channels, with windows for the info, error and script channels only.
    ASSERT_NE(MuxArray, nullptr);
    EXPECT_EQ(MuxArray->Count(), 10 + Devices->Count());
    for (const TFixedChannel& fixed : kFixedChannels) {
        TMux* mux = MuxArray->GetChannel(fixed.channel);
        ASSERT_NE(mux, nullptr) << int(fixed.channel);
        EXPECT_EQ(mux->GetName(), QString::fromLatin1(fixed.name));
        EXPECT_EQ(mux->GetWindow() != nullptr, fixed.window) << int(fixed.channel);
        if (auto* window = dynamic_cast<TTerminalForm*>(mux->GetWindow())) {
            EXPECT_EQ(window->windowTitle(), QString::fromLatin1(fixed.name));
        }
    }
    EXPECT_EQ(Devices->Count(), 3);

    EXPECT_TRUE(f.DataTimer()->isActive());
    EXPECT_EQ(f.DataTimer()->interval(), 100);
    EXPECT_TRUE(f.StatTimer()->isActive());
    EXPECT_EQ(f.StatTimer()->interval(), 1000);
    EXPECT_TRUE(DasPortOpen());

    // The status timer asks; the answer fills the status bar and the device states.
    ASSERT_TRUE(WaitUntil([&] { return f.PanelText(5) == QStringLiteral("Script Running"); }))
        << f.PanelText(1).toStdString();
    EXPECT_EQ(f.PanelText(1), QStringLiteral("Temp=25.1"));
    EXPECT_EQ(f.PanelText(2), QStringLiteral("Voltage=12.0"));
    EXPECT_EQ(f.PanelText(3), QString());
    EXPECT_EQ(f.PanelText(4), QStringLiteral("Depth=0"));
    const auto state = [](const char* name) {
        return Devices->FindByName(QString::fromLatin1(name))->GetListItem()->StateIndex() %
               kStateActivity;
    };
    EXPECT_EQ(state("CTD"), kStateSerialOpen + kStatePowered);
    EXPECT_EQ(state("Oxygen"), kStateNotSerial + kStatePowered);
    EXPECT_EQ(state("Current Meter"), kStateNotSerial);
    EXPECT_GE(status.Requests(), 1);
    // Commands queued before the link came up (the sequence number reset) were dropped.
    ASSERT_FALSE(console.Texts().isEmpty());
    EXPECT_EQ(console.Texts().first(), kStatusRequestCommand);

    f.close();
    EXPECT_TRUE(f.IsShutDown());
    EXPECT_FALSE(Host.Thread().Running());
    EXPECT_FALSE(DasPortOpen());
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(MuxArray, nullptr);
    EXPECT_EQ(Devices, nullptr);
    EXPECT_EQ(PortArray, nullptr);
    EXPECT_EQ(TimedQueue, nullptr);
    EXPECT_EQ(SendQueue, nullptr);
    EXPECT_EQ(Das, nullptr);
    EXPECT_EQ(ReadIniFile(kRegistryVersionKey), QStringLiteral("Config\\Demo.das"));
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Messages().join('|').toStdString();
}

TEST_F(DesktopTest, ReadsTheNewestKeyThatExistsAndWritesTheCurrentOne)
{
    WriteIniFile(124, QStringLiteral("Config\\Demo.das"));
    form = std::make_unique<TDASDesktopForm>();
    EXPECT_EQ(QDir::cleanPath(form->ConfigFileName()), QDir::cleanPath(sampleDas));
    EXPECT_NEAR(Host.ReadVersion(), 1.24, 1e-6);
    EXPECT_NEAR(RegistryReadVersion(), 1.24, 1e-9);

    form->show();
    ASSERT_TRUE(WaitUntil([this] { return form->FirstShowDone(); }));
    ASSERT_TRUE(form->IsConfigurationLoaded());
    form->move(200, 150);
    form->close();

    EXPECT_EQ(ReadIniFile(126), QStringLiteral("Config\\Demo.das"));
    EXPECT_FALSE(KeyExists(125));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyPath(126), false));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("Left")));
    EXPECT_GT(reg.ReadFloat(QStringLiteral("Width")), 0.0);
    EXPECT_LE(reg.ReadFloat(QStringLiteral("Width")), 1.0);
}

TEST_F(DesktopTest, AConfigurationOutsideTheDataFolderIsRememberedWithBackslashes)
{
    // The sample station copied next to the settings, away from the data folder.
    const QString away = settingsDir.filePath(QStringLiteral("Away.das"));
    ASSERT_TRUE(QFile::copy(sampleDas, away));
    const QString stored = QString(away).replace(QLatin1Char('/'), QLatin1Char('\\'));
    WriteIniFile(kRegistryVersionKey, stored);
    TDASDesktopForm& f = Start();
    ASSERT_TRUE(f.IsConfigurationLoaded());
    EXPECT_EQ(f.ConfigFileName(), away);

    f.close();
    EXPECT_EQ(ReadIniFile(126), stored);
}

TEST_F(DesktopTest, WithoutAnyKeyTheConfigurationIsAskedFor)
{
    form = std::make_unique<TDASDesktopForm>();
    EXPECT_TRUE(IsNoFileName(form->ConfigFileName()));
    EXPECT_TRUE(form->ConfigFileName().endsWith(QStringLiteral("Config/*.Das")))
        << form->ConfigFileName().toStdString();
    EXPECT_NEAR(Host.ReadVersion(), 1.26, 1e-6);
}

TEST_F(DesktopTest, FailedLoadEndsTheProgramAndSavesNothing)
{
    prompt.QueueFile(std::nullopt);                  // the configuration file dialog
    prompt.QueueMessageAnswer(TMsgResult::No);       // "Create New Configuration?"
    TDASDesktopForm& f = Start();

    EXPECT_FALSE(f.IsConfigurationLoaded());
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.front().title, QStringLiteral("Open Pelagrix/Corvane Configuration File"));
    EXPECT_EQ(prompt.shown.back().text, kConfigRequiredText);
    EXPECT_EQ(terminated, 1);
    EXPECT_FALSE(f.DataTimer()->isActive());
    EXPECT_FALSE(f.StatTimer()->isActive());
    EXPECT_FALSE(DasPortOpen());

    const size_t dialogs = prompt.shown.size();
    f.close();
    EXPECT_TRUE(f.IsShutDown());
    EXPECT_EQ(prompt.shown.size(), dialogs);
    EXPECT_FALSE(KeyExists(126));
    EXPECT_EQ(Devices, nullptr);
}

TEST_F(DesktopTest, ShutdownOfAConfigurationWithoutFileOffersSaveAsOnly)
{
    // The operator starts a new configuration on the sample unit but names no file.
    prompt.QueueFile(std::nullopt);                     // open: cancelled
    prompt.QueueMessageAnswer(TMsgResult::Yes);         // "Create New Configuration?"
    prompt.QueueFile(std::nullopt);                     // the new ".das" name: cancelled
    prompt.QueueFile(ExpandDataRelativePath(QStringLiteral("InternalConfig\\Demo.icf")));
    TDASDesktopForm& f = Start();
    ASSERT_TRUE(f.IsConfigurationLoaded());
    ASSERT_TRUE(IsNoFileName(f.ConfigFileName()));

    prompt.QueueFile(std::nullopt);  // Save As at shutdown: cancelled
    f.close();
    EXPECT_EQ(prompt.shown.back().kind, QStringLiteral("save"));
    EXPECT_FALSE(KeyExists(126));
}

TEST_F(DesktopTest, ShutdownAsksToSaveAModifiedConfiguration)
{
    TDASDesktopForm& f = StartWithSample();
    ConfigurationChanged = true;
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    f.close();

    const QStringList messages = prompt.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].endsWith(QStringLiteral("Save Configuration to ") + f.ConfigFileName() +
                                     QStringLiteral("?")))
        << messages[0].toStdString();
    EXPECT_FALSE(ConfigurationChanged);
    EXPECT_EQ(ReadIniFile(126), QStringLiteral("Config\\Demo.das"));
}

TEST_F(DesktopTest, EditorThatRefusesToCloseKeepsTheProgramRunning)
{
    bool refuse = true;
    SetScriptEditFormsMaker([&refuse](QWidget*) { return new TRefusingEditors(refuse); });
    TDASDesktopForm& f = StartWithSample();

    EXPECT_FALSE(f.close());
    EXPECT_FALSE(f.IsShutDown());
    EXPECT_TRUE(f.DataTimer()->isActive());
    EXPECT_NE(Devices, nullptr);
    EXPECT_EQ(terminated, 0);

    refuse = false;
    EXPECT_TRUE(f.close());
    EXPECT_TRUE(f.IsShutDown());
}

TEST_F(DesktopTest, CloseAfterShutdownDoesNothing)
{
    TDASDesktopForm& f = StartWithSample();
    f.close();
    ASSERT_TRUE(f.IsShutDown());
    f.show();
    EXPECT_TRUE(f.close());
    f.ExitWendrokExecute();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(Devices, nullptr);
    form.reset();
    EXPECT_EQ(DASDesktopForm, nullptr);
    EXPECT_EQ(WindowsList, nullptr);
}

TEST_F(DesktopTest, WindowMenuIsMadeOnceAndShowsDoNotReload)
{
    TDASDesktopForm& f = StartWithSample();
    f.SetSeqNum(42);
    f.hide();
    f.show();
    f.showMinimized();
    f.showNormal();
    QCoreApplication::processEvents();

    const QList<QAction*> top = f.menuBar()->actions();
    int windowMenus = 0;
    for (QAction* action : top) {
        windowMenus += action->text() == QStringLiteral("&Window") ? 1 : 0;
    }
    EXPECT_EQ(windowMenus, 1);
    ASSERT_GE(top.size(), 2);
    EXPECT_EQ(top.last()->menu(), f.HelpMenu());
    EXPECT_EQ(top[top.size() - 2]->menu(), f.WindowMenu());
    // A later show neither reloads the configuration nor resets the sequence number.
    EXPECT_EQ(f.GetSeqNum(), 42);
    EXPECT_EQ(Devices->Count(), 3);
    f.close();
}

TEST_F(DesktopTest, StatusRequestWaitsForACommandSequenceAboutToStart)
{
    FreezeQueueClock(50'000'000);
    TDASDesktopForm& f = StartWithSample();
    Host.Pause();
    TakeCommands();
    ASSERT_NE(Das, nullptr);

    f.Timer_StatTimer();
    EXPECT_EQ(TakeCommands(), QStringList{kStatusRequestCommand});

    // Two commands, the first due within the interval: only the icons are refreshed.
    Das->SendCommandAt(QStringLiteral("SETPOWER 1 1"), 500);
    Das->SendCommandAt(QStringLiteral("SETPOWER 2 1"), 600);
    f.Timer_StatTimer();
    EXPECT_EQ(TimedQueue->Count(), 2);
    // Overdue counts as about to start too.
    StepQueueClock(5000);
    f.Timer_StatTimer();
    EXPECT_EQ(TimedQueue->Count(), 2);
    TakeCommands();

    // One command, or two due later than the interval: the request goes out.
    Das->SendCommandAt(QStringLiteral("SETPOWER 1 0"), 200);
    f.Timer_StatTimer();
    EXPECT_TRUE(TakeCommands().contains(kStatusRequestCommand));
    Das->SendCommandAt(QStringLiteral("SETPOWER 1 0"), 1500);
    Das->SendCommandAt(QStringLiteral("SETPOWER 2 0"), 1600);
    f.Timer_StatTimer();
    EXPECT_TRUE(TakeCommands().contains(kStatusRequestCommand));

    // A busy explorer is never interrupted.
    TPlainDASExplorerForm explorer;
    DASExplorerForm = &explorer;
    explorer.SetBusy(true);
    f.Timer_StatTimer();
    DASExplorerForm = nullptr;
    EXPECT_TRUE(TakeCommands().isEmpty());
    f.close();
}

TEST_F(DesktopTest, StatusSwitchAndPeriodDialogs)
{
    form = std::make_unique<TDASDesktopForm>();
    TDASDesktopForm& f = *form;
    TakeCommands();

    prompt.QueueInput(QStringLiteral("150"));
    f.Desktop_SetStatusUpdateRateExecute();
    EXPECT_EQ(f.GetStatusInterval(), 150);
    prompt.QueueInput(QStringLiteral("50"));
    f.Desktop_SetStatusUpdateRateExecute();
    EXPECT_EQ(f.GetStatusInterval(), 100);
    prompt.QueueInput(QStringLiteral("abc"));
    f.Desktop_SetStatusUpdateRateExecute();
    EXPECT_EQ(f.GetStatusInterval(), 100);
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Change Status Period"));
    // A stored interval of 0 must not make the timer fire on every pass.
    f.SetStatusInterval(0);
    EXPECT_EQ(f.GetStatusInterval(), kMinStatusIntervalMs);

    prompt.QueueMessageAnswer(TMsgResult::No);
    f.Desktop_RequestStatusPacketsExecute();
    EXPECT_TRUE(f.RequestStatus());

    prompt.QueueMessageAnswer(TMsgResult::Yes);
    f.Desktop_RequestStatusPacketsExecute();
    EXPECT_FALSE(f.RequestStatus());
    EXPECT_EQ(f.PanelText(1), QStringLiteral("Status Off"));
    EXPECT_TRUE(TakeCommands().isEmpty());
    const QByteArray line = "25.1,12.0,0.5,3,OO,11,xR\r\n";
    f.OnStatusChannelData(kStatusChannel, line.constData(), static_cast<int>(line.size()));
    EXPECT_EQ(f.PanelText(1), QStringLiteral("Status Off"));

    // Turning requests on asks at once.
    f.Desktop_RequestStatusPacketsExecute();
    EXPECT_TRUE(f.RequestStatus());
    EXPECT_EQ(TakeCommands(), QStringList{kStatusRequestCommand});
}

TEST_F(DesktopTest, SequenceNumberWrapsAndResetsTheDasCounter)
{
    form = std::make_unique<TDASDesktopForm>();
    TDASDesktopForm& f = *form;
    TakeCommands();

    // Before the first show there is no device list to update.
    f.SetSeqNum(1000);
    EXPECT_EQ(f.PanelText(0), QStringLiteral("Seq#0"));
    EXPECT_EQ(TakeCommands(), QStringList{QStringLiteral("ResetSeqNum 0")});
    f.SetSeqNum(-7);
    EXPECT_EQ(f.PanelText(0), QStringLiteral("Seq#7"));
    f.SetSeqNum(999);
    f.NextSeqNum();
    EXPECT_EQ(f.GetSeqNum(), 0);

    prompt.QueueInput(QStringLiteral("1500"));
    f.Desktop_SetSeqNumExecute();
    EXPECT_EQ(f.GetSeqNum(), 999);
    prompt.QueueInput(QStringLiteral("-5"));
    f.Desktop_SetSeqNumExecute();
    EXPECT_EQ(f.GetSeqNum(), 0);
    prompt.QueueInput(QStringLiteral("x"));
    f.SetSeqNum(12);
    f.Desktop_SetSeqNumExecute();
    EXPECT_EQ(f.GetSeqNum(), 12);
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Set File Sequence Number"));
}

TEST_F(DesktopTest, StatusAndStatisticsLinesKeepTheirOwnBuffers)
{
    form = std::make_unique<TDASDesktopForm>();
    TDASDesktopForm& f = *form;
    Das->Temperature = 1;
    Das->Voltage = 1;
    Das->Current = 1;
    Das->Depth = 0;
    Das->Panels = 5;
    f.resize(700, 300);
    f.StatusBar_DesktopResize();
    TFrmMuxStats stats;
    FrmMuxStats = &stats;

    const auto feed = [&f](uint8_t channel, const QByteArray& bytes) {
        f.OnStatusChannelData(channel, bytes.constData(), static_cast<int>(bytes.size()));
    };
    feed(kStatusChannel, "25.1,12.0,--");
    feed(kMuxStatsChannel, "Abc");
    feed(kStatusChannel, ",0,OOOO,11111111111111111,xR\r");
    feed(kMuxStatsChannel, "\r\nx\r\n");
    feed(kStatusChannel, "\n");
    FrmMuxStats = nullptr;

    EXPECT_EQ(f.PanelText(1), QStringLiteral("Temp=25.1"));
    EXPECT_EQ(f.PanelText(2), QStringLiteral("Voltage=12.0"));
    EXPECT_EQ(f.PanelText(3), QString());
    EXPECT_EQ(f.PanelText(5), QStringLiteral("Script Running"));
    EXPECT_EQ(f.PanelWidth(4), 0);
    const int width = f.StatusBar_Desktop->width() / 5;
    EXPECT_EQ(f.PanelWidth(0), width);
    EXPECT_EQ(f.PanelWidth(1), width);
    EXPECT_EQ(f.PanelWidth(5), width);
    EXPECT_EQ(stats.Lines(), (QStringList{QStringLiteral("Abc"), QStringLiteral("x")}));

    // A short line changes only the panels it has fields for.
    feed(kStatusChannel, "19.5\r\n");
    EXPECT_EQ(f.PanelText(1), QStringLiteral("Temp=19.5"));
    EXPECT_EQ(f.PanelText(2), QStringLiteral("Voltage=12.0"));

    f.ShowToolMessage(QStringLiteral("Connected to DAS"));
    EXPECT_EQ(f.ToolMessage(), QStringLiteral("Connected to DAS"));
    EXPECT_EQ(f.PanelMessage->width(),
              f.PanelMessage->fontMetrics().horizontalAdvance(QStringLiteral("Connected to DAS")) +
                  13);
}

TEST_F(DesktopTest, HostileStatusAndStatisticsLinesNeitherCrashNorShowMarkup)
{
    form = std::make_unique<TDASDesktopForm>();
    TDASDesktopForm& f = *form;
    Das->Temperature = 1;
    Das->Voltage = 1;
    TFrmMuxStats stats;
    FrmMuxStats = &stats;
    const auto feed = [&f](uint8_t channel, const QByteArray& bytes) {
        f.OnStatusChannelData(channel, bytes.constData(), static_cast<int>(bytes.size()));
    };

    const QByteArray binary = [] {
        QByteArray b;
        for (int i = 0; i < 3000; ++i) {
            b += static_cast<char>((i * 131 + 7) % 256);
        }
        return b;
    }();
    const QList<QByteArray> hostile = {
        QByteArray(),
        QByteArray("\0\0\0\r\n", 5),
        ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n",
        "-99999999999999999999,1e308,,,\x01\x02,\xff\xff\xff,\r\n",
        QByteArray(20000, ',') + "\r\n",
        QByteArray(100000, 'O') + "\n",
        binary + "\r\n",
        "25.1",  // truncated: no line end
    };
    for (const QByteArray& chunk : hostile) {
        feed(kStatusChannel, chunk);
        feed(kMuxStatsChannel, chunk);
    }
    // A field that reads like markup is shown as it stands.
    feed(kStatusChannel, "\r\n<b>hot</b>,<img src=\"/etc/passwd\">,0,OO,11,xR\r\n");
    EXPECT_EQ(f.PanelText(1), QStringLiteral("Temp=<b>hot</b>"));
    EXPECT_EQ(f.PanelText(2), QStringLiteral("Voltage=<img src=\"/etc/passwd\">"));
    for (QLabel* panel : f.StatusBar_Desktop->findChildren<QLabel*>()) {
        EXPECT_EQ(panel->textFormat(), Qt::PlainText);
    }

    // Statistics streamed without ever a new report keep only the latest lines.
    for (int i = 0; i < kMuxStatsMaxLines + 500; ++i) {
        feed(kMuxStatsChannel, "line " + QByteArray::number(i) + "\r\n");
    }
    FrmMuxStats = nullptr;
    const QStringList lines = stats.Lines();
    EXPECT_LE(lines.size(), kMuxStatsMaxLines);
    EXPECT_EQ(lines.last(), QStringLiteral("line %1").arg(kMuxStatsMaxLines + 499));
}

}  // namespace
