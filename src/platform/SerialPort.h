#pragma once
// Serial ports below the serial port module: one interface, the termios implementation for
// real devices and pseudo-terminals, and an in-memory fake for what a pseudo-terminal cannot
// show (break state, output queue counts, short writes, chosen write failures).
//
// Every call that fails returns false or -1 and sets errno; the caller reports it.
// A port object is used by one thread at a time (the module's pausing handshake sees to
// that), except TFakeSerialPort, whose test-side calls may come from any thread.

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Line settings of a port, as the mode text "baud,parity,data,stop[,x|,p]" gives them.
struct TSerialSettings {
    uint32_t baud = 9600;
    char parity = 'N';    // N, E, O, M or S
    int dataBits = 8;     // 5..8
    int stopTenths = 10;  // 10 (1 stop bit), 15 (1.5) or 20 (2)
    int flow = 0;         // 0 none, 1 XON/XOFF, 2 RTS/CTS
};

bool operator==(const TSerialSettings& a, const TSerialSettings& b);

// How long one character takes on a line with these settings (start bit, data bits, parity
// bit, stop bits), in ns, rounded down; 0 for a speed of 0.
int64_t CharacterTimeNs(const TSerialSettings& settings);

// Parses a mode text such as "9600,N,8,1", "19200,O,7,2,p" or "1200,e,7,1.5,x" (letters in
// any case). False, with `settings` untouched, when any field is malformed.
bool ParseModeText(const QString& text, TSerialSettings& settings);

// One open serial port.
class ISerialPort {
public:
    virtual ~ISerialPort() = default;

    // Whether the object is a serial line at all (a terminal device).
    virtual bool CheckProperties() = 0;
    // Applies all line settings. 1.5 stop bits cannot be set here: EINVAL.
    virtual bool ApplySettings(const TSerialSettings& settings) = 0;
    // Changes the speed only; every other line setting stays.
    virtual bool SetBaudRate(uint32_t baud) = 0;
    // RTS raised only while sending, where the driver has such a mode. False when it has not;
    // that is no failure of the port.
    virtual bool SetRtsToggle() = 0;
    // How long a read waits for the first byte when nothing is waiting (0: return at once).
    virtual bool SetReadTimeout(int milliseconds) = 0;

    // Bytes taken (possibly fewer than `count`), or -1.
    virtual ssize_t Write(const uint8_t* bytes, size_t count) = 0;
    // Bytes read (0 when nothing came within the read timeout), or -1.
    virtual ssize_t Read(uint8_t* buffer, size_t room) = 0;
    // Bytes waiting in the driver's output / input queue, or -1.
    virtual int OutQueue() = 0;
    virtual int InQueue() = 0;
    // Discards received input only.
    virtual bool PurgeInput() = 0;
    // Starts or ends a break condition on the line.
    virtual bool SetBreak(bool on) = 0;

    // Line marks, for readers that must see line breaks (SerialBreaks.h). With marks on, Read
    // gives a break as FF 00 00, a byte received with a parity or framing error as FF 00 and
    // the byte, and a data byte FF as FF FF. Ports that cannot mark fail with ENOTSUP.
    virtual bool SetLineMarks(bool on);
    // A descriptor that polls readable when input waits or the line hangs up; -1 when the
    // port has none (a reader then reads it on a timer). The port keeps ownership.
    virtual int WaitHandle() const;
    // True when the line has hung up (the device or the far end is gone): reads then return
    // nothing for ever.
    virtual bool HungUp();
    // How long one character takes on the line at the settings last applied (see the free
    // function of that name); 0 when the port cannot tell. Any thread.
    virtual int64_t CharacterTimeNs() const;
};

// A terminal device opened for exclusive use.
class TTermiosPort final : public ISerialPort {
public:
    // Opens `path` for reading and writing, exclusively: a port another program (or another
    // handle of ours) holds fails with EBUSY. Null with errno set on failure. Any thread.
    static std::unique_ptr<TTermiosPort> Open(const QString& path);
    ~TTermiosPort() override;  // closes the descriptor, once
    TTermiosPort(const TTermiosPort&) = delete;
    TTermiosPort& operator=(const TTermiosPort&) = delete;

    bool CheckProperties() override;
    bool ApplySettings(const TSerialSettings& settings) override;
    bool SetBaudRate(uint32_t baud) override;
    bool SetRtsToggle() override;
    bool SetReadTimeout(int milliseconds) override;
    ssize_t Write(const uint8_t* bytes, size_t count) override;
    ssize_t Read(uint8_t* buffer, size_t room) override;
    int OutQueue() override;
    int InQueue() override;
    bool PurgeInput() override;
    bool SetBreak(bool on) override;
    bool SetLineMarks(bool on) override;
    int WaitHandle() const override { return fd_; }
    bool HungUp() override;
    int64_t CharacterTimeNs() const override { return characterNs_.load(); }

    int Fd() const { return fd_; }

private:
    explicit TTermiosPort(int fd) : fd_(fd) {}
    int fd_;
    int readTimeoutMs_ = 0;
    // The settings last applied; the character time follows them.
    TSerialSettings settings_;
    std::atomic<int64_t> characterNs_{0};
};

// True for the errors of a port that is in use elsewhere or may not be opened by this user;
// callers that must tell "port in use" apart test this.
bool IsAccessDeniedError(int error);

// Exact speeds through the kernel's custom rate interface (any integer baud rate). Any thread.
bool SetTerminalSpeed(int fd, uint32_t baud);
// The output speed set on a terminal, in baud; false when it cannot be read.
bool GetTerminalSpeed(int fd, uint32_t& baud);
// Tests: a driver that runs a rate it was given at another one. After each speed change the
// rate read back is passed through `driver` (null: taken as read). Any thread.
void SetDriverRateForTest(uint32_t (*driver)(uint32_t baud));

// An in-memory serial port for tests. Writes land in a buffer; reads take fed input; each
// operation can be told to fail with a chosen errno.
class TFakeSerialPort final : public ISerialPort {
public:
    // What the next Write calls do, in order; when none is queued a write takes everything.
    struct TWriteStep {
        int accept = -1;  // bytes taken at most (-1: all)
        int error = 0;    // non-zero: the write fails with this errno
    };
    enum class TOp {
        Properties,
        Settings,
        BaudRate,
        ReadTimeout,
        Read,
        OutQueue,
        InQueue,
        Purge,
        Break,
        LineMarks,
        Count
    };

    TFakeSerialPort() = default;

    bool CheckProperties() override;
    bool ApplySettings(const TSerialSettings& settings) override;
    bool SetBaudRate(uint32_t baud) override;
    bool SetRtsToggle() override;
    bool SetReadTimeout(int milliseconds) override;
    ssize_t Write(const uint8_t* bytes, size_t count) override;
    ssize_t Read(uint8_t* buffer, size_t room) override;
    int OutQueue() override;
    int InQueue() override;
    bool PurgeInput() override;
    bool SetBreak(bool on) override;
    bool SetLineMarks(bool on) override;
    bool HungUp() override;
    int64_t CharacterTimeNs() const override;

    // Test side, any thread.
    void QueueWriteStep(TWriteStep step);
    void FailOp(TOp op, int error);  // 0 makes the op succeed again
    // Input as a terminal driver hands it on: with line marks on, a data byte FF is doubled.
    void FeedInput(const QByteArray& bytes);
    // A line break, and a byte received with a framing or parity error, as the driver gives
    // them (marked when line marks are on, else a zero byte / the plain byte).
    void FeedBreak();
    void FeedBadByte(uint8_t byte);
    // The line hangs up: reads give nothing more and HungUp holds.
    void HangUp();
    bool LineMarksOn() const;
    void SetOutQueue(int bytes);
    QByteArray Written() const;
    QByteArray TakeWritten();
    // Waits up to `timeoutMs` until at least `count` bytes have been written in all.
    bool WaitWritten(int count, int timeoutMs);
    bool BreakOn() const;
    int BreakCalls() const;
    int WriteCalls() const;
    int PurgeCalls() const;
    TSerialSettings Settings() const;
    int ReadTimeout() const;
    bool RtsToggleAsked() const;

private:
    bool Failing(TOp op);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TWriteStep> writeSteps_;
    int failures_[static_cast<int>(TOp::Count)] = {};
    QByteArray input_;
    QByteArray written_;
    int writtenTotal_ = 0;
    int outQueue_ = 0;
    bool breakOn_ = false;
    bool lineMarks_ = false;
    bool hungUp_ = false;
    int breakCalls_ = 0;
    int writeCalls_ = 0;
    int purgeCalls_ = 0;
    int readTimeoutMs_ = 0;
    bool rtsToggleAsked_ = false;
    TSerialSettings settings_;
};
