#include "station/DeviceSequences.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "link/TimedLines.h"
#include "station/CommandBlocks.h"
#include "station/DataPolling.h"
#include "station/DeviceClasses.h"
#include "station/SequenceSteps.h"

namespace {

const QChar kCr = QLatin1Char('\r');

QString HostLine(const QString& word, const QString& hc) { return u'*' + word + u' ' + hc + kCr; }

// A command block to the instrument: a DAS serial port's "SendString Serial p", a PC port's
// device port through its host channel.
void AddBlock(TDevice& device, QStringList& list, int& time, const QStringList& block, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.PcPort()) {
        AddCommandText(device, list, time, block, v.hc, kPcDataWord, QString(), seq);
    } else {
        AddCommandText(device, list, time, block, v.p, QStringLiteral("Serial"), QString(), seq);
    }
}

// A label block to the capture: the device's host channel, or the DAS file of its capture.
void AddLabelBlock(TDevice& device, QStringList& list, int& time, const QStringList& block,
                   uint8_t& seq, bool toHost)
{
    const TPortValues v(device);
    if (toHost) {
        AddCommandText(device, list, time, block, v.hc, QStringLiteral("Host"), QString(), seq);
    } else {
        const int slot = Das != nullptr ? Das->FindSlotName(device.GetCaptureDestName()) : 0;
        AddCommandText(device, list, time, block, QString::number(slot), QStringLiteral("File "),
                       QString(), seq);
    }
}

bool CaptureToHost(const TDevice& device)
{
    return device.GetOwner() == nullptr || device.GetOwner()->GetCaptureToHost();
}

bool ArchivePlaying(const TDevice& device)
{
    return device.GetOwner() != nullptr && device.GetOwner()->ArchivePlaying();
}

// Where a device's capture goes, as the capture steps read it.
struct TCaptureValues {
    int dest;       // 0 its channel, 1 another channel, 2 numbered file, 3 named file
    bool fileDest;  // a file destination
    bool toHost;    // captures are made on the PC, not on the DAS
    QString name;   // the capture file name

    explicit TCaptureValues(const TDevice& device)
        : dest(device.GetCaptureDest()),
          fileDest(dest == 2 || dest == 3),
          toHost(CaptureToHost(device)),
          name(device.GetCaptureDestName())
    {
    }
    // The host captures the data itself ("StartHostCapture"): a channel destination, or a
    // file made on the PC.
    bool HostCapture() const { return dest == 0 || dest == 1 || (fileDest && toHost); }
};

// Whether `needle` stands in `hay` with its number whole: no digit right after it, nor right
// before it when it begins with a digit.
bool HoldsWholeNumber(const QByteArray& hay, const QByteArray& needle)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (qsizetype at = hay.indexOf(needle); at >= 0; at = hay.indexOf(needle, at + 1)) {
        const qsizetype end = at + needle.size();
        const bool endOk = end >= hay.size() || !isDigit(hay[end]);
        const bool startOk = at == 0 || !isDigit(needle[0]) || !isDigit(hay[at - 1]);
        if (endOk && startOk) {
            return true;
        }
    }
    return false;
}

// Case-insensitive ASCII text order, as the timed lists sort.
bool TimedLineLess(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

// A PC port's block text line: queued on its host channel; stamps cannot be made there and
// are dropped. Returns when it will have finished.
int QueuePcData(const QString& command, int t)
{
    const QString head = QStringLiteral("SendString ") + kPcDataWord + u' ';
    if (!command.startsWith(head)) {
        return t;
    }
    const qsizetype open = command.indexOf(u'"');
    const qsizetype close = command.lastIndexOf(u'"');
    const int hc = TextToInt(command.mid(head.size(), open < 0 ? -1 : open - head.size()), -1);
    if (open < 0 || close <= open || hc < 0 || hc > 255) {
        return t;
    }
    return Host.QueueTimedCommand(static_cast<uint8_t>(hc),
                                  DecodeEscapes(command.mid(open + 1, close - open - 1)), t);
}

// "SETPOWER" for the port's switch and second switch; a PC port has none.
void AddSwitchCommands(TDevice& device, QStringList& list, int time, uint8_t& seq, bool on)
{
    const TPortValues v(device);
    if (v.port == nullptr || v.PcPort()) {
        return;
    }
    const QString state = on ? QStringLiteral(" 1") : QStringLiteral(" 0");
    AddSequenceLine(
        list, time, seq,
        QStringLiteral("SETPOWER ") + QString::number(v.port->GetPowerSwitch()) + state);
    if (v.port->GetSecondPowerSwitch() > 0) {
        AddSequenceLine(
            list, time, seq,
            QStringLiteral("SETPOWER ") + QString::number(v.port->GetSecondPowerSwitch()) + state);
    }
}

bool IsPcDataLine(const QString& command)
{
    return command.section(u' ', 1, 1, QString::SectionSkipEmpty) == kPcDataWord;
}

// Routes a DAS serial port to `target` (" Host hc", " File n") and sends the port an empty
// string.
void AddRouteSerial(QStringList& list, int time, uint8_t& seq, const TPortValues& v,
                    const QString& target)
{
    AddSequenceLine(list, time, seq, QStringLiteral("RouteSerial ") + v.p + target);
    AddSequenceLine(list, time, seq,
                    QStringLiteral("SendString Serial ") + v.p + QStringLiteral(" \"\""));
}

}  // namespace

QString SettingsLetters(const QString& portSettings)
{
    const auto letter = [&](qsizetype index, QChar fallback) {
        return index < portSettings.size() ? portSettings[index] : fallback;
    };
    return QString(letter(0, u'N')) + letter(2, u'8') + letter(4, u'1');
}

void SortTimedLines(QStringList& list)
{
    std::stable_sort(list.begin(), list.end(), TimedLineLess);
}

int SendSequence(QStringList list, int startStamp)
{
    SortTimedLines(list);
    const bool pcData = std::any_of(list.begin(), list.end(), [](const QString& line) {
        return IsPcDataLine(TimedLineCommand(line));
    });
    if (!pcData) {
        return Das != nullptr ? Das->SendTimedLines(list, startStamp) : 0;
    }
    // The same timing as the DAS's timed lines, with the PC port's text taken out.
    if (Host.DebugMemoVisible()) {
        for (const QString& line : list) {
            Host.LinkUi().AppendDebugMemo(line);
        }
        Host.LinkUi().KeepDebugMemoTail(kDebugMemoMaxChars);
    }
    int total = 0;
    int previous = startStamp;
    for (const QString& line : list) {
        if (line.size() < kTimedLineMinLength) {
            continue;
        }
        const int stamp = TimedLineStamp(line, previous);
        const int64_t step = static_cast<int64_t>(stamp) - previous;
        if (step > 0 && step < kMaxTimedLineStep) {
            total = static_cast<int>(
                std::min<int64_t>(total + step * 10, std::numeric_limits<int>::max()));
        }
        const QString command = TimedLineCommand(line);
        if (IsPcDataLine(command)) {
            total = QueuePcData(command, total);
        } else if (Das != nullptr) {
            total = Das->SendCommandAt(command, total);
        }
        previous = stamp;
    }
    return total;
}

void RemoveQueuedDeviceCommands(const TDevice& device)
{
    const TPortValues v(device);
    if (v.port == nullptr) {
        return;
    }
    if (v.port->HasHostChannel()) {
        Host.ClearChannelData(static_cast<uint8_t>(v.port->GetHostChannel()));
    }
    if (TimedQueue == nullptr) {
        return;
    }
    const QByteArray hc = v.hc.toLatin1();
    const QByteArray host = "Host" + hc;
    const QByteArray serial = "Serial " + v.p.toLatin1();
    const bool dasSerial = v.DasSerial();
    TimedQueue->RemoveChannelIf(kCommandChannel, [&](const QByteArray& text) {
        return HoldsWholeNumber(text, host) ||
               (text.startsWith('*') && HoldsWholeNumber(text, hc)) ||
               (dasSerial && HoldsWholeNumber(text, serial));
    });
    if (v.PcPort() && v.port->HasHostChannel()) {
        // The block text still waiting for the PC device port.
        TimedQueue->RemoveChannel(static_cast<uint8_t>(v.port->GetHostChannel()));
    }
}

// --- Building steps ---

void AddOpenSerialCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.DasSerial()) {
        AddSequenceLine(list, time, seq, QStringLiteral("CloseSerial ") + v.p);
        AddSequenceLine(list, time, seq,
                        QStringLiteral("OpenSerial ") + v.p + QStringLiteral(", ") +
                            QString::number(device.GetPortBaud()) + QStringLiteral(", \"") +
                            SettingsLetters(device.GetPortSettings()) + u'"');
        AddRouteSerial(list, time, seq, v, QStringLiteral(" Host ") + v.hc);
    } else if (v.PcPort()) {
        AddSequenceLine(list, time, seq, HostLine(QStringLiteral("RouteSerial"), v.hc));
    }
}

void AddPowerOnCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    AddSwitchCommands(device, list, time, seq, true);
}

void AddPowerOnCmdCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (!v.SerialKind() || !device.GetPowerOnCmd()) {
        return;
    }
    AddSequenceLine(list, time, seq, HostLine(QStringLiteral("DeviceWait"), v.hc));
    time = TicksSum(time, device.GetPowerOnCmdWait());
    AddBlock(device, list, time, device.GetCmdPowerOn(), seq);
    AddSequenceLine(list, time, seq, HostLine(QStringLiteral("DeviceGo"), v.hc));
}

void AddPowerOffCmdCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (!v.SerialKind() || !device.GetPowerOffCmd()) {
        return;
    }
    AddSequenceLine(list, time, seq, HostLine(QStringLiteral("DeviceWait"), v.hc));
    AddBlock(device, list, time, device.GetCmdPowerOff(), seq);
    time = TicksSum(time, device.GetPowerOffCmdWait());
    AddSequenceLine(list, time, seq, HostLine(QStringLiteral("DeviceGo"), v.hc));
}

void AddCloseSerialCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.DasSerial()) {
        AddSequenceLine(list, time, seq, QStringLiteral("CloseSerial ") + v.p);
    } else if (v.PcPort()) {
        AddSequenceLine(list, time, seq, HostLine(QStringLiteral("UnRouteSerial"), v.hc));
    }
}

void AddPowerOffCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    AddSwitchCommands(device, list, time, seq, false);
}

void AddGetSavedDataCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    if (TPortValues(device).SerialKind() && !device.GetCmdGetSavedData().isEmpty()) {
        AddBlock(device, list, time, device.GetCmdGetSavedData(), seq);
    }
}

void AddDataStartCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.port == nullptr) {
        return;
    }
    if (v.SerialKind() && device.GetCollectionType() == 2) {
        AddBlock(device, list, time, device.GetCmdStart(), seq);
    }
    AddSequenceLine(list, time, seq, HostLine(QStringLiteral("DataStart"), v.hc));
}

void AddDataStopCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.port == nullptr) {
        return;
    }
    if (v.SerialKind() && device.GetCollectionType() == 2) {
        AddBlock(device, list, time, device.GetCmdStop(), seq);
    }
    device.SetDataActive(false);
    RemoveQueuedDeviceCommands(device);
    AddSequenceLine(list, time, seq, HostLine(QStringLiteral("DataStop"), v.hc));
}

// --- Capture ---

void AddStartCaptureCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.port == nullptr) {
        return;
    }
    const TCaptureValues c(device);
    if (ArchivePlaying(device)) {
        TMux* mux = device.GetMux();
        if (c.fileDest && c.toHost && mux != nullptr) {
            mux->StartCapture();
        }
        device.SetCaptureOn(true);
        if (!device.GetStartPrefix().isEmpty() && mux != nullptr && c.toHost) {
            WriteLabelNow(device, QStringList{device.GetStartPrefix()});
        }
        device.UpdateListItem();
        return;
    }
    if (c.HostCapture()) {
        if (v.DasSerial()) {
            AddSequenceLine(list, time, seq, QStringLiteral("UnRouteSerial ") + v.p);
        }
        AddSequenceLine(list, time, seq, HostLine(QStringLiteral("StartHostCapture"), v.hc));
    } else if (c.fileDest) {
        const int slot = Das != nullptr ? Das->AddSlotName(c.name) : 0;
        const QString filePart = c.name.mid(c.name.lastIndexOf(u'\\') + 1);
        const QString open =
            c.dest == 2 ? QStringLiteral("OpenFileSeq ") : QStringLiteral("OpenFile ");
        AddSequenceLine(list, time, seq,
                        open + QString::number(slot) + QStringLiteral(" \"") + filePart +
                            QStringLiteral("\" "));
    }
    device.SetCaptureOn(true);
    if (!device.GetStartPrefix().isEmpty()) {
        AddLabelBlock(device, list, time, QStringList{device.GetStartPrefix()}, seq, c.toHost);
    }
    if (!v.DasSerial()) {
        return;
    }
    QString target;
    if (c.dest == 0 || (c.fileDest && c.toHost)) {
        target = QStringLiteral(" Host ") + v.hc;
    } else if (c.dest == 1) {
        target = QStringLiteral(" Host ") + QString::number(device.GetCaptureDestOther());
    } else if (c.fileDest) {
        const int slot = Das != nullptr ? Das->FindSlotName(c.name) : 0;
        target = QStringLiteral(" File ") + QString::number(slot);
    } else {
        return;
    }
    AddRouteSerial(list, time, seq, v, target);
}

void AddStopCaptureCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq)
{
    const TPortValues v(device);
    if (v.port == nullptr) {
        return;
    }
    TCaptureValues c(device);
    if (ArchivePlaying(device)) {
        TMux* mux = device.GetMux();
        if (!device.GetStopSuffix().isEmpty() && mux != nullptr && c.toHost) {
            WriteLabelNow(device, QStringList{device.GetStopSuffix()});
        }
        if (c.fileDest && c.toHost && mux != nullptr) {
            mux->StopCapture();
        }
        device.SetCaptureOn(false);
        device.UpdateListItem();
        return;
    }
    // A file capture ends where it was made, also when the master setting moved meanwhile: a
    // file open on the PC is closed on the PC, a file slot open on the DAS is closed there.
    if (c.fileDest) {
        c.toHost = FileCaptureOnPc(device, c.toHost);
    }
    // Only a DAS serial port is ever routed, so only it is unrouted and routed back. A
    // capture into a file on the DAS routed the port to that file: once the file is closed
    // the port goes back to its host channel too, or the instrument's data would go nowhere.
    const bool reroute = v.DasSerial() && c.HostCapture();
    const bool routeBack = v.DasSerial() && (c.HostCapture() || c.fileDest);
    if (reroute) {
        AddSequenceLine(list, time, seq, QStringLiteral("UnRouteSerial ") + v.p);
    }
    if (!device.GetStopSuffix().isEmpty()) {
        AddLabelBlock(device, list, time, QStringList{device.GetStopSuffix()}, seq, c.toHost);
    }
    if (c.HostCapture()) {
        AddSequenceLine(list, time, seq,
                        QStringLiteral("SendString Host 255 \"StopHostCapture ") + v.hc +
                            QStringLiteral("\\r\""));
    } else if (c.fileDest) {
        const int slot = Das != nullptr ? Das->ReleaseSlotName(c.name) : 0;
        AddSequenceLine(list, time, seq, QStringLiteral("CloseFile ") + QString::number(slot));
    }
    if (routeBack) {
        AddRouteSerial(list, time, seq, v, QStringLiteral(" Host ") + v.hc);
    }
    device.SetCaptureOn(false);
}

// --- Single-device sequences ---

namespace {

// Ends a single device's power sequence with a DAS status request (when the device has a
// port) and sends the list from 0.
void SendWithStatus(const TDevice& device, QStringList& list, int time, uint8_t& seq)
{
    if (device.GetPort() != nullptr) {
        AddSequenceLine(list, time, seq, QStringLiteral("SendStatus Host 247"));
    }
    SendSequence(list, 0);
}

// Sends what one building step makes for one device, from 0.
void SendStep(TDevice& device, void (*add)(TDevice&, QStringList&, int&, uint8_t&))
{
    QStringList list;
    uint8_t seq = 0;
    int T = 0;
    add(device, list, T, seq);
    SendSequence(list, 0);
}

}  // namespace

void SendPowerOnSequence(TDevice& device, bool power, bool commands, bool openSerial, int start)
{
    QStringList list;
    uint8_t seq = 0;
    int T = start;
    if (openSerial) {
        AddOpenSerialCommands(device, list, T, seq);
    }
    if (power) {
        AddPowerOnCommands(device, list, T, seq);
    }
    if (commands) {
        AddPowerOnCmdCommands(device, list, T, seq);
    }
    SendWithStatus(device, list, T, seq);
}

void SendPowerOffSequence(TDevice& device, bool power, bool commands, bool closeSerial)
{
    QStringList list;
    uint8_t seq = 0;
    int T = 0;
    if (commands) {
        AddPowerOffCmdCommands(device, list, T, seq);
    }
    if (closeSerial) {
        AddCloseSerialCommands(device, list, T, seq);
    }
    if (power) {
        AddPowerOffCommands(device, list, T, seq);
    }
    SendWithStatus(device, list, T, seq);
}

void SendDataStart(TDevice& device) { SendStep(device, AddDataStartCommands); }

void SendDataStop(TDevice& device) { SendStep(device, AddDataStopCommands); }

bool FileCaptureOnPc(const TDevice& device, bool toHost)
{
    const TMux* mux = device.GetMux();
    if (mux != nullptr && mux->IsCaptureOnPc()) {
        return true;
    }
    if (Das != nullptr && Das->FindSlotName(device.GetCaptureDestName()) > 0) {
        return false;
    }
    return toHost;
}

bool CaptureFileExists(const TDevice& device)
{
    const TDevices* owner = device.GetOwner();
    if (owner == nullptr || !owner->GetCaptureToHost()) {
        return false;
    }
    const QString& dir = owner->GetCaptureDir();
    switch (device.GetCaptureDest()) {
    case 2:
        return QFileInfo::exists(NativePath(dir + device.GetCaptureFilePath()));
    case 3:
        return !device.GetCaptureDestAppend() &&
               QFileInfo::exists(NativePath(dir + device.GetCaptureDestName()));
    default:
        return false;
    }
}
