#pragma once
// The PC side of the link as the rest of the program sees it: the link thread, connecting and
// disconnecting the DAS port, pausing the thread, bytes for host channels and timed commands,
// clearing queued data, received packets handed to the host channels, the link status on the
// main window and the host-side command lines ("*" commands and the DAS's control text).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "link/LinkUi.h"
#include "link/Thddascomm.h"

struct DataPacket;
class TArchive;

constexpr uint16_t kDefaultDasPort = 1;
constexpr uint32_t kDefaultDasBaud = 115200;
constexpr float kHostVersion = 1.26f;
// The control text buffer holds at most this many characters of an unfinished line.
constexpr int kControlTextBytes = 8192;
constexpr int kControlTextMax = kControlTextBytes - 1;

// Writes one dispatched packet to the archive being recorded (link thread). The archive code
// sets it; none is set until then.
class IArchiveRecorder {
public:
    virtual ~IArchiveRecorder() = default;
    virtual void ArchivePacket(const DataPacket& packet) = 0;
};

// The link manager. One instance, `Host`. Unless a function says otherwise, call it on the UI
// thread.
class THost {
public:
    THost();
    // Ends and joins the link thread.
    ~THost();
    THost(const THost&) = delete;
    THost& operator=(const THost&) = delete;

    // --- The main window ---
    // The main window's side of the link (not owned; null restores the one that does nothing).
    void SetLinkUi(ILinkUi* ui);
    ILinkUi& LinkUi() const;
    // DAS port number and baud rate used by Connect (defaults 1 and 115200).
    void SetDasPort(uint16_t port) { dasPort_ = port; }
    uint16_t DasPort() const { return dasPort_; }
    void SetDasBaud(uint32_t baud) { dasBaud_ = baud; }
    uint32_t DasBaud() const { return dasBaud_; }
    // Any thread. The statistics window's forced-poll option.
    void SetForceComm(bool on) { forceComm_.store(on); }
    bool ForceComm() const { return forceComm_.load(); }
    // Any thread. Whether the debug memo is visible (the link thread then adds packet times).
    void SetDebugMemoVisible(bool on) { debugMemoVisible_.store(on); }
    bool DebugMemoVisible() const { return debugMemoVisible_.load(); }

    // --- Sending ---
    // Any thread. The channel's open PC device port when it has one (UI thread only),
    // otherwise a SendQueue block (length 0: the end-of-transfer marker).
    void SendToChannel(uint8_t channel, const void* bytes, uint16_t length);
    // Any thread. Queues `text` (no terminating zero) for `channel` due in `delayMs`; returns
    // when it will have finished (the delay plus its own WAIT/WAITTICKS). An empty text queues
    // nothing and returns the delay; a delay of 0 sends at once and returns 0.
    int32_t QueueTimedCommand(uint8_t channel, const QByteArray& text, int32_t delayMs);
    // Any thread. Both queues emptied.
    void ClearOutputBuffers();
    // Any thread. Every channel-255 block of TimedQueue.
    void ClearCommandQueue();
    // Any thread. Channel-255 TimedQueue blocks holding `text` / starting with "*" and
    // holding `text`.
    void RemoveCommand(const QByteArray& text);
    void RemovePrefixedCommand(const QByteArray& text);
    // Any thread. The channel's blocks in SendQueue.
    void ClearChannelData(uint8_t channel);
    // Script upload on channel 254 and file send on channel 250; false when the channel does
    // not exist.
    bool SendScript(const QStringList& lines);
    bool SendFile(const QString& pcPath, const QString& dasFolder);

    // --- The link ---
    // Opens the DAS port (asking for another port number or baud rate while that fails),
    // drops queued commands and file data, resets the link state and runs the link thread.
    // False when the operator cancelled (the link stays closed), when the thread did not park
    // in time (a box tells; the link runs on as it was) or another connect runs.
    bool Connect();
    // Parks the link thread and closes the DAS port. False when the thread did not park in
    // time (a box tells that the link stays connected: the port stays open, the link runs on)
    // or another disconnect runs.
    bool Disconnect();
    // Parks the link thread: returns once it confirms (bounded, about 1 s); true when parked.
    // False when it did not park in time: the pause is then taken back and the link runs on.
    bool Pause();
    // Pause, and when the thread did not park in time, a box: "The link could not be paused; "
    // followed by `notDone` (what the operator asked for that was not done) and a full stop.
    bool PauseOrTell(const QString& notDone);
    void TellNotPaused(const QString& notDone);
    void Unpause();
    // Ends and joins the link thread (shutdown, before the DAS port is closed); the link's
    // state goes with it (a block in flight, the DAS's last sequence).
    void StopThread();
    // The DAS port's line hung up (posted by the link thread): the port is closed, and opened
    // again while the link is lost (UpdateStatus, at the watchdog's pace) until it opens; the
    // queued data and a block in flight wait for it. When the thread does not park in time
    // the lost port stays until the first of those tries closes it.
    void DasPortLineLost();
    // The DAS port would not open again (a port change; the thread parked, the port closed):
    // the link goes as if the port's line had hung up: "Disconnected" at once, the thread
    // running on, the port opened again at the watchdog's pace at the present port number and
    // baud rate, nothing queued dropped.
    void DasPortOpenFailed();
    // Writes to the DAS port bypassing the protocol; only while the thread is parked.
    bool WriteRaw(const uint8_t* bytes, uint32_t count);
    // Link thread. Hands a received packet's segments to their host channels.
    void DispatchDataPacket(const DataPacket& packet);
    // Link thread. Appends the packet to the archive being recorded, when there is one.
    void ArchivePacket(const DataPacket& packet);
    // Any thread. Zeroes the link counters, the bytes received and the last sequence.
    void ResetStatistics();

    // --- Host-side commands ---
    // The DAS's control text on channel 255: complete lines run, the unfinished rest is kept.
    void ReceiveControlText(const char* bytes, int count);
    // Runs one host-side command line ("DataStart 12", no line end).
    void ExecuteHostCommand(const QByteArray& line);
    // Link thread. A timed "*" block: the text up to its first zero byte, without the "*";
    // each of its lines runs on the UI thread, in order.
    void PostHostCommands(const uint8_t* text, uint32_t count);

    // --- Status ---
    void UpdateActions();
    void UpdateStatus();

    // --- Settings and figures ---
    // Any thread.
    int GetProtocol() const;
    void SetProtocol(int protocol);
    float WriteVersion() const { return writeVersion_; }
    float ReadVersion() const { return readVersion_; }
    void SetWriteVersion(float version);
    void SetReadVersion(float version);
    // Any thread. Payload bytes dispatched and the last dispatched sequence number.
    uint32_t BytesReceived() const { return bytesReceived_.load(std::memory_order_relaxed); }
    uint8_t LastSequence() const { return lastSequence_.load(std::memory_order_relaxed); }

    // --- Archives ---
    // While the thread is parked: the recorder of dispatched packets (not owned; null: none).
    void SetArchiveRecorder(IArchiveRecorder* recorder) { recorder_.store(recorder); }
    // Any thread. Recording on or off (shown in the status) and real-time playback pacing.
    void SetRecording(bool on) { recording_.store(on); }
    bool Recording() const { return recording_.load(); }
    void SetRealTimePlayback(bool on) { realTimePlayback_.store(on); }
    bool RealTimePlayback() const { return realTimePlayback_.load(); }

    // UI thread. Starts recording the link to an archive (asking for the file) or stops it.
    void RecordArchive(bool start);
    // UI thread. Starts playing an archive back (asking for the file and the pace; the live
    // link is to be disconnected first) or stops it, leaving the link thread paused. A start
    // the thread does not park for in time is not made (a box tells); a thread slow to park
    // at the stop runs on without the file, and the next connect forgets what it left.
    void PlayArchive(bool start);
    // UI thread (the PC device port poll). While recording: the bytes as host records of
    // `channel`, stamped with the current packet time.
    void ArchiveHostData(const void* bytes, uint32_t count, uint8_t channel);
    // UI thread (the data timer). When a playback has handed on its whole file: stops it and
    // connects the live link again; true when it did.
    bool EndFinishedPlayback();
    // The archive files (owned).
    TArchive& Archive();

    // The link thread (owned).
    TThdDASComm& Thread() { return thread_; }

    // Tests: empties the control text buffer.
    void ClearControlText() { controlFill_ = 0; }

private:
    bool OpenPortAsking();
    // Tries the lost DAS port once, silently; on success it becomes the DAS port. A port still
    // held after its line hung up is closed first.
    void ReopenLostPort();
    // Parks the thread and closes the DAS port whose line hung up; false when the thread did
    // not park in time (the port then stays, the thread runs on).
    bool CloseLostPort();
    void StopPlayback();
    // With the thread parked: archive bytes still in the receive buffer and the archive's
    // last sequence number are forgotten, so that neither reaches the live link.
    void ForgetPlayback();
    bool SetBaudAsking();

    float writeVersion_ = kHostVersion;
    float readVersion_ = kHostVersion;
    std::atomic<uint32_t> bytesReceived_{0};
    std::atomic<uint8_t> lastSequence_{0};
    uint16_t dasPort_ = kDefaultDasPort;
    uint32_t dasBaud_ = kDefaultDasBaud;
    bool connecting_ = false;
    bool disconnecting_ = false;
    // The DAS port's line hung up and the port is to be opened again (UI thread).
    bool reopenLostPort_ = false;
    // A playback stopped without the thread parked: the next connect forgets what it left.
    bool forgetPlayback_ = false;
    std::atomic<bool> forceComm_{false};
    std::atomic<bool> debugMemoVisible_{false};
    std::atomic<bool> recording_{false};
    std::atomic<bool> realTimePlayback_{true};
    std::atomic<IArchiveRecorder*> recorder_{nullptr};
    std::unique_ptr<TArchive> archive_;
    ILinkUi* ui_ = nullptr;
    // The DAS's unfinished control text (UI thread).
    std::array<char, kControlTextBytes> controlText_{};
    int controlFill_ = 0;
    TThdDASComm thread_;
};

// The program's link manager.
extern THost Host;
