#include "station/DeviceSetupRules.h"

#include "link/MuxClasses.h"
#include "link/Serial.h"
#include "platform/IniFile.h"
#include "platform/Prompt.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

// The settings text a read-back starts from.
const QString kDefaultSettingsText = QStringLiteral("N,8,1");
// Characters of the stop bits field ("1.5").
constexpr int kStopBitsChars = 3;

bool IsAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

bool IsSerialKind(const TPort* port) { return port != nullptr && port->IsSerial(); }

bool IsAnalogKind(const TPort* port)
{
    return port != nullptr && (port->IsAnalog() || port->IsAnalogDiff() || port->IsFrequency());
}

bool IsFrequencyKind(const TPort* port) { return port != nullptr && port->IsFrequency(); }

int NextSetupPage(int page, bool analog)
{
    if (page == 2) {
        return analog ? 4 : 3;
    }
    if (page == 5 && !analog) {
        return 5;
    }
    return page < kLastSetupPage ? page + 1 : page;
}

int PreviousSetupPage(int page, bool analog)
{
    if (page == 4) {
        return analog ? 2 : 3;
    }
    return page > kFirstSetupPage ? page - 1 : page;
}

bool SetupNextEnabled(int page, bool analog) { return NextSetupPage(page, analog) != page; }

int ComPortFromText(const QString& text)
{
    if (!text.startsWith(QLatin1String("COM"))) {
        return -1;
    }
    const QString digits = text.mid(3);
    if (digits.isEmpty() || digits.size() > 2 ||
        !std::all_of(digits.begin(), digits.end(), IsAsciiDigit)) {
        return -1;
    }
    const int n = digits.toInt();
    // "COM3" only, not "COM03".
    return n <= kHighestEchoComPort && QString::number(n) == digits ? n : -1;
}

int LeadingInteger(const QString& text, int fallback)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' ')) {
        ++i;
    }
    const qsizetype start = i;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        ++i;
    }
    while (i < text.size() && IsAsciiDigit(text[i])) {
        ++i;
    }
    return ParseIntegerText(text.mid(start, i - start)).value_or(fallback);
}

QString SerialSettingsText(int baud, const QString& settings)
{
    return QString::number(baud) + QLatin1Char(',') + settings;
}

QString EchoSettingsText(int baud, const QString& settings, int flow)
{
    static const char* const kFlowNames[] = {"No Flow Control", "XonXoff", "Hardware"};
    QString text = SerialSettingsText(baud, settings) + QLatin1Char(',');
    if (flow >= 0 && flow <= 2) {
        text += QLatin1String(kFlowNames[flow]);
    }
    return text;
}

TSettingsFields SplitSettingsText(const QString& text)
{
    TSettingsFields fields;
    fields.parity = text.left(1);
    fields.dataBits = text.mid(2, 1);
    fields.stopBits = text.mid(4).trimmed();
    return fields;
}

QString JoinSettingsText(const TSettingsFields& fields)
{
    TSettingsFields out = SplitSettingsText(kDefaultSettingsText);
    if (!fields.parity.isEmpty()) {
        out.parity = fields.parity.left(1);
    }
    if (!fields.dataBits.isEmpty()) {
        out.dataBits = fields.dataBits.left(1);
    }
    if (!fields.stopBits.isEmpty()) {
        out.stopBits = fields.stopBits.left(kStopBitsChars);
    }
    return out.parity + QLatin1Char(',') + out.dataBits + QLatin1Char(',') + out.stopBits;
}

QStringList EchoPortNames(int dasPort)
{
    QStringList names;
    for (int n = 1; n <= kHighestEchoComPort; ++n) {
        if (n != dasPort && ComPortExists(n)) {
            names << QStringLiteral("COM") + QString::number(n);
        }
    }
    return names;
}

QStringList CaptureChannelNames()
{
    QStringList names;
    for (int channel = 0; channel <= kHighestHostChannel; ++channel) {
        const TMux* mux =
            MuxArray != nullptr ? MuxArray->GetChannel(static_cast<uint8_t>(channel)) : nullptr;
        names << (mux != nullptr ? mux->GetName() : QString::number(channel));
    }
    return names;
}

bool UsableDeviceName(const QString& name)
{
    return !name.trimmed().isEmpty() && !TDevices::IsReservedName(name) && !name.contains(QLatin1Char('[')) &&
           !name.contains(QLatin1Char(']')) && !name.contains(QLatin1Char('\r')) &&
           !name.contains(QLatin1Char('\n'));
}

QString DuplicateNameMessage(const QString& name)
{
    return QStringLiteral("Name \"") + name + QStringLiteral("\" already exists.");
}

QString UnusableNameMessage(const QString& name)
{
    return QStringLiteral("The name \"") + name +
           QStringLiteral("\" can not be used for a device. Please choose another device name.");
}

bool CheckUniqueName(const TDevices* devices, const QString& name, const TDevice* edited)
{
    if (name.isEmpty()) {
        return true;
    }
    const TDevice* holder = devices != nullptr ? devices->FindByName(name) : nullptr;
    // A model's name would turn the device's section into the unit's own.
    if ((holder != nullptr && holder != edited) || TDevices::IsReservedName(name)) {
        ShowMessage(DuplicateNameMessage(name));
        return false;
    }
    return true;
}

bool AcceptDeviceName(const TDevices* devices, const QString& name, const TDevice* edited)
{
    if (!CheckUniqueName(devices, name, edited)) {
        return false;
    }
    if (!UsableDeviceName(name)) {
        ShowMessage(UnusableNameMessage(name));
        return false;
    }
    return TDevices::AcceptName(name);
}
