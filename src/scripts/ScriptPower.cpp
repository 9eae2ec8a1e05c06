// The power-on and power-off routines of a generated script: each device's steps placed on
// one timeline in power order, in fixed bands so that the steps of several devices interleave
// in one order at equal times.
#include "scripts/ScriptWriter.h"
#include "station/CommandBlocks.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSequences.h"
#include "station/PortClasses.h"

namespace {

bool Later(const TTimedRecord& a, const TTimedRecord& b)
{
    return a.time != b.time ? a.time > b.time : a.seq > b.seq;
}

}  // namespace

int TScriptWriter::FileIndexOf(const QString& dasName) const
{
    for (qsizetype i = 0; i < files_.size(); ++i) {
        if (files_[i].compare(dasName, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TScriptWriter::AddSwitchLines(const TScriptDevice& d, TTimeline& list, int64_t t, int& s,
                                   const QString& state)
{
    list.Add(t, s, QStringLiteral("    SetPower") + PowerChannelName(d) + u' ' + state);
    if (d.port->GetSecondPowerSwitch() > 0) {
        list.Add(t, s, QStringLiteral("    SetPower") + AuxPowerChannelName(d) + u' ' + state);
    }
}

void TScriptWriter::PowerOn()
{
    BeginRoutine(QStringLiteral("; Instrument Turn-on Routine"), QStringLiteral("PowerOn"));
    TTimeline list;
    std::vector<bool> switchOn(kSwitchCount, false);
    int64_t powerTime = kPowerTimeBase;
    for (const TScriptDevice* d : power_) {
        PowerOnDevice(*d, list, powerTime, switchOn);
    }
    list.ToScript(lines_, kPowerTimeBase);
    EndRoutine(QStringLiteral("; Done with Power-On"));
}

void TScriptWriter::PowerOnDevice(const TScriptDevice& d, TTimeline& list, int64_t& powerTime,
                                  std::vector<bool>& switchOn)
{
    const TDevice& device = *d.device;
    const int64_t T = powerTime;
    int64_t t = T;
    int s = kBandOpenSerial;
    const QString dasFile = QStringLiteral(" \"") + DasCaptureName(d) + QLatin1Char('"');
    if (device.GetCaptureDest() == 2) {
        list.Add(t, s, QStringLiteral("    OpenFileSeq") + FileHandleName(d) + dasFile);
    } else if (device.GetCaptureDest() == 3) {
        list.Add(t, s,
                 (device.GetCaptureDestAppend() ? QStringLiteral("    AppendFile")
                                                : QStringLiteral("    OpenFile")) +
                     FileHandleName(d) + dasFile);
    }
    if (d.serial) {
        list.Add(t, s,
                 QStringLiteral("    OpenSerial") + DataPortName(d) + QStringLiteral(", ") +
                     QString::number(device.GetPortBaud()) + QStringLiteral(", \"") +
                     SettingsLetters(device.GetPortSettings()) + QLatin1Char('"'));
    }

    s = kBandPowerOn;
    const auto powerSwitch = static_cast<size_t>(d.port->GetPowerSwitch());
    const bool firstOnSwitch = !switchOn[powerSwitch];
    if (firstOnSwitch) {
        AddSwitchLines(d, list, t, s, QStringLiteral("On"));
    }

    s = kBandPowerOnCmd;
    if (d.serial && device.GetPowerOnCmd()) {
        t += device.GetPowerOnCmdWait();
        list.AddBlock(d, t, device.GetCmdPowerOn(), s);
        t += SumWaitTicks(device.GetCmdPowerOn());
    }

    s = kBandDataStart;
    const int64_t beforeData =
        kDataTimeBase - device.GetStartAfterDelay() - SumWaitTicks(device.GetCmdStart());
    const bool startCommands = device.GetCollectionType() == 2;
    if (startCommands || (d.polled && d.timeOut)) {
        t += device.GetCmdStartDelay();
        list.Marker(t, s);
        t = beforeData;
        if (startCommands) {
            list.AddBlock(d, t, device.GetCmdStart(), s);
        } else {
            list.Add(t, s, QStringLiteral("    Gosub ") + CollectLabelName(d));
        }
    }

    const int64_t pocw = device.GetPowerOnCmd() ? device.GetPowerOnCmdWait() : 0;
    switch (device.GetStartDataCapture()) {
    case 0:
        t = T;
        s = kBandCaptureAtPower;
        break;
    case 1:
        t = T + device.GetPowerOnCmdWait();
        s = kBandCaptureAfterCmd;
        break;
    case 2:
        t = T + device.GetStartAfterDelay() + pocw;
        break;
    case 3:
        t = T + device.GetCmdStartDelay() + pocw;
        s = kBandCaptureBeforeData;
        break;
    case 4:
        t = T + device.GetCmdStartDelay() + pocw;
        break;
    default:
        break;
    }
    list.Marker(t, s);
    if (device.GetStartDataCapture() == 2 || device.GetStartDataCapture() == 4) {
        t = kDataTimeBase;
    } else if (device.GetStartDataCapture() == 3) {
        t = beforeData;
    }
    if (d.serial && device.GetStartDataCapture() != 5) {
        list.Add(t, s, QStringLiteral("    RouteSerial") + DataPortName(d) + RouteTargetText(d));
    }
    if (!device.GetStartPrefix().isEmpty()) {
        list.AddLabel(d, t, device.GetStartPrefix(), RouteTargetText(d), s);
    }
    if (firstOnSwitch) {
        switchOn[powerSwitch] = true;
        powerTime += device.GetPowerOnDelay();
    }
}

void TScriptWriter::PowerOff()
{
    BeginRoutine(QStringLiteral("; Instrument Data-off and Turn-off Routine"),
                 QStringLiteral("PowerOff"));
    TTimeline list;
    std::vector<bool> switchOn(kSwitchCount, false);
    std::vector<TTimedRecord> stops;
    for (const TScriptDevice* d : power_) {
        stops.push_back(PowerOffDevice(*d, list, switchOn));
    }
    // Each DAS file is closed once, under the first device in power order that writes it,
    // after the capture of the last one to write it has stopped.
    for (int file = 0; file < static_cast<int>(files_.size()); ++file) {
        const TScriptDevice* first = nullptr;
        TTimedRecord last;
        for (size_t i = 0; i < power_.size(); ++i) {
            const TScriptDevice& d = *power_[i];
            const int dest = d.device->GetCaptureDest();
            if ((dest != 2 && dest != 3) || FileIndexOf(DasCaptureName(d)) != file) {
                continue;
            }
            if (first == nullptr || Later(stops[i], last)) {
                last = stops[i];
            }
            if (first == nullptr) {
                first = &d;
            }
        }
        if (first != nullptr) {
            list.Add(last.time, last.seq, QStringLiteral("    CloseFile") + FileHandleName(*first));
        }
    }
    list.ToScript(lines_, kPowerTimeBase);
    EndRoutine(QStringLiteral("; Done with Power-Off"));
}

TTimedRecord TScriptWriter::PowerOffDevice(const TScriptDevice& d, TTimeline& list,
                                           std::vector<bool>& switchOn)
{
    const TDevice& device = *d.device;
    const int64_t T0 = kPowerTimeBase;
    int64_t t = T0;
    const bool startCommands = device.GetCollectionType() == 2;
    const bool offCommands = d.serial && device.GetPowerOffCmd();
    const int64_t stopWaits = SumWaitTicks(device.GetCmdStop());
    const int64_t offWaits = SumWaitTicks(device.GetCmdPowerOff());
    const int64_t savedWaits = SumWaitTicks(device.GetCmdGetSavedData());

    int s = kBandDataStop;
    if (startCommands) {
        list.AddBlock(d, t, device.GetCmdStop(), s);
        t += stopWaits + device.GetCmdStopDelay();
    }
    s = kBandSavedData;
    if (device.GetStartDataCapture() == 5) {
        list.AddBlock(d, t, device.GetCmdGetSavedData(), s);
        t += savedWaits + device.GetStartAfterDelay();
        list.Add(t, s, QStringLiteral("    RouteSerial") + DataPortName(d) + RouteTargetText(d));
        t += device.GetStopAfterDelay();
    }
    s = kBandPowerOffCmd;
    if (offCommands) {
        list.AddBlock(d, t, device.GetCmdPowerOff(), s);
        t += offWaits + device.GetPowerOffCmdWait();
    }
    s = kBandPowerOff;
    const auto powerSwitch = static_cast<size_t>(d.port->GetPowerSwitch());
    if (!switchOn[powerSwitch]) {
        AddSwitchLines(d, list, t, s, QStringLiteral("Off"));
        switchOn[powerSwitch] = true;
    }
    s = kBandCloseSerial;
    if (d.serial) {
        list.Add(t, s, QStringLiteral("    CloseSerial") + DataPortName(d));
    }

    const int64_t X = startCommands ? stopWaits + device.GetCmdStopDelay() : 0;
    switch (device.GetStopDataCapture()) {
    case 1:
        t = T0 + stopWaits + device.GetStopAfterDelay();
        s = kBandCaptureStopData;
        break;
    case 2:
        t = T0 + X;
        s = kBandCaptureStopAfter;
        break;
    case 3:
        t = T0 + X + offWaits + device.GetStopAfterDelay();
        s = kBandCaptureStopPower;
        break;
    case 4:
        t = T0 + X + (offCommands ? offWaits + device.GetPowerOffCmdWait() : 0);
        s = kBandCaptureStopLast;
        break;
    case 5:
        t = T0 + X + savedWaits + device.GetStartAfterDelay() + device.GetStopAfterDelay();
        s = kBandCaptureStopAfter;
        break;
    default:
        t = T0;
        s = kBandOpenSerial;
        break;
    }
    if (!device.GetStopSuffix().isEmpty()) {
        list.AddLabel(d, t, device.GetStopSuffix(), RouteTargetText(d), s);
    }
    return {t, s, QString()};
}
