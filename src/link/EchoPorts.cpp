// The two kinds of PC serial port that hang off a device's channel: the echo port, which
// copies the channel's data out of a PC COM port and sends what arrives there back to the
// device, and the PC device port of an instrument wired to the PC instead of the DAS.

#include <QByteArray>
#include <algorithm>
#include <atomic>
#include <cerrno>

#include "link/Das.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "link/Thdserialcomm.h"
#include "platform/Prompt.h"
#include "platform/SerialPort.h"
#include "platform/UiPost.h"

namespace {

const QString kOpenTitle = QStringLiteral("System Error: Could Not Open Comm Port");
const char* const kPcPortError = "PC Port Device Error on Host Channel# ";

// An echo port: the COM port and the reader thread on it. Destroying it stops and joins the
// reader before the port is closed. UI thread.
class TEchoPort final : public IEchoPort {
public:
    TEchoPort(TMux& mux, TCommHandle handle) : mux_(mux), handle_(std::move(handle)) {}

    ~TEchoPort() override
    {
        reader_.reset();
        CloseCommPort(handle_);
    }

    TEchoPort(const TEchoPort&) = delete;
    TEchoPort& operator=(const TEchoPort&) = delete;

    // Starts the reader; false with errno set when it cannot run.
    bool Start()
    {
        TThdSerialComm::TCallbacks callbacks;
        TMux* mux = &mux_;
        callbacks.onReceive = [mux](const char* bytes, int count) { mux->OnEchoData(bytes, count); };
        callbacks.onBreak = [mux](bool on) { mux->OnEchoBreak(on); };
        callbacks.onLineError = [this] { PostLineError(); };
        callbacks.onStopped = [mux] { mux->OnEchoError(true); };
        reader_ = std::make_unique<TThdSerialComm>(*handle_.Port(), std::move(callbacks));
        return reader_->Start();
    }

    bool WritePort(const char* bytes, int count) override
    {
        return reader_ != nullptr && reader_->WritePort(bytes, count);
    }

private:
    // Reader thread. One box at a time: bad bytes tend to come in bursts.
    void PostLineError()
    {
        if (lineErrorPosted_.exchange(true)) {
            return;
        }
        std::weak_ptr<char> life = life_;
        PostToUi([this, life] {
            if (life.expired()) {
                return;
            }
            mux_.OnEchoError(false);
            // The box may have run while the echo port was closed.
            if (!life.expired()) {
                lineErrorPosted_.store(false);
            }
        });
    }

    TMux& mux_;
    TCommHandle handle_;
    std::unique_ptr<TThdSerialComm> reader_;
    std::atomic<bool> lineErrorPosted_{false};
    std::shared_ptr<char> life_ = std::make_shared<char>(0);
};

// A PC device port on a port of the serial module. Its own lock lets any thread use it.
class TCommPcPort final : public IPcDevicePort {
public:
    TCommPcPort() = default;
    ~TCommPcPort() override { CloseCommPort(handle_); }
    TCommPcPort(const TCommPcPort&) = delete;
    TCommPcPort& operator=(const TCommPcPort&) = delete;

    bool Open(int comPort, int baud, const QString& settings)
    {
        if (comPort < 1 || comPort > 0xFFFF || baud < 0) {
            errno = EINVAL;
            return false;
        }
        return OpenCommPort(handle_, static_cast<uint16_t>(comPort), static_cast<uint32_t>(baud),
                            settings, 0, true, false);
    }

    int Read(char* dest, int size) override
    {
        std::lock_guard lock(mutex_);
        uint32_t count = static_cast<uint32_t>(std::max(size, 0));
        if (!ReadCommPort(handle_, reinterpret_cast<uint8_t*>(dest), count)) {
            return -1;
        }
        // A line that hung up reads as empty for ever: that is a failed port.
        if (count == 0 && handle_.Port() != nullptr && handle_.Port()->HungUp()) {
            errno = EIO;
            return -1;
        }
        return static_cast<int>(count);
    }

    bool Write(const char* bytes, int count) override
    {
        std::lock_guard lock(mutex_);
        return WriteCommPort(handle_, reinterpret_cast<const uint8_t*>(bytes),
                             static_cast<uint32_t>(std::max(count, 0)));
    }

    void SetBreak(bool on) override
    {
        std::lock_guard lock(mutex_);
        if (on) {
            SetDasBreak(handle_);
        } else {
            ClearDasBreak(handle_);
        }
    }

private:
    std::mutex mutex_;
    TCommHandle handle_;
};

}  // namespace

// --- Echo port ---

void TMux::ToggleEcho()
{
    if (device_ == nullptr) {
        return;
    }
    if (IsEchoOpen()) {
        CloseEcho();
    } else if (device_->EchoSettings().port > 0) {
        OpenEcho();
    } else {
        CloseEcho();
    }
    EchoStateChanged();
}

void TMux::OpenEcho()
{
    if (device_ == nullptr || echoPort_ != nullptr) {
        return;
    }
    const TChannelSerialSettings echo = device_->EchoSettings();
    if (echo.port <= 0 || echo.port > 0xFFFF) {
        return;
    }
    TCommHandle handle;
    if (!OpenCommPort(handle, static_cast<uint16_t>(echo.port),
                      static_cast<uint32_t>(std::max(echo.baud, 0)), echo.settings, echo.flow,
                      false, true)) {
        const int error = errno;
        if (IsAccessDeniedError(error)) {
            ShowMessage(QStringLiteral("Can not echo to Serial Port ") +
                        QString::number(echo.port) + QStringLiteral(" for ") +
                        device_->GetName() + EchoPortHolder(echo.port));
        } else {
            ShowSystemError(kOpenTitle, error);
        }
        return;
    }
    // The reader reads this copy, so it never asks the device from its own thread.
    echoPortInfo_ = device_->PortInfo();
    auto port = std::make_unique<TEchoPort>(*this, std::move(handle));
    if (!port->Start()) {
        ShowSystemError(kOpenTitle, errno);
        return;
    }
    echoPort_ = std::move(port);
}

QString TMux::EchoPortHolder(int port) const
{
    const QString usedBy = QStringLiteral(".\r\nPort is being used ");
    for (int i = 0; i < owner_->Count(); ++i) {
        const TMux* other = owner_->Items(i);
        if (other != this && other->device_ != nullptr && other->IsEchoOpen() &&
            other->device_->EchoSettings().port == port) {
            return usedBy + QStringLiteral("by ") + other->device_->GetName();
        }
    }
    if (port == Host.DasPort()) {
        return usedBy + QStringLiteral("by the DAS");
    }
    const IPortTableLookup* table = owner_->PortTableLookup();
    if (table != nullptr &&
        table->HasPortNamed(QStringLiteral("COM") + QString::number(port) + QStringLiteral(":"))) {
        return usedBy + QStringLiteral("as a Device Port");
    }
    return usedBy + QStringLiteral("by another program");
}

void TMux::EchoStateChanged()
{
    if (device_ != nullptr) {
        Host.LinkUi().RefreshDeviceRow(*device_);
    }
    Host.UpdateActions();
    if (window_ != nullptr) {
        window_->ChannelStateChanged();
    }
}

void TMux::OnEchoData(const char* bytes, int count)
{
    if (count <= 0 || WritePcPortIfOpen(bytes, count) != TPcWrite::NoPort) {
        return;
    }
    for (int sent = 0; sent < count;) {
        const int part = std::min(count - sent, 0xFFFF);
        Host.SendToChannel(channel_, bytes + sent, static_cast<uint16_t>(part));
        sent += part;
    }
}

void TMux::OnEchoBreak(bool on)
{
    const TChannelPortInfo& info = echoPortInfo_;
    if (device_ == nullptr || !info.hasPort) {
        return;
    }
    if (info.isPcSerial) {
        std::lock_guard lock(pcPortLock_);
        if (pcPort_ != nullptr) {
            pcPort_->SetBreak(on);
            return;
        }
    }
    if (info.isSerial) {
        // The static sender builds the command in its own buffer: this runs beside the UI
        // thread's commands.
        const QString command = QString::fromLatin1(on ? "SETBREAK " : "CLEARBREAK ") +
                                QString::number(info.serialPortNumber);
        TDas::QueueCommand(command, 0, SendQueue);
    }
}

void TMux::OnEchoError(bool major)
{
    const int port = device_ != nullptr ? device_->EchoSettings().port : 0;
    const QString device = device_ != nullptr ? device_->GetName() : name_;
    if (major) {
        // Closed before the box: the channel's data must not go on into a dead port meanwhile.
        CloseEcho();
        EchoStateChanged();
        ShowMessage(QStringLiteral("Major Error on Echo Serial Port ") + QString::number(port) +
                    QStringLiteral(" for ") + device + QStringLiteral(".\r\nPort will be closed."));
    } else {
        ShowMessage(QStringLiteral("Serial error on Echo Port ") + QString::number(port) +
                    QStringLiteral(" for ") + device +
                    QStringLiteral(".\r\nSome bad data may have been received."));
    }
}

// --- PC device port ---

void TMux::SetPcPort(std::unique_ptr<IPcDevicePort> port)
{
    std::lock_guard lock(pcPortLock_);
    pcPort_ = std::move(port);
    pcPortFailed_ = false;
}

void TMux::ClosePcPort()
{
    // Closed under the lock, so no other thread is inside a read or write of it.
    std::lock_guard lock(pcPortLock_);
    pcPort_.reset();
    pcPortFailed_ = false;
}

bool TMux::OpenPcPort(int comPort)
{
    if (device_ == nullptr) {
        return false;
    }
    ClosePcPort();
    const TChannelPortInfo info = device_->PortInfo();
    auto port = std::make_unique<TCommPcPort>();
    if (!port->Open(comPort, info.baud, info.settings)) {
        // Also reached from the DAS's control text inside a service pass: posted there.
        PostMessageBox(ApplicationTitle(),
                       QStringLiteral("Error opening Serial Port ") + QString::number(comPort),
                       TMsgIcon::None);
        return false;
    }
    SetPcPort(std::move(port));
    return true;
}

bool TMux::WritePcPort(const char* bytes, int count)
{
    return WritePcPortIfOpen(bytes, count) == TPcWrite::Written;
}

bool TMux::ForwardToPcPort(const char* bytes, int count)
{
    return WritePcPortIfOpen(bytes, count) != TPcWrite::NoPort;
}

TMux::TPcWrite TMux::WritePcPortIfOpen(const char* bytes, int count)
{
    {
        std::lock_guard lock(pcPortLock_);
        if (pcPort_ == nullptr) {
            return TPcWrite::NoPort;
        }
        // A failure is being reported and the port is about to close: nothing more goes in.
        if (pcPortFailed_) {
            return TPcWrite::Failed;
        }
        if (count <= 0 || pcPort_->Write(bytes, count)) {
            return TPcWrite::Written;
        }
        pcPortFailed_ = true;
    }
    if (IsUiThread()) {
        ClosePcPortIfFailed();
    } else {
        std::weak_ptr<char> life = life_;
        PostToUi([this, life] {
            if (!life.expired()) {
                ClosePcPortIfFailed();
            }
        });
    }
    return TPcWrite::Failed;
}

void TMux::ClosePcPortIfFailed()
{
    {
        std::lock_guard lock(pcPortLock_);
        // A port closed (or replaced) since the failure was reported already.
        if (!pcPortFailed_) {
            return;
        }
        pcPort_.reset();
        pcPortFailed_ = false;
    }
    ReportChannelError(kPcPortError);
}

void TMux::PollPcPort()
{
    // Only the UI thread changes the port, so it may look without the lock.
    if (pcPort_ == nullptr) {
        return;
    }
    int n = 0;
    {
        std::lock_guard lock(pcPortLock_);
        if (pcPortFailed_) {
            return;
        }
        n = pcPort_->Read(scratch_.data(), static_cast<int>(kChannelRingBytes));
        if (n < 0) {
            pcPortFailed_ = true;
        }
    }
    if (n < 0) {
        ClosePcPortIfFailed();
        return;
    }
    if (n == 0) {
        return;
    }
    PushData(scratch_.data(), n);
    OnGetData(static_cast<uint32_t>(n));
    Host.ArchiveHostData(scratch_.data(), static_cast<uint32_t>(n), channel_);
    owner_->MarkPending(this);
}
