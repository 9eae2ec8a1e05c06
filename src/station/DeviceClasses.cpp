#include "station/DeviceClasses.h"

#include "link/Global.h"
#include "link/MuxClasses.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "station/CommandBlocks.h"

bool ConfigurationChanged = false;
const char* const kModelSectionNames[2] = {"Pelagrix", "Corvane"};

namespace {

bool HasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// What a capture name is made from when the device's name has no character to keep.
const QString kUnnamedCaptureBase = QStringLiteral("Device");

// The fixed-width settings texts keep at most 8 characters.
QString FixedText(const QString& text) { return text.left(kPortSettingsChars); }

}  // namespace

QString DefaultCaptureDestName(const QString& deviceName)
{
    QString clean = MakeValidName(deviceName);
    // An empty folder part would put the file at the root of the capture folder.
    if (clean.isEmpty()) {
        clean = kUnnamedCaptureBase;
    }
    return clean.left(8) + QLatin1Char('\\') + (clean + QLatin1Char('_')).left(5) +
           QStringLiteral("000.RAW");
}

TDevice::TDevice(TPort* port, TDeviceListItem* item, TDevices* owner) : owner_(owner), item_(item)
{
    if (item_ != nullptr) {
        name_ = item_->Caption();
        const int index = item_->Index();
        left_ = kTerminalCascadePixels * index;
        top_ = kTerminalCascadePixels * index;
        QStringList subItems;
        for (int i = 0; i < kDeviceSubItemCount; ++i) {
            subItems << QString();
        }
        subItems[kColPort - 1] = QStringLiteral("______");
        item_->SetSubItems(subItems);
        item_->SetStateIndex(0);
        item_->SetImageIndex(-1);
        item_->SetData(this);
    }
    nextPollTime_ = NowDateTime();
    captureDestOther_ = port != nullptr ? port->GetHostChannel() : 0;
    captureDestName_ = DefaultCaptureDestName(GetName());
    captureFilePath_ = MakeNumberedFileName(captureDestName_, owner_ ? owner_->FileSeqNum() : 0);
    // Attached last, so the terminal window it makes finds every setting in place.
    SetPort(port);
}

TDevice::TDevice(const TDevice& device) : IChannelDevice()
{
    CopyFields(device, true);
    copy_ = true;
}

TDevice::~TDevice()
{
    if (!copy_) {
        SetPort(nullptr);
    }
}

void TDevice::Assign(const TDevice& device) { CopyFields(device, copy_); }

void TDevice::CopyFields(const TDevice& d, bool runTimeState)
{
    owner_ = d.owner_;
    item_ = d.item_;
    imageIndex_ = d.imageIndex_;
    image_ = d.image_;
    height_ = d.height_;
    left_ = d.left_;
    top_ = d.top_;
    width_ = d.width_;
    windowState_ = d.windowState_;
    visible_ = d.visible_;
    port_ = d.port_;
    portBaud_ = d.portBaud_;
    portSettings_ = d.portSettings_;
    echoSerial_ = d.echoSerial_;
    echoBaud_ = d.echoBaud_;
    echoSettings_ = d.echoSettings_;
    echoFlow_ = d.echoFlow_;
    powerOnCmd_ = d.powerOnCmd_;
    powerOnCmdWait_ = d.powerOnCmdWait_;
    cmdPowerOn_ = d.cmdPowerOn_;
    powerOffCmd_ = d.powerOffCmd_;
    powerOffCmdWait_ = d.powerOffCmdWait_;
    cmdPowerOff_ = d.cmdPowerOff_;
    collectionType_ = d.collectionType_;
    packetPause_ = d.packetPause_;
    cmdGetData_ = d.cmdGetData_;
    cmdStart_ = d.cmdStart_;
    cmdStartDelay_ = d.cmdStartDelay_;
    cmdStop_ = d.cmdStop_;
    cmdStopDelay_ = d.cmdStopDelay_;
    startDataCapture_ = d.startDataCapture_;
    startAfterDelay_ = d.startAfterDelay_;
    cmdGetSavedData_ = d.cmdGetSavedData_;
    stopDataCapture_ = d.stopDataCapture_;
    stopAfterDelay_ = d.stopAfterDelay_;
    startPrefix_ = d.startPrefix_;
    stopSuffix_ = d.stopSuffix_;
    prefix_ = d.prefix_;
    suffix_ = d.suffix_;
    dateStampInfix_ = d.dateStampInfix_;
    dateStampFormat_ = d.dateStampFormat_;
    timeStampInfix_ = d.timeStampInfix_;
    captureDest_ = d.captureDest_;
    captureDestOther_ = d.captureDestOther_;
    captureDestName_ = d.captureDestName_;
    captureFilePath_ = d.captureFilePath_;
    captureDestAppend_ = d.captureDestAppend_;
    doAveraging_ = d.doAveraging_;
    avgNumSamples_ = d.avgNumSamples_;
    avgPause_ = d.avgPause_;
    freqDuration_ = d.freqDuration_;
    name_ = d.name_;
    if (runTimeState) {
        nextPollTime_ = d.nextPollTime_;
        captureOn_ = d.captureOn_;
        dataOn_ = d.dataOn_;
        busy_ = d.busy_;
    }
}

bool TDevice::OwnsChannel(const TPort* port) const
{
    if (copy_ || port == nullptr || !port->HasHostChannel() || MuxArray == nullptr) {
        return false;
    }
    TMux* mux = MuxArray->GetChannel(static_cast<uint8_t>(port->GetHostChannel()));
    return mux != nullptr && mux->GetDevice() == this;
}

void TDevice::FreeChannel(const TPort* port)
{
    if (OwnsChannel(port)) {
        MuxArray->RemoveChannel(static_cast<uint8_t>(port->GetHostChannel()));
    }
}

void TDevice::AttachChannel()
{
    if (copy_ || port_ == nullptr || !port_->HasHostChannel() || MuxArray == nullptr) {
        return;
    }
    const auto channel = static_cast<uint8_t>(port_->GetHostChannel());
    TMux* mux = MuxArray->GetChannel(channel);
    const bool made = mux == nullptr;
    if (made) {
        mux = MuxArray->AddChannel(channel, static_cast<IChannelDevice*>(this));
    }
    // A fixed channel or another device's channel is left exactly as it is.
    if (mux == nullptr || mux->GetDevice() != this) {
        return;
    }
    mux->SetName(GetName());
    if (!made || mux->GetWindow() == nullptr) {
        mux->SetWindow(nullptr);  // closes the old window, makes the device's new one
    }
}

void TDevice::SetPort(TPort* port)
{
    // A working copy only notes the port: the port and its channel stay the live device's.
    if (copy_) {
        port_ = port;
        return;
    }
    TPort* old = port_;
    if (old != nullptr && old->GetDevice() == this) {
        old->SetDevice(nullptr);
    }
    const bool sameChannel = old != nullptr && port != nullptr && port->HasHostChannel() &&
                             old->GetHostChannel() == port->GetHostChannel();
    if (!sameChannel) {
        FreeChannel(old);
    }
    port_ = port;
    if (port_ != nullptr) {
        port_->SetDevice(this);
        AttachChannel();
    }
    if (owner_ != nullptr) {
        owner_->UpdateAllItems();
    }
}

int TDevice::GetHostChannel() const { return port_ != nullptr ? port_->GetHostChannel() : 0; }

TMux* TDevice::GetMux() const
{
    if (port_ == nullptr || !port_->HasHostChannel() || MuxArray == nullptr) {
        return nullptr;
    }
    TMux* mux = MuxArray->GetChannel(static_cast<uint8_t>(port_->GetHostChannel()));
    if (mux == nullptr || mux->GetDevice() == nullptr) {
        return nullptr;
    }
    if (mux->GetDevice() == this) {
        return mux;
    }
    // A working copy reaches the channel of the device it was copied from.
    const auto* original = dynamic_cast<const TDevice*>(mux->GetDevice());
    return copy_ && original != nullptr && original->GetPort() == port_ ? mux : nullptr;
}

IDeviceTerminal* TDevice::GetTerminal() const
{
    TMux* mux = GetMux();
    return mux != nullptr ? dynamic_cast<IDeviceTerminal*>(mux->GetWindow()) : nullptr;
}

QString TDevice::GetName() const { return item_ != nullptr ? item_->Caption() : QString(); }

bool TDevice::SetName(const QString& name)
{
    if (!TDevices::AcceptName(name)) {
        RestoreItemCaption();
        return false;
    }
    if (name != name_) {
        ConfigurationChanged = true;
    }
    name_ = name;
    if (item_ != nullptr) {
        item_->SetCaption(name);
    }
    if (TMux* mux = GetMux()) {
        mux->SetName(name);
    }
    return true;
}

bool TDevice::SetName() { return SetName(GetName()); }

void TDevice::RestoreItemCaption()
{
    if (item_ == nullptr) {
        return;
    }
    TMux* mux = GetMux();
    item_->SetCaption(mux != nullptr ? mux->GetName() : name_);
}

bool TDevice::IsSelected() const { return item_ != nullptr && item_->Selected(); }

void TDevice::SetSelected(bool selected)
{
    if (item_ != nullptr) {
        item_->SetSelected(selected);
    }
}

int TDevice::GetDataPriority() const { return owner_ != nullptr ? owner_->IndexOf(this) + 1 : 0; }

void TDevice::SetDataPriority(int position)
{
    if (owner_ == nullptr || GetDataPriority() == 0 || position < 1 || position > owner_->Count()) {
        return;
    }
    owner_->Move(this, position - 1);
    owner_->UpdateAllItems();
}

int TDevice::GetPowerOnPriority() const
{
    return port_ != nullptr ? port_->GetOwner().GetPowerOnPriority(port_) : 0;
}

void TDevice::SetPowerOnPriority(int position)
{
    if (port_ == nullptr) {
        return;
    }
    port_->GetOwner().SetPowerOnPriority(port_, position);
    // Every row's position can change with a move, not only this one's.
    if (owner_ != nullptr) {
        owner_->UpdateAllItems();
    } else {
        UpdateListItem();
    }
}

int TDevice::GetPowerOnDelay() const
{
    return port_ != nullptr ? port_->GetOwner().GetPowerOnDelay(port_) : 0;
}

void TDevice::SetPowerOnDelay(int hundredths)
{
    if (port_ != nullptr) {
        port_->GetOwner().SetPowerOnDelay(port_, hundredths);
    }
}

void TDevice::RestoreWindow(IDeviceTerminal& terminal) const
{
    terminal.SetCaption(GetName());
    terminal.SetWindowGeometry(QRect(left_, top_, width_, height_));
    terminal.SetWindowState(windowState_);
    terminal.SetWindowVisible(visible_);
    terminal.SetViewSplit(0.0);
    terminal.SetHexWrap(16);
    terminal.SetHexWrapString(QStringLiteral("0D0A"));
}

void TDevice::SetImageIndex(int index)
{
    if (item_ != nullptr) {
        item_->SetImageIndex(index);
    }
}

void TDevice::ResetPollTime() { nextPollTime_ = NowDateTime(); }

void TDevice::UpdateCaptureFilePath()
{
    // A running capture keeps the name it was started with.
    TMux* mux = GetMux();
    if (mux == nullptr || mux->HasCaptureFile()) {
        return;
    }
    captureFilePath_ =
        MakeNumberedFileName(captureDestName_, owner_ != nullptr ? owner_->FileSeqNum() : 0);
    UpdateListItem();
}

void TDevice::SetPortActivity()
{
    if (port_ != nullptr) {
        port_->SetActivity();
    }
}

void TDevice::SetDataActive(bool active)
{
    dataOn_ = active;
    if (active) {
        ResetPollTime();
    }
    UpdateListItem();
}

void TDevice::SetBusy(bool busy)
{
    busy_ = busy;
    if (imageIndex_ >= 0) {
        SetImageIndex(busy ? imageIndex_ + 1 : imageIndex_);
    }
}

void TDevice::SetCaptureOn(bool on)
{
    captureOn_ = on;
    UpdateListItem();
}

TCaptureTarget TDevice::CaptureTarget() const
{
    TCaptureTarget target;
    // Only the two PC destinations capture on the PC, and only while the station captures to
    // the host; a numbered capture always starts a new file.
    const bool toHost = owner_ == nullptr || owner_->GetCaptureToHost();
    target.onPc = toHost && (captureDest_ == 2 || captureDest_ == 3);
    target.append = captureDest_ == 3 && captureDestAppend_;
    target.numbered = captureDest_ == 2;
    const QString dir = owner_ != nullptr ? owner_->GetCaptureDir() : QString();
    target.fileName = dir + (captureDest_ == 2 ? captureFilePath_ : captureDestName_);
    return target;
}

void TDevice::CaptureStopped()
{
    if (owner_ == nullptr || !owner_->ArchivePlaying()) {
        UpdateCaptureFilePath();
    }
}

TChannelSerialSettings TDevice::EchoSettings() const
{
    TChannelSerialSettings echo;
    echo.port = echoSerial_ > 0 ? echoSerial_ : 0;
    echo.baud = echoBaud_;
    echo.settings = echoSettings_;
    echo.flow = echoFlow_;
    return echo;
}

TChannelPortInfo TDevice::PortInfo() const
{
    TChannelPortInfo info;
    info.hasPort = port_ != nullptr;
    if (port_ != nullptr) {
        info.isSerial = port_->IsSerial();
        info.isPcSerial = port_->IsPCSerial();
        info.serialPortNumber = port_->GetSerialPort();
    }
    info.baud = portBaud_;
    info.settings = portSettings_;
    return info;
}

bool TDevice::SetLine(QString& field, const QString& value)
{
    if (HasLineBreak(value)) {
        return false;
    }
    field = value;
    return true;
}

QStringList TDevice::CommandLines(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines) {
        // An empty line is a line of the block; a final line break adds none.
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'))) {
            result << SplitBlockLines(line);
        } else {
            result << line;
        }
    }
    return result;
}

bool TDevice::SetImage(const QString& path) { return SetLine(image_, path); }

bool TDevice::SetPortSettings(const QString& v)
{
    return !HasLineBreak(v) && SetLine(portSettings_, FixedText(v));
}

bool TDevice::SetEchoSettings(const QString& v)
{
    return !HasLineBreak(v) && SetLine(echoSettings_, FixedText(v));
}

bool TDevice::SetCaptureDestName(const QString& v)
{
    if (!IsSafeRelativePath(v) || !SetLine(captureDestName_, v)) {
        return false;
    }
    UpdateCaptureFilePath();
    return true;
}
