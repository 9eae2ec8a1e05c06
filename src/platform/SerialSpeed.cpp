// Terminal speeds through the kernel's own termios structure, which takes any integer rate.
// This file includes the kernel's terminal headers only: they clash with the C library's
// <termios.h>, so nothing else of the port lives here.

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

// The C library's ioctl, declared here so that <sys/ioctl.h> (and with it the C library's
// terminal types) stays out of this file.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

bool GetTerminalSpeed(int fd, uint32_t& baud);
void SetDriverRateForTest(uint32_t (*driver)(uint32_t baud));

namespace {

struct TSpeedCode {
    uint32_t baud;
    unsigned code;
};

// The rates the driver knows by code; a terminal set to one of them reads back as that code,
// so programs that look only at the code see the right speed.
constexpr TSpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// How far the rate a driver runs at may be from the one asked for.
constexpr uint64_t kSpeedTolerancePercent = 3;

std::atomic<uint32_t (*)(uint32_t)> gDriverRate{nullptr};

unsigned SpeedCode(uint32_t baud)
{
    for (const TSpeedCode& s : kSpeedCodes) {
        if (s.baud == baud) {
            return s.code;
        }
    }
    return BOTHER;
}

}  // namespace

bool SetTerminalSpeed(int fd, uint32_t baud)
{
    if (baud == 0) {
        errno = EINVAL;  // speed 0 would hang up the line
        return false;
    }
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    const termios2 before = tio;
    const unsigned code = SpeedCode(baud);
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    // An input speed code of 0 means "same as the output speed".
    tio.c_cflag |= code;
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        return false;
    }
    // A driver may take a rate it cannot make and run at another one: what it runs at is read
    // back, and a rate off by more than a UART's tolerance is refused with the old one kept.
    uint32_t taken = 0;
    if (!GetTerminalSpeed(fd, taken)) {
        return false;
    }
    if (auto* driver = gDriverRate.load()) {
        taken = driver(taken);
    }
    const uint64_t off = taken > baud ? taken - baud : baud - taken;
    if (off * 100 > uint64_t{baud} * kSpeedTolerancePercent) {
        ioctl(fd, TCSETS2, &before);
        errno = EINVAL;
        return false;
    }
    return true;
}

bool GetTerminalSpeed(int fd, uint32_t& baud)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    const unsigned code = tio.c_cflag & CBAUD;
    if (code == BOTHER) {
        baud = tio.c_ospeed;
        return true;
    }
    for (const TSpeedCode& s : kSpeedCodes) {
        if (s.code == code) {
            baud = s.baud;
            return true;
        }
    }
    baud = tio.c_ospeed;
    return true;
}

void SetDriverRateForTest(uint32_t (*driver)(uint32_t baud)) { gDriverRate.store(driver); }
