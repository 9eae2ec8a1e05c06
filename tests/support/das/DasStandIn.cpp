#include "support/das/DasStandIn.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

}  // namespace

TDasStandIn::TDasStandIn() { OpenLine(); }

bool TDasStandIn::OpenLine()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return false;
    }
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Held open so the line stays raw and the master never sees a hang-up between host opens.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    if (slave_ >= 0 && tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
    }
    return slave_ >= 0;
}

void TDasStandIn::CloseLine()
{
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

TDasStandIn::~TDasStandIn()
{
    Stop();
    CloseLine();
}

void TDasStandIn::Unplug()
{
    Stop();
    CloseLine();
}

bool TDasStandIn::Replug()
{
    Stop();
    CloseLine();
    // A new line starts quiet: no half-read frame, no exchange under way.
    parser_.Clear();
    awaiting_ = false;
    errorSeen_ = false;
    nextPoll_ = TClock::now();
    if (!OpenLine()) {
        return false;
    }
    Start();
    return true;
}

void TDasStandIn::Start()
{
    if (running_.exchange(true)) {
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

void TDasStandIn::Stop()
{
    running_ = false;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TDasStandIn::SendChannelData(uint8_t channel, const QByteArray& bytes)
{
    const std::lock_guard lock(outMutex_);
    // A buffer of its own: the caller's copy is never shared with the stand-in's thread, which
    // cuts its queue up inside Qt, where a sanitizer cannot see the sharing end.
    outQueue_.push_back({channel, QByteArray(bytes.constData(), bytes.size())});
    queuedTotals_[channel] += bytes.size();
}

void TDasStandIn::OnChannelData(uint8_t channel, TChannelHandler handler)
{
    const std::lock_guard lock(inMutex_);
    handlers_[channel] = std::move(handler);
}

QByteArray TDasStandIn::ReceivedOn(uint8_t channel) const
{
    const std::lock_guard lock(inMutex_);
    const auto it = received_.find(channel);
    return it == received_.end() ? QByteArray() : it->second;
}

bool TDasStandIn::WaitForBytes(uint8_t channel, qsizetype count, int timeoutMs) const
{
    std::unique_lock lock(inMutex_);
    return inChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = received_.find(channel);
        return it != received_.end() && it->second.size() >= count;
    });
}

bool TDasStandIn::AllSent() const
{
    const std::lock_guard lock(outMutex_);
    return outQueue_.empty() && current_.isEmpty();
}

std::map<uint8_t, TDasStandIn::TChannelTotals> TDasStandIn::ChannelTotals() const
{
    std::map<uint8_t, TChannelTotals> totals;
    {
        const std::lock_guard lock(outMutex_);
        for (const auto& [channel, bytes] : queuedTotals_) {
            totals[channel].toHost = bytes;
        }
    }
    const std::lock_guard lock(inMutex_);
    for (const auto& [channel, bytes] : received_) {
        totals[channel].fromHost = bytes.size();
    }
    return totals;
}

void TDasStandIn::SetLineFaults(double corruptShare, double dropShare, uint32_t seed)
{
    const std::lock_guard lock(faultMutex_);
    corruptShare_ = corruptShare;
    dropShare_ = dropShare;
    outRng_.seed(seed);
    inRng_.seed(seed ^ 0x5A5A5A5Au);
}

void TDasStandIn::SetWriteFaults(double share, uint32_t seed)
{
    const std::lock_guard lock(faultMutex_);
    writeShare_ = share;
    outRng_.seed(seed);
    inRng_.seed(seed ^ 0x5A5A5A5Au);
}

QByteArray TDasStandIn::Spoil(const char* bytes, qsizetype n, std::mt19937& rng)
{
    QByteArray out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        if (Roll(rng, dropShare_)) {
            continue;
        }
        out.append(Roll(rng, corruptShare_)
                       ? static_cast<char>(bytes[i] ^ std::uniform_int_distribution<int>(1, 255)(rng))
                       : bytes[i]);
    }
    if (!out.isEmpty() && Roll(rng, writeShare_)) {
        const auto at = std::uniform_int_distribution<qsizetype>(0, out.size() - 1)(rng);
        out[at] = static_cast<char>(out[at] ^ std::uniform_int_distribution<int>(1, 255)(rng));
    }
    return out;
}

bool TDasStandIn::Roll(std::mt19937& rng, double share)
{
    return share > 0 && std::uniform_real_distribution<double>(0, 1)(rng) < share;
}

void TDasStandIn::WriteRaw(const QByteArray& bytes)
{
    const std::lock_guard writeLock(writeMutex_);
    QByteArray out;
    {
        const std::lock_guard lock(faultMutex_);
        out = Spoil(bytes.constData(), bytes.size(), outRng_);
    }
    const uint32_t baud = baud_;
    const auto byteTime = baud ? std::chrono::nanoseconds(10'000'000'000LL / baud)
                               : std::chrono::nanoseconds(0);
    auto nextByte = TClock::now();
    qsizetype done = 0;
    while (done < out.size() && running_) {
        const qsizetype chunk = baud ? 1 : out.size() - done;
        const ssize_t n = ::write(master_, out.constData() + done, static_cast<size_t>(chunk));
        if (n > 0) {
            done += n;
            if (baud) {
                nextByte += byteTime;
                std::this_thread::sleep_until(nextByte);
            }
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else {
            pollfd pfd{master_, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
    }
    const std::lock_guard lock(timingMutex_);
    lastSendEnd_ = TClock::now();
    awaitingFirstByte_ = true;
}

void TDasStandIn::WriteControl(uint8_t kind, uint8_t sequence)
{
    WriteRaw(das::EncodeControl(kind, sequence));
}

void TDasStandIn::WriteData(uint8_t sequence, uint8_t flags, uint32_t timeMs,
                            const std::vector<das::TSegment>& segments)
{
    WriteRaw(das::EncodeData(sequence, flags, timeMs, segments));
}

QByteArray TDasStandIn::TakeHostBytes()
{
    const std::lock_guard lock(inMutex_);
    QByteArray bytes;
    bytes.swap(hostBytes_);
    return bytes;
}

bool TDasStandIn::WaitForHostBytes(qsizetype count, int timeoutMs) const
{
    std::unique_lock lock(inMutex_);
    return inChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return hostBytes_.size() >= count; });
}

std::vector<double> TDasStandIn::TurnaroundTimes() const
{
    const std::lock_guard lock(timingMutex_);
    return turnarounds_;
}

uint32_t TDasStandIn::TimeMs() const
{
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start_).count());
}

void TDasStandIn::Run()
{
    while (running_) {
        const int level = protocol_;
        if (silent_ || level == 0) {
            ReadHost(5);
        } else if (level == 2) {
            RunLevel2();
        } else {
            RunLevel1(TClock::now());
        }
    }
}

void TDasStandIn::ReadHost(int timeoutMs)
{
    pollfd pfd{master_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0 || (pfd.revents & POLLIN) == 0) {
        EchoHostBytes(nullptr, 0, true);
        return;
    }
    char raw[4096];
    const ssize_t n = ::read(master_, raw, sizeof raw);
    if (n <= 0) {
        return;
    }
    EchoHostBytes(raw, n, false);
    const auto now = TClock::now();
    {
        const std::lock_guard lock(timingMutex_);
        if (awaitingFirstByte_) {
            awaitingFirstByte_ = false;
            turnarounds_.push_back(
                std::chrono::duration<double, std::micro>(now - lastSendEnd_).count());
        }
    }
    lastByteIn_ = now;
    QByteArray bytes;
    {
        const std::lock_guard lock(faultMutex_);
        bytes = Spoil(raw, n, inRng_);
    }
    if (silent_) {
        return;
    }
    if (protocol_ == 0) {
        const std::lock_guard lock(inMutex_);
        hostBytes_.append(bytes.constData(), bytes.size());
        inChanged_.notify_all();
        return;
    }
    parser_.Feed(bytes);
}

namespace {

void FlipBit(QByteArray& bytes, qsizetype at) { bytes[at] = static_cast<char>(bytes[at] ^ 0x01); }

}  // namespace

void TDasStandIn::EchoHostBytes(const char* bytes, qsizetype n, bool flush)
{
    if (!echo_) {
        echoHeld_.clear();
        return;
    }
    echoHeld_.append(bytes, n);
    QByteArray out = echoSpoilEvery_ > 0 ? TakeEchoFrames() : QByteArray();
    if (echoSpoilEvery_ <= 0 || flush) {
        out += echoHeld_;
        echoHeld_.clear();
    }
    const std::lock_guard writeLock(writeMutex_);
    for (qsizetype done = 0; done < out.size();) {
        const ssize_t w =
            ::write(master_, out.constData() + done, static_cast<size_t>(out.size() - done));
        if (w < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        done += std::max<ssize_t>(w, 0);
    }
}

QByteArray TDasStandIn::TakeEchoFrames()
{
    QByteArray out;
    for (;;) {
        const qsizetype length = das::FrameLength(echoHeld_, 0);
        if (length == 0) {
            return out;
        }
        const bool ackd = length == 6 && echoHeld_[2] == 3;
        const qsizetype riding = ackd ? das::FrameLength(echoHeld_, 6) : -1;
        if (ackd && riding == 0) {
            return out;
        }
        const bool answer = riding > 0 && echoHeld_[7] == '1';
        QByteArray frames = echoHeld_.left(answer ? 6 + riding : std::max<qsizetype>(length, 1));
        if (answer && ++spoilableAnswers_ % static_cast<uint32_t>(echoSpoilEvery_) == 0) {
            // From the ACKd's start or the end of its CRC, the payload's first byte or the end
            // of the data packet's CRC.
            const qsizetype places[] = {0, 5, std::min<qsizetype>(6 + 16, frames.size() - 3),
                                        frames.size() - 1};
            const qsizetype at = places[(spoilableAnswers_ / echoSpoilEvery_ - 1) % 4];
            FlipBit(frames, at);
            if (echoSpoilBytes_ > 1) {
                FlipBit(frames, at == 5 || at == frames.size() - 1 ? at - 1 : at + 1);
            }
            ++spoiltEchoes;
        }
        out += frames;
        echoHeld_.remove(0, frames.size());
    }
}

// Takes the next packet's worth of queued channel data into current_. Caller holds outMutex_.
bool TDasStandIn::BuildNextPacket()
{
    if (outQueue_.empty()) {
        return false;
    }
    std::vector<das::TSegment> segments;
    int room = maxPayload_;
    while (!outQueue_.empty() && segments.size() < 4 && room > 0) {
        das::TSegment& head = outQueue_.front();
        if (head.bytes.isEmpty()) {
            // An end marker travels as a segment of its own at the start of a packet.
            if (segments.empty()) {
                segments.push_back(head);
                outQueue_.pop_front();
            }
            break;
        }
        const int n = std::min<int>(room, static_cast<int>(head.bytes.size()));
        segments.push_back({head.channel, head.bytes.left(n)});
        head.bytes.remove(0, n);
        room -= n;
        if (head.bytes.isEmpty()) {
            outQueue_.pop_front();
        }
    }
    currentSequence_ = nextSequence_++;
    current_ = das::EncodeData(currentSequence_, 0, TimeMs(), segments);
    currentSentOnce_ = false;
    return true;
}

void TDasStandIn::SendPacket(const QByteArray& bytes, bool firstSending)
{
    const int64_t delay = turnaroundUs_;
    if (delay > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
    }
    errorSeen_ = false;
    const int64_t gap = packetGapUs_;
    qsizetype cut = 0;
    if (firstSending && gap > 0) {
        cut = 1;
        // A data packet's payload starts behind its 16-byte header.
        if (packetsCut_++ % 2 == 1) {
            for (qsizetype i = 16; i + 1 < bytes.size() - 2; ++i) {
                if (bytes[i] == '\n' && bytes[i + 1] >= '0' && bytes[i + 1] <= '9') {
                    cut = i + 2;
                    break;
                }
            }
        }
    }
    if (cut > 0) {
        WriteRaw(bytes.left(cut));
        std::this_thread::sleep_for(std::chrono::microseconds(gap));
        WriteRaw(bytes.mid(cut));
    } else {
        WriteRaw(bytes);
    }
    awaiting_ = true;
    answerDeadline_ = TClock::now() + std::chrono::milliseconds(answerMs_.load());
}

void TDasStandIn::SendCurrentPacket(bool resend)
{
    QByteArray packet;
    bool first = false;
    {
        const std::lock_guard lock(outMutex_);
        packet = current_;
        first = !currentSentOnce_ && !resend;
        if (currentSentOnce_ || resend) {
            ++resends;
        }
        currentSentOnce_ = true;
    }
    ++dataPacketsSent;
    SendPacket(packet, first);
}

void TDasStandIn::FinishExchange()
{
    awaiting_ = false;
    nextPoll_ = TClock::now() + std::chrono::milliseconds(pollMs_.load());
}

void TDasStandIn::Retry()
{
    parser_.Clear();
    errorSeen_ = false;
    awaiting_ = false;
    nextPoll_ = TClock::now();
}

void TDasStandIn::RunLevel1(TClock::time_point now)
{
    if (!awaiting_) {
        bool haveData = false;
        {
            const std::lock_guard lock(outMutex_);
            haveData = !current_.isEmpty() || BuildNextPacket();
        }
        if (haveData) {
            SendCurrentPacket(false);
        } else if (now >= nextPoll_) {
            ++polls;
            SendPacket(das::EncodeControl(0, 0));
        }
    }
    ReadHost(1);
    while (std::optional<das::TFrame> frame = parser_.Next()) {
        HandleFrameLevel1(*frame);
    }
    if (!awaiting_) {
        return;
    }
    now = TClock::now();
    // A line quiet this long after a bad or partial frame has nothing more coming.
    const bool quiet = now - lastByteIn_ >= std::chrono::milliseconds(quietMs_.load());
    if ((errorSeen_ || parser_.Pending() > 0) && quiet) {
        if (parser_.Pending() > 0) {
            ++badFrames;
        }
        Retry();
    } else if (now >= answerDeadline_) {
        Retry();
    }
}

void TDasStandIn::HandleFrameLevel1(const das::TFrame& frame)
{
    using TKind = das::TFrame::TKind;
    if (frame.kind == TKind::Bad) {
        ++badFrames;
        errorSeen_ = true;
        return;
    }
    if (frame.kind == TKind::Data) {
        const int every = repeatAckEvery_;
        if (every > 0 && lastHostSequence_ >= 0 && ++hostPacketsSeen_ % every == 0) {
            // Lost on the line: the last acknowledgement comes again instead.
            ++repeatedAcks;
            SendPacket(das::EncodeControl(1, static_cast<uint8_t>(lastHostSequence_)));
            return;
        }
        HandleHostData(frame);
        AnswerHostData(frame.sequence);
        return;
    }
    if (!awaiting_) {
        ++unaskedAnswers;
    }
    switch (frame.controlKind) {
    case 1:    // ACK
    case 3: {  // ACKd: the host's own packet follows
        bool mine = false;
        {
            const std::lock_guard lock(outMutex_);
            mine = !current_.isEmpty() && frame.sequence == currentSequence_;
            if (mine) {
                current_.clear();
            }
        }
        if (mine && frame.controlKind == 1) {
            FinishExchange();
        } else if (mine) {
            answerDeadline_ = TClock::now() + std::chrono::milliseconds(answerMs_.load());
        }
        break;
    }
    case 0: {  // NAK: resend what is unacknowledged, else the host has nothing
        bool pending = false;
        {
            const std::lock_guard lock(outMutex_);
            pending = !current_.isEmpty();
        }
        if (pending) {
            awaiting_ = false;
        } else {
            FinishExchange();
        }
        break;
    }
    default:
        break;
    }
}

void TDasStandIn::AnswerHostData(uint8_t sequence)
{
    QByteArray packet;
    {
        const std::lock_guard lock(outMutex_);
        if (!current_.isEmpty() || BuildNextPacket()) {
            packet = current_;
            if (currentSentOnce_) {
                ++resends;
            }
            currentSentOnce_ = true;
        }
    }
    if (packet.isEmpty()) {
        SendPacket(das::EncodeControl(1, sequence));
        return;
    }
    ++dataPacketsSent;
    bool noisy = false;
    {
        const std::lock_guard lock(faultMutex_);
        noisy = corruptShare_ > 0 || dropShare_ > 0 || writeShare_ > 0;
    }
    if (noisy) {
        // One write, so that no NAK of a spoiled ACKd can cross the data on its way.
        SendPacket(das::EncodeControl(3, sequence) + packet);
        return;
    }
    // The data follows the ACKd a moment later, as on a serial line, so that the host takes
    // each in its own read.
    SendPacket(das::EncodeControl(3, sequence));
    SendPacket(packet);
}

void TDasStandIn::HandleHostData(const das::TFrame& frame)
{
    const bool repeat = frame.sequence == lastHostSequence_ &&
                        (frame.flags & 0x01) == 0;
    lastHostSequence_ = frame.sequence;
    if (repeat) {
        ++hostDuplicates;
        return;
    }
    ++hostPacketsAccepted;
    for (size_t i = 0; i < frame.segments.size(); ++i) {
        const das::TSegment& segment = frame.segments[i];
        if (!segment.bytes.isEmpty() || i == 0) {
            Deliver(segment.channel, segment.bytes);
        }
        if (segment.bytes.isEmpty()) {
            break;
        }
    }
}

void TDasStandIn::Deliver(uint8_t channel, const QByteArray& bytes)
{
    TChannelHandler handler;
    {
        const std::lock_guard lock(inMutex_);
        received_[channel].append(bytes);
        const auto it = handlers_.find(channel);
        if (it != handlers_.end()) {
            handler = it->second;
        }
        inChanged_.notify_all();
    }
    if (handler) {
        handler(bytes);
    }
}

void TDasStandIn::RunLevel2()
{
    QByteArray packet;
    {
        const std::lock_guard lock(outMutex_);
        if (BuildNextPacket()) {
            packet = current_;
            current_.clear();
        }
    }
    if (!packet.isEmpty()) {
        ++dataPacketsSent;
        WriteRaw(packet);
    }
    ReadHost(packet.isEmpty() ? 5 : 0);
    while (std::optional<das::TFrame> frame = parser_.Next()) {
        if (frame->kind == das::TFrame::TKind::Data) {
            // A host still at level 1 repeats its unacknowledged packet with every answer.
            HandleHostData(*frame);
        } else if (frame->kind == das::TFrame::TKind::Bad) {
            ++badFrames;
        }
    }
}
