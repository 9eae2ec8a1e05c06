#include <gtest/gtest.h>

#include <QFileInfo>

#include "ConfigFixture.h"

namespace {

// Bytes of a literal, zero bytes included.
template <size_t N>
QByteArray Bytes(const char (&text)[N])
{
    return QByteArray(text, static_cast<qsizetype>(N - 1));
}

}  // namespace

class InternalConfig : public ConfigTest {
protected:
    void ReadIcf(const QByteArray& text)
    {
        config.InternalConfigFileName = WriteFile(icfDir + QStringLiteral("Unit.icf"), text);
        ASSERT_TRUE(config.ReadInternalConfiguration());
    }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const TShownDialog& d : prompt.shown) {
            texts << d.text;
        }
        return texts;
    }

    static const QString kIcfTitle;
};

const QString InternalConfig::kIcfTitle =
    QStringLiteral("Select a Pelagrix/Corvane Internal Configuration File");

TEST_F(InternalConfig, UnitSectionFillsDasWithDefaultsAndStatusCount)
{
    ReadIcf("[Corvane]\n[P1]\n");
    EXPECT_EQ(das.Model, QStringLiteral("Corvane"));
    EXPECT_EQ(das.ID, QStringLiteral("PX000000"));
    EXPECT_EQ(das.Name, QStringLiteral("New Corvane"));
    EXPECT_EQ(das.Panels, 5);
    EXPECT_EQ(das.Depth, 0);
    EXPECT_EQ(das.U4S1 + das.U4S2 + das.AD16, 0);
    EXPECT_EQ(host.icfReads, 1);

    ReadIcf("[Pelagrix]\nTemp=0\nVoltage=0\nCurrent=0\nDepth=0\nAD16=1\n");
    EXPECT_EQ(das.Model, QStringLiteral("Pelagrix"));
    EXPECT_EQ(das.Panels, 2);
    EXPECT_EQ(das.AD16, 1);
}

TEST_F(InternalConfig, PortSectionsBecomePortsInFileOrder)
{
    ReadIcf(
        "[Bare]\n"
        "[S1]\nPortType=Serial\nPowerChannel=3\nAuxPowerChannel=4\nDataChannel=2\n"
        "MuxChannel=7\nConnector=J7\n"
        "[Lower]\nPortType=serial\n"
        "[pelagrix]\nPortType=Analog\n");
    ASSERT_EQ(PortNames(), QStringList({QStringLiteral("Bare"), QStringLiteral("S1"),
                                        QStringLiteral("Lower"), QStringLiteral("pelagrix")}));
    const TPort* bare = PortArray->Get(0);
    EXPECT_EQ(bare->GetType(), TPortType::NoPortType);
    EXPECT_EQ(bare->GetConnectorName(), QStringLiteral("None."));
    EXPECT_EQ(bare->GetPowerSwitch(), 0);
    EXPECT_EQ(bare->GetHostChannel(), 0);
    const TPort* s1 = PortArray->Get(1);
    EXPECT_EQ(s1->GetType(), TPortType::Serial);
    EXPECT_EQ(s1->GetPowerSwitch(), 3);
    EXPECT_EQ(s1->GetSecondPowerSwitch(), 4);
    EXPECT_EQ(s1->GetSerialPort(), 2);
    EXPECT_EQ(s1->GetHostChannel(), 7);
    EXPECT_EQ(s1->GetConnectorName(), QStringLiteral("J7"));
    // Type names are case-sensitive; only exact unit section names describe the unit.
    EXPECT_EQ(PortArray->Get(2)->GetType(), TPortType::NoPortType);
    EXPECT_EQ(PortArray->Get(3)->GetType(), TPortType::Analog);
}

TEST_F(InternalConfig, DevicePortsAddExactComNamesAndSaveInNumberOrder)
{
    WriteFile(icfDir + QStringLiteral("Unit.icf"), "[Pelagrix]\n[P1]\nPortType=Serial\n");
    config.ConfigFileName =
        WriteFile(configDir + QStringLiteral("Ports.das"),
                  "[Pelagrix]\nInternalConfigFile=Unit.icf\nDevicePorts=COM0:,COM11:,COM16:\n");
    ASSERT_TRUE(config.LoadConfiguration());
    // A bare file name is looked for in the internal configuration folder.
    EXPECT_EQ(config.InternalConfigFileName, icfDir + QStringLiteral("Unit.icf"));
    ASSERT_EQ(PortNames(), QStringList({QStringLiteral("P1"), QStringLiteral("COM11:")}));
    const TPort* com11 = PortArray->Get(1);
    EXPECT_EQ(com11->GetConnectorName(), QStringLiteral("PC COM11:"));
    EXPECT_EQ(com11->GetHostChannel(), 11);
    EXPECT_EQ(com11->GetSerialPort(), 11);
    EXPECT_EQ(com11->GetType(), TPortType::PCSerial);
    EXPECT_EQ(com11->GetPowerSwitch(), 0);
    EXPECT_EQ(com11->GetSecondPowerSwitch(), 0);

    PortArray->AddPCPort(12);
    PortArray->AddPCPort(3);
    ASSERT_TRUE(config.StoreConfiguration(true));
    EXPECT_EQ(TMemIniFile(config.ConfigFileName)
                  .ReadString(QStringLiteral("Pelagrix"), QStringLiteral("DevicePorts"), QString()),
              QStringLiteral("COM3:,COM11:,COM12:"));
}

TEST_F(InternalConfig, HostileFilesLoadWithMessagesAndCheckedValues)
{
    QByteArray icf = Bytes(
        "\x01\x02garbage\xff\xfe\n"
        "[Pelagrix]\nTemp=zz\n"
        "[P1]\nPortType=Serial\nMuxChannel=100000\nPowerChannel=-4\n"
        "DataChannel=99999999999\n"
        "[P2]\nPortType=Analog\nPowerChannel=40\n"
        "[P1]\nMuxChannel=3\n"
        "[COM3:]\nPortType=Serial\n"
        "\0\0=\x80\n");
    icf.append(QByteArray(300, '\x80'));
    WriteFile(icfDir + QStringLiteral("Junk.icf"), icf);
    config.ConfigFileName =
        WriteFile(configDir + QStringLiteral("Junk.das"),
                  Bytes("\xff\xfe\0junk\n[Pelagrix]\nInternalConfigFile=InternalConfig\\Junk.icf\n"
                        "DevicePorts=COM3:\nSortColumn=99\nViewStyle=-5\nUseProtocol=7\n"
                        "MaxPartition=100\nStatusInterval=0\nStatisticsInterval=-3\n"
                        "ExplorerViewStyle=9\nCommPort=-1\nBaudRate=0\nSeqNum=5000\n"
                        "PreXmitPause=-8\nCaptureToHost=maybe\n"
                        "[A]\nPort=P1\n[B]\nPort=P1\n[C]\nPort=Nowhere\n[D]\nPort=P2\n"
                        "[E]\nPort=COM3:\n[F]\n\x01\x02\x03=\x04\0\n"));
    ASSERT_TRUE(config.LoadConfiguration());

    TConfigSettings want;
    want.sortColumn = 4;
    want.viewStyle = 0;
    want.useProtocol = 2;
    want.maxPartition = 23;
    want.statusInterval = 100;
    want.statisticsInterval = 100;
    want.explorerViewStyle = 3;
    ASSERT_EQ(host.applied.size(), 1u);
    EXPECT_EQ(host.applied[0], want);
    EXPECT_TRUE(devices.GetCaptureToHost());
    EXPECT_EQ(das.Panels, 5);

    // The unit's P1 (no channel, no switch), P2, its own COM3: and the PC port COM3:.
    ASSERT_EQ(PortNames(), QStringList({QStringLiteral("P1"), QStringLiteral("P2"),
                                        QStringLiteral("COM3:"), QStringLiteral("COM3:")}));
    EXPECT_FALSE(PortArray->Get(0)->HasHostChannel());
    EXPECT_FALSE(PortArray->Get(0)->HasPowerSwitch());
    EXPECT_EQ(PortArray->Get(0)->GetSerialPort(), 0);

    // B's port is held, C's does not exist, F names none (a name finds the port added last).
    // The complaints of one load come in one box.
    EXPECT_EQ(MessageTexts(), QStringList({QStringLiteral("Can not find port for B\n"
                                                          "Can not find port for C\n"
                                                          "Can not find port for F")}));
    EXPECT_EQ(DeviceNames(),
              QStringList({QStringLiteral("A"), QStringLiteral("D"), QStringLiteral("E")}));
    EXPECT_EQ(devices.Items(0)->GetMux(), nullptr);
    EXPECT_EQ(devices.Items(2)->GetPort(), PortArray->Get(3));
}

TEST_F(InternalConfig, DevicesBeyondFreePortsAreReportedAndTheRestLoaded)
{
    WriteFile(icfDir + QStringLiteral("Two.icf"),
              "[Pelagrix]\n[P1]\nPortType=Serial\n[P2]\nPortType=Serial\n");
    config.ConfigFileName = WriteFile(configDir + QStringLiteral("Many.das"),
                                      "[Pelagrix]\nInternalConfigFile=Two.icf\n"
                                      "[X]\nPort=P2\n[Y]\nPort=P1\n[Z]\nPort=P1\n[W]\n");
    ASSERT_TRUE(config.LoadConfiguration());
    EXPECT_EQ(MessageTexts(),
              QStringList({QStringLiteral("Insufficient Ports Available to Add Device Z\n"
                                          "Insufficient Ports Available to Add Device W")}));
    EXPECT_EQ(DeviceNames(), QStringList({QStringLiteral("X"), QStringLiteral("Y")}));
    EXPECT_EQ(devices.Items(0)->GetPort()->GetName(), QStringLiteral("P2"));
}

TEST_F(InternalConfig, FileWithoutModelSectionAsksForUnitAndMakesEveryDevice)
{
    const QString icf = WriteFile(icfDir + QStringLiteral("Unit.icf"), kStationIcf);
    config.ConfigFileName = WriteFile(configDir + QStringLiteral("Bare.das"),
                                      "[pelagrix]\nDevicePorts=COM2:\n"
                                      "[One]\nPort=Serial 1\n[Two]\nPort=COM2:\n");
    host.settings.commPort = 9;
    // The lower-case model section still gives the unit file; it names none, so one is asked.
    prompt.QueueFile(icf);
    ASSERT_TRUE(config.LoadConfiguration());

    ASSERT_GE(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].kind, QStringLiteral("open"));
    EXPECT_EQ(prompt.shown[0].title, kIcfTitle);
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("Pelagrix/Corvane Internal Configuration Files (*.icf)|*.icf"));
    EXPECT_EQ(prompt.lastFileOptions.folder, icfDir);
    EXPECT_TRUE(host.applied.empty());
    EXPECT_EQ(host.settings.commPort, 9);
    EXPECT_TRUE(PortArray->FindPort(QStringLiteral("COM2:")) != nullptr);
    // "pelagrix" is not a model section by its exact name; a device may not carry it either.
    EXPECT_EQ(DeviceNames(), QStringList({QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_EQ(prompt.Messages().size(), 1);
}

TEST_F(InternalConfig, CancellingTheUnitFileQuestionLeavesTheStationUnloaded)
{
    config.ConfigFileName = WriteFile(configDir + QStringLiteral("NoUnit.das"),
                                      "[Pelagrix]\nInternalConfigFile=InternalConfig\\Gone.icf\n"
                                      "[One]\nPort=Serial 1\n");
    prompt.QueueFile(std::nullopt);
    EXPECT_FALSE(config.LoadConfiguration());
    EXPECT_EQ(host.loads, 0);
    EXPECT_TRUE(DeviceNames().isEmpty());
}

TEST_F(InternalConfig, NewConfigurationTakesNameAndUnitWithoutWriting)
{
    const QString icf = WriteFile(icfDir + QStringLiteral("Unit.ICF"), kStationIcf);
    const QString existing = WriteFile(configDir + QStringLiteral("Old.das"), "[Pelagrix]\n");
    config.ConfigFileName = existing;

    // An existing name refused, a ".txt" refused with Retry, then the unit file in capitals.
    prompt.QueueFile(existing);
    prompt.QueueMessageAnswer(TMsgResult::No);
    prompt.QueueFile(icfDir + QStringLiteral("Unit.txt"));
    prompt.QueueMessageAnswer(TMsgResult::Retry);
    prompt.QueueFile(icf);
    ASSERT_TRUE(config.CreateNewConfiguration());

    EXPECT_EQ(MessageTexts(),
              QStringList({QStringLiteral("Pelagrix/Corvane Configuration Files (*.das)|*.das"),
                           QStringLiteral("Overwrite file?"),
                           QStringLiteral("Pelagrix/Corvane Internal Configuration Files "
                                          "(*.icf)|*.icf"),
                           QStringLiteral("Internal Configuration File Not Selected"),
                           QStringLiteral("Pelagrix/Corvane Internal Configuration Files "
                                          "(*.icf)|*.icf")}));
    EXPECT_EQ(prompt.shown[0].title,
              QStringLiteral("Create new Pelagrix/Corvane Configuration File"));
    EXPECT_EQ(prompt.shown[1].title, QStringLiteral("File Exists"));
    EXPECT_EQ(config.ConfigFileName, existing);
    EXPECT_EQ(config.InternalConfigFileName, icf);
    EXPECT_EQ(PortArray->Count(), 4);
    EXPECT_EQ(ReadFile(existing), QByteArray("[Pelagrix]\n"));

    // Cancelling the unit question gives up.
    prompt.QueueFile(std::nullopt);
    prompt.QueueFile(std::nullopt);
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    EXPECT_FALSE(config.CreateNewConfiguration());
}

TEST_F(InternalConfig, NewConfigurationGivenUpAtAMissingUnitFileChangesNothing)
{
    const QString icf = WriteFile(icfDir + QStringLiteral("Unit.icf"), kStationIcf);
    const QString existing = WriteFile(configDir + QStringLiteral("Old.das"), "[Pelagrix]\n");
    config.ConfigFileName = existing;
    config.InternalConfigFileName = icf;
    ASSERT_TRUE(config.ReadInternalConfiguration());
    ASSERT_EQ(PortArray->Count(), 4);
    const TPortArray* before = PortArray;

    // A new name, then a unit file that does not exist: it is asked for again, and cancelled.
    prompt.QueueFile(configDir + QStringLiteral("New.das"));
    prompt.QueueFile(icfDir + QStringLiteral("Gone.icf"));
    prompt.QueueFile(std::nullopt);
    EXPECT_FALSE(config.CreateNewConfiguration());

    EXPECT_EQ(prompt.shown.size(), 3u);
    EXPECT_EQ(prompt.shown[2].title,
              QStringLiteral("Select a Pelagrix/Corvane Internal Configuration File"));
    EXPECT_EQ(config.ConfigFileName, existing);
    EXPECT_EQ(config.InternalConfigFileName, icf);
    EXPECT_EQ(PortArray, before);
    EXPECT_EQ(PortArray->Count(), 4);
}

TEST_F(InternalConfig, OpenCancelledThenNewIsAcceptedBeforeFirstSave)
{
    const QString icf = WriteFile(icfDir + QStringLiteral("Unit.icf"), kStationIcf);
    const QString fresh = configDir + QStringLiteral("Fresh.das");

    // Open: cancel, Yes to a new configuration, take a new name, pick the unit file.
    prompt.QueueFile(std::nullopt);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueFile(fresh);
    prompt.QueueFile(icf);
    // The load that follows finds no file yet and asks again: cancel, No.
    prompt.QueueFile(std::nullopt);
    prompt.QueueMessageAnswer(TMsgResult::No);
    config.OpenConfigurationExecute();

    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Open Pelagrix/Corvane Configuration File"));
    EXPECT_EQ(prompt.shown[1].text, QStringLiteral("No Files Selected, Create New Configuration?"));
    EXPECT_EQ(prompt.shown.size(), 6u);
    EXPECT_EQ(config.ConfigFileName, fresh);
    EXPECT_FALSE(QFileInfo::exists(fresh));
    EXPECT_EQ(PortArray->Count(), 4);

    // Nothing chosen and no unit file: no configuration.
    config.InternalConfigFileName.clear();
    config.ConfigFileName = configDir + QStringLiteral("*.Das");
    prompt.QueueFile(std::nullopt);
    prompt.QueueMessageAnswer(TMsgResult::No);
    EXPECT_FALSE(config.LoadConfiguration());
}

TEST_F(InternalConfig, SampleStationInstallsOnceAndLoads)
{
    const QString sample = InstallSampleStation();
    ASSERT_EQ(sample, configDir + QStringLiteral("Demo.das"));
    config.ConfigFileName = sample;
    ASSERT_TRUE(config.LoadConfiguration());
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(DeviceNames(), QStringList({QStringLiteral("CTD"), QStringLiteral("Oxygen"),
                                          QStringLiteral("Current Meter")}));
    EXPECT_EQ(devices.Items(0)->GetPort()->GetType(), TPortType::Serial);
    EXPECT_EQ(devices.Items(1)->GetPort()->GetType(), TPortType::Analog);
    EXPECT_EQ(devices.Items(2)->GetPort()->GetType(), TPortType::Frequency);

    // A saved station is the operator's: installing again leaves it alone.
    devices.Delete(devices.Items(1));
    ASSERT_TRUE(config.StoreConfiguration(true));
    const QByteArray saved = ReadFile(sample);
    EXPECT_EQ(InstallSampleStation(), sample);
    EXPECT_EQ(ReadFile(sample), saved);
    EXPECT_TRUE(QFileInfo(sample).isWritable());
}

TEST_F(InternalConfig, UnitFileInTheDataFolderItselfIsFoundAgainWithoutAQuestion)
{
    // A save stores a unit file of the data folder by its bare name; a load takes that name
    // relative to the data folder, and only when no file is there, in "InternalConfig".
    const QString root = WriteFile(GetProgramDataDir() + QStringLiteral("Root.icf"),
                                   "[Pelagrix]\n[Top]\nPortType=Serial\n");
    WriteFile(icfDir + QStringLiteral("Root.icf"), "[Pelagrix]\n[Other]\nPortType=Serial\n");
    config.InternalConfigFileName = root;
    ASSERT_TRUE(config.ReadInternalConfiguration());
    config.ConfigFileName = configDir + QStringLiteral("Root.das");
    ASSERT_TRUE(config.StoreConfiguration(true));
    const TMemIniFile saved(config.ConfigFileName);
    EXPECT_EQ(saved.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("InternalConfigFile"),
                               QString()),
              QStringLiteral("Root.icf"));

    config.InternalConfigFileName.clear();
    ASSERT_TRUE(config.LoadConfiguration());
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(config.InternalConfigFileName, root);
    EXPECT_EQ(PortNames(), QStringList{QStringLiteral("Top")});
    QFile::remove(root);
}
