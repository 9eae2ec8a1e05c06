#pragma once
// The reader thread of an echo port: it waits for the port's input and line breaks and hands
// them to the channel that owns the port, while the channel writes to the same port.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class ISerialPort;
struct TLineChunk;

// Bytes the reader takes from its port at a time.
constexpr int kEchoReadBytes = 8192;
// The longest the reader waits before it looks at its stop flag again.
constexpr int kEchoPollMs = 50;

// One echo port's reader: a thread that polls the port and a wake descriptor, reads what
// arrives and reports data and breaks in its own thread, and its end (on an error) on the UI
// thread. It never closes the port it reads: its owner stops it, which joins the thread, and
// then closes the port.
class TThdSerialComm {
public:
    struct TCallbacks {
        // Reader thread: bytes arrived (count above 0; the bytes are valid for the call only).
        std::function<void(const char* bytes, int count)> onReceive;
        // Reader thread: a break began (true) or ended (false).
        std::function<void(bool on)> onBreak;
        // Reader thread: a byte came with a parity or framing error.
        std::function<void()> onLineError;
        // UI thread, posted: the reader stopped itself after an error (never after Stop).
        std::function<void()> onStopped;
    };

    // A reader of `port` (not owned; it must outlive the reader) with a buffer of
    // `bufferSize` bytes of its own. Nothing runs before Start.
    TThdSerialComm(ISerialPort& port, TCallbacks callbacks, int bufferSize = kEchoReadBytes);
    // Stops and joins the thread. A posted onStopped that has not run yet is dropped.
    ~TThdSerialComm();
    TThdSerialComm(const TThdSerialComm&) = delete;
    TThdSerialComm& operator=(const TThdSerialComm&) = delete;

    // UI thread. Starts the thread; false with errno set when it cannot (once only).
    bool Start();
    // UI thread, never from a callback: sets the stop flag, wakes the thread and waits for it
    // to end. No callback runs after it returns.
    void Stop();
    // Any thread. The stop flag is set (by Stop or by an error), or the thread has ended.
    bool IsStopped() const;
    // Any thread. The reader stopped itself after an error; ErrorCode is its errno.
    bool HadError() const { return error_.load() != 0; }
    int ErrorCode() const { return error_.load(); }

    // UI thread. Writes every byte to the port, waiting until the driver has taken them;
    // false when the port fails or stops taking bytes. Shows nothing.
    bool WritePort(const char* bytes, int count);

private:
    void Execute();
    // Waits for input or a wake; false when the thread is to end.
    bool WaitForInput(int portFd, bool& readable);
    void Deliver(const std::vector<TLineChunk>& chunks);
    void ChangeBreak(bool on);
    void StopWithError(int error);
    void DrainWake();

    ISerialPort& port_;
    TCallbacks callbacks_;
    std::vector<uint8_t> buffer_;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    std::atomic<int> error_{0};
    // Alive while this object is: a posted onStopped runs only while it is.
    std::shared_ptr<char> life_ = std::make_shared<char>(0);
    // Reader thread only.
    bool breakOn_ = false;
};
