// The kernel's termios2, whose speed field holds any integer rate. Only the kernel's terminal
// headers are included: they clash with the C library's <termios.h>.
#include "support/LineSpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

uint32_t LineSpeed(int fd)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return 0;
    }
    // A rate with a code of its own reads back as that code; any other as BOTHER and the rate.
    switch (tio.c_cflag & CBAUD) {
    case BOTHER:
        return tio.c_ospeed;
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B460800:
        return 460800;
    case B500000:
        return 500000;
    case B921600:
        return 921600;
    case B1000000:
        return 1000000;
    default:
        return 0;
    }
}

uint32_t LineSpeed(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return 0;
    }
    const uint32_t baud = LineSpeed(fd);
    ::close(fd);
    return baud;
}
