#pragma once
// What a host channel (TMux) needs of the things above the link layer: the instrument bound to
// it, its terminal window, its transfer progress window and the readers of the fixed channels.
// Station and desktop code implement these; link code and tests see only the interfaces.
// Every call on them is made on the UI thread.

#include <QByteArray>
#include <QString>
#include <cstdint>

class TMux;

// Where a device's capture goes, as its settings decide when a capture starts.
struct TCaptureTarget {
    bool onPc = false;    // false: the capture is made on the DAS, the channel only marks it
    bool append = false;  // open for appending rather than truncating
    bool numbered = false;
    QString fileName;  // stored path of the PC capture file (capture folder included)
};

// Serial settings of a PC port that hangs off a device's channel.
struct TChannelSerialSettings {
    int port = 0;  // COM number; 0 = none
    int baud = 0;
    QString settings;  // settings letters, e.g. "8N1"
    int flow = 0;      // flow control setting as the device stores it
};

// What a device's channel needs to know of the device's port.
struct TChannelPortInfo {
    bool hasPort = false;
    bool isSerial = false;     // a DAS serial port or a PC serial port
    bool isPcSerial = false;   // the port is a PC COM port wired to the instrument
    int serialPortNumber = 0;  // the DAS's serial port number, or the COM number of a PC port
    int baud = 0;
    QString settings;
};

// The instrument whose data travels on a channel (the station's TDevice derives from this).
class IChannelDevice {
public:
    virtual ~IChannelDevice() = default;
    // The device's name: the caption of its row in the device list.
    virtual QString GetName() const = 0;
    // Data arrived on the device's channel: mark its port active (nothing without a port).
    virtual void SetPortActivity() = 0;
    // The channel's capture, echo or data state changed: refresh the device's list row.
    virtual void RefreshListRow() = 0;
    // Host-side command effects. SetDataActive(true) also resets the device's poll time.
    virtual void SetDataActive(bool active) = 0;
    virtual void SetBusy(bool busy) = 0;
    virtual void SetCaptureOn(bool on) = 0;
    // Where a capture of this device goes when its channel starts one.
    virtual TCaptureTarget CaptureTarget() const = 0;
    // The channel stopped a PC capture: the device rebuilds its capture file path (unless an
    // archive is being played back, which the device checks).
    virtual void CaptureStopped() = 0;
    // The echo port settings (port 0 = no echo) and the device's own port.
    virtual TChannelSerialSettings EchoSettings() const = 0;
    virtual TChannelPortInfo PortInfo() const = 0;
};

// The terminal window of one channel (desktop's TTerminalForm implements it). The channel owns
// its view: it ends it only through DestroyView. Code that needs more of a device window
// (geometry, fonts) declares its own interface and casts to it.
class ITerminalView {
public:
    // Show received bytes (bytes[count] is a zero byte).
    virtual void ShowData(const char* bytes, int count) = 0;
    // The channel this window shows, or none when it is detached.
    virtual void SetHostChannel(TMux* channel) = 0;
    // Empty the received-text pane.
    virtual void ClearReceived() = 0;
    // The channel was renamed.
    virtual void SetCaption(const QString& caption) = 0;
    // Restore to normal size and bring to the front.
    virtual void ShowNormal() = 0;
    // The channel's capture or echo state changed (menus and captions follow).
    virtual void ChannelStateChanged() = 0;
    // Close the window and free it (possibly later, from the event loop); the channel never
    // touches the view again.
    virtual void DestroyView() = 0;

protected:
    ~ITerminalView() = default;
};

// Makes the terminal window of a device's channel (desktop registers one on the table).
class ITerminalFactory {
public:
    virtual ~ITerminalFactory() = default;
    // A new device window for `channel`, owned by the channel; none when it cannot be made.
    virtual ITerminalView* CreateDeviceWindow(TMux& channel, IChannelDevice& device) = 0;
};

// The progress window of a running transfer (desktop's TProgressForm implements it).
class IProgressView {
public:
    // Refresh from the channel's transfer counters; the window closes its modal loop itself
    // when the transfer is complete or idle too long.
    virtual void Refresh() = 0;
    // End the modal loop (the transfer is over).
    virtual void CloseView() = 0;
    // Free the window; the channel never touches it again.
    virtual void DestroyView() = 0;

protected:
    ~IProgressView() = default;
};

// A directory listing's last line holds this text: the channel's data that brings it is
// served at once, not at the next data timer tick.
inline const QByteArray kDirectoryListingEnd = QByteArrayLiteral("Directory Complete");

// The readers of the fixed channels' data, called by the channel's dispatch in the UI thread.
// Every reader does nothing unless overridden; the main window registers one object on the
// channel table and forwards each call to the window that exists (bytes[count] is zero).
class IFixedChannelReaders {
public:
    virtual ~IFixedChannelReaders() = default;
    // Channels 247 (status line) and 252 (multiplexer statistics).
    virtual void OnStatusChannelData(uint8_t /*channel*/, const char* /*bytes*/, int /*count*/) {}
    // Channel 248: the clock window's reply reader.
    virtual void ReceiveDateReply(const char* /*bytes*/, int /*count*/) {}
    // Channel 249: the system variables window's reader.
    virtual void ReceiveListing(const char* /*bytes*/, int /*count*/) {}
    // Channel 251: the explorer's directory listing reader (a listing's last line holds
    // kDirectoryListingEnd).
    virtual void ReceiveListingData(const char* /*bytes*/, int /*count*/) {}
    // Channel 255: the DAS's control text for the host-side command interpreter.
    virtual void ReceiveControlText(const char* /*bytes*/, int /*count*/) {}
};
