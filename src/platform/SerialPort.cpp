#include "platform/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QStringList>
#include <cerrno>

bool operator==(const TSerialSettings& a, const TSerialSettings& b)
{
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopTenths == b.stopTenths && a.flow == b.flow;
}

int64_t CharacterTimeNs(const TSerialSettings& settings)
{
    if (settings.baud == 0) {
        return 0;
    }
    // In tenths of a bit: the start bit, the data bits, a parity bit, the stop bits.
    const int64_t tenths = 10 + int64_t{settings.dataBits} * 10 +
                           (settings.parity == 'N' ? 0 : 10) + settings.stopTenths;
    return tenths * 100'000'000 / settings.baud;
}

int64_t ISerialPort::CharacterTimeNs() const { return 0; }

namespace {

bool ParseUnsigned(const QString& text, uint32_t& value)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok);
    if (!ok || v == 0 || v > 0xFFFFFFFFULL) {
        return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool ParseModeText(const QString& text, TSerialSettings& settings)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() < 4 || fields.size() > 5) {
        return false;
    }
    TSerialSettings s;
    if (!ParseUnsigned(fields[0], s.baud)) {
        return false;
    }
    const QString parity = fields[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity[0])) {
        return false;
    }
    s.parity = parity[0].toLatin1();
    bool ok = false;
    s.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) {
        return false;
    }
    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1")) {
        s.stopTenths = 10;
    } else if (stop == QLatin1String("1.5")) {
        s.stopTenths = 15;
    } else if (stop == QLatin1String("2")) {
        s.stopTenths = 20;
    } else {
        return false;
    }
    if (fields.size() == 5) {
        const QString flow = fields[4].trimmed().toLower();
        if (flow == QLatin1String("x")) {
            s.flow = 1;
        } else if (flow == QLatin1String("p")) {
            s.flow = 2;
        } else {
            return false;
        }
    }
    settings = s;
    return true;
}

bool IsAccessDeniedError(int error)
{
    return error == EACCES || error == EPERM || error == EBUSY || error == EWOULDBLOCK;
}

// --- TTermiosPort ---

std::unique_ptr<TTermiosPort> TTermiosPort::Open(const QString& path)
{
    if (path.isEmpty()) {
        errno = ENOENT;
        return nullptr;
    }
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<TTermiosPort> port(new TTermiosPort(fd));
    // The lock holds against every opener, root included; TIOCEXCL keeps out programs that
    // do not lock. A held port reads as busy either way.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        errno = (errno == EWOULDBLOCK) ? EBUSY : errno;
        return nullptr;
    }
    if (isatty(fd)) {
        ::ioctl(fd, TIOCEXCL);
    }
    // Writes block until the driver has taken every byte; reads never block (VMIN/VTIME 0).
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return nullptr;
    }
    return port;
}

TTermiosPort::~TTermiosPort()
{
    // Once only: after a failed close the descriptor number may already belong to another
    // thread's new file.
    const int saved = errno;
    ::ioctl(fd_, TIOCNXCL);  // the exclusive mark may outlive this descriptor on some drivers
    ::close(fd_);
    errno = saved;
}

bool TTermiosPort::CheckProperties()
{
    termios tio{};
    return ::tcgetattr(fd_, &tio) == 0;
}

bool TTermiosPort::ApplySettings(const TSerialSettings& s)
{
    if (s.stopTenths == 15 || s.dataBits < 5 || s.dataBits > 8 || s.baud == 0) {
        errno = EINVAL;
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[s.dataBits - 5];
    switch (s.parity) {
    case 'E':
        tio.c_cflag |= PARENB;
        break;
    case 'O':
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 'M':
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 'S':
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    case 'N':
        break;
    default:
        errno = EINVAL;
        return false;
    }
    if (s.stopTenths == 20) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (s.flow == 1) {
        tio.c_iflag |= IXON | IXOFF;
    } else if (s.flow == 2) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0 || !SetTerminalSpeed(fd_, s.baud)) {
        return false;
    }
    settings_ = s;
    characterNs_ = ::CharacterTimeNs(settings_);
    return true;
}

bool TTermiosPort::SetBaudRate(uint32_t baud)
{
    if (!SetTerminalSpeed(fd_, baud)) {
        return false;
    }
    settings_.baud = baud;
    characterNs_ = ::CharacterTimeNs(settings_);
    return true;
}

bool TTermiosPort::SetRtsToggle()
{
    serial_rs485 rs485{};
    if (::ioctl(fd_, TIOCGRS485, &rs485) != 0) {
        return false;
    }
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
    return ::ioctl(fd_, TIOCSRS485, &rs485) == 0;
}

bool TTermiosPort::SetReadTimeout(int milliseconds)
{
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    if (tio.c_cc[VMIN] != 0 || tio.c_cc[VTIME] != 0) {
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
            return false;
        }
    }
    readTimeoutMs_ = milliseconds < 0 ? 0 : milliseconds;
    return true;
}

ssize_t TTermiosPort::Write(const uint8_t* bytes, size_t count)
{
    return ::write(fd_, bytes, count);
}

ssize_t TTermiosPort::Read(uint8_t* buffer, size_t room)
{
    if (readTimeoutMs_ > 0) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, readTimeoutMs_);
        if (ready < 0) {
            return errno == EINTR ? 0 : -1;
        }
        if (ready == 0) {
            return 0;
        }
    }
    const ssize_t n = ::read(fd_, buffer, room);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    return n;
}

int TTermiosPort::OutQueue()
{
    int n = 0;
    return ::ioctl(fd_, TIOCOUTQ, &n) == 0 ? n : -1;
}

int TTermiosPort::InQueue()
{
    int n = 0;
    return ::ioctl(fd_, FIONREAD, &n) == 0 ? n : -1;
}

bool TTermiosPort::PurgeInput() { return ::tcflush(fd_, TCIFLUSH) == 0; }

bool TTermiosPort::SetBreak(bool on) { return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }
