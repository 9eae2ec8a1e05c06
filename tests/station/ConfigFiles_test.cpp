#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileInfo>
#include <random>

#include "ConfigFixture.h"

class ConfigFiles : public ConfigTest {
protected:
    // Writes the hand-written station and loads it.
    void LoadStation()
    {
        WriteFile(icfDir + QStringLiteral("Station.icf"), kStationIcf);
        config.ConfigFileName = WriteFile(configDir + QStringLiteral("Station.das"), kStationDas);
        ASSERT_TRUE(config.LoadConfiguration());
    }
};

TEST_F(ConfigFiles, ForcedSaveOfNewFileWritesModelSectionLineForLine)
{
    config.InternalConfigFileName = WriteFile(icfDir + QStringLiteral("Unit.icf"), kStationIcf);
    config.ReadInternalConfiguration();
    host.settings.explorerViewStyle = 3;
    host.settings.maxPartition = 2;
    config.ConfigFileName = configDir + QStringLiteral("New.das");

    ASSERT_TRUE(config.StoreConfiguration(true));

    const QStringList expected = {
        QStringLiteral("[Pelagrix]"),
        QStringLiteral("Warning=This is a Wendrok Generated File... DO NOT EDIT!"),
        QStringLiteral("InternalConfigFile=InternalConfig\\Unit.icf"),
        QStringLiteral("DevicePorts="),
        QStringLiteral("CaptureDir=Data\\"),
        QStringLiteral("CaptureToHost=1"),
        QStringLiteral("UseProtocol=1"),
        QStringLiteral("ViewStyle=3"),
        QStringLiteral("CommPort=1"),
        QStringLiteral("BaudRate=115200"),
        QStringLiteral("SortColumn=4"),
        QStringLiteral("SeqNum=0"),
        QStringLiteral("StatusInterval=1000"),
        QStringLiteral("RequestStatus=1"),
        QStringLiteral("StatisticsInterval=1000"),
        QStringLiteral("PreXmitPause=0"),
        QStringLiteral("PostXmitPause=0"),
        QStringLiteral("ExplorerViewStyle=3"),
        QStringLiteral("MaxPartition=2"),
        QString(),
        QString(),
    };
    EXPECT_EQ(Lines(config.ConfigFileName), expected);
    EXPECT_TRUE(prompt.shown.empty());

    // The file loads back with the same settings, the unit's ports and no device.
    host.settings = TConfigSettings{};
    ASSERT_TRUE(config.LoadConfiguration());
    ASSERT_EQ(host.applied.size(), 1u);
    TConfigSettings want;
    want.explorerViewStyle = 3;
    want.maxPartition = 2;
    EXPECT_EQ(host.applied[0], want);
    EXPECT_EQ(devices.Count(), 0);
    EXPECT_EQ(PortNames(),
              QStringList({QStringLiteral("Serial 1"), QStringLiteral("Serial 2"),
                           QStringLiteral("Analog 1"), QStringLiteral("Frequency 1")}));
    EXPECT_EQ(config.InternalConfigFileName, icfDir + QStringLiteral("Unit.icf"));
}

TEST_F(ConfigFiles, SavedStationFileHoldsEveryKeyInOrderAndLoadsBackToTheSameBytes)
{
    config.InternalConfigFileName = WriteFile(icfDir + QStringLiteral("Unit.icf"), kStationIcf);
    ASSERT_TRUE(config.ReadInternalConfiguration());
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    ASSERT_NE(pump, nullptr);
    // An icon outside the data folder keeps "\" in the file like every stored path.
    pump->SetImage(QStringLiteral("/srv/icons/pump.bmp"));
    pump->SetEchoSerial(4);
    pump->SetEchoFlow(2);
    pump->SetPowerOnCmd(true);
    pump->SetCmdPowerOn({QStringLiteral("WAKE"), QString(), QStringLiteral("SAY \"HI\", TWICE")});
    pump->SetCmdStart({QStringLiteral("START"), QStringLiteral("SAMPLE 5")});
    TFakeTerminal* terminal = TerminalOf(pump);
    ASSERT_NE(terminal, nullptr);
    terminal->geometry = QRect(100, 80, 500, 400);
    terminal->visible = true;
    terminal->state = 2;
    terminal->hexWidth = 0.25;
    terminal->hexWrap = 16;
    terminal->hexWrapString = QStringLiteral("0D0A");
    terminal->font = {0, 255, QStringLiteral("Courier New"), 9, true, false, false, false};
    config.ConfigFileName = configDir + QStringLiteral("Pump.das");

    ASSERT_TRUE(config.StoreConfiguration(true));

    const QByteArray expected =
        "[Pelagrix]\r\n"
        "Warning=This is a Wendrok Generated File... DO NOT EDIT!\r\n"
        "InternalConfigFile=InternalConfig\\Unit.icf\r\n"
        "DevicePorts=\r\n"
        "CaptureDir=Data\\\r\n"
        "CaptureToHost=1\r\n"
        "UseProtocol=1\r\n"
        "ViewStyle=3\r\n"
        "CommPort=1\r\n"
        "BaudRate=115200\r\n"
        "SortColumn=4\r\n"
        "SeqNum=0\r\n"
        "StatusInterval=1000\r\n"
        "RequestStatus=1\r\n"
        "StatisticsInterval=1000\r\n"
        "PreXmitPause=0\r\n"
        "PostXmitPause=0\r\n"
        "ExplorerViewStyle=0\r\n"
        "MaxPartition=0\r\n"
        "\r\n"
        "[Pump]\r\n"
        "Image=\\srv\\icons\\pump.bmp\r\n"
        "Port=Serial 1\r\n"
        "PortBaud=9600\r\n"
        "PortSettings=N,8,1\r\n"
        "EchoSerial=4\r\n"
        "EchoBaud=9600\r\n"
        "EchoSettings=N,8,1\r\n"
        "EchoFlow=2\r\n"
        "PowerOnPriority=1\r\n"
        "PowerOnDelay=30\r\n"
        "PowerOnCmd=1\r\n"
        "PowerOnCmdWait=30\r\n"
        "CmdPowerOn=WAKE,,\"SAY \"\"HI\"\", TWICE\"\r\n"
        "PowerOffCmd=0\r\n"
        "PowerOffCmdWait=30\r\n"
        "CmdPowerOff=\r\n"
        "CollectionType=2\r\n"
        "PacketPause=100\r\n"
        "CmdGetData=\r\n"
        "CmdStart=START,\"SAMPLE 5\"\r\n"
        "CmdStartDelay=50\r\n"
        "CmdStop=\r\n"
        "CmdStopDelay=50\r\n"
        "StartDataCapture=0\r\n"
        "StartAfterDelay=30\r\n"
        "CmdGetSavedData=\r\n"
        "StopDataCapture=4\r\n"
        "StopAfterDelay=200\r\n"
        "StartPrefix=\r\n"
        "StopSuffix=\r\n"
        "Prefix=\r\n"
        "Suffix=\r\n"
        "DateStampInfix=/\r\n"
        "DateStampFormat=1\r\n"
        "TimeStampInfix=:\r\n"
        "CaptureDest=2\r\n"
        "CaptureDestOther=1\r\n"
        "CaptureDestName=Pump\\Pump_000.RAW\r\n"
        "CaptureDestAppend=1\r\n"
        "DoAveraging=0\r\n"
        "AvgNumSamples=10\r\n"
        "AvgPause=10\r\n"
        "FreqDuration=1000000\r\n"
        "HexWidth=0.25\r\n"
        "HexWrap=16\r\n"
        "HexWrapString=0D0A\r\n"
        "FontCharset=0\r\n"
        "FontColor=255\r\n"
        "FontName=Courier New\r\n"
        "FontSize=9\r\n"
        "FontStyleBold=1\r\n"
        "FontStyleItalic=0\r\n"
        "FontStyleUnderline=0\r\n"
        "FontStyleStrikeOut=0\r\n"
        "Height=0.5\r\n"
        "Left=0.1\r\n"
        "Top=0.1\r\n"
        "Width=0.5\r\n"
        "WindowState=2\r\n"
        "Visible=1\r\n"
        "\r\n";
    EXPECT_EQ(ReadFile(config.ConfigFileName), expected);

    // Every key reads back into the station it came from: loading and saving again gives the
    // same bytes.
    ASSERT_TRUE(config.LoadConfiguration());
    ASSERT_EQ(DeviceNames(), QStringList{QStringLiteral("Pump")});
    EXPECT_EQ(devices.Items(0)->GetImage(), QStringLiteral("/srv/icons/pump.bmp"));
    ASSERT_TRUE(config.StoreConfiguration(true));
    EXPECT_EQ(ReadFile(config.ConfigFileName), expected);
}

TEST_F(ConfigFiles, LoadsHandWrittenStationWithDevicesPortsChannelsAndSettings)
{
    host.linkRunning = true;
    const TPortArray* before = PortArray;
    LoadStation();

    EXPECT_EQ(DeviceNames(), QStringList({QStringLiteral("Flow"), QStringLiteral("CTD"),
                                          QStringLiteral("Oxygen")}));
    EXPECT_EQ(devices.Items(0)->GetPort()->GetName(), QStringLiteral("Frequency 1"));
    EXPECT_EQ(devices.Items(1)->GetPort()->GetName(), QStringLiteral("Serial 2"));
    EXPECT_EQ(devices.Items(2)->GetPort()->GetName(), QStringLiteral("Analog 1"));
    EXPECT_EQ(devices.Items(1)->GetPortBaud(), 19200);
    for (int i = 0; i < devices.Count(); ++i) {
        const TDevice* d = devices.Items(i);
        ASSERT_NE(d->GetMux(), nullptr) << d->GetName().toStdString();
        EXPECT_EQ(d->GetMux()->GetChannelNumber(), d->GetPort()->GetHostChannel());
        EXPECT_EQ(mux.GetChannel(static_cast<uint8_t>(d->GetHostChannel())), d->GetMux());
    }
    EXPECT_EQ(devices.Items(0)->GetHostChannel(), 21);

    // The unit's ports in file order, then the PC ports in number order.
    EXPECT_EQ(PortNames(), QStringList({QStringLiteral("Serial 1"), QStringLiteral("Serial 2"),
                                        QStringLiteral("Analog 1"), QStringLiteral("Frequency 1"),
                                        QStringLiteral("COM3:"), QStringLiteral("COM12:")}));
    const TPort* com12 = PortArray->FindPort(QStringLiteral("COM12:"));
    EXPECT_EQ(com12->GetConnectorName(), QStringLiteral("PC COM12:"));
    EXPECT_EQ(com12->GetHostChannel(), 12);
    EXPECT_EQ(com12->GetSerialPort(), 12);
    EXPECT_EQ(com12->GetType(), TPortType::PCSerial);

    EXPECT_EQ(das.ID, QStringLiteral("PX123456"));
    EXPECT_EQ(das.Name, QStringLiteral("Test Unit"));
    EXPECT_EQ(das.Panels, 6);

    TConfigSettings want;
    want.useProtocol = 2;
    want.viewStyle = 1;
    want.commPort = 3;
    want.baudRate = 57600;
    want.sortColumn = 2;
    want.seqNum = 12;
    want.statusInterval = 2000;
    want.requestStatus = false;
    want.statisticsInterval = 500;
    want.preXmitPause = 10;
    want.postXmitPause = 20;
    want.explorerViewStyle = 2;
    want.maxPartition = 3;
    ASSERT_EQ(host.applied.size(), 1u);
    EXPECT_EQ(host.applied[0], want);
    EXPECT_EQ(devices.GetCaptureDir(),
              StoredPath(GetProgramDataDir()) + QStringLiteral("Data\\Station\\"));
    EXPECT_FALSE(devices.GetCaptureToHost());

    EXPECT_FALSE(ConfigurationChanged);
    EXPECT_EQ(host.loads, 1);
    EXPECT_EQ(host.icfReads, 1);
    // The link stayed parked over the whole teardown and rebuild.
    EXPECT_EQ(host.portsWhenPaused, before);
    EXPECT_EQ(host.pauses, 1);
    EXPECT_EQ(host.resumes, 1);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(ConfigFiles, RoundTripChangesNoStoredValue)
{
    LoadStation();
    ASSERT_TRUE(config.StoreConfiguration(true));

    TMemIniFile original;
    original.SetText(QString::fromLatin1(kStationDas));
    const TMemIniFile saved(config.ConfigFileName);
    EXPECT_EQ(saved.ReadSections(), original.ReadSections());
    for (const QString& section : original.ReadSections()) {
        for (const QString& key : original.ReadSection(section)) {
            EXPECT_EQ(saved.ReadString(section, key, QStringLiteral("<missing>")),
                      original.ReadString(section, key, QString()))
                << section.toStdString() << "/" << key.toStdString();
        }
    }

    // A second load and save gives the same file again.
    const QByteArray first = ReadFile(config.ConfigFileName);
    ASSERT_TRUE(config.LoadConfiguration());
    ASSERT_TRUE(config.StoreConfiguration(true));
    EXPECT_EQ(ReadFile(config.ConfigFileName), first);
}

TEST_F(ConfigFiles, SavedSectionOrderKeepsDataPriorityAndForeignKeys)
{
    LoadStation();
    devices.Move(devices.FindByName(QStringLiteral("Oxygen")), 0);
    // A renamed device keeps its place too.
    ASSERT_TRUE(devices.FindByName(QStringLiteral("CTD"))->SetName(QStringLiteral("CTD 2")));
    TDevice* added = devices.Add(QStringLiteral("Pump"));
    ASSERT_NE(added, nullptr);
    devices.Move(added, 1);

    ASSERT_TRUE(config.StoreConfiguration(true));
    const TMemIniFile saved(config.ConfigFileName);
    EXPECT_EQ(saved.ReadSections(), QStringList({QStringLiteral("Pelagrix"),
                                                 QStringLiteral("Oxygen"), QStringLiteral("Pump"),
                                                 QStringLiteral("Flow"), QStringLiteral("CTD 2")}));
    EXPECT_EQ(saved.ReadString(QStringLiteral("Flow"), QStringLiteral("Owner"), QString()),
              QStringLiteral("kept"));
    EXPECT_FALSE(saved.SectionExists(QStringLiteral("CTD")));

    ASSERT_TRUE(config.LoadConfiguration());
    EXPECT_EQ(DeviceNames(), QStringList({QStringLiteral("Oxygen"), QStringLiteral("Pump"),
                                          QStringLiteral("Flow"), QStringLiteral("CTD 2")}));
}

TEST_F(ConfigFiles, UnforcedSaveAsksOnlyWhenDevicesChanged)
{
    LoadStation();
    ASSERT_TRUE(config.StoreConfiguration(true));
    devices.Delete(devices.FindByName(QStringLiteral("CTD")));

    // Unchanged: no question, the deleted device's section stays.
    ConfigurationChanged = false;
    ASSERT_TRUE(config.StoreConfiguration(false));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(TMemIniFile(config.ConfigFileName).SectionExists(QStringLiteral("CTD")));

    // Changed and answered No: device sections as they were, window keys still written.
    ConfigurationChanged = true;
    TFakeTerminal* window = dynamic_cast<TFakeTerminal*>(devices.Items(0)->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);
    window->geometry = QRect(100, 200, 300, 400);
    prompt.QueueMessageAnswer(TMsgResult::No);
    ASSERT_TRUE(config.StoreConfiguration(false));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("Save Configuration to ") + config.ConfigFileName + QLatin1Char('?'));
    TMemIniFile saved(config.ConfigFileName);
    EXPECT_TRUE(saved.SectionExists(QStringLiteral("CTD")));
    EXPECT_EQ(saved.ReadString(QStringLiteral("Flow"), QStringLiteral("Left"), QString()),
              QStringLiteral("0.1"));
    EXPECT_TRUE(ConfigurationChanged);

    // Answered Yes: the deleted device's section goes, the flag clears.
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    ASSERT_TRUE(config.StoreConfiguration(false));
    EXPECT_FALSE(TMemIniFile(config.ConfigFileName).SectionExists(QStringLiteral("CTD")));
    EXPECT_FALSE(ConfigurationChanged);
}

TEST_F(ConfigFiles, SaveAsOntoExistingFileKeepsModelSectionsAndDropsStrangers)
{
    LoadStation();
    const QString other = WriteFile(configDir + QStringLiteral("Other.das"),
                                    "[Corvane]\r\nUseProtocol=2\r\n[Ghost]\r\nPort=Serial 1\r\n"
                                    "[Pelagrix]\r\nCommPort=7\r\n[Flow]\r\nColour=red\r\n");
    prompt.QueueFile(other);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    ASSERT_TRUE(config.SaveConfigurationAsExecute());

    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Save Pelagrix Configuration File"));
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Pelagrix Configuration Files (*.das)|*.das"));
    EXPECT_EQ(prompt.shown[1].text, QStringLiteral("File Exists. OverWrite?"));
    EXPECT_EQ(config.ConfigFileName, other);
    const TMemIniFile saved(other);
    EXPECT_EQ(saved.ReadSections(), QStringList({QStringLiteral("Corvane"),
                                                 QStringLiteral("Pelagrix"), QStringLiteral("Flow"),
                                                 QStringLiteral("CTD"), QStringLiteral("Oxygen")}));
    EXPECT_EQ(SectionLines(saved, QStringLiteral("Corvane")),
              QStringList({QStringLiteral("UseProtocol=2")}));
    EXPECT_EQ(saved.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("CommPort"), QString()),
              QStringLiteral("3"));
    EXPECT_EQ(saved.ReadString(QStringLiteral("Flow"), QStringLiteral("Colour"), QString()),
              QStringLiteral("red"));
}

TEST_F(ConfigFiles, SaveOfUnnamedFileAsksForNameInstead)
{
    config.InternalConfigFileName = WriteFile(icfDir + QStringLiteral("Unit.icf"), kStationIcf);
    config.ReadInternalConfiguration();
    config.ConfigFileName = configDir + QStringLiteral("*.Das");

    prompt.QueueFile(std::nullopt);
    config.SaveConfigurationExecute();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].kind, QStringLiteral("save"));
    EXPECT_TRUE(QDir(configDir).entryList(QDir::Files).isEmpty());

    // Called straight, the save refuses the name.
    EXPECT_FALSE(config.StoreConfiguration(true));
    EXPECT_EQ(prompt.Messages().size(), 1);
    EXPECT_TRUE(QDir(configDir).entryList(QDir::Files).isEmpty());

    prompt.QueueFile(configDir + QStringLiteral("Named.das"));
    config.SaveOnShutdown();
    EXPECT_EQ(config.ConfigFileName, configDir + QStringLiteral("Named.das"));
    EXPECT_TRUE(config.ConfigFileExists());
    EXPECT_EQ(QDir(configDir).entryList(QDir::Files), QStringList({QStringLiteral("Named.das")}));
}

TEST_F(ConfigFiles, FailedWriteIsReportedAndKeepsChangeFlag)
{
    LoadStation();
    // A folder that cannot be made: its parent is a file.
    config.ConfigFileName = config.ConfigFileName + QStringLiteral("/Inside.das");
    ConfigurationChanged = true;
    EXPECT_FALSE(config.StoreConfiguration(true));
    EXPECT_TRUE(ConfigurationChanged);
    ASSERT_EQ(prompt.Messages().size(), 1);
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Error Saving Configuration File ") +
                                        config.ConfigFileName +
                                        QStringLiteral(" -- File Not Saved."));
}

TEST_F(ConfigFiles, ReadOnlyFolderIsReportedAndFileLeftAsItWas)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    LoadStation();
    const QByteArray before = ReadFile(config.ConfigFileName);
    QFile::setPermissions(configDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ConfigurationChanged = true;
    devices.Delete(devices.Items(0));
    const bool stored = config.StoreConfiguration(true);
    QFile::setPermissions(configDir,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(stored);
    EXPECT_TRUE(ConfigurationChanged);
    EXPECT_EQ(prompt.Messages().size(), 1);
    EXPECT_EQ(ReadFile(config.ConfigFileName), before);
}

TEST_F(ConfigFiles, OpeningAFileWhoseUnitFileIsMissingAndGivingUpKeepsTheStation)
{
    LoadStation();
    const QString station = config.ConfigFileName;
    const QString icf = config.InternalConfigFileName;
    const TPortArray* portsBefore = PortArray;
    const QStringList names = DeviceNames();
    const QByteArray other =
        "[Pelagrix]\r\nInternalConfigFile=InternalConfig\\Gone.icf\r\n"
        "[Lone]\r\nPort=Serial 1\r\n";
    const QString otherFile = WriteFile(configDir + QStringLiteral("Other.das"), other);

    prompt.QueueFile(otherFile);     // the configuration to open
    prompt.QueueFile(std::nullopt);  // the missing unit file is asked for: given up
    config.OpenConfigurationExecute();

    EXPECT_EQ(DeviceNames(), names);
    EXPECT_EQ(PortArray, portsBefore);
    EXPECT_EQ(devices.Items(0)->GetPort()->GetName(), QStringLiteral("Frequency 1"));
    EXPECT_EQ(config.ConfigFileName, station);
    EXPECT_EQ(config.InternalConfigFileName, icf);

    // A save goes to the station's own file; the other file keeps its device section.
    ASSERT_TRUE(config.StoreConfiguration(true));
    EXPECT_EQ(ReadFile(otherFile), other);
    EXPECT_EQ(TMemIniFile(station).ReadSections(),
              QStringList({QStringLiteral("Pelagrix"), QStringLiteral("Flow"),
                           QStringLiteral("CTD"), QStringLiteral("Oxygen")}));
}

TEST_F(ConfigFiles, UnitFileNameThatLeavesTheDataFolderIsAskedFor)
{
    WriteFile(icfDir + QStringLiteral("Station.icf"), kStationIcf);
    config.ConfigFileName =
        WriteFile(configDir + QStringLiteral("Evil.das"),
                  "[Pelagrix]\r\nInternalConfigFile=..\\..\\..\\Station.icf\r\n");
    prompt.QueueFile(icfDir + QStringLiteral("Station.icf"));
    ASSERT_TRUE(config.LoadConfiguration());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].kind, QStringLiteral("open"));
    EXPECT_EQ(config.InternalConfigFileName, icfDir + QStringLiteral("Station.icf"));
}

TEST_F(ConfigFiles, ThousandsOfFaultySectionsAreReportedInOneBox)
{
    WriteFile(icfDir + QStringLiteral("Station.icf"), kStationIcf);
    QByteArray text =
        "[Pelagrix]\r\nInternalConfigFile=Station.icf\r\n"
        "[Good]\r\nPort=Serial 1\r\n";
    constexpr int kFaulty = 3000;
    for (int i = 0; i < kFaulty; ++i) {
        text += "[Lost " + QByteArray::number(i) + "]\r\nPort=Nowhere\r\n";
    }
    config.ConfigFileName = WriteFile(configDir + QStringLiteral("Faulty.das"), text);
    ASSERT_TRUE(config.LoadConfiguration());
    EXPECT_EQ(DeviceNames(), QStringList({QStringLiteral("Good")}));
    ASSERT_EQ(prompt.shown.size(), 1u);
    const QStringList lines = prompt.shown[0].text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), kMessageGroupLines + 1);
    EXPECT_EQ(lines.front(), QStringLiteral("Can not find port for Lost 0"));
    EXPECT_EQ(lines.back(), QStringLiteral("... and %1 more.").arg(kFaulty - kMessageGroupLines));
}

TEST_F(ConfigFiles, PowerOnOrderComesBackAsItWasSaved)
{
    // Pump on switch 4 at position 6, CTD on switch 11 at 1, Sonar on switch 7 at 7: read in
    // section order, CTD's and Sonar's moves would push Pump's switch away from its place.
    WriteFile(icfDir + QStringLiteral("Order.icf"),
              "[Pelagrix]\n"
              "[P4]\nPortType=Serial\nPowerChannel=4\nMuxChannel=4\n"
              "[P11]\nPortType=Serial\nPowerChannel=11\nMuxChannel=11\n"
              "[P7]\nPortType=Serial\nPowerChannel=7\nMuxChannel=7\n");
    config.ConfigFileName = WriteFile(configDir + QStringLiteral("Order.das"),
                                      "[Pelagrix]\r\nInternalConfigFile=Order.icf\r\n"
                                      "[Pump]\r\nPort=P4\r\nPowerOnPriority=6\r\n"
                                      "[CTD]\r\nPort=P11\r\nPowerOnPriority=1\r\n"
                                      "[Sonar]\r\nPort=P7\r\nPowerOnPriority=7\r\n");
    ASSERT_TRUE(config.LoadConfiguration());
    EXPECT_EQ(devices.Items(0)->GetPowerOnPriority(), 6);
    EXPECT_EQ(devices.Items(1)->GetPowerOnPriority(), 1);
    EXPECT_EQ(devices.Items(2)->GetPowerOnPriority(), 7);
    // Switch 0 and the switches of no device keep their order around them.
    QList<int> order;
    for (int p = 0; p <= 16; ++p) {
        order << PortArray->SwitchNumberAt(p);
    }
    EXPECT_EQ(order, QList<int>({0, 11, 1, 2, 3, 5, 4, 7, 6, 8, 9, 10, 12, 13, 14, 15, 16}));
}

TEST_F(ConfigFiles, SaveLoadSaveGivesTheSameBytesForRandomStations)
{
    std::mt19937 random(20240611);
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int station = 0; station < 40; ++station) {
        SCOPED_TRACE(station);
        devices.Clear();
        QByteArray icf = "[Pelagrix]\n";
        const int portCount = pick(3, 12);
        for (int p = 0; p < portCount; ++p) {
            icf += "[Port " + QByteArray::number(p) + "]\nPortType=" +
                   (pick(0, 2) == 0 ? "Analog" : "Serial") +
                   "\nPowerChannel=" + QByteArray::number(pick(0, 16)) +
                   "\nMuxChannel=" + QByteArray::number(p + 1) + "\n";
        }
        config.InternalConfigFileName = WriteFile(icfDir + QStringLiteral("Random.icf"), icf);
        ASSERT_TRUE(config.ReadInternalConfiguration());
        const int deviceCount = pick(1, portCount);
        for (int d = 0; d < deviceCount; ++d) {
            TDevice* device = devices.Add(QStringLiteral("Device %1").arg(d));
            ASSERT_NE(device, nullptr);
            // Each device lands on a random free port, its switch moved and delayed at random.
            std::vector<TPort*> free;
            for (int p = 0; p < PortArray->Count(); ++p) {
                if (PortArray->Get(p)->GetDevice() == nullptr) {
                    free.push_back(PortArray->Get(p));
                }
            }
            if (!free.empty()) {
                device->SetPort(free[static_cast<size_t>(pick(0, int(free.size()) - 1))]);
            }
        }
        for (int moves = pick(0, 12); moves > 0; --moves) {
            TDevice* device = devices.Items(pick(0, devices.Count() - 1));
            device->SetPowerOnPriority(pick(0, 16));
            device->SetPowerOnDelay(pick(0, 100));
        }

        const QString first = configDir + QStringLiteral("First.das");
        const QString second = configDir + QStringLiteral("Second.das");
        QFile::remove(first);
        QFile::remove(second);
        config.ConfigFileName = first;
        ASSERT_TRUE(config.StoreConfiguration(true));
        ASSERT_TRUE(config.LoadConfiguration());
        config.ConfigFileName = second;
        ASSERT_TRUE(config.StoreConfiguration(true));
        ASSERT_EQ(QString::fromLatin1(ReadFile(second)), QString::fromLatin1(ReadFile(first)));
    }
    EXPECT_TRUE(prompt.shown.empty());
}
