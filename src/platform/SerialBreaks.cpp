#include "platform/SerialBreaks.h"

#include <poll.h>
#include <termios.h>

#include <cerrno>

#include "platform/SerialPort.h"

namespace {

constexpr uint8_t kMarkByte = 0xFF;

}  // namespace

// --- Marked input ---

void TLineMarkParser::AddData(std::vector<TLineChunk>& out, char byte)
{
    if (out.empty() || out.back().kind != TLineChunk::TKind::Data) {
        out.push_back({TLineChunk::TKind::Data, QByteArray()});
    }
    out.back().bytes.append(byte);
}

void TLineMarkParser::AddEvent(std::vector<TLineChunk>& out, TLineChunk::TKind kind)
{
    // A long break may be reported more than once; the line saw one break.
    if (kind == TLineChunk::TKind::Break && !out.empty() && out.back().kind == kind) {
        return;
    }
    out.push_back({kind, QByteArray()});
}

void TLineMarkParser::Feed(const uint8_t* bytes, size_t count, std::vector<TLineChunk>& out)
{
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = bytes[i];
        switch (state_) {
        case TState::Plain:
            if (c == kMarkByte) {
                state_ = TState::Mark;
            } else {
                AddData(out, static_cast<char>(c));
            }
            break;
        case TState::Mark:
            if (c == 0) {
                state_ = TState::MarkZero;
            } else {
                // FF FF is a data FF; FF before anything else only comes from a port whose
                // marks are off, so both bytes are data.
                AddData(out, static_cast<char>(kMarkByte));
                state_ = TState::Plain;
                if (c != kMarkByte) {
                    AddData(out, static_cast<char>(c));
                }
            }
            break;
        case TState::MarkZero:
            state_ = TState::Plain;
            if (c == 0) {
                AddEvent(out, TLineChunk::TKind::Break);
            } else {
                AddEvent(out, TLineChunk::TKind::LineError);
                AddData(out, static_cast<char>(c));
            }
            break;
        }
    }
}

// --- The ports' line marks ---

bool ISerialPort::SetLineMarks(bool /*on*/)
{
    errno = ENOTSUP;
    return false;
}

int ISerialPort::WaitHandle() const { return -1; }

bool ISerialPort::HungUp() { return false; }

bool TTermiosPort::SetLineMarks(bool on)
{
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    // A break must neither be dropped (IGNBRK) nor raise a signal (BRKINT); bytes keep all
    // eight bits, so a data FF is told from a mark by its doubling.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | INPCK);
    if (on) {
        tio.c_iflag |= PARMRK;
        if ((tio.c_cflag & PARENB) != 0) {
            tio.c_iflag |= INPCK;
        }
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(PARMRK);
    }
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool TTermiosPort::HungUp()
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) {
        return false;
    }
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
