#include "support/Pty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <cstdlib>

#include "support/LineSpeed.h"

TPty::TPty()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
        slave_ = QString::fromLocal8Bit(::ptsname(master_));
    }
}

TPty::~TPty() { CloseMaster(); }

void TPty::CloseMaster()
{
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void TPty::Write(const QByteArray& bytes)
{
    ASSERT_EQ(::write(master_, bytes.constData(), bytes.size()), bytes.size());
}

QByteArray TPty::Read(int count, int timeoutMs)
{
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0 ||
            (p.revents & POLLIN) == 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.append(buffer, n);
    }
    return got;
}

termios TPty::Termios() const
{
    termios tio{};
    ::tcgetattr(master_, &tio);  // a master reads its slave's settings
    return tio;
}

uint32_t TPty::Speed() const { return LineSpeed(master_); }
