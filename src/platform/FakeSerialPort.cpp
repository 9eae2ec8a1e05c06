#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/SerialPort.h"

bool TFakeSerialPort::Failing(TOp op)
{
    const int error = failures_[static_cast<int>(op)];
    if (error != 0) {
        errno = error;
        return true;
    }
    return false;
}

bool TFakeSerialPort::CheckProperties()
{
    std::lock_guard lock(mutex_);
    return !Failing(TOp::Properties);
}

bool TFakeSerialPort::ApplySettings(const TSerialSettings& settings)
{
    std::lock_guard lock(mutex_);
    if (Failing(TOp::Settings)) {
        return false;
    }
    if (settings.stopTenths == 15) {
        errno = EINVAL;  // as the termios port: no 1.5 stop bits
        return false;
    }
    settings_ = settings;
    return true;
}

bool TFakeSerialPort::SetBaudRate(uint32_t baud)
{
    std::lock_guard lock(mutex_);
    if (Failing(TOp::BaudRate)) {
        return false;
    }
    if (baud == 0) {
        errno = EINVAL;
        return false;
    }
    settings_.baud = baud;
    return true;
}

bool TFakeSerialPort::SetRtsToggle()
{
    std::lock_guard lock(mutex_);
    rtsToggleAsked_ = true;
    errno = ENOTTY;  // like most drivers: no such mode
    return false;
}

bool TFakeSerialPort::SetReadTimeout(int milliseconds)
{
    std::lock_guard lock(mutex_);
    if (Failing(TOp::ReadTimeout)) {
        return false;
    }
    readTimeoutMs_ = milliseconds;
    return true;
}

ssize_t TFakeSerialPort::Write(const uint8_t* bytes, size_t count)
{
    std::lock_guard lock(mutex_);
    ++writeCalls_;
    size_t take = count;
    if (!writeSteps_.empty()) {
        const TWriteStep step = writeSteps_.front();
        writeSteps_.pop_front();
        if (step.error != 0) {
            errno = step.error;
            return -1;
        }
        if (step.accept >= 0 && static_cast<size_t>(step.accept) < count) {
            take = static_cast<size_t>(step.accept);
        }
    }
    written_.append(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(take));
    writtenTotal_ += static_cast<int>(take);
    changed_.notify_all();
    return static_cast<ssize_t>(take);
}

ssize_t TFakeSerialPort::Read(uint8_t* buffer, size_t room)
{
    std::unique_lock lock(mutex_);
    if (Failing(TOp::Read)) {
        return -1;
    }
    if (input_.isEmpty() && readTimeoutMs_ > 0) {
        changed_.wait_for(lock, std::chrono::milliseconds(readTimeoutMs_),
                          [this] { return !input_.isEmpty(); });
    }
    const size_t n = std::min(room, static_cast<size_t>(input_.size()));
    if (n > 0) {
        std::memcpy(buffer, input_.constData(), n);
        input_.remove(0, static_cast<qsizetype>(n));
    }
    return static_cast<ssize_t>(n);
}

int TFakeSerialPort::OutQueue()
{
    std::lock_guard lock(mutex_);
    return Failing(TOp::OutQueue) ? -1 : outQueue_;
}

int TFakeSerialPort::InQueue()
{
    std::lock_guard lock(mutex_);
    return Failing(TOp::InQueue) ? -1 : static_cast<int>(input_.size());
}

bool TFakeSerialPort::PurgeInput()
{
    std::lock_guard lock(mutex_);
    if (Failing(TOp::Purge)) {
        return false;
    }
    ++purgeCalls_;
    input_.clear();
    return true;
}

bool TFakeSerialPort::SetBreak(bool on)
{
    std::lock_guard lock(mutex_);
    if (Failing(TOp::Break)) {
        return false;
    }
    ++breakCalls_;
    breakOn_ = on;
    return true;
}

void TFakeSerialPort::QueueWriteStep(TWriteStep step)
{
    std::lock_guard lock(mutex_);
    writeSteps_.push_back(step);
}

void TFakeSerialPort::FailOp(TOp op, int error)
{
    std::lock_guard lock(mutex_);
    failures_[static_cast<int>(op)] = error;
}

void TFakeSerialPort::FeedInput(const QByteArray& bytes)
{
    std::lock_guard lock(mutex_);
    if (hungUp_) {
        return;
    }
    if (lineMarks_) {
        for (const char c : bytes) {
            input_.append(c);
            if (static_cast<uint8_t>(c) == 0xFF) {
                input_.append(c);
            }
        }
    } else {
        input_.append(bytes);
    }
    changed_.notify_all();
}

bool TFakeSerialPort::SetLineMarks(bool on)
{
    std::lock_guard lock(mutex_);
    if (Failing(TOp::LineMarks)) {
        return false;
    }
    lineMarks_ = on;
    return true;
}

bool TFakeSerialPort::HungUp()
{
    std::lock_guard lock(mutex_);
    return hungUp_;
}

int64_t TFakeSerialPort::CharacterTimeNs() const
{
    std::lock_guard lock(mutex_);
    return ::CharacterTimeNs(settings_);
}

void TFakeSerialPort::FeedBreak()
{
    std::lock_guard lock(mutex_);
    input_.append(lineMarks_ ? QByteArray("\xFF\0\0", 3) : QByteArray(1, '\0'));
    changed_.notify_all();
}

void TFakeSerialPort::FeedBadByte(uint8_t byte)
{
    std::lock_guard lock(mutex_);
    if (lineMarks_) {
        input_.append(QByteArray("\xFF\0", 2));
    }
    input_.append(static_cast<char>(byte));
    changed_.notify_all();
}

void TFakeSerialPort::HangUp()
{
    std::lock_guard lock(mutex_);
    hungUp_ = true;
    input_.clear();
    changed_.notify_all();
}

bool TFakeSerialPort::LineMarksOn() const
{
    std::lock_guard lock(mutex_);
    return lineMarks_;
}

void TFakeSerialPort::SetOutQueue(int bytes)
{
    std::lock_guard lock(mutex_);
    outQueue_ = bytes;
}

QByteArray TFakeSerialPort::Written() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

QByteArray TFakeSerialPort::TakeWritten()
{
    std::lock_guard lock(mutex_);
    QByteArray taken;
    taken.swap(written_);
    return taken;
}

bool TFakeSerialPort::WaitWritten(int count, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this, count] { return writtenTotal_ >= count; });
}

bool TFakeSerialPort::BreakOn() const
{
    std::lock_guard lock(mutex_);
    return breakOn_;
}

int TFakeSerialPort::BreakCalls() const
{
    std::lock_guard lock(mutex_);
    return breakCalls_;
}

int TFakeSerialPort::WriteCalls() const
{
    std::lock_guard lock(mutex_);
    return writeCalls_;
}

int TFakeSerialPort::PurgeCalls() const
{
    std::lock_guard lock(mutex_);
    return purgeCalls_;
}

TSerialSettings TFakeSerialPort::Settings() const
{
    std::lock_guard lock(mutex_);
    return settings_;
}

int TFakeSerialPort::ReadTimeout() const
{
    std::lock_guard lock(mutex_);
    return readTimeoutMs_;
}

bool TFakeSerialPort::RtsToggleAsked() const
{
    std::lock_guard lock(mutex_);
    return rtsToggleAsked_;
}
