#pragma once
// The host channels on the PC side: each channel's receive ring (cbuf_t), the channel object
// (TMux) that hands its received bytes to its consumers, and the table of all channels
// (TMuxArray, global MuxArray) that serves them in the order their data arrived.

#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "link/ChannelInterfaces.h"

// A fixed-size circular byte buffer with a lock of its own; with overwrite on, the oldest
// bytes give way to new ones. Any thread.
class cbuf_t {
public:
    cbuf_t(uint32_t size, bool overwrite);
    cbuf_t(const cbuf_t&) = delete;
    cbuf_t& operator=(const cbuf_t&) = delete;

    // Stores n bytes; false (nothing stored) when n is 0, or when they do not fit and
    // overwrite is off. With overwrite the oldest bytes are dropped to make room; of more
    // than size bytes only the newest size bytes are kept.
    bool Put(const void* bytes, uint32_t n);
    // Takes at most n bytes into dest (null discards them); returns the count taken.
    uint32_t Get(void* dest, uint32_t n);
    // Bytes held.
    uint32_t Count() const;
    uint32_t Size() const { return size_; }
    // Room for more bytes before the oldest would give way.
    uint32_t Free() const;
    // How long, in ms, the ring has held bytes that no Get took: since the last Get, or since
    // the Put that found it empty; 0 when it is empty. A reader that keeps up keeps it short.
    int64_t UnreadForMs() const;
    // Empties the ring and zeroes its data.
    void Reset();

private:
    uint32_t CountLocked() const;

    mutable std::mutex lock_;
    uint32_t write_ = 0;
    uint32_t read_ = 0;
    uint8_t overwrite_;
    uint8_t full_ = 0;
    uint32_t size_;
    int64_t readerClockMs_ = 0;  // steady clock: the last Get, or the Put into an empty ring
    std::unique_ptr<uint8_t[]> data_;
};

// A file a channel writes received data to or reads data to send from (capture file, file
// being fetched, file being sent). Destroying it closes it. UI thread.
class IChannelFile {
public:
    virtual ~IChannelFile() = default;
    // True when every byte was written.
    virtual bool Write(const char* bytes, int count) = 0;
    // Bytes read (0 at the end), -1 on failure.
    virtual int Read(char* dest, int size) = 0;
    // Flushes and closes; false when that failed.
    virtual bool Close() = 0;
};

// The echo port of a channel with its reader thread: WritePort writes to the PC COM port
// from the UI thread while the reader thread reads it. Destroying it stops the reader and
// closes the port.
class IEchoPort {
public:
    virtual ~IEchoPort() = default;
    virtual bool WritePort(const char* bytes, int count) = 0;
};

// The PC serial port of an instrument wired to the PC. Destroying it closes the port.
class IPcDevicePort {
public:
    virtual ~IPcDevicePort() = default;
    // Bytes read (0 when none waiting), -1 on failure.
    virtual int Read(char* dest, int size) = 0;
    virtual bool Write(const char* bytes, int count) = 0;
    // Starts or ends a break on the line; ports that cannot do nothing.
    virtual void SetBreak(bool /*on*/) {}
};

// The station's port table as the echo code asks it (desktop registers the station's table on
// the channel table; tests fake it). UI thread.
class IPortTableLookup {
public:
    virtual ~IPortTableLookup() = default;
    // True when the table has a port of that name ("COM4:" for a PC COM port of a device).
    virtual bool HasPortNamed(const QString& name) const = 0;
};

class TMuxArray;

// Channel numbers with a fixed role.
constexpr uint8_t kInfoChannel = 0;
constexpr uint8_t kStatusChannel = 247;
constexpr uint8_t kClockChannel = 248;
constexpr uint8_t kSysVarChannel = 249;
constexpr uint8_t kFileChannel = 250;
constexpr uint8_t kDirectoryChannel = 251;
constexpr uint8_t kMuxStatsChannel = 252;
constexpr uint8_t kErrorChannel = 253;
constexpr uint8_t kScriptChannel = 254;
constexpr uint8_t kCommandChannel = 255;

constexpr uint32_t kChannelRingBytes = 8192;
// Largest payload one segment of a data packet carries.
constexpr int kMaxSegmentBytes = 254;
// PutData's tag value for "no tag".
constexpr int kNoTag = -1;

// Opens a channel file (native path): for reading, for writing (truncated) or for appending;
// null with errno set when that fails. UI thread; the caller owns the file.
enum class TChannelFileMode { Read, Write, Append };
std::unique_ptr<IChannelFile> OpenChannelFile(const QString& path, TChannelFileMode mode);

// What capture and transfers need from the layers above the link: the master capture folder,
// the device setup window's capture page and the transfer progress window. The main window
// implements it and sets it on the channel table; tests fake it. UI thread.
class IChannelServices {
public:
    virtual ~IChannelServices() = default;
    // The master capture folder, stored form ending in "\".
    virtual QString CaptureFolder() const = 0;
    // Opens the device setup window at its capture page, modally.
    virtual void SetupDeviceCapture(IChannelDevice& device) = 0;
    // A progress window for a transfer on `channel`, not yet shown, owned by the channel; null
    // runs the transfer with the windowless progress of the link.
    virtual IProgressView* CreateProgress(TMux& channel, const QString& caption,
                                          const QString& text, int idleTimeoutMs,
                                          int64_t total) = 0;
    // Shows the window made by CreateProgress modally until it closes.
    virtual void ExecProgress(IProgressView& view) = 0;
};

// How long transfers wait: the idle time-outs of their progress windows and the settling wait
// after an upload (steps of stepMs, at most steps of them).
struct TTransferTimings {
    int fetchIdleMs = 2000;
    int sendIdleMs = 5000;
    int settleStepMs = 500;
    int settleSteps = 10;
};

// Get states of a fetch and send states of an upload.
enum : uint8_t { kGetIdle = 0, kGetReceiving = 1, kGetComplete = 2 };
enum : uint8_t { kSendIdle = 0, kSendFile = 3, kSendScript = 4, kSendComplete = 5 };

// One host channel on the PC side: its receive ring and the consumers of its data. Made and
// deleted only by TMuxArray. Unless a function says otherwise it runs on the UI thread.
class TMux {
public:
    ~TMux();
    TMux(const TMux&) = delete;
    TMux& operator=(const TMux&) = delete;

    // Attaches `window` (owned from now on), closing a different window first. With a device
    // and no window given, the table's terminal factory makes the device's window.
    void SetWindow(ITerminalView* window);
    // Empties the window's received-text pane.
    void ClearWindow();
    // Restores the window to normal size and brings it to the front.
    void ShowWindow();
    // Closes and frees the window.
    void CloseWindow();
    // Sets the name and the window's caption.
    void SetName(const QString& name);

    ITerminalView* GetWindow() const { return window_; }
    QString GetName() const { return name_; }
    uint8_t GetChannelNumber() const { return channel_; }
    IChannelDevice* GetDevice() const { return device_; }
    bool HasPCPort() const { return pcPort_ != nullptr; }
    bool IsEchoOpen() const { return echoPort_ != nullptr; }

    // Any thread. Puts bytes into the ring (the oldest give way when it is full).
    bool PushData(const char* bytes, int count);
    // Any thread. The ring holds bytes.
    bool HasData() const;
    // Any thread. Room left in the ring before its oldest bytes give way, and how long its
    // bytes have waited for a reader (cbuf_t::UnreadForMs).
    uint32_t RingFree() const { return ring_.Free(); }
    int64_t RingUnreadForMs() const { return ring_.UnreadForMs(); }
    // Any thread. The channel's last reader ended (its window closed, its capture or fetch
    // ended) and nothing has read the ring since: its bytes wait for nobody.
    bool RingAbandoned() const { return ringAbandoned_.load(); }
    // Takes at most 8192 bytes from the ring into the scratch buffer, zero-terminated;
    // returns the count.
    int ReadQueue();
    const char* Scratch() const { return scratch_.data(); }

    // Link thread (holding the channel, TMuxArray::HoldChannel). Stores one received
    // segment of `count` bytes (at most 254 are taken) and marks the channel pending; a ring
    // half full, or the end of a directory listing, asks the UI thread for a service pass at
    // once. With a tag (a channel number)
    // the bytes are stored as text after "[tag]", cut at their first zero byte. Returns the
    // count taken, by which the caller advances its position.
    int PutData(const char* bytes, int count, int tag = kNoTag);

    // Hands the ring's bytes to the channel's consumers in order: echo port, file being
    // fetched, capture file, terminal window, the device's port activity, the fixed
    // channels' readers. True when bytes were dispatched.
    bool ProcessData();

    // Consumers (set by capture, transfer and echo code).
    void SetEchoPort(std::unique_ptr<IEchoPort> port);
    void CloseEcho();
    void SetPcPort(std::unique_ptr<IPcDevicePort> port);
    void ClosePcPort();
    IPcDevicePort* GetPcPort() const { return pcPort_.get(); }
    void SetGetFile(std::unique_ptr<IChannelFile> file);
    void CloseGetFile();
    IChannelFile* GetGetFile() const { return getFile_.get(); }
    void SetSendFile(std::unique_ptr<IChannelFile> file);
    void CloseSendFile();
    IChannelFile* GetSendFile() const { return sendFile_.get(); }
    // A PC capture file (capture goes on), or the mark that the capture is made on the DAS.
    void SetCaptureFile(std::unique_ptr<IChannelFile> file);
    void MarkCaptureNotOnPc();
    // Closes a PC capture file ("Error Closing File for <name>!" when that fails) or drops
    // the not-on-PC mark; capture goes off, the window and device are told.
    void StopCapture();
    bool HasCaptureFile() const { return captureFile_ != nullptr || captureNotOnPc_; }
    bool IsCaptureOnPc() const { return captureFile_ != nullptr; }
    bool IsCaptureOn() const { return captureOn_ != 0; }
    IChannelFile* GetCaptureFile() const { return captureFile_.get(); }

    // Capture settings of a channel without device.
    QString GetCaptureFileName() const { return captureFileName_; }
    void SetCaptureFileName(const QString& name) { captureFileName_ = name; }
    bool GetAppend() const { return append_ != 0; }
    void SetAppend(bool on) { append_ = on ? 1 : 0; }
    bool GetNumbering() const { return numbering_ != 0; }
    void SetNumbering(bool on) { numbering_ = on ? 1 : 0; }

    // --- Capture (UI thread) ---
    // Asks for the capture file: the device's capture settings for a device channel, a save
    // dialog and the append and numbering questions for any other.
    void SetupCapture();
    // Starts a capture unless the channel has one (a PC file or the not-on-PC mark): a device
    // decides where it goes; a PC capture creates its folder and opens the file.
    void StartCapture();
    // Host-made text (data labels): into a PC capture file that is on, and to the window.
    void WriteCapture(const QString& text);

    // --- File and script transfers (UI thread) ---
    // Opens the file being fetched (truncated; the channel's stale bytes are dropped) or sent;
    // false after a box when it is already open or cannot be opened.
    bool OpenGetFile(const QString& path);
    bool OpenSendFile(const QString& path);
    // Shows the transfer's progress window modally; true when the transfer completed. The
    // byte count is not zeroed here: the transfer zeroes it before its first block.
    bool OpenProgress(const QString& caption, const QString& text, int idleTimeoutMs,
                      int64_t total);
    // The byte count reached the total (a total below 1: any byte was transferred).
    bool IsComplete() const;
    int64_t GetTransferTotal() const { return transferTotal_; }
    // Script upload on this channel (254): false when not complete. Lines are cut to 98
    // characters, sent as Latin-1 with a zero byte each.
    bool SendScript(const QStringList& lines);
    // File upload on this channel (250) as dasFolder + the 8.3 name of the file.
    bool SendFile(const QString& pcPath, const QString& dasFolder);
    // File fetch on this channel (250); expectedSize 0 means unknown.
    bool GetFile(const QString& pcPath, int64_t expectedSize);

    // Transfer state, shared with the link thread.
    void SetProgressWindow(IProgressView* progress);  // owned from now on; null frees it
    IProgressView* GetProgressWindow() const { return progress_; }
    void CloseProgress();
    // Any thread.
    uint32_t GetBytesTransferred() const { return bytesTransferred_.load(); }
    void SetBytesTransferred(uint32_t n) { bytesTransferred_.store(n); }
    double GetLastActivity() const { return lastActivity_.load(); }  // days since 1899-12-30
    void TouchActivity();
    uint8_t GetGetState() const { return getState_.load(); }
    void SetGetState(uint8_t state) { getState_.store(state); }
    uint8_t GetSendState() const { return sendState_.load(); }
    void SetSendState(uint8_t state) { sendState_.store(state); }
    // Link thread: a block of n bytes of this channel was sent (n = 0 ends an upload).
    void OnBlockSent(uint32_t n);
    // Link thread or UI thread: n bytes of a fetch arrived (n = 0 ends it).
    void OnGetData(uint32_t n);
    // End of each service pass: refreshes the progress window, ends a completed transfer.
    void UpdateTransfer();
    // Each service pass: reads the PC device port into the ring as if it came over the link.
    void PollPcPort();

    // --- Echo port and PC device port (UI thread unless noted) ---
    // Device channels: closes an open echo port, else opens the device's echo port (closes
    // when it has none); the device's row, the actions and the window follow.
    void ToggleEcho();
    // Opens the device's echo port with its reader, unless one is open or it has none; a
    // failure shows who holds the port or the system's error.
    void OpenEcho();
    // Reader thread: bytes from the echo port go to the PC device port when it is open, else
    // to the DAS on this channel.
    void OnEchoData(const char* bytes, int count);
    // Reader thread: a break began or ended on the echo port; it is passed on to the device's
    // PC device port, or to its DAS serial port as a console command.
    void OnEchoBreak(bool on);
    // The echo port failed: a major failure closes it; either way the operator is told.
    void OnEchoError(bool major);
    // Device channels: opens COM `comPort` with the device port's settings as the channel's
    // PC device port (closing the one open); false after a box when that fails.
    bool OpenPcPort(int comPort);
    // Any thread. Writes to the PC device port when one is open; a failure closes it (on the
    // UI thread) with a box. False when nothing was written.
    bool WritePcPort(const char* bytes, int count);
    // Any thread: the bytes go to the channel's open PC device port (a failure is reported and
    // closes the port, as WritePcPort does); false, with nothing done, when no port is open.
    bool ForwardToPcPort(const char* bytes, int count);

    // The table this channel belongs to.
    TMuxArray& Owner() const { return *owner_; }

private:
    friend class TMuxArray;
    TMux(TMuxArray& owner, uint8_t channel, IChannelDevice* device, ITerminalView* window);

    // Link thread: whether these bytes of the directory channel bring a listing's end.
    bool EndsListing(const char* bytes, int n);
    void WriteConsumers(const char* bytes, int n);
    void ReadFixedChannel(const char* bytes, int n);
    void ReportChannelError(const char* what);
    // A failure box titled with the program's name (posted while channels are served).
    void ReportFailure(const QString& text);
    // Closes a PC capture file; a failed close is reported.
    void CloseCaptureFile();
    // Whether the service pass takes this channel's bytes: it has a window, a capture or a
    // fetch, or a reader of its own as a fixed channel.
    bool HasReader() const;
    // After a window, capture or fetch came or went: a ring that lost its last reader is
    // abandoned and a packet waiting for room in it goes on; a reader back takes it up again.
    void ReaderChanged(bool hadReader);
    void DropWindow();
    enum class TPcWrite { NoPort, Written, Failed };
    TPcWrite WritePcPortIfOpen(const char* bytes, int count);
    void ClosePcPortIfFailed();
    QString EchoPortHolder(int port) const;
    void EchoStateChanged();
    void SetDefaultCaptureFileName();
    bool OpenCaptureOnPc();
    void SettleAfterUpload();

    std::array<char, kChannelRingBytes + 1> scratch_{};
    TMuxArray* owner_;
    uint8_t channel_;
    IChannelDevice* device_;
    ITerminalView* window_ = nullptr;
    IProgressView* progress_ = nullptr;
    std::atomic<bool> progressOpen_{false};
    std::atomic<uint32_t> bytesTransferred_{0};
    std::atomic<double> lastActivity_{0.0};
    cbuf_t ring_{kChannelRingBytes, true};
    std::atomic<bool> ringAbandoned_{false};
    // The PC device port: changed only on the UI thread, used under its lock by every thread.
    std::unique_ptr<IPcDevicePort> pcPort_;
    std::mutex pcPortLock_;
    bool pcPortFailed_ = false;  // guarded by pcPortLock_: a write failed, the close is posted
    std::unique_ptr<IEchoPort> echoPort_;
    // The device's port as it was when the echo port opened (read by the echo reader).
    TChannelPortInfo echoPortInfo_;
    // Alive while the channel is: work posted from other threads runs only while it is.
    std::shared_ptr<char> life_ = std::make_shared<char>(0);
    std::atomic<uint8_t> getState_{kGetIdle};
    std::atomic<uint8_t> sendState_{kSendIdle};
    std::unique_ptr<IChannelFile> captureFile_;
    bool captureNotOnPc_ = false;
    std::unique_ptr<IChannelFile> getFile_;
    std::unique_ptr<IChannelFile> sendFile_;
    QString name_;
    QString captureFileName_;
    // The directory channel's last bytes, written by the link thread only.
    QByteArray listingTail_;
    uint8_t append_ = 0;
    uint8_t numbering_ = 0;
    uint8_t captureOn_ = 0;
    int64_t transferTotal_ = 0;
    uint32_t arrival_ = 0;  // guarded by the table's arrival lock
};

// A channel held by the link thread: while the hold lives the channel cannot be removed.
// Hold one channel at a time.
class TChannelHold {
public:
    TChannelHold() = default;
    TChannelHold(std::shared_lock<std::shared_mutex> lock, TMux* mux)
        : lock_(std::move(lock)), mux_(mux)
    {
    }
    explicit operator bool() const { return mux_ != nullptr; }
    TMux* operator->() const { return mux_; }
    TMux* get() const { return mux_; }

private:
    std::shared_lock<std::shared_mutex> lock_;
    TMux* mux_ = nullptr;
};

// The table of host channels: a list in creation order plus 256 slots by channel number.
// Channels are added, removed and served on the UI thread; the link thread reaches them only
// through HoldChannel, so a channel is never deleted while the link thread uses it.
class TMuxArray {
public:
    explicit TMuxArray(int capacity = 255);
    virtual ~TMuxArray();
    TMuxArray(const TMuxArray&) = delete;
    TMuxArray& operator=(const TMuxArray&) = delete;

    // Creates the channel and returns it (owned by the table), or null when the number is
    // taken (the existing channel stays as it is).
    TMux* AddChannel(uint8_t channel);
    TMux* AddChannel(uint8_t channel, ITerminalView* window);
    TMux* AddChannel(uint8_t channel, IChannelDevice* device, ITerminalView* window = nullptr);
    // UI thread. The channel with that number, or null.
    TMux* GetChannel(uint8_t channel) const;
    // Link thread. Holds the channel (empty when the number is free) against removal.
    TChannelHold HoldChannel(uint8_t channel) const;
    // Deletes the channel (waiting for a link thread hold to end); false when it is free. A
    // packet waiting for room in its ring goes on at once.
    bool RemoveChannel(uint8_t channel);
    // The channel at list index i, null when out of range.
    TMux* Items(int index) const;
    int Count() const;

    // Any thread. Gives the channel the next arrival number unless it has one.
    void MarkPending(TMux* mux);
    // The pending channel to serve next (its number cleared), or null.
    TMux* NextPending();

    // The service pass: polls PC device ports, dispatches every pending channel in arrival
    // order, updates transfers. True when data was dispatched; `now` (days since 1899-12-30)
    // then becomes the last data time. A pass started inside a running pass does nothing.
    bool Service(double now);
    // Any thread. Asks the UI thread for a service pass as soon as it can run one, besides the
    // data timer's: the link thread asks when a ring fills faster than the timer empties it.
    // At most one request waits at a time.
    void RequestService();
    // Any thread. A pass was asked for with RequestService and has not begun.
    bool ServiceRequested() const { return serviceRequested_.load(); }
    double GetLastDataTime() const { return lastDataTime_; }

    // Readers of the fixed channels (not owned; null restores the no-op readers).
    void SetFixedChannelReaders(IFixedChannelReaders* readers);
    IFixedChannelReaders& FixedChannelReaders() const;
    // Maker of device terminal windows (not owned; null: devices get no window).
    void SetTerminalFactory(ITerminalFactory* factory) { terminalFactory_ = factory; }
    ITerminalFactory* TerminalFactory() const { return terminalFactory_; }
    // The station's port table, asked who holds an echo port (not owned; null: none).
    void SetPortTableLookup(IPortTableLookup* table) { portTable_ = table; }
    IPortTableLookup* PortTableLookup() const { return portTable_; }
    // Capture folder, device capture page and progress windows (not owned; null: the capture
    // folder is "Data\" under the program data folder and transfers run without windows).
    void SetChannelServices(IChannelServices* services) { services_ = services; }
    IChannelServices* ChannelServices() const { return services_; }
    // Transfer time-outs and waits (tests shorten them).
    void SetTransferTimings(const TTransferTimings& timings) { timings_ = timings; }
    const TTransferTimings& TransferTimings() const { return timings_; }

private:
    TMux* Insert(uint8_t channel, IChannelDevice* device, ITerminalView* window);

    std::vector<std::unique_ptr<TMux>> list_;
    std::array<TMux*, 256> slots_{};
    mutable std::shared_mutex tableLock_;  // slots and list against the link thread's holds
    std::mutex arrivalLock_;
    uint32_t nextServe_ = 0;
    uint32_t arrivalCounter_ = 0;
    double lastDataTime_;
    bool serving_ = false;
    std::atomic<bool> serviceRequested_{false};
    // Alive while the table is: a posted service request runs only while it is.
    std::shared_ptr<char> life_ = std::make_shared<char>(0);
    IFixedChannelReaders* readers_ = nullptr;
    ITerminalFactory* terminalFactory_ = nullptr;
    IPortTableLookup* portTable_ = nullptr;
    IChannelServices* services_ = nullptr;
    TTransferTimings timings_;
};

// The program's channel table. The main window creates and deletes it (null before, after).
extern TMuxArray* MuxArray;
