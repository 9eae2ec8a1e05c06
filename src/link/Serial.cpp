#include "link/Serial.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/Clocks.h"
#include "platform/Prompt.h"

namespace {

constexpr int kDasReadTimeoutMs = static_cast<int>(kDasReadWait.count());
// A write that fails for a passing reason is tried again this often, this far apart.
constexpr int kWriteRetries = 3;
constexpr auto kWriteRetryPause = std::chrono::milliseconds(10);

// Kinds of failure that repeat on every pass of the link thread; each is shown once per run.
enum TFailKind : uint32_t {
    kFailRead = 1u << 0,
    kFailWrite = 1u << 1,
    kFailOutQueue = 1u << 2,
    kFailInQueue = 1u << 3,
    kFailPurge = 1u << 4,
};

const QString kOpenTitle = QStringLiteral("System Error: Could Not Open Comm Port");
const QString kPropertiesTitle = QStringLiteral("System Error: Could Not Get Comm Port Properties");
const QString kSetStateTitle = QStringLiteral("System Error: Could Not Set Comm State");
const QString kNoOneAndAHalfStopBits =
    QStringLiteral("1.5 stop bits can not be set on this system's serial ports: please choose 1 "
                   "or 2 stop bits.");
const QString kTimeoutsTitle = QStringLiteral("System Error: Could Not Set Comm Timeouts");
const QString kBaudTitle = QStringLiteral("System Error: Could Not Change Baud Rate");
const QString kWriteTitle = QStringLiteral("System Error: Could Not Write to Comm Port");
const QString kReadTitle = QStringLiteral("System Error: Could Not Read From Comm Port");
const QString kOutQueueTitle =
    QStringLiteral("System Error: Could Not Get Comm Port Output Buffer Size");
const QString kInQueueTitle =
    QStringLiteral("System Error: Could Not Get Comm Port Input Buffer Size");
const QString kPurgeTitle = QStringLiteral("System Error: Could Not Purge Comm Port Input Buffer");
const QString kStartBreakTitle = QStringLiteral("System Error: Could Not Start Comm Port Break");
const QString kClearBreakTitle = QStringLiteral("System Error: Could Not Clear Comm Port Break");

TCommHandle gDasPort;
// The DAS port's line has hung up; cleared when another port takes its place.
std::atomic<bool> gDasPortLost{false};
std::atomic<int64_t> gPreXmitPause{0};
std::atomic<int64_t> gPostXmitPause{0};
std::atomic<int64_t> gPostXmitDeadline{0};
std::atomic<uint32_t> gDasLineNumber{0};

std::mutex gOpenerMutex;
std::function<std::unique_ptr<ISerialPort>(const QString&)> gOpener;

// Whether the DAS port's line has hung up. The first call that finds it so shows the one box
// of the loss, the failed read's: whatever port call meets it first, the operator learns that
// reading the port failed.
bool DasLineLost()
{
    if (gDasPortLost.load()) {
        return true;
    }
    ISerialPort* port = gDasPort.Port();
    if (!gDasPort.IsOpen() || port == nullptr || !port->HungUp()) {
        return false;
    }
    if (!gDasPortLost.exchange(true)) {
        ShowSystemError(kReadTitle, EIO);
    }
    return true;
}

// Shows the box of a failure unless the same kind already failed on `failing` without a
// success since. A failure of the DAS port whose line has hung up was reported with the loss.
void ReportRepeating(std::atomic<uint32_t>& failing, uint32_t kind, const QString& title, int error)
{
    if (&failing == &gDasPort.failing && DasLineLost()) {
        return;
    }
    if ((failing.fetch_or(kind, std::memory_order_acq_rel) & kind) == 0) {
        ShowSystemError(title, error);
    }
}

void ClearRepeating(std::atomic<uint32_t>& failing, uint32_t kind)
{
    if ((failing.load(std::memory_order_relaxed) & kind) != 0) {
        failing.fetch_and(~kind, std::memory_order_acq_rel);
    }
}

// Errors after which the same write may well go through a moment later.
bool IsPassingWriteError(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS;
}

std::unique_ptr<ISerialPort> OpenDevice(const QString& path)
{
    {
        std::lock_guard lock(gOpenerMutex);
        if (gOpener) {
            return gOpener(path);
        }
    }
    return TTermiosPort::Open(path);
}

QString ModeText(uint32_t baud, const QString& settings, int flow)
{
    static const char* const kFlowSuffix[] = {"", ",x", ",p"};
    const char* suffix = (flow >= 1 && flow <= 2) ? kFlowSuffix[flow] : kFlowSuffix[0];
    return QStringLiteral("%1,%2%3").arg(baud).arg(settings, QLatin1String(suffix));
}

// The steps after the open: check that the device is a serial line, apply the mode text,
// RTS toggle, read time-outs. False, after the step's box, when one fails.
bool ConfigurePort(ISerialPort& port, const QString& modeText)
{
    // The terminal settings are the port's properties and its state at once: what cannot
    // read them is no serial line.
    if (!port.CheckProperties()) {
        ShowSystemError(kPropertiesTitle, errno);
        return false;
    }
    // The driver queues keep their own sizes: there is nothing to set up for them.
    TSerialSettings settings;
    if (!ParseModeText(modeText, settings)) {
        ShowSystemError(kSetStateTitle, EINVAL);
        return false;
    }
    // Serial lines here know 1 and 2 stop bits only; the box says so instead of leaving the
    // operator with a bare "Invalid argument".
    if (settings.stopTenths == 15) {
        PostMessageBox(kSetStateTitle,
                       QStringLiteral("Error# ") + QString::number(EINVAL) + QStringLiteral(": ") +
                           qt_error_string(EINVAL) + QStringLiteral(". ") + kNoOneAndAHalfStopBits,
                       TMsgIcon::Information);
        return false;
    }
    if (!port.ApplySettings(settings)) {
        ShowSystemError(kSetStateTitle, errno);
        return false;
    }
    // RTS raised only while sending where the driver can; lines without that mode go on
    // without it.
    port.SetRtsToggle();
    if (!port.SetReadTimeout(0)) {
        ShowSystemError(kTimeoutsTitle, errno);
        return false;
    }
    return true;
}

void ShowShortWrite(uint32_t unsent)
{
    const QString text =
        QStringLiteral("Could not send ") + QString::number(unsent) + QStringLiteral("bytes");
    PostMessageBox(ApplicationTitle(), text, TMsgIcon::None);
}

uint32_t QueueCount(TCommHandle& h, int (ISerialPort::*query)(), uint32_t kind,
                    const QString& title)
{
    if (&h == &gDasPort && gDasPortLost.load()) {
        return 0;
    }
    ISerialPort* port = h.Port();
    const int n = (h.IsOpen() && port != nullptr) ? (port->*query)() : (errno = EBADF, -1);
    if (n < 0) {
        ReportRepeating(h.failing, kind, title, errno);
        return 0;
    }
    ClearRepeating(h.failing, kind);
    return static_cast<uint32_t>(n);
}

void SetBreakState(TCommHandle& h, bool on, const QString& title)
{
    ISerialPort* port = h.Port();
    if (!h.IsOpen() || port == nullptr) {
        ShowSystemError(title, EBADF);
    } else if (!port->SetBreak(on)) {
        ShowSystemError(title, errno);
    }
}

}  // namespace

// --- TCommHandle ---

TCommHandle::~TCommHandle() = default;

TCommHandle::TCommHandle(TCommHandle&& other) noexcept { *this = std::move(other); }

TCommHandle& TCommHandle::operator=(TCommHandle&& other) noexcept
{
    if (this != &other) {
        port_ = std::move(other.port_);
        open_.store(port_ != nullptr, std::memory_order_release);
        other.open_.store(false, std::memory_order_release);
        failing.store(other.failing.exchange(0));
    }
    return *this;
}

void TCommHandle::Reset(std::unique_ptr<ISerialPort> port)
{
    // Marked closed before the port goes, so no other thread takes a port being closed as
    // open.
    open_.store(false, std::memory_order_release);
    port_ = std::move(port);
    failing.store(0);
    open_.store(port_ != nullptr, std::memory_order_release);
}

// --- Failure boxes ---

void ShowSystemError(const QString& title) { ShowSystemError(title, errno); }

void ShowSystemError(const QString& title, int error)
{
    const QString body = QStringLiteral("Error# ") + QString::number(error) + QStringLiteral(": ") +
                         qt_error_string(error);
    PostMessageBox(title, body, TMsgIcon::Information);
}

// --- Any serial port ---

bool OpenCommPort(TCommHandle& h, uint16_t port, uint32_t baud, const QString& settings, int flow,
                  bool showErrors, [[maybe_unused]] bool overlapped)
{
    h.Reset();
    std::unique_ptr<ISerialPort> opened = OpenDevice(ComPortDevicePath(port));
    if (!opened) {
        const int error = errno;
        if (showErrors) {
            ShowSystemError(kOpenTitle, error);
        }
        return false;
    }
    // A port that failed a later step is closed again: an open handle is always a
    // configured one, and the caller may simply try again.
    if (!ConfigurePort(*opened, ModeText(baud, settings, flow))) {
        return false;
    }
    h.Reset(std::move(opened));
    return true;
}

bool CloseCommPort(TCommHandle& h)
{
    if (!h.IsOpen()) {
        return false;
    }
    h.Reset();
    return true;
}

bool WriteCommPort(TCommHandle& h, const uint8_t* bytes, uint32_t count)
{
    ISerialPort* port = h.Port();
    if (!h.IsOpen() || port == nullptr) {
        ReportRepeating(h.failing, kFailWrite, kWriteTitle, EBADF);
        return false;
    }
    uint32_t sent = 0;
    int retries = 0;
    while (sent < count) {
        const ssize_t n = port->Write(bytes + sent, count - sent);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // A write that takes nothing is retried like a passing failure, so a stuck line
        // ends in a box instead of an endless loop.
        const int error = n < 0 ? errno : EAGAIN;
        if (n <= 0) {
            if (IsPassingWriteError(error) && retries < kWriteRetries) {
                ++retries;
                std::this_thread::sleep_for(kWriteRetryPause);
                continue;
            }
            ReportRepeating(h.failing, kFailWrite, kWriteTitle, error);
            return false;
        }
        retries = 0;
        sent += static_cast<uint32_t>(n);
        if (sent < count) {
            ShowShortWrite(count - sent);
        }
    }
    ClearRepeating(h.failing, kFailWrite);
    return true;
}

bool ReadCommPort(TCommHandle& h, uint8_t* buffer, uint32_t& count)
{
    const uint32_t room = count;
    count = 0;
    ISerialPort* port = h.Port();
    if (!h.IsOpen() || port == nullptr) {
        ReportRepeating(h.failing, kFailRead, kReadTitle, EBADF);
        return false;
    }
    if (room == 0) {
        return true;
    }
    const ssize_t n = port->Read(buffer, room);
    if (n < 0) {
        ReportRepeating(h.failing, kFailRead, kReadTitle, errno);
        return false;
    }
    count = static_cast<uint32_t>(n);
    ClearRepeating(h.failing, kFailRead);
    return true;
}

uint32_t GetCommOutQueue(TCommHandle& h)
{
    return QueueCount(h, &ISerialPort::OutQueue, kFailOutQueue, kOutQueueTitle);
}

uint32_t GetCommInQueue(TCommHandle& h)
{
    return QueueCount(h, &ISerialPort::InQueue, kFailInQueue, kInQueueTitle);
}

void SetDasBreak(TCommHandle& h) { SetBreakState(h, true, kStartBreakTitle); }

void ClearDasBreak(TCommHandle& h) { SetBreakState(h, false, kClearBreakTitle); }

void SetSerialPortOpenerForTest(
    std::function<std::unique_ptr<ISerialPort>(const QString& path)> opener)
{
    std::lock_guard lock(gOpenerMutex);
    gOpener = std::move(opener);
}

// --- The DAS port ---

TCommHandle& DasPortHandle() { return gDasPort; }

bool DasPortOpen() { return gDasPort.IsOpen(); }

bool DasPortLost() { return gDasPortLost.load(); }

int64_t DasCharacterTimeNs()
{
    ISerialPort* port = gDasPort.Port();
    return gDasPort.IsOpen() && port != nullptr ? port->CharacterTimeNs() : 0;
}

void InstallDasPortForTest(std::unique_ptr<ISerialPort> port)
{
    gDasPort.Reset(std::move(port));
    gDasPortLost = false;
    ++gDasLineNumber;
}

uint32_t DasLineNumber() { return gDasLineNumber.load(); }

bool OpenDasHandle(TCommHandle& h, uint16_t port, bool showErrors)
{
    if (!OpenCommPort(h, port, 9600, QStringLiteral("N,8,1"), 0, showErrors, false)) {
        return false;
    }
    if (!h.Port()->SetReadTimeout(kDasReadTimeoutMs)) {
        ShowSystemError(kTimeoutsTitle, errno);
        CloseCommPort(h);
        return false;
    }
    return true;
}

bool OpenDasPort(uint16_t port, bool showErrors)
{
    gDasPortLost = false;
    ++gDasLineNumber;
    return OpenDasHandle(gDasPort, port, showErrors);
}

void InstallDasPort(TCommHandle&& h)
{
    gDasPort = std::move(h);
    gDasPortLost = false;
    ++gDasLineNumber;
}

bool SetDasBaudRate(uint32_t baud, bool showErrors)
{
    // Only the speed changes: the port keeps its own parity, data bits, stop bits and flow,
    // whatever port was opened last.
    ISerialPort* port = gDasPort.Port();
    const bool set =
        gDasPort.IsOpen() && port != nullptr ? port->SetBaudRate(baud) : (errno = EBADF, false);
    if (!set && showErrors) {
        ShowSystemError(kBaudTitle, errno);
    }
    return set;
}

bool CloseDasPort()
{
    const bool closed = CloseCommPort(gDasPort);
    gDasPortLost = false;
    return closed;
}

bool WriteDasPort(const uint8_t* bytes, uint32_t count)
{
    if (gDasPortLost.load()) {
        return false;
    }
    const int64_t pre = gPreXmitPause.load(std::memory_order_relaxed);
    if (pre != 0) {
        WaitForPerfCounter(PerfCounter() + pre);
    }
    const bool written = WriteCommPort(gDasPort, bytes, count);
    const int64_t post = gPostXmitPause.load(std::memory_order_relaxed);
    if (post > 0) {
        gPostXmitDeadline.store(PerfCounter() + post, std::memory_order_relaxed);
    }
    return written;
}

bool ReadDasPort(uint8_t* buffer, uint32_t& count)
{
    // A line that hung up reads as empty at once, for ever: that is a failed read, not a
    // quiet line, and the port is left alone from then on.
    if (!gDasPortLost.load() && ReadCommPort(gDasPort, buffer, count) &&
        (count > 0 || !DasLineLost())) {
        return true;
    }
    count = 0;
    // The time the read would have waited, so a vanished adapter does not spin the thread.
    std::this_thread::sleep_for(kDasReadWait);
    return false;
}

void PurgeDasInput()
{
    if (gDasPortLost.load()) {
        return;
    }
    ISerialPort* port = gDasPort.Port();
    const bool purged =
        gDasPort.IsOpen() && port != nullptr ? port->PurgeInput() : (errno = EBADF, false);
    if (!purged) {
        ReportRepeating(gDasPort.failing, kFailPurge, kPurgeTitle, errno);
        return;
    }
    ClearRepeating(gDasPort.failing, kFailPurge);
}

int64_t GetPostXmitDeadline() { return gPostXmitDeadline.load(std::memory_order_relaxed); }

void SetPreXmitPause(int64_t ticks) { gPreXmitPause.store(ticks, std::memory_order_relaxed); }

int64_t GetPreXmitPause() { return gPreXmitPause.load(std::memory_order_relaxed); }

void SetPostXmitPause(int64_t ticks) { gPostXmitPause.store(ticks, std::memory_order_relaxed); }

int64_t GetPostXmitPause() { return gPostXmitPause.load(std::memory_order_relaxed); }
