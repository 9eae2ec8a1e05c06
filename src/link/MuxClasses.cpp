#include "link/MuxClasses.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>

#include "link/Host.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "link/Serial.h"

namespace {

// Channels whose data is dispatched even without a window, capture file or fetched file.
bool HasFixedReader(uint8_t channel)
{
    switch (channel) {
    case kStatusChannel:
    case kClockChannel:
    case kSysVarChannel:
    case kDirectoryChannel:
    case kMuxStatsChannel:
    case kScriptChannel:
    case kCommandChannel:
        return true;
    default:
        return false;
    }
}

}  // namespace

TMux::TMux(TMuxArray& owner, uint8_t channel, IChannelDevice* device, ITerminalView* window)
    : owner_(&owner), channel_(channel), device_(device)
{
    if (window != nullptr) {
        SetWindow(window);
    }
}

TMux::~TMux()
{
    CloseEcho();
    getFile_.reset();
    sendFile_.reset();
    // Also at program end: a capture whose last bytes cannot be kept is reported.
    CloseCaptureFile();
    pcPort_.reset();
    DropWindow();
    SetProgressWindow(nullptr);
}

bool TMux::HasReader() const
{
    return window_ != nullptr || HasCaptureFile() || getFile_ != nullptr ||
           HasFixedReader(channel_);
}

void TMux::ReaderChanged(bool hadReader)
{
    if (HasReader()) {
        ringAbandoned_ = false;
    } else if (hadReader) {
        ringAbandoned_ = true;
        Host.Thread().RingChanged();
    }
}

void TMux::SetWindow(ITerminalView* window)
{
    const bool hadReader = HasReader();
    if (window_ != nullptr && window_ != window) {
        DropWindow();
    }
    if (window == nullptr && device_ != nullptr && owner_->TerminalFactory() != nullptr) {
        window = owner_->TerminalFactory()->CreateDeviceWindow(*this, *device_);
    }
    window_ = window;
    if (window_ != nullptr) {
        window_->SetHostChannel(this);
    }
    ReaderChanged(hadReader);
}

void TMux::ClearWindow()
{
    if (window_ != nullptr) {
        window_->ClearReceived();
    }
}

void TMux::ShowWindow()
{
    if (window_ != nullptr) {
        window_->ShowNormal();
    }
}

void TMux::CloseWindow()
{
    const bool hadReader = HasReader();
    DropWindow();
    ReaderChanged(hadReader);
}

void TMux::DropWindow()
{
    ITerminalView* window = window_;
    window_ = nullptr;
    if (window != nullptr) {
        window->DestroyView();
    }
}

void TMux::SetName(const QString& name)
{
    name_ = name;
    SetDefaultCaptureFileName();
    if (window_ != nullptr) {
        window_->SetCaption(name);
    }
}

bool TMux::PushData(const char* bytes, int count)
{
    return count > 0 && ring_.Put(bytes, static_cast<uint32_t>(count));
}

bool TMux::HasData() const { return ring_.Count() > 0; }

int TMux::ReadQueue()
{
    const uint32_t n = ring_.Get(scratch_.data(), kChannelRingBytes);
    scratch_[n] = 0;
    ringAbandoned_ = false;
    if (n > 0) {
        // A packet for this ring may be waiting for the room just made.
        Host.Thread().RingChanged();
    }
    return static_cast<int>(n);
}

int TMux::PutData(const char* bytes, int count, int tag)
{
    const int n = std::clamp(count, 0, kMaxSegmentBytes);
    if (tag != kNoTag) {
        // A segment for a channel that does not exist is shown as text after its number;
        // the text ends at its first zero byte and never runs past the segment.
        const char* zero = n > 0 ? static_cast<const char*>(std::memchr(bytes, 0, n)) : nullptr;
        const int textLength = zero != nullptr ? static_cast<int>(zero - bytes) : n;
        QByteArray tagged = "[" + QByteArray::number(tag) + "]";
        tagged.append(bytes, textLength);
        PushData(tagged.constData(), static_cast<int>(tagged.size()));
    } else {
        PushData(bytes, n);
    }
    // Counted by the fetch's own state, whether or not its progress window exists yet.
    OnGetData(static_cast<uint32_t>(n));
    // Marked after the bytes are in: a service pass that takes the mark finds them.
    owner_->MarkPending(this);
    // A fast sender fills the ring long before the next data timer tick: the pass is asked
    // for now, while half the ring is still free. The end of a directory listing is asked
    // for at once too: the operator waits on it.
    if (ring_.Count() >= kChannelRingBytes / 2 || EndsListing(bytes, n)) {
        owner_->RequestService();
    }
    return n;
}

bool TMux::EndsListing(const char* bytes, int n)
{
    if (channel_ != kDirectoryChannel || n <= 0) {
        return false;
    }
    // The end may have begun in the channel's last bytes.
    const QByteArray seen = listingTail_ + QByteArray::fromRawData(bytes, n);
    listingTail_ = seen.right(kDirectoryListingEnd.size() - 1);
    return seen.contains(kDirectoryListingEnd);
}

bool TMux::ProcessData()
{
    if (!HasReader()) {
        return false;
    }
    if (!HasData()) {
        return false;
    }
    const int n = ReadQueue();
    WriteConsumers(scratch_.data(), n);
    if (device_ != nullptr) {
        device_->SetPortActivity();
    }
    ReadFixedChannel(scratch_.data(), n);
    if (channel_ == kErrorChannel) {
        ShowWindow();
    }
    return n > 0;
}

void TMux::WriteConsumers(const char* bytes, int n)
{
    if (echoPort_ != nullptr && !echoPort_->WritePort(bytes, n)) {
        CloseEcho();
        // The device's row, the actions and the window's echo item show the port closed.
        EchoStateChanged();
        ReportChannelError("Echo Serial Port Error on Host Channel# ");
    }
    if (getFile_ != nullptr && !getFile_->Write(bytes, n)) {
        CloseGetFile();
        ReportChannelError("File Get Error on Host Channel# ");
    }
    if (captureOn_ && captureFile_ != nullptr && !captureFile_->Write(bytes, n)) {
        StopCapture();
        ReportChannelError("Capture Error on Host Channel# ");
    }
    if (window_ != nullptr) {
        window_->ShowData(bytes, n);
    }
}

void TMux::ReadFixedChannel(const char* bytes, int n)
{
    IFixedChannelReaders& readers = owner_->FixedChannelReaders();
    switch (channel_) {
    case kClockChannel:
        readers.ReceiveDateReply(bytes, n);
        break;
    case kSysVarChannel:
        readers.ReceiveListing(bytes, n);
        break;
    case kStatusChannel:
    case kMuxStatsChannel:
        readers.OnStatusChannelData(channel_, bytes, n);
        break;
    case kDirectoryChannel:
        readers.ReceiveListingData(bytes, n);
        break;
    case kCommandChannel:
        readers.ReceiveControlText(bytes, n);
        break;
    default:
        break;
    }
}

void TMux::ReportChannelError(const char* what)
{
    ReportFailure(QString::fromLatin1(what) + QString::number(channel_));
}

void TMux::ReportFailure(const QString& text)
{
    // Inside a service pass the box is posted and shows once the pass is over.
    PostMessageBox(ApplicationTitle(), text, TMsgIcon::Error);
}

void TMux::SetEchoPort(std::unique_ptr<IEchoPort> port) { echoPort_ = std::move(port); }

void TMux::CloseEcho() { echoPort_.reset(); }


void TMux::SetGetFile(std::unique_ptr<IChannelFile> file)
{
    const bool hadReader = HasReader();
    getFile_ = std::move(file);
    SetGetState(getFile_ != nullptr ? kGetReceiving : kGetIdle);
    ReaderChanged(hadReader);
}

void TMux::CloseGetFile()
{
    if (getFile_ != nullptr) {
        getFile_->Close();
        getFile_.reset();
        SetGetState(kGetIdle);
        ReaderChanged(true);
    }
}

void TMux::SetSendFile(std::unique_ptr<IChannelFile> file)
{
    sendFile_ = std::move(file);
    SetSendState(sendFile_ != nullptr ? kSendFile : kSendIdle);
}

void TMux::CloseSendFile()
{
    // A script upload has no file: its complete state stays for the uploader to see.
    if (sendFile_ != nullptr) {
        sendFile_->Close();
        sendFile_.reset();
        SetSendState(kSendIdle);
    }
}

void TMux::SetCaptureFile(std::unique_ptr<IChannelFile> file)
{
    const bool hadReader = HasReader();
    CloseCaptureFile();
    captureFile_ = std::move(file);
    captureNotOnPc_ = false;
    captureOn_ = captureFile_ != nullptr ? 1 : 0;
    ReaderChanged(hadReader);
    if (window_ != nullptr) {
        window_->ChannelStateChanged();
    }
}

void TMux::MarkCaptureNotOnPc()
{
    captureFile_.reset();
    captureNotOnPc_ = true;
    captureOn_ = 1;
    ReaderChanged(true);
    if (window_ != nullptr) {
        window_->ChannelStateChanged();
    }
}

void TMux::StopCapture()
{
    const bool hadReader = HasReader();
    const bool hadCapture = HasCaptureFile();
    captureOn_ = 0;
    captureNotOnPc_ = false;
    CloseCaptureFile();
    ReaderChanged(hadReader);
    // A capture made on the DAS ends here too, so the device's next capture path is fresh.
    if (hadCapture && device_ != nullptr) {
        device_->CaptureStopped();
    }
    if (window_ != nullptr) {
        window_->ChannelStateChanged();
    }
}

void TMux::CloseCaptureFile()
{
    if (captureFile_ == nullptr) {
        return;
    }
    const bool closed = captureFile_->Close();
    captureFile_.reset();
    if (!closed) {
        ReportFailure(QStringLiteral("Error Closing File for ") + name_ + QStringLiteral("!"));
    }
}

void TMux::SetProgressWindow(IProgressView* progress)
{
    if (progress_ != nullptr && progress_ != progress) {
        progress_->DestroyView();
    }
    progress_ = progress;
    progressOpen_.store(progress != nullptr);
}

void TMux::CloseProgress() { SetProgressWindow(nullptr); }

void TMux::TouchActivity() { lastActivity_.store(NowDateTime()); }

void TMux::OnBlockSent(uint32_t n)
{
    const uint8_t state = GetSendState();
    if (state != kSendFile && state != kSendScript) {
        return;
    }
    TouchActivity();
    bytesTransferred_.fetch_add(n);
    if (n == 0) {
        SetSendState(kSendComplete);
    }
}

void TMux::OnGetData(uint32_t n)
{
    if (GetGetState() != kGetReceiving) {
        return;
    }
    TouchActivity();
    bytesTransferred_.fetch_add(n);
    if (n == 0) {
        SetGetState(kGetComplete);
    }
}

void TMux::UpdateTransfer()
{
    if (progress_ == nullptr) {
        return;
    }
    progress_->Refresh();
    if (GetGetState() == kGetComplete && !HasData()) {
        CloseGetFile();
        progress_->CloseView();
    }
    if (GetSendState() == kSendComplete) {
        CloseSendFile();
        progress_->CloseView();
    }
}
