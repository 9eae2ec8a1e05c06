#pragma once
// A station for the configuration file tests: the globals the files fill (Das, PortArray,
// Devices, MuxArray), a fake main window and helpers that write and read files in the
// program data folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <ostream>
#include <vector>

#include "StationFixture.h"
#include "link/Das.h"
#include "link/Global.h"
#include "platform/IniFile.h"
#include "station/ConfigFiles.h"
#include "support/TestFiles.h"

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// The main window as the configuration files see it: settings it holds and what it was told.
class TFakeConfigHost final : public IStationConfigHost {
public:
    TConfigSettings CurrentSettings() const override { return settings; }
    void ApplySettings(const TConfigSettings& s) override
    {
        settings = s;
        applied.push_back(s);
    }
    void InternalConfigurationRead() override { ++icfReads; }
    void ConfigurationLoaded() override { ++loads; }
    bool PauseLink() override
    {
        ++pauses;
        portsWhenPaused = PortArray;
        return linkRunning;
    }
    void ResumeLink() override { ++resumes; }

    TConfigSettings settings;
    std::vector<TConfigSettings> applied;
    int icfReads = 0;
    int loads = 0;
    int pauses = 0;
    int resumes = 0;
    const TPortArray* portsWhenPaused = nullptr;
    bool linkRunning = false;
};

// The station of StationFixture.h with a port table of its own on the heap, as loading
// replaces the table.
class ConfigTest : public StationTest {
protected:
    void SetUp() override
    {
        StationTest::SetUp();
        PortArray = new TPortArray;
        Das = &das;
        configDir = DataSubFolder(QStringLiteral("Config"));
        icfDir = DataSubFolder(QStringLiteral("InternalConfig"));
        for (const QString& dir : {configDir, icfDir}) {
            QDir folder(dir);
            for (const QString& file : folder.entryList(QDir::Files)) {
                folder.remove(file);
            }
        }
    }

    void TearDown() override
    {
        devices.Clear();
        delete PortArray;
        Das = nullptr;
        StationTest::TearDown();
    }

    static QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file's lines without their CR LF ends.
    static QStringList Lines(const QString& path)
    {
        return QString::fromLatin1(ReadFile(path)).split(QStringLiteral("\r\n"));
    }

    QStringList DeviceNames() const
    {
        QStringList names;
        for (int i = 0; i < devices.Count(); ++i) {
            names << devices.Items(i)->GetName();
        }
        return names;
    }

    QStringList PortNames() const
    {
        QStringList names;
        for (int i = 0; PortArray != nullptr && i < PortArray->Count(); ++i) {
            names << PortArray->Get(i)->GetName();
        }
        return names;
    }

    TDas das;
    TFakeConfigHost host;
    TStationConfig config{host};
    QString configDir;
    QString icfDir;
};

// A unit with four ports, as the station tests use it.
inline const QByteArray kStationIcf =
    "[Pelagrix]\n"
    "ID=PX123456\n"
    "Name=Test Unit\n"
    "Depth=1\n"
    "[Serial 1]\n"
    "PortType=Serial\nPowerChannel=1\nDataChannel=1\nMuxChannel=1\nConnector=J1\n"
    "[Serial 2]\n"
    "PortType=Serial\nPowerChannel=2\nDataChannel=2\nMuxChannel=2\nConnector=J2\n"
    "[Analog 1]\n"
    "PortType=Analog\nPowerChannel=3\nDataChannel=1\nMuxChannel=11\nConnector=J3\n"
    "[Frequency 1]\n"
    "PortType=Frequency\nPowerChannel=4\nDataChannel=1\nMuxChannel=21\nConnector=J4\n";

// A hand-written station of three devices, not in port order, with every program setting
// away from its default.
inline const QByteArray kStationDas =
    "[Pelagrix]\r\n"
    "Warning=This is a Wendrok Generated File... DO NOT EDIT!\r\n"
    "InternalConfigFile=InternalConfig\\Station.icf\r\n"
    "DevicePorts=COM3:,COM12:\r\n"
    "CaptureDir=Data\\Station\\\r\n"
    "CaptureToHost=0\r\n"
    "UseProtocol=2\r\n"
    "ViewStyle=1\r\n"
    "CommPort=3\r\n"
    "BaudRate=57600\r\n"
    "SortColumn=2\r\n"
    "SeqNum=12\r\n"
    "StatusInterval=2000\r\n"
    "RequestStatus=0\r\n"
    "StatisticsInterval=500\r\n"
    "PreXmitPause=10\r\n"
    "PostXmitPause=20\r\n"
    "ExplorerViewStyle=2\r\n"
    "MaxPartition=3\r\n"
    "[Flow]\r\n"
    "Port=Frequency 1\r\n"
    "Owner=kept\r\n"
    "[CTD]\r\n"
    "Port=Serial 2\r\n"
    "PortBaud=19200\r\n"
    "[Oxygen]\r\n"
    "Port=Analog 1\r\n";
