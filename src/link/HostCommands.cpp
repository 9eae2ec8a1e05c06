// The host-side command interpreter: lines such as "DataStart 12" that the DAS sends as
// control text on channel 255 and that timed "*" commands carry. Every effect runs on the UI
// thread; the link thread hands its "*" lines over in order.

#include <QByteArray>
#include <algorithm>
#include <cstring>

#include "link/Host.h"
#include "link/MuxClasses.h"
#include "platform/UiPost.h"

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The host channel a command's argument names: 255 when it is not a number, none (-1) when
// it is a number outside 0..255.
int ArgumentChannel(const QByteArray& argument)
{
    bool ok = false;
    const int value = argument.trimmed().toInt(&ok);
    if (!ok) {
        return kCommandChannel;
    }
    return value >= 0 && value <= 255 ? value : -1;
}

// Runs every line of `text` (ended by CR or LF; the last one may have no end) in order.
void ExecuteLines(const QByteArray& text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || IsLineEnd(text[i])) {
            if (i > start) {
                Host.ExecuteHostCommand(text.mid(start, i - start));
            }
            start = i + 1;
        }
    }
}

}  // namespace

void THost::ExecuteHostCommand(const QByteArray& line)
{
    qsizetype wordEnd = 0;
    while (wordEnd < line.size() && line[wordEnd] != ' ' && !IsLineEnd(line[wordEnd])) {
        ++wordEnd;
    }
    const QByteArray word = line.left(wordEnd);
    const int number = ArgumentChannel(line.mid(wordEnd + 1));
    if (number < 0) {
        return;
    }
    if (word == "NextSeqNum") {
        LinkUi().NextSeqNum();
        return;
    }
    TMux* mux = MuxArray != nullptr ? MuxArray->GetChannel(static_cast<uint8_t>(number)) : nullptr;
    if (mux == nullptr) {
        return;
    }
    IChannelDevice* device = mux->GetDevice();
    if (word == "StartHostCapture") {
        mux->StartCapture();
        if (device != nullptr) {
            LinkUi().RefreshDeviceRow(*device);
        }
    } else if (word == "StopHostCapture") {
        mux->StopCapture();
        if (device != nullptr) {
            LinkUi().RefreshDeviceRow(*device);
        }
    } else if (word == "RouteSerial") {
        // Only a device with a port has a serial port number to open.
        const TChannelPortInfo port = device != nullptr ? device->PortInfo() : TChannelPortInfo();
        if (port.hasPort) {
            mux->OpenPcPort(port.serialPortNumber);
        }
    } else if (word == "UnRouteSerial") {
        if (mux->HasPCPort()) {
            mux->ClosePcPort();
        }
    } else if (device == nullptr) {
        return;
    } else if (word == "DeviceWait" || word == "DeviceGo") {
        device->SetBusy(word == "DeviceWait");
    } else if (word == "DataStart" || word == "DataStop") {
        device->SetDataActive(word == "DataStart");
        LinkUi().RefreshDeviceRow(*device);
    }
}

void THost::ReceiveControlText(const char* bytes, int count)
{
    if (!IsUiThread()) {
        QByteArray copy(bytes, std::max(count, 0));
        PostToUi([copy = std::move(copy)] {
            Host.ReceiveControlText(copy.constData(), static_cast<int>(copy.size()));
        });
        return;
    }
    if (controlFill_ >= kControlTextMax) {
        // A line this long is no command: drop it so the commands that follow still run.
        controlFill_ = 0;
    }
    for (int i = 0; i < count; ++i) {
        const char c = bytes[i];
        // Commands are text; a zero byte (a command's terminator) would spoil the next line.
        if (c == '\0') {
            continue;
        }
        if (IsLineEnd(c)) {
            if (controlFill_ > 0) {
                const QByteArray line(controlText_.data(), controlFill_);
                controlFill_ = 0;
                ExecuteHostCommand(line);
            }
            continue;
        }
        // Beyond the room the bytes are dropped; the next arrival starts afresh.
        if (controlFill_ < kControlTextMax) {
            controlText_[static_cast<size_t>(controlFill_++)] = c;
        }
    }
}

void THost::PostHostCommands(const uint8_t* text, uint32_t count)
{
    const void* zero = std::memchr(text, 0, count);
    const uint32_t length =
        zero != nullptr ? static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - text) : count;
    QByteArray lines(reinterpret_cast<const char*>(text), static_cast<qsizetype>(length));
    PostToUi([lines = std::move(lines)] { ExecuteLines(lines); });
}
