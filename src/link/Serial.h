#pragma once
// The serial port module: the only code that opens, configures, reads, writes, purges and
// closes PC COM ports. It keeps the module-wide DAS port that the link uses, paces writes to
// it with two pauses, and reads and writes plain file handles (archives) with the same
// failure boxes. Every failure shows a box (posted to the UI thread from other threads) and
// returns false; the caller decides what to do.
//
// COM n is the device path the settings store names under the key "SerialPorts", value
// "COMn", else /dev/ttyS(n-1).

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Prompt.h"
#include "platform/SerialPort.h"

// A handle variable of a serial port: empty (0) when closed. It owns the port it holds.
class TCommHandle {
public:
    TCommHandle() = default;
    ~TCommHandle();
    TCommHandle(TCommHandle&& other) noexcept;
    TCommHandle& operator=(TCommHandle&& other) noexcept;
    TCommHandle(const TCommHandle&) = delete;
    TCommHandle& operator=(const TCommHandle&) = delete;

    // Any thread.
    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    explicit operator bool() const { return IsOpen(); }

    // The port held (null when closed); the handle keeps ownership.
    ISerialPort* Port() const { return port_.get(); }
    // Holds `port` instead of the present one (which is closed).
    void Reset(std::unique_ptr<ISerialPort> port = nullptr);

    // Failures shown since the last success, by kind (see Serial.cpp); link and UI threads.
    std::atomic<uint32_t> failing{0};

private:
    std::unique_ptr<ISerialPort> port_;
    std::atomic<bool> open_{false};
};

// A handle variable of a plain file (archives): empty when closed; closes on destruction.
class TFileHandle {
public:
    TFileHandle() = default;
    ~TFileHandle();
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    // Opens `path` (native form) for reading, or for writing (created, truncated unless
    // `append`). Closes what was open first. False with errno set on failure; no box.
    bool OpenRead(const QString& path);
    bool OpenWrite(const QString& path, bool append = false);
    void Close();
    // Any thread.
    bool IsOpen() const { return fd_.load(std::memory_order_acquire) >= 0; }
    int Fd() const { return fd_.load(std::memory_order_acquire); }

    // Failures shown since the last success, by kind (the box shows once per run).
    std::atomic<uint32_t> failing{0};

private:
    std::atomic<int> fd_{-1};
};

// --- The module-wide DAS port (link thread, except where noted) ---

// The longest a read of the DAS port waits for a first byte when none is waiting.
constexpr std::chrono::milliseconds kDasReadWait{20};

// Opens COM `port` as the DAS port at 9600 baud, "N,8,1", no flow control, with the DAS read
// time-out (a read returns at once when bytes wait, else waits at most 20 ms). UI thread.
bool OpenDasPort(uint16_t port, bool showErrors);
// The same into `h`, a handle of the caller's, leaving the DAS port as it is (a port tried
// before it replaces the DAS port with InstallDasPort). UI thread.
bool OpenDasHandle(TCommHandle& h, uint16_t port, bool showErrors);
// Makes the port held by `h` the DAS port (`h` is left empty); only while the link thread is
// parked. UI thread.
void InstallDasPort(TCommHandle&& h);
// Any thread. The DAS port's line hung up (a USB adapter pulled, the far end of a
// pseudo-terminal gone). Found by the link thread's port calls, reported once as a failed
// read; from then on they fail at once, without touching the port, until it is closed or
// replaced.
bool DasPortLost();
// How long one character takes on the DAS port's line at its present settings, in ns; 0 when
// the port is closed or cannot tell.
int64_t DasCharacterTimeNs();
// Changes only the DAS port's speed; its parity, data bits, stop bits and flow stay. A rate the
// port refuses leaves it at the rate it had, with a box only when `showErrors` is set (the
// caller then tells the operator itself). UI thread.
bool SetDasBaudRate(uint32_t baud, bool showErrors = true);
// UI thread.
bool CloseDasPort();
// Any thread.
bool DasPortOpen();
// Any thread. Counts the ports made the DAS port (opened as it or installed): a new count is
// a line of which nothing is known yet, even when it is the same device opened again.
uint32_t DasLineNumber();
// Paced write: waits the pre-transmit pause, writes every byte, sets the post-transmit
// deadline when that pause is above 0.
bool WriteDasPort(const uint8_t* bytes, uint32_t count);
// count in: room, out: bytes read (0 when nothing came within 20 ms).
bool ReadDasPort(uint8_t* buffer, uint32_t& count);
void PurgeDasInput();
// Any thread. PerfCounter value, 0 = none.
int64_t GetPostXmitDeadline();
// Any thread. Pauses in performance counter ticks.
void SetPreXmitPause(int64_t ticks);
int64_t GetPreXmitPause();
void SetPostXmitPause(int64_t ticks);
int64_t GetPostXmitPause();
// Start / end a break on the port of `h` (the DAS port or a PC device port).
void SetDasBreak(TCommHandle& h);
void ClearDasBreak(TCommHandle& h);
// The DAS port's handle variable (owned by the module).
TCommHandle& DasPortHandle();
// Tests: make `port` the DAS port (the module takes ownership; any present one is closed).
void InstallDasPortForTest(std::unique_ptr<ISerialPort> port);
// Tests: OpenCommPort gets its ports from `opener` (given the device path; null with errno
// set for a failed open) instead of opening devices; an empty function restores devices.
void SetSerialPortOpenerForTest(
    std::function<std::unique_ptr<ISerialPort>(const QString& path)> opener);

// --- Any serial port ---

// COM n -> device path: the settings store key "SerialPorts", value "COMn", else
// /dev/ttyS(n-1); empty for n < 1. Any thread (the settings store locks its reads).
QString ComPortDevicePath(int n);
// Writes the settings store (UI thread); an empty path removes the entry.
void SetComPortDevicePath(int n, const QString& path);
// True when COM n's device is a serial line the system knows; never opens it.
bool ComPortExists(int n);

// Opens and configures COM `port` into `h` (closing what `h` held). `settings` is
// "parity,data,stop" ("N,8,1"), `flow` 0 none, 1 XON/XOFF, 2 RTS/CTS. `overlapped` has no
// meaning here (any port may be read and written from two threads) and is accepted as given.
// On any failure `h` is left closed. UI thread, or the link thread for PC device ports.
bool OpenCommPort(TCommHandle& h, uint16_t port, uint32_t baud, const QString& settings, int flow,
                  bool showErrors, bool overlapped);
// Closes the port once; `h` is empty afterwards. False when nothing was open.
bool CloseCommPort(TCommHandle& h);
// Writes every byte (thread that owns `h`).
bool WriteCommPort(TCommHandle& h, const uint8_t* bytes, uint32_t count);
// One read; count in: room, out: bytes read (0 when nothing waits).
bool ReadCommPort(TCommHandle& h, uint8_t* buffer, uint32_t& count);
// Bytes waiting in the driver's output / input queue; 0 on failure.
uint32_t GetCommOutQueue(TCommHandle& h);
uint32_t GetCommInQueue(TCommHandle& h);

// Plain files, with the module's failure boxes. Thread that owns `h`.
bool WriteFileHandle(TFileHandle& h, const uint8_t* bytes, uint32_t count);
// count in: room, out: bytes read (0 at the end of the file).
bool ReadFileHandle(TFileHandle& h, uint8_t* buffer, uint32_t& count);

// The standard failure box: titled `title`, body "Error# " + code + ": " + the system's text.
// The one-argument form reports errno as it stands. Any thread (PostMessageBox).
void ShowSystemError(const QString& title);
void ShowSystemError(const QString& title, int error);
