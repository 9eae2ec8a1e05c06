// Script wizard: the time to generate the acquisition script for a station of 32 devices on
// 16 switches with mixed collection types (streaming serial, polled serial, averaged analog,
// frequency), sampled for an hour. Prints figures only.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/Clocks.h"
#include "scripts/ScriptGenerator.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"
#include "support/TestHome.h"

namespace {

constexpr int kDevices = 32;
constexpr int kRuns = 50;

void BuildStation(TPortArray& ports, TDevices& devices)
{
    const char* const types[] = {"Serial", "Serial", "Analog", "Frequency"};
    for (int i = 0; i < kDevices; ++i) {
        const QString type = QString::fromLatin1(types[i % 4]);
        ports.AddPort(QStringLiteral("P%1").arg(i), QStringLiteral("J%1").arg(i), i + 1, i + 1,
                      i % 3 == 0 ? 17 - (i % 16 + 1) : 0, i % 16 + 1, type);
    }
    for (int i = 0; i < kDevices; ++i) {
        TDevice* d = devices.Add(QStringLiteral("Instrument %1").arg(i));
        d->SetSelected(true);
        d->SetCaptureDest(static_cast<int8_t>(i % 4));
        d->SetCaptureDestName(QStringLiteral("D%1\\RAW000.DAT").arg(i % 5));
        d->SetCollectionType(i % 4 == 0 ? 2 : 0);
        d->SetPacketPause((i % 3 + 1) * 20);
        d->SetCmdStart({QStringLiteral("START"), QStringLiteral("\\\\WaitTicks 50")});
        d->SetCmdStop({QStringLiteral("STOP")});
        d->SetCmdGetData({QStringLiteral("DATA?")});
        d->SetPowerOnCmd(i % 2 == 0);
        d->SetCmdPowerOn(
            {QStringLiteral("WAKE"), QStringLiteral("\\!Delay 2"), QStringLiteral("INIT\\D")});
        d->SetDoAveraging(i % 4 == 2);
        d->SetAvgNumSamples(5);
        d->SetAvgPause(2);
        d->SetStartPrefix(QStringLiteral("Start \\D \\T"));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QCoreApplication app(argc, argv);

    TPortArray ports;
    PortArray = &ports;
    TDeviceListModel model;
    TDevices devices(&model);
    Devices = &devices;
    BuildStation(ports, devices);

    TWizardChoices choices;
    choices.durationTimed = QStringLiteral("01:00:00");
    const TScriptStation station = SelectedStation(devices);
    qsizetype lines = 0;
    QElapsedTimer timer;
    timer.start();
    for (int run = 0; run < kRuns; ++run) {
        lines = GenerateScriptLines(choices, station, NowDateTime()).lines.size();
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6 / kRuns;
    std::printf("script for %d devices on 16 switches: %lld lines in %.3f ms\n", kDevices,
                static_cast<long long>(lines), ms);

    devices.Clear();
    Devices = nullptr;
    PortArray = nullptr;
    return 0;
}
