#pragma once
// The DAS's status line (host channel 247) and multiplexer statistics lines (252) as the main
// window reads them: the line buffer of each channel, the fields of a status line, the texts
// of the script state and the device list's state images (base 0 for a port that is not
// serial, 2 for a closed serial port, 4 for an open one; +1 when powered, +6 when the port
// showed activity since the last look).
//
// UI thread only.

#include <QByteArray>
#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class TDevices;
class TMuxArray;

// Room of a channel's line buffer: a line longer than this is dropped.
constexpr int kStatusLineBytes = 8192;
// Field sizes of the status line, terminating zero included.
constexpr int kSensorFieldSize = 80;
constexpr int kStateFieldSize = 18;
constexpr int kScriptFieldSize = 4;
// State images: the base of each port kind, and what power and activity add.
constexpr int kStateNotSerial = 0;
constexpr int kStateSerialClosed = 2;
constexpr int kStateSerialOpen = 4;
constexpr int kStatePowered = 1;
constexpr int kStateActivity = 6;
constexpr int kStateImageCount = 12;

// The unfinished text of one channel. Complete lines (ended by CR, LF or CR LF, the LF also
// when it arrives in the next chunk) are handed on without their line end; empty lines are
// not. A line that outgrows the buffer is dropped up to its line end, so the next line is
// read again.
class TStatusLineBuffer {
public:
    using TLineHandler = std::function<void(const QByteArray& line)>;

    void Append(const char* bytes, int count, const TLineHandler& handler);
    // Bytes of the unfinished line held.
    int Fill() const { return fill_; }

private:
    void TakeLines(const TLineHandler& handler);

    std::array<char, kStatusLineBytes> buffer_{};
    int fill_ = 0;
    // The last line ended at the end of a chunk: an LF that begins the next belongs to it.
    bool skipLeadingLf_ = false;
    // An overlong line is being dropped until its line end.
    bool dropping_ = false;
};

// The fields of one status line; a field the line does not hold is empty (nullopt).
struct TStatusFields {
    // Temperature, voltage, current and depth (at most 79 characters each).
    std::array<std::optional<QString>, 4> sensors;
    // One character per DAS serial port ('O' open) and per power switch ('1' on), at most 17.
    std::optional<QString> portStates;
    std::optional<QString> powerStates;
    // The script state, at most 3 characters.
    std::optional<QString> scriptState;
};

// The comma-separated fields of a status line (Latin-1 text).
TStatusFields ReadStatusFields(const QString& line);
// The panel text of a sensor field: the label and the field, or nothing when the unit cannot
// measure it (a field beginning with "--").
QString SensorPanelText(const QString& label, const QString& field);
// The script state by its second character: "Script Done", "Script Halted", "Script Running",
// "Script Loaded" or "No Script".
QString ScriptStateText(const QString& state);
// The character at `index` of a state string, or a blank when the string is shorter (or the
// index negative), so no number from a configuration file reads past it.
QChar StateAt(const QString& states, int index);

// Sets each device's "Power" and "Port" columns and its state image from the port and power
// states, in list order; the walk ends at the first device without a port. `channels` (may be
// null) tells whether a PC-wired device's port is open.
void UpdateDeviceStates(TDevices& devices, const TMuxArray* channels, const QString& portStates,
                        const QString& powerStates);
// Moves every device's state image on or off its activity variant as its port showed data
// since the last look (the port's activity flag is cleared).
void RefreshActivityIcons(TDevices& devices);

// The twelve state images of the device list, drawn by the program.
const std::vector<QIcon>& StateImages();

// Draws a device's state image in front of the device column's icon and caption.
class TStateImageDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
