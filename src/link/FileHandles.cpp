// Plain file handles (archives) with the serial port module's failure boxes.

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "link/Serial.h"

namespace {

const QString kWriteFileTitle = QStringLiteral("System Error: Could Not Write to File");
const QString kReadFileTitle = QStringLiteral("System Error: Could Not Read From File");

// A full disk or a vanished file fails on every record the link thread writes: its box is
// shown once per run of failures.
enum : uint32_t { kFailWrite = 1u << 0, kFailRead = 1u << 1 };

void ReportFileFailure(std::atomic<uint32_t>& failing, uint32_t kind, const QString& title,
                       int error)
{
    if ((failing.fetch_or(kind) & kind) == 0) {
        ShowSystemError(title, error);
    }
}

}  // namespace

TFileHandle::~TFileHandle() { Close(); }

bool TFileHandle::OpenRead(const QString& path)
{
    Close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    fd_.store(fd, std::memory_order_release);
    return fd >= 0;
}

bool TFileHandle::OpenWrite(const QString& path, bool append)
{
    Close();
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    fd_.store(fd, std::memory_order_release);
    return fd >= 0;
}

void TFileHandle::Close()
{
    const int fd = fd_.exchange(-1, std::memory_order_acq_rel);
    failing.store(0);
    if (fd >= 0) {
        ::close(fd);  // once: the number may be reused by another thread right after
    }
}

bool WriteFileHandle(TFileHandle& h, const uint8_t* bytes, uint32_t count)
{
    const int fd = h.Fd();
    if (fd < 0) {
        ReportFileFailure(h.failing, kFailWrite, kWriteFileTitle, EBADF);
        return false;
    }
    uint32_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(fd, bytes + written, count - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ReportFileFailure(h.failing, kFailWrite, kWriteFileTitle, n < 0 ? errno : EIO);
            return false;
        }
        written += static_cast<uint32_t>(n);
    }
    h.failing.fetch_and(~kFailWrite);
    return true;
}

bool ReadFileHandle(TFileHandle& h, uint8_t* buffer, uint32_t& count)
{
    const uint32_t room = count;
    count = 0;
    const int fd = h.Fd();
    if (fd < 0) {
        ReportFileFailure(h.failing, kFailRead, kReadFileTitle, EBADF);
        return false;
    }
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer, room);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        ReportFileFailure(h.failing, kFailRead, kReadFileTitle, errno);
        return false;
    }
    count = static_cast<uint32_t>(n);
    h.failing.fetch_and(~kFailRead);
    return true;
}
