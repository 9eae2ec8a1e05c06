#include "scripts/ScriptGenerator.h"

#include <QSet>
#include <algorithm>

#include "link/Global.h"
#include "platform/DateTimeText.h"
#include "scripts/ScriptWriter.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

QString Number(int64_t n) { return QString::number(n); }

// The file name part of a path ("\" or "/" separators).
QString FileNamePart(const QString& path)
{
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

bool IsAnalogKind(const TPort& port)
{
    return port.IsAnalog() || port.IsAnalogDiff() || port.IsFrequency();
}

bool ContainsName(const QStringList& names, const QString& name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

}  // namespace

TScriptStation SelectedStation(const TDevices& devices)
{
    TScriptStation station;
    for (const TDevice* d = devices.First(true, true); d != nullptr;
         d = devices.Next(d, true, true)) {
        station.listOrder.push_back(d);
    }
    for (const TDevice* d = devices.First(true, false); d != nullptr;
         d = devices.Next(d, true, false)) {
        station.powerOrder.push_back(d);
    }
    return station;
}

TGeneratedScript GenerateScriptLines(const TWizardChoices& choices, const TScriptStation& station,
                                     double now)
{
    TScriptWriter writer(choices, station);
    return writer.Write(now);
}

// --- Preparation ---

TScriptWriter::TScriptWriter(const TWizardChoices& choices, const TScriptStation& station)
    : c_(choices), every_(choices.scheduleEvery)
{
    if (station.listOrder.empty()) {
        throw TScriptRefused(QStringLiteral("No Devices Selected"), 1);
    }
    TakeDevices(station);
    MakeIds();
    CheckChoices();
    ComputePeriods();
}

// A script on the DAS reaches only the instruments on the DAS's own ports, each with a power
// switch; the others are named in comments and left out.
void TScriptWriter::TakeDevices(const TScriptStation& station)
{
    const auto inPowerOrder = [&station](const TDevice* d) {
        return std::find(station.powerOrder.begin(), station.powerOrder.end(), d) !=
               station.powerOrder.end();
    };
    const bool timeOutRun = c_.duration == TSampleDuration::TimeOut;
    for (const TDevice* device : station.listOrder) {
        const TPort* port = device->GetPort();
        if (port != nullptr && port->IsPCSerial()) {
            leftOut_ << QStringLiteral("; ") + device->GetName() +
                            QStringLiteral(" is wired to the PC, not to the DAS: left out");
            continue;
        }
        if (port == nullptr || !port->HasPowerSwitch() || !inPowerOrder(device)) {
            leftOut_ << QStringLiteral("; ") + device->GetName() +
                            QStringLiteral(" has no DAS port with a power switch: left out");
            continue;
        }
        TScriptDevice d;
        d.device = device;
        d.port = port;
        d.name = device->GetName();
        d.serial = port->IsSerial();
        d.analogKind = IsAnalogKind(*port);
        // One rule for the sampling body, the periods and the Collect routines: every device
        // polled in the body has its routine.
        d.polled = device->GetCollectionType() == 0 || d.analogKind;
        d.timeOut = timeOutRun && ContainsName(c_.timeOutDevices, d.name);
        d.averaging = d.analogKind && device->GetDoAveraging();
        devices_.push_back(d);
    }
    for (const TDevice* device : station.powerOrder) {
        for (const TScriptDevice& d : devices_) {
            if (d.device == device) {
                power_.push_back(&d);
            }
        }
    }
}

// Identifiers from the device names, at most kMostIdChars long: a longer name keeps its
// start and its end (where names of one kind of instrument usually differ) and drops the
// middle. Identifiers that come out the same get "_2", "_3" ... in their last places, never
// one another device already carries.
void TScriptWriter::MakeIds()
{
    const auto baseOf = [](const QString& name) {
        const QString id = MakeValidName(name);
        if (id.size() <= kMostIdChars) {
            return id;
        }
        const qsizetype end = kMostIdChars / 2;
        return id.left(kMostIdChars - end) + id.right(end);
    };
    QSet<QString> bases;
    for (const TScriptDevice& d : devices_) {
        bases.insert(baseOf(d.name).toUpper());
    }
    QSet<QString> taken;
    for (TScriptDevice& d : devices_) {
        const QString base = baseOf(d.name);
        QString id = base;
        for (int n = 2;
             taken.contains(id.toUpper()) || (id != base && bases.contains(id.toUpper())); ++n) {
            const QString suffix = QLatin1Char('_') + QString::number(n);
            id = base.left(kMostIdChars - suffix.size()) + suffix;
        }
        taken.insert(id.toUpper());
        d.id = id;
    }
}

// Every refusal comes before a line is written.
void TScriptWriter::CheckChoices()
{
    if (c_.startUpDelay != QStringLiteral("00:00:00")) {
        TimeTextToSeconds(c_.startUpDelay);
    }
    if (c_.scheduled && c_.scheduleEvery) {
        TimeTextToSeconds(c_.from);
        TimeTextToSeconds(c_.until);
        if (TimeTextToSeconds(c_.every) <= 0) {
            throw TScriptRefused(
                QStringLiteral("Sample Every must be a time above 00:00:00 -- Script Not Made."),
                3);
        }
    }
    if (c_.scheduled && !c_.scheduleEvery) {
        CheckSpecificTimes();
    }
    if (!c_.scheduled && c_.blackout) {
        TimeTextToSeconds(c_.blackoutFrom);
        TimeTextToSeconds(c_.blackoutTo);
    }
    if (c_.duration == TSampleDuration::Timed) {
        TimeTextToTicks(c_.durationTimed);
    } else if (c_.duration == TSampleDuration::TimeOut) {
        TimeTextToTicks(c_.timeOut);
        TimeTextToTicks(c_.maxTime);
    }
    for (const TScriptDevice& d : devices_) {
        if (d.polled && d.device->GetPacketPause() <= 0) {
            throw TScriptRefused(d.name + QStringLiteral(" is polled with a packet pause of ") +
                                 QString::number(d.device->GetPacketPause()) +
                                 QStringLiteral(" ticks: it needs at least 1 -- Script Not Made."));
        }
    }
}

// Each time names its own routine and the window up to the next one: a time given twice,
// even written two ways, would give two routines of one name.
void TScriptWriter::CheckSpecificTimes()
{
    if (c_.scheduleTimes.isEmpty()) {
        throw TScriptRefused(
            QStringLiteral("Add at least one time to sample at -- Script Not Made."), 3);
    }
    QSet<int> seconds;
    for (const QString& time : c_.scheduleTimes) {
        const int at = TimeTextToSeconds(time);
        if (seconds.contains(at)) {
            throw TScriptRefused(QStringLiteral("The time ") + NormalTimeText(time) +
                                     QStringLiteral(" is listed twice -- Script Not Made."),
                                 3);
        }
        seconds.insert(at);
    }
}

void TScriptWriter::ComputePeriods()
{
    int64_t q = 1;
    bool any = false;
    for (const TScriptDevice& d : devices_) {
        if (!d.polled) {
            continue;
        }
        any = true;
        q = LeastCommonMultiple(q, d.device->GetPacketPause());
        if (q >= kLongestPeriodTicks) {
            throw TScriptRefused(
                QStringLiteral("The packet pauses of the polled devices have no common period "
                               "below ") +
                Number(kLongestPeriodTicks) +
                QStringLiteral(" ticks, which a script cannot time -- Script Not Made."));
        }
    }
    Q_ = any ? q : 100;
    P_ = LeastCommonMultiple(100, Q_);
    if (c_.duration == TSampleDuration::Timed) {
        const int64_t d = TimeTextToTicks(c_.durationTimed);
        N_ = d / P_;
        R_ = d % P_;
    }
    if (SampleBodyLines(Q_) > kMostSampleLines) {
        throw TScriptRefused(
            QStringLiteral("The sampling routine would take more than ") +
            Number(kMostSampleLines) +
            QStringLiteral(" lines: choose packet pauses with a shorter common period, or fewer "
                           "averaged samples -- Script Not Made."));
    }
}

// --- Names ---

QString TScriptWriter::RouteTargetText(const TScriptDevice& d)
{
    switch (d.device->GetCaptureDest()) {
    case 0:
    case 1:
        return QStringLiteral(" Host Host_") + d.id;
    case 2:
    case 3:
        return QStringLiteral(" File File_") + d.id;
    default:
        return QString();
    }
}

QString TScriptWriter::DasCaptureName(const TScriptDevice& d)
{
    return ToDasFileName(QStringLiteral("C:") + d.device->GetCaptureDestName());
}

void TScriptWriter::Label(const QString& label)
{
    Line(label + QLatin1Char(':'));
    Variable(label);
}

void TScriptWriter::BeginRoutine(const QString& comment, const QString& label)
{
    Line(QString());
    Line(comment);
    Label(label);
}

void TScriptWriter::EndRoutine(const QString& comment)
{
    Line(comment);
    Line(QStringLiteral("Return"));
}

void TScriptWriter::EndSampleRoutine(const QString& comment)
{
    Line(SleepSwitchLine());
    EndRoutine(comment);
}

QString TScriptWriter::SleepSwitchLine() const
{
    return QStringLiteral("    OnSwitchOff SwitchOff");
}

// --- The script ---

TGeneratedScript TScriptWriter::Write(double now)
{
    Header(now);
    Defines();
    StartUp();
    MainLoop();
    LoopTail();
    BlackOut();
    DoDataCollect();
    PowerOn();
    SampleRoutines();
    CollectRoutines();
    PowerOff();
    SwitchOff();
    ScriptDone();
    return {lines_, variables_, expandedTimes_};
}

void TScriptWriter::Header(double now)
{
    Line(QStringLiteral("; ") + FileNamePart(c_.path) + QStringLiteral(" -- ") +
         DateTimeToStr(now));
    if (!c_.comments.isEmpty()) {
        Line(QString());
        for (const QString& comment : c_.comments) {
            Line(QStringLiteral("; ") + comment);
        }
    }
    if (!leftOut_.isEmpty()) {
        Line(QString());
        Lines(leftOut_);
    }
    Line(QString());
    Line(QStringLiteral("; Defines"));
    Line(QStringLiteral("define On 1"));
    Variable(QStringLiteral("On"));
    Line(QStringLiteral("define Off 0"));
    Variable(QStringLiteral("Off"));
}

void TScriptWriter::Defines()
{
    const auto define = [this](const QString& name, int64_t value) {
        Line(QStringLiteral("define") + name + QLatin1Char(' ') + Number(value));
        Variable(name);
    };
    int previousSwitch = -1;
    int average = 0;
    for (const TScriptDevice* d : power_) {
        const int powerSwitch = d->port->GetPowerSwitch();
        if (powerSwitch != previousSwitch) {
            define(PowerChannelName(*d), powerSwitch);
            previousSwitch = powerSwitch;
            if (d->port->GetSecondPowerSwitch() > 0) {
                define(AuxPowerChannelName(*d), d->port->GetSecondPowerSwitch());
            }
        }
        define(DataPortName(*d), d->port->GetSerialPort());
        switch (d->device->GetCaptureDest()) {
        case 0:
            define(HostChannelName(*d), d->port->GetHostChannel());
            break;
        case 1:
            define(HostChannelName(*d), d->device->GetCaptureDestOther());
            break;
        case 2:
        case 3: {
            // One number per DAS file: names that differ only in their folder or letter case
            // are still one file on the DAS.
            const QString dasName = DasCaptureName(*d);
            int index = FileIndexOf(dasName);
            if (index < 0) {
                files_ << dasName;
                index = static_cast<int>(files_.size()) - 1;
            }
            define(FileHandleName(*d), index + 1);
            usesSequence_ = usesSequence_ || d->device->GetCaptureDest() == 2;
            break;
        }
        default:
            break;
        }
        if (d->averaging) {
            define(AverageSlotName(*d), ++average);
        }
    }
}
