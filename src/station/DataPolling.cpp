#include "station/DataPolling.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/Das.h"
#include "link/MuxClasses.h"
#include "platform/DateTimeText.h"
#include "station/CommandBlocks.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSequences.h"

namespace {

// Date stamp patterns by format number; formats 9 to 16 add the time of day to 1 to 8.
const std::array<const char*, 9> kDatePatterns = {
    "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "mm/dd/yy",  "dd/mm/yyyy", "dd/mm/yy",
    "%03d/yyyy",           "%03d/yy",    "yyyy/%03d", "yy/%03d",
};
constexpr int kHighestDateFormat = 16;
constexpr int kDateOnlyFormats = 8;
const QString kTimePattern = QStringLiteral("hh:nn:ss");

std::function<QDateTime()>& LabelClock()
{
    static std::function<QDateTime()> clock;
    return clock;
}

QDateTime LabelNow() { return LabelClock() ? LabelClock()() : QDateTime::currentDateTime(); }

// The fields of a stamp pattern: the text, its digits and its value.
struct TStampField {
    const char* token;
    int digits;
    int (*value)(const QDate&, const QTime&);
};

// Longer tokens first, so "yyyy" is not read as two "yy".
const std::array<TStampField, 8> kStampFields = {{
    {"yyyy", 4, [](const QDate& d, const QTime&) { return d.year(); }},
    {"%03d", 3, [](const QDate& d, const QTime&) { return d.dayOfYear(); }},
    {"yy", 2, [](const QDate& d, const QTime&) { return d.year() % 100; }},
    {"mm", 2, [](const QDate& d, const QTime&) { return d.month(); }},
    {"dd", 2, [](const QDate& d, const QTime&) { return d.day(); }},
    {"hh", 2, [](const QDate&, const QTime& t) { return t.hour(); }},
    {"nn", 2, [](const QDate&, const QTime& t) { return t.minute(); }},
    {"ss", 2, [](const QDate&, const QTime& t) { return t.second(); }},
}};

// Renders the pattern's fields; "/" and ":" become the given separators as literal text, so
// an infix is never read as a pattern letter.
QString FormatStamp(const QString& pattern, const QDateTime& when, const QString& dateSep,
                    const QString& timeSep)
{
    const QDate date = when.date();
    const QTime time = when.time();
    QString out;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const auto field =
            std::find_if(kStampFields.begin(), kStampFields.end(), [&](const TStampField& f) {
                return QStringView(pattern).mid(i).startsWith(QLatin1String(f.token));
            });
        if (field != kStampFields.end()) {
            out += QStringLiteral("%1").arg(field->value(date, time), field->digits, 10,
                                            QLatin1Char('0'));
            i += static_cast<qsizetype>(std::strlen(field->token));
            continue;
        }
        const QChar c = pattern[i++];
        out += c == QLatin1Char('/') ? dateSep : c == QLatin1Char(':') ? timeSep : QString(c);
    }
    return out;
}

bool IsAnalogKind(const TPort& port)
{
    return port.IsAnalog() || port.IsAnalogDiff() || port.IsFrequency();
}

}  // namespace

void SetLabelClock(std::function<QDateTime()> clock) { LabelClock() = std::move(clock); }

QString DateStampText(const TDevice& device, const QDateTime& when)
{
    const int format = device.GetDateStampFormat();
    if (format < 0 || format > kHighestDateFormat) {
        return DateTimeToStr(when);
    }
    QString pattern = QString::fromLatin1(kDatePatterns[static_cast<size_t>(
        format > kDateOnlyFormats ? format - kDateOnlyFormats : format)]);
    if (format > kDateOnlyFormats) {
        pattern += QLatin1Char(' ') + kTimePattern;
    }
    if (format == 0) {
        return FormatStamp(pattern, when, DateSeparator(), TimeSeparator());
    }
    return FormatStamp(pattern, when, device.GetDateStampInfix(), device.GetTimeStampInfix());
}

QString TimeStampText(const TDevice& device, const QDateTime& when)
{
    return FormatStamp(kTimePattern, when, QString(), device.GetTimeStampInfix());
}

QString LabelDestination(const TDevice& device)
{
    const QString hc = QString::number(device.GetHostChannel());
    const QString host = QStringLiteral(" Host ");
    switch (device.GetCaptureDest()) {
    case 0:
        return host + hc;
    case 1:
        return host + (device.GetCaptureOn() ? QString::number(device.GetCaptureDestOther()) : hc);
    case 2:
    case 3: {
        const TDevices* owner = device.GetOwner();
        bool toHost = owner == nullptr || owner->GetCaptureToHost();
        if (!device.GetCaptureOn()) {
            return host + hc;
        }
        // Labels go where the running capture was made, also when the master setting moved
        // meanwhile: never to a DAS file slot the capture does not hold.
        toHost = FileCaptureOnPc(device, toHost);
        const int slot = Das != nullptr ? Das->FindSlotName(device.GetCaptureDestName()) : 0;
        if (!toHost && slot > 0) {
            return QStringLiteral(" File ") + QString::number(slot);
        }
        return host + hc;
    }
    default:
        return QStringLiteral(" Host 253");
    }
}

int AddLabelCommands(const TDevice& device, const QString& cmdWord, const QString& text, int tMs)
{
    if (device.GetPort() == nullptr || Das == nullptr) {
        return tMs;
    }
    const QString lines =
        AddSendStringWithStamps(device, QString(), cmdWord, LabelDestination(device), text, 0);
    return Das->SendCommandList(lines, tMs);
}

bool PollData(TDevice& device, double now)
{
    if (!device.GetDataOn() || device.GetCollectionType() != 0) {
        return false;
    }
    // After a poll the next one is at most one period ahead. One more than two periods ahead
    // means the clock went back (the local time at the end of summer time) or the pause was
    // shortened while data ran: the device is asked now instead of falling silent until the
    // old time comes round again.
    const double period = device.GetPacketPause() / kTicksPerDay;
    if (device.GetNextPollTime() - now > 2 * std::max(period, 0.0)) {
        device.SetNextPollTime(now);
    }
    if (now < device.GetNextPollTime()) {
        return false;
    }
    const TPort* port = device.GetPort();
    if (port == nullptr) {
        return false;
    }
    if (!device.GetPrefix().isEmpty()) {
        AddLabelCommands(device, QStringLiteral("SendString "), device.GetPrefix(), 0);
    }
    const QString p = QString::number(port->GetSerialPort());
    if (port->IsSerial()) {
        SendCommandsNow(device, device.GetCmdGetData(), 0);
    } else if (port->IsAnalog()) {
        AddLabelCommands(device, QStringLiteral("SendAnalog ") + p + QLatin1Char(' '), QString(),
                         0);
    } else if (port->IsAnalogDiff()) {
        AddLabelCommands(device, QStringLiteral("SendAnalogDiff ") + p + QLatin1Char(' '),
                         QString(), 0);
    } else if (port->IsFrequency()) {
        AddLabelCommands(
            device, QStringLiteral("SendFrequency ") + p + QLatin1Char(' '),
            QLatin1Char(' ') + QString::number(static_cast<unsigned>(device.GetFreqDuration())), 0);
    }
    if (!device.GetSuffix().isEmpty() && IsAnalogKind(*port)) {
        AddLabelCommands(device, QStringLiteral("SendString "), device.GetSuffix(), 0);
    }
    const double next = device.GetNextPollTime();
    device.SetNextPollTime(next + 2 * period >= now ? next + period : now + period);
    return true;
}

void InstallDataPolling(TDevices& devices)
{
    devices.SetPollFunc([](TDevice& device, double now) { return PollData(device, now); });
}

void WriteLabelNow(const TDevice& device, const QStringList& block)
{
    bool suppressed = false;
    QStringList lines;
    for (const QString& line : block) {
        switch (ClassifyBlockLine(line)) {
        case TBlockLineKind::SupCr:
            suppressed = true;
            break;
        case TBlockLineKind::Text:
            lines << line;
            break;
        default:
            break;
        }
    }
    const QDateTime now = LabelNow();
    const QString date = QStringLiteral("\\D");
    const QString time = QStringLiteral("\\T");
    const auto holds = [&lines](const QString& stamp) {
        return std::any_of(lines.begin(), lines.end(),
                           [&stamp](const QString& line) { return line.contains(stamp); });
    };
    const bool hasDate = holds(date);
    const bool hasTime = holds(time);
    const QString dateText = hasDate ? DateStampText(device, now) : QString();
    const QString timeText = hasTime ? TimeStampText(device, now) : QString();
    TMux* mux = device.GetMux();
    if (mux == nullptr) {
        return;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (hasDate) {
            line.replace(date, dateText);
        }
        if (hasTime) {
            line.replace(time, timeText);
        }
        line.replace(QStringLiteral("\\r"), QStringLiteral("\r"));
        mux->WriteCapture(line);
        if (i + 1 < lines.size() && !suppressed) {
            mux->WriteCapture(QStringLiteral("\r"));
        }
    }
}
