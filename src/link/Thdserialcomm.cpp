#include "link/Thdserialcomm.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/SerialBreaks.h"
#include "platform/SerialPort.h"
#include "platform/UiPost.h"

namespace {

// A write that takes nothing is tried again this many times, a poll interval apart, before
// the port counts as failed.
constexpr int kWriteStalls = 20;

}  // namespace

TThdSerialComm::TThdSerialComm(ISerialPort& port, TCallbacks callbacks, int bufferSize)
    : port_(port),
      callbacks_(std::move(callbacks)),
      buffer_(static_cast<size_t>(std::max(bufferSize, 1)))
{
}

TThdSerialComm::~TThdSerialComm()
{
    Stop();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

bool TThdSerialComm::Start()
{
    if (wakeFd_ >= 0) {
        errno = EALREADY;
        return false;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        return false;
    }
    // Marked before the thread runs, so no break that comes meanwhile reads as a zero byte;
    // the thread marks again and stops with an error when the port refuses.
    port_.SetLineMarks(true);
    try {
        thread_ = std::thread([this] { Execute(); });
    } catch (const std::system_error& e) {
        errno = e.code().value();
        return false;
    }
    return true;
}

void TThdSerialComm::Stop()
{
    stopping_.store(true);
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) {
        return;
    }
    const uint64_t one = 1;
    // The eventfd only fails when its counter is full, and then it is readable anyway.
    [[maybe_unused]] const ssize_t woken = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
}

bool TThdSerialComm::IsStopped() const { return stopping_.load() || ended_.load(); }

bool TThdSerialComm::WritePort(const char* bytes, int count)
{
    int sent = 0;
    int stalls = 0;
    while (sent < count) {
        const ssize_t n = port_.Write(reinterpret_cast<const uint8_t*>(bytes) + sent,
                                      static_cast<size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            stalls = 0;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        if (++stalls > kWriteStalls) {
            errno = EAGAIN;
            return false;
        }
        const int fd = port_.WaitHandle();
        pollfd p{fd, POLLOUT, 0};
        // Without a descriptor the poll is a plain pause.
        ::poll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, kEchoPollMs);
    }
    return true;
}

void TThdSerialComm::Execute()
{
    if (!port_.SetLineMarks(true)) {
        StopWithError(errno);
        ended_.store(true);
        return;
    }
    const int portFd = port_.WaitHandle();
    TLineMarkParser parser;
    std::vector<TLineChunk> chunks;
    while (!stopping_.load()) {
        bool readable = false;
        if (!WaitForInput(portFd, readable)) {
            break;
        }
        if (!readable) {
            continue;
        }
        const ssize_t n = port_.Read(buffer_.data(), buffer_.size());
        if (n < 0) {
            StopWithError(errno);
            break;
        }
        if (n == 0) {
            // A line that hung up polls readable for ever and reads nothing.
            if (port_.HungUp()) {
                StopWithError(EIO);
                break;
            }
            continue;
        }
        chunks.clear();
        parser.Feed(buffer_.data(), static_cast<size_t>(n), chunks);
        Deliver(chunks);
    }
    ended_.store(true);
}

bool TThdSerialComm::WaitForInput(int portFd, bool& readable)
{
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {portFd, POLLIN, 0}};
    const nfds_t count = portFd >= 0 ? 2 : 1;
    const int ready = ::poll(fds, count, kEchoPollMs);
    if (ready < 0) {
        if (errno == EINTR) {
            return true;
        }
        StopWithError(errno);
        return false;
    }
    if (fds[0].revents != 0) {
        DrainWake();
    }
    if (stopping_.load()) {
        return false;
    }
    if (portFd < 0) {
        // A port without a descriptor is read on every pass.
        readable = true;
        return true;
    }
    if ((fds[1].revents & POLLNVAL) != 0) {
        StopWithError(EBADF);
        return false;
    }
    readable = fds[1].revents != 0;
    return true;
}

void TThdSerialComm::Deliver(const std::vector<TLineChunk>& chunks)
{
    for (const TLineChunk& chunk : chunks) {
        if (stopping_.load()) {
            return;
        }
        switch (chunk.kind) {
        case TLineChunk::TKind::Data:
            // Whatever arrives after a break ends it.
            if (breakOn_) {
                ChangeBreak(false);
            }
            if (callbacks_.onReceive) {
                callbacks_.onReceive(chunk.bytes.constData(), static_cast<int>(chunk.bytes.size()));
            }
            break;
        case TLineChunk::TKind::Break:
            // A second break while one is on ends it, as any other line event does.
            ChangeBreak(!breakOn_);
            break;
        case TLineChunk::TKind::LineError:
            if (breakOn_) {
                ChangeBreak(false);
            }
            if (callbacks_.onLineError) {
                callbacks_.onLineError();
            }
            break;
        }
    }
}

void TThdSerialComm::ChangeBreak(bool on)
{
    breakOn_ = on;
    if (callbacks_.onBreak) {
        callbacks_.onBreak(on);
    }
}

void TThdSerialComm::StopWithError(int error)
{
    int none = 0;
    error_.compare_exchange_strong(none, error != 0 ? error : EIO);
    if (stopping_.exchange(true)) {
        return;
    }
    std::weak_ptr<char> life = life_;
    PostToUi([this, life] {
        if (life.lock() == nullptr) {
            return;
        }
        // A copy: the callback may delete this reader, and its callbacks with it.
        const std::function<void()> stopped = callbacks_.onStopped;
        if (stopped) {
            stopped();
        }
    });
}

void TThdSerialComm::DrainWake()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
}
