#pragma once
// The rules of the device setup dialogs that need no window: which pages a port kind shows and
// in what order, how number and priority fields read, the texts that show serial settings,
// the serial settings text taken apart and put together, the echo port and capture channel
// lists, and which names a device may take.
//
// Threads: UI thread (the name and list rules read the device list, the ports and channels);
// the pure text helpers may be called from any thread.

#include <QString>
#include <QStringList>

class TDevice;
class TDevices;
class TPort;

// The wizard's pages, numbered as the callers name them.
constexpr int kFirstSetupPage = 1;
constexpr int kLastSetupPage = 6;
// The PC COM ports that can be chosen as echo ports.
constexpr int kHighestEchoComPort = 15;

// Port kinds: serial ports ("Serial", "PCSerial") and the kinds whose readings are analog
// ("Analog", "AnalogDiff", "Frequency"). A null port is neither.
bool IsSerialKind(const TPort* port);
bool IsAnalogKind(const TPort* port);
bool IsFrequencyKind(const TPort* port);

// The page Next and Back lead to from `page` (the page itself where there is none): analog
// kinds skip page 3 and have page 6, the others end at page 5.
int NextSetupPage(int page, bool analog);
int PreviousSetupPage(int page, bool analog);
bool SetupNextEnabled(int page, bool analog);

// n (0..15) when the text is exactly "COM" followed by n in decimal, else -1.
int ComPortFromText(const QString& text);
// The integer the text begins with, blanks before it and an optional sign allowed ("5th" and
// "5" give 5); `fallback` when it begins with no number or the number does not fit an int.
int LeadingInteger(const QString& text, int fallback);

// "9600,N,8,1": a device's serial line as the wizard shows it.
QString SerialSettingsText(int baud, const QString& settings);
// The echo port's line with its flow control: "9600,N,8,1,No Flow Control", ",XonXoff" or
// ",Hardware" for flow 0, 1, 2; any other flow value leaves the text ending in the comma.
QString EchoSettingsText(int baud, const QString& settings, int flow);

// The three fields of a settings text such as "E,7,1.5": its first character, its third, and
// from its fifth on without surrounding blanks; a field the text is too short for is empty.
struct TSettingsFields {
    QString parity;
    QString dataBits;
    QString stopBits;
};
TSettingsFields SplitSettingsText(const QString& text);
// The settings text "N,8,1" with the first letter of `parity`, the first character of
// `dataBits` and the first three characters of `stopBits` put in its places; an empty field
// leaves the character of "N,8,1" there.
QString JoinSettingsText(const TSettingsFields& fields);

// "COM<n>" for every PC COM port 1..15 that exists, the DAS link's port `dasPort` left out.
QStringList EchoPortNames(int dasPort);
// One entry per host channel 0..255: the channel's name where the channel exists, else its
// number in decimal.
QStringList CaptureChannelNames();

// Whether a device can carry the name as its section name in a configuration file: not blank,
// not a DAS model's name, and no "[", "]" or line break. A blank name would leave the device
// without a caption and derive a capture file name that starts at the capture folder's root.
bool UsableDeviceName(const QString& name);
// The message shown for a name another device (or a DAS model) already carries.
QString DuplicateNameMessage(const QString& name);
// The message shown for a name that is not usable (blank, "[", "]", a line break).
QString UnusableNameMessage(const QString& name);
// False, after the duplicate-name message, when a device other than `edited` carries `name`
// (letter case ignored) or the name is a DAS model's; an empty name passes.
bool CheckUniqueName(const TDevices* devices, const QString& name, const TDevice* edited);
// Whether `edited` may be renamed to `name`: unique as above, usable, and acceptable to the
// device list (TDevices::AcceptName). False after the message of the first rule it breaks.
bool AcceptDeviceName(const TDevices* devices, const QString& name, const TDevice* edited);
