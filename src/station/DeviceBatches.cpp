// The station batches: each device's part of the start-all and stop-all batches, and the
// device list's batches (data and capture start and stop) built into one timed list and sent.
#include <algorithm>
#include <array>
#include <vector>

#include "link/Das.h"
#include "link/Host.h"
#include "platform/Prompt.h"
#include "station/CommandBlocks.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSequences.h"
#include "station/SequenceSteps.h"

// --- Batch parts ---

void AddStartSequence(TDevice& device, QStringList& list, int dataTime, int& powerTime,
                      uint8_t& seq, bool power)
{
    const int P = powerTime;
    int T = P;
    seq = kBandOpenSerial;
    AddOpenSerialCommands(device, list, T, seq);
    seq = kBandPowerOn;
    if (power) {
        AddPowerOnCommands(device, list, T, seq);
    }
    seq = kBandPowerOnCmd;
    AddPowerOnCmdCommands(device, list, T, seq);
    seq = kBandDataStart;
    AddSequenceLine(list, TicksSum(T, device.GetCmdStartDelay()), seq, QStringLiteral(";"));
    const int startWaits = SumWaitTicks(device.GetCmdStart());
    const int beforeData =
        TicksSum(dataTime, -int64_t{device.GetStartAfterDelay()}, -int64_t{startWaits});
    T = beforeData;
    AddDataStartCommands(device, list, T, seq);

    const int pocw = device.GetPowerOnCmd() ? device.GetPowerOnCmdWait() : 0;
    int marker = T;
    int capture = -1;
    switch (device.GetStartDataCapture()) {
    case 0:
        marker = P;
        seq = kBandCaptureAtPower;
        capture = P;
        break;
    case 1:
        marker = TicksSum(P, device.GetPowerOnCmdWait());
        seq = kBandCaptureAfterCmd;
        capture = marker;
        break;
    case 2:
        marker = TicksSum(P, device.GetStartAfterDelay(), pocw);
        capture = dataTime;
        break;
    case 3:
        marker = TicksSum(P, device.GetCmdStartDelay(), pocw);
        seq = kBandCaptureBeforeData;
        capture = beforeData;
        break;
    case 4:
        marker = TicksSum(P, device.GetCmdStartDelay(), pocw);
        capture = dataTime;
        break;
    default:
        break;
    }
    AddSequenceLine(list, marker, seq, QStringLiteral(";"));
    if (capture >= 0) {
        AddStartCaptureCommands(device, list, capture, seq);
    }
    if (power) {
        powerTime = TicksSum(powerTime, device.GetPowerOnDelay());
    }
}

void AddStopSequence(TDevice& device, QStringList& list, int time, bool power, uint8_t& seq)
{
    const int T0 = time;
    int T = T0;
    const auto W = [](const QStringList& block) { return SumWaitTicks(block); };
    const bool typeTwo = device.GetCollectionType() == 2;
    const bool offCmd = TPortValues(device).SerialKind() && device.GetPowerOffCmd();

    seq = kBandDataStop;
    AddDataStopCommands(device, list, T, seq);
    if (typeTwo) {
        T = TicksSum(T, W(device.GetCmdStop()), device.GetCmdStopDelay());
    }
    if (device.GetStartDataCapture() == 5) {
        seq = kBandSavedData;
        AddGetSavedDataCommands(device, list, T, seq);
        T = TicksSum(T, W(device.GetCmdGetSavedData()), device.GetStartAfterDelay());
        AddStartCaptureCommands(device, list, T, seq);
        T = TicksSum(T, device.GetStopAfterDelay());
    }
    if (offCmd) {
        seq = kBandPowerOffCmd;
        AddPowerOffCmdCommands(device, list, T, seq);
        T = TicksSum(T, W(device.GetCmdPowerOff()), device.GetPowerOffCmdWait());
    }
    if (power) {
        seq = kBandPowerOff;
        AddPowerOffCommands(device, list, T, seq);
    }
    seq = kBandCloseSerial;
    AddCloseSerialCommands(device, list, T, seq);

    const int64_t S = typeTwo ? int64_t{W(device.GetCmdStop())} + device.GetCmdStopDelay() : 0;
    int stopTime = T0;
    switch (device.GetStopDataCapture()) {
    case 1:
        stopTime = TicksSum(T0, W(device.GetCmdStop()), device.GetStopAfterDelay());
        seq = kBandCaptureStopData;
        break;
    case 2:
        stopTime = TicksSum(T0, S);
        seq = kBandCaptureStopAfter;
        break;
    case 3:
        stopTime = TicksSum(T0, S, W(device.GetCmdPowerOff()), device.GetStopAfterDelay());
        seq = kBandCaptureStopPower;
        break;
    case 4:
        stopTime = offCmd ? TicksSum(T0, S, W(device.GetCmdPowerOff()), device.GetPowerOffCmdWait())
                          : TicksSum(T0, S);
        seq = kBandCaptureStopLast;
        break;
    case 5:
        stopTime = TicksSum(T0, S, W(device.GetCmdGetSavedData()), device.GetStartAfterDelay(),
                            device.GetStopAfterDelay());
        seq = kBandCaptureStopAfter;
        break;
    default:
        seq = kBandOpenSerial;
        break;
    }
    AddStopCaptureCommands(device, list, stopTime, seq);
}

// --- Batches of the device list ---

namespace {

// The devices a batch works on: the given one, or the selected ones in list or power order.
std::vector<TDevice*> BatchDevices(const TDevices& devices, TDevice* device, bool listOrder)
{
    if (device != nullptr) {
        return {device};
    }
    std::vector<TDevice*> out;
    for (TDevice* d = devices.First(true, listOrder); d != nullptr;
         d = devices.Next(d, true, listOrder)) {
        out.push_back(d);
    }
    return out;
}

// True for the first device on its power switch (the switch is then marked).
bool TakeSwitch(const TDevice& device, std::array<bool, kSwitchCount>& powered)
{
    const TPort* port = device.GetPort();
    if (port == nullptr || !port->HasPowerSwitch()) {
        return true;
    }
    const auto sw = static_cast<size_t>(port->GetPowerSwitch());
    const bool first = !powered[sw];
    powered[sw] = true;
    return first;
}

bool AnyNumberedCapture(const std::vector<TDevice*>& devices)
{
    return std::any_of(devices.begin(), devices.end(),
                       [](const TDevice* d) { return d->GetCaptureDest() == 2; });
}

// Advances the capture file number: at once during playback, else by "*NextSeqNum" at `time`.
void AddNextSeqNum(const TDevices& devices, QStringList& list, int time, uint8_t& seq)
{
    if (devices.ArchivePlaying()) {
        Host.LinkUi().NextSeqNum();
    } else {
        AddSequenceLine(list, time, seq, QStringLiteral("*NextSeqNum\r"));
    }
}

}  // namespace

bool TDevices::ConfirmCapture(TDevice* device)
{
    const std::vector<TDevice*> devices = BatchDevices(*this, device, true);
    const auto fileDest = [](const TDevice* d) {
        return d->GetCaptureDest() == 2 || d->GetCaptureDest() == 3;
    };
    QString question;
    if (!captureToHost_ && std::any_of(devices.begin(), devices.end(), fileDest)) {
        question = QStringLiteral(
            "Warning: Data will be captured on the DAS and not appear on screen. \r\n"
            "Files on DAS may be over written.  Continue?");
    } else if (captureToHost_ && std::any_of(devices.begin(), devices.end(), [&](const TDevice* d) {
                   return fileDest(d) && CaptureFileExists(*d);
               })) {
        question = QStringLiteral("Warning: Capture files will be over-witten. Continue?");
    }
    if (question.isEmpty()) {
        return true;
    }
    return MessageDlg(QStringLiteral("Warning"), question, TMsgButtons::OkCancel,
                      TMsgIcon::Warning) == TMsgResult::Ok;
}

void TDevices::StartData(TDevice* device)
{
    if (!ConfirmCapture(device)) {
        return;
    }
    std::array<bool, kSwitchCount> powered{};
    int powerTime = kBatchStartTime;
    uint8_t seq = 0;
    QStringList list;
    if (Das != nullptr) {
        Das->ResetSeqNum(FileSeqNum());
    }
    const std::vector<TDevice*> devices = BatchDevices(*this, device, false);
    for (TDevice* d : devices) {
        const bool power = device != nullptr || TakeSwitch(*d, powered);
        AddStartSequence(*d, list, kBatchDataTime, powerTime, seq, power);
    }
    if (AnyNumberedCapture(devices)) {
        AddNextSeqNum(*this, list, std::max(kBatchDataTime, powerTime), seq);
    }
    SendSequence(list, kBatchStartTime);
}

void TDevices::StartCapture(TDevice* device)
{
    if (!ConfirmCapture(device)) {
        return;
    }
    if (Das != nullptr) {
        Das->ResetSeqNum(FileSeqNum());
    }
    int T = kBatchStartTime;
    uint8_t seq = 0;
    QStringList list;
    const std::vector<TDevice*> devices = BatchDevices(*this, device, false);
    for (TDevice* d : devices) {
        AddStartCaptureCommands(*d, list, T, seq);
    }
    if (AnyNumberedCapture(devices)) {
        AddNextSeqNum(*this, list, T, seq);
    }
    SendSequence(list, T);
}

void TDevices::StopData(TDevice* device)
{
    std::array<bool, kSwitchCount> powered{};
    uint8_t seq = 0;
    QStringList list;
    for (TDevice* d : BatchDevices(*this, device, false)) {
        const bool power = device != nullptr || TakeSwitch(*d, powered);
        AddStopSequence(*d, list, kBatchStartTime, power, seq);
    }
    AddSequenceLine(list, kBatchStartTime, seq, QStringLiteral(";"));
    SendSequence(list, kBatchStartTime);
}

void TDevices::StopCapture(TDevice* device)
{
    int T = kBatchStartTime;
    uint8_t seq = 0;
    QStringList list;
    for (TDevice* d : BatchDevices(*this, device, false)) {
        AddStopCaptureCommands(*d, list, T, seq);
    }
    AddSequenceLine(list, T, seq, QStringLiteral(";"));
    SendSequence(list, T);
}
