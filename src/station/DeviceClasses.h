#pragma once
// The instruments of the station: TDevice is one instrument wired to one port with all its
// settings, TDevices (global Devices) the configuration's list of them, whose order is the
// data priority, tied to the main window's device list.
//
// Threads: devices are made, changed, saved, loaded and deleted on the UI thread only; the
// host-side commands of the link reach them through posted calls (IChannelDevice).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/ChannelInterfaces.h"
#include "station/DeviceListModel.h"
#include "station/DeviceTerminal.h"
#include "station/PortClasses.h"

class TDevices;
class TMemIniFile;
class TMux;

// Set when the devices changed since the configuration was loaded or its devices saved.
// UI thread only.
extern bool ConfigurationChanged;

// The section names of the DAS models; no device may carry one of them as its name.
extern const char* const kModelSectionNames[2];

// One instrument on one DAS or PC port: its icon, terminal window geometry, serial and echo
// settings, power, data and capture commands and timings, data labels, capture destination
// and averaging options, plus its run-time state (data on, capture on, busy, next poll time).
class TDevice final : public IChannelDevice {
public:
    // UI thread. Made only by TDevices::Add: sets every default, attaches `port` (which gives
    // the device its host channel and terminal window) and fills the list row.
    TDevice(TPort* port, TDeviceListItem* item, TDevices* owner);
    // UI thread. A working copy for the setup wizard: every field copied, no channel made;
    // deleting it leaves the port and channel alone.
    TDevice(const TDevice& device);
    TDevice& operator=(const TDevice&) = delete;
    ~TDevice() override;

    // UI thread. Copies every setting of `device` (owner, row, icon, geometry, port and all
    // stored settings). A working copy also takes the run-time state; a live device keeps its
    // own data on, capture on, busy and poll time, which may have changed meanwhile.
    void Assign(const TDevice& device);
    bool IsCopy() const { return copy_; }
    TDevices* GetOwner() const { return owner_; }

    // Port and channel (UI thread).
    // Moves the device to `port` (null: off any port). A host channel is made for the new
    // port and given a fresh terminal window; the device deletes only a channel it made.
    // A working copy only notes the port; no port or channel learns of the copy.
    void SetPort(TPort* port);
    TPort* GetPort() const { return port_; }
    TDeviceListItem* GetListItem() const { return item_; }
    // The port's host channel, 0 without port.
    int GetHostChannel() const;
    // The device's channel (the one made for it), null without port or channel.
    TMux* GetMux() const;
    // The device's terminal window, or null.
    IDeviceTerminal* GetTerminal() const;

    // Name (UI thread): the caption of the device's list row.
    QString GetName() const override;
    // Renames the device, its channel and window. A reserved name or one holding a line
    // break is refused with a message (false; the caption shows the old name again).
    bool SetName(const QString& name);
    // Takes the name from the row's caption after an in-place edit.
    bool SetName();
    // Puts the channel's name back into the caption (after a refused rename).
    void RestoreItemCaption();

    bool IsSelected() const;
    void SetSelected(bool selected);

    // 1-based position in the owner's list (0 when not in it); moving refreshes every row.
    int GetDataPriority() const;
    void SetDataPriority(int position);
    // The power-on position and delay of the port's switch (0 without port).
    int GetPowerOnPriority() const;
    void SetPowerOnPriority(int position);
    int GetPowerOnDelay() const;
    void SetPowerOnDelay(int hundredths);

    // The terminal window asks for the device's settings when it is built.
    void RestoreWindow(IDeviceTerminal& terminal) const;

    // Settings persistence (UI thread). The INI object is changed in memory only.
    // Writes every setting into the section named after the device (nothing without port).
    void SaveSettings(TMemIniFile& ini) const;
    // Writes the terminal window's geometry as screen fractions (nothing without a window).
    void SaveWindowSettings(TMemIniFile& ini) const;
    // Reads the device's section (or `section` when given); `import` reads an instrument file
    // (port, icon and power switch settings untouched). Returns false when a configuration
    // load found no usable port: the message is shown and the device is deleted, so the
    // caller drops its pointer.
    bool LoadSettings(const TMemIniFile& ini, bool import, const QString& section = QString());

    // List row and icon (UI thread).
    void UpdateListItem();
    // Builds the device's icon and busy images from `Image`; returns the image index, -1
    // without owner or image list.
    int LoadIcon();
    // The text of the "Capture To" column.
    QString CaptureToText() const;

    // Run-time state (UI thread).
    bool GetDataOn() const { return dataOn_; }
    bool GetCaptureOn() const { return captureOn_; }
    bool IsBusy() const { return busy_; }
    void ClearBusy() { SetBusy(false); }
    void SetImageIndex(int index);
    int GetImageIndex() const { return imageIndex_; }
    double GetNextPollTime() const { return nextPollTime_; }
    void SetNextPollTime(double dateTime) { nextPollTime_ = dateTime; }
    void ResetPollTime();
    // The capture file name with the file sequence number applied, relative to CaptureDir.
    const QString& GetCaptureFilePath() const { return captureFilePath_; }
    void UpdateCaptureFilePath();

    // IChannelDevice (UI thread).
    void SetPortActivity() override;
    void RefreshListRow() override { UpdateListItem(); }
    void SetDataActive(bool active) override;
    void SetBusy(bool busy) override;
    void SetCaptureOn(bool on) override;
    TCaptureTarget CaptureTarget() const override;
    void CaptureStopped() override;
    TChannelSerialSettings EchoSettings() const override;
    TChannelPortInfo PortInfo() const override;

    // Settings. Setters of single-line texts refuse a line break (false, value unchanged);
    // command blocks split any line holding a line break into lines.
    const QString& GetImage() const { return image_; }
    bool SetImage(const QString& path);
    int GetHeight() const { return height_; }
    void SetHeight(int v) { height_ = v; }
    int GetLeft() const { return left_; }
    void SetLeft(int v) { left_ = v; }
    int GetTop() const { return top_; }
    void SetTop(int v) { top_ = v; }
    int GetWidth() const { return width_; }
    void SetWidth(int v) { width_ = v; }
    uint8_t GetWindowState() const { return windowState_; }
    void SetWindowState(uint8_t v) { windowState_ = v; }
    bool GetVisible() const { return visible_; }
    void SetVisible(bool v) { visible_ = v; }
    // The configuration gave the terminal window a place ("Left" or "Top" was stored); false
    // for a new device and on a first start, where the window takes the default place.
    bool HasStoredPlacement() const { return placementStored_; }
    int GetPortBaud() const { return portBaud_; }
    void SetPortBaud(int v) { portBaud_ = v; }
    const QString& GetPortSettings() const { return portSettings_; }
    bool SetPortSettings(const QString& v);
    int GetEchoSerial() const { return echoSerial_; }
    void SetEchoSerial(int v) { echoSerial_ = v; }
    int GetEchoBaud() const { return echoBaud_; }
    void SetEchoBaud(int v) { echoBaud_ = v; }
    const QString& GetEchoSettings() const { return echoSettings_; }
    bool SetEchoSettings(const QString& v);
    int8_t GetEchoFlow() const { return echoFlow_; }
    void SetEchoFlow(int8_t v) { echoFlow_ = v; }
    bool GetPowerOnCmd() const { return powerOnCmd_; }
    void SetPowerOnCmd(bool v) { powerOnCmd_ = v; }
    int GetPowerOnCmdWait() const { return powerOnCmdWait_; }
    void SetPowerOnCmdWait(int v) { powerOnCmdWait_ = v; }
    const QStringList& GetCmdPowerOn() const { return cmdPowerOn_; }
    void SetCmdPowerOn(const QStringList& v) { cmdPowerOn_ = CommandLines(v); }
    bool GetPowerOffCmd() const { return powerOffCmd_; }
    void SetPowerOffCmd(bool v) { powerOffCmd_ = v; }
    int GetPowerOffCmdWait() const { return powerOffCmdWait_; }
    void SetPowerOffCmdWait(int v) { powerOffCmdWait_ = v; }
    const QStringList& GetCmdPowerOff() const { return cmdPowerOff_; }
    void SetCmdPowerOff(const QStringList& v) { cmdPowerOff_ = CommandLines(v); }
    int8_t GetCollectionType() const { return collectionType_; }
    void SetCollectionType(int8_t v) { collectionType_ = v; }
    int GetPacketPause() const { return packetPause_; }
    void SetPacketPause(int v) { packetPause_ = v; }
    const QStringList& GetCmdGetData() const { return cmdGetData_; }
    void SetCmdGetData(const QStringList& v) { cmdGetData_ = CommandLines(v); }
    const QStringList& GetCmdStart() const { return cmdStart_; }
    void SetCmdStart(const QStringList& v) { cmdStart_ = CommandLines(v); }
    int GetCmdStartDelay() const { return cmdStartDelay_; }
    void SetCmdStartDelay(int v) { cmdStartDelay_ = v; }
    const QStringList& GetCmdStop() const { return cmdStop_; }
    void SetCmdStop(const QStringList& v) { cmdStop_ = CommandLines(v); }
    int GetCmdStopDelay() const { return cmdStopDelay_; }
    void SetCmdStopDelay(int v) { cmdStopDelay_ = v; }
    int8_t GetStartDataCapture() const { return startDataCapture_; }
    void SetStartDataCapture(int8_t v) { startDataCapture_ = v; }
    int GetStartAfterDelay() const { return startAfterDelay_; }
    void SetStartAfterDelay(int v) { startAfterDelay_ = v; }
    const QStringList& GetCmdGetSavedData() const { return cmdGetSavedData_; }
    void SetCmdGetSavedData(const QStringList& v) { cmdGetSavedData_ = CommandLines(v); }
    int8_t GetStopDataCapture() const { return stopDataCapture_; }
    void SetStopDataCapture(int8_t v) { stopDataCapture_ = v; }
    int GetStopAfterDelay() const { return stopAfterDelay_; }
    void SetStopAfterDelay(int v) { stopAfterDelay_ = v; }
    const QString& GetStartPrefix() const { return startPrefix_; }
    bool SetStartPrefix(const QString& v) { return SetLine(startPrefix_, v); }
    const QString& GetStopSuffix() const { return stopSuffix_; }
    bool SetStopSuffix(const QString& v) { return SetLine(stopSuffix_, v); }
    const QString& GetPrefix() const { return prefix_; }
    bool SetPrefix(const QString& v) { return SetLine(prefix_, v); }
    const QString& GetSuffix() const { return suffix_; }
    bool SetSuffix(const QString& v) { return SetLine(suffix_, v); }
    const QString& GetDateStampInfix() const { return dateStampInfix_; }
    bool SetDateStampInfix(const QString& v) { return SetLine(dateStampInfix_, v); }
    int GetDateStampFormat() const { return dateStampFormat_; }
    void SetDateStampFormat(int v) { dateStampFormat_ = v; }
    const QString& GetTimeStampInfix() const { return timeStampInfix_; }
    bool SetTimeStampInfix(const QString& v) { return SetLine(timeStampInfix_, v); }
    int8_t GetCaptureDest() const { return captureDest_; }
    void SetCaptureDest(int8_t v) { captureDest_ = v; }
    int GetCaptureDestOther() const { return captureDestOther_; }
    void SetCaptureDestOther(int v) { captureDestOther_ = v; }
    const QString& GetCaptureDestName() const { return captureDestName_; }
    // Also rebuilds the capture file path. A name that is not a path inside the capture
    // folder (IsSafeRelativePath) is refused: false, value unchanged.
    bool SetCaptureDestName(const QString& v);
    bool GetCaptureDestAppend() const { return captureDestAppend_; }
    void SetCaptureDestAppend(bool v) { captureDestAppend_ = v; }
    bool GetDoAveraging() const { return doAveraging_; }
    void SetDoAveraging(bool v) { doAveraging_ = v; }
    int GetAvgNumSamples() const { return avgNumSamples_; }
    void SetAvgNumSamples(int v) { avgNumSamples_ = v; }
    int GetAvgPause() const { return avgPause_; }
    void SetAvgPause(int v) { avgPause_ = v; }
    int GetFreqDuration() const { return freqDuration_; }
    void SetFreqDuration(int v) { freqDuration_ = v; }

private:
    void CopyFields(const TDevice& device, bool runTimeState);
    bool OwnsChannel(const TPort* port) const;
    void FreeChannel(const TPort* port);
    void AttachChannel();
    void ShowIcon();
    void ReadWindowKeys(const TMemIniFile& ini, const QString& section);
    void ReadEchoKeys(const TMemIniFile& ini, const QString& section);
    void ReadCommandKeys(const TMemIniFile& ini, const QString& section);
    void ReadCaptureKeys(const TMemIniFile& ini, const QString& section);
    void ReadTerminalKeys(const TMemIniFile& ini, const QString& section);
    void WriteTerminalKeys(TMemIniFile& ini, const QString& section) const;
    static bool SetLine(QString& field, const QString& value);
    static QStringList CommandLines(const QStringList& lines);

    TDevices* owner_ = nullptr;
    bool copy_ = false;
    TDeviceListItem* item_ = nullptr;
    int imageIndex_ = -1;
    QString image_;
    int height_ = 450;
    int left_ = 0;
    int top_ = 0;
    int width_ = 600;
    uint8_t windowState_ = 0;
    bool visible_ = false;
    bool placementStored_ = false;
    TPort* port_ = nullptr;
    int portBaud_ = 9600;
    QString portSettings_ = QStringLiteral("N,8,1");
    int echoSerial_ = 0;
    int echoBaud_ = 9600;
    QString echoSettings_ = QStringLiteral("N,8,1");
    int8_t echoFlow_ = 0;
    bool powerOnCmd_ = false;
    int powerOnCmdWait_ = 30;
    QStringList cmdPowerOn_;
    bool powerOffCmd_ = false;
    int powerOffCmdWait_ = 30;
    QStringList cmdPowerOff_;
    int8_t collectionType_ = 2;
    int packetPause_ = 100;
    QStringList cmdGetData_;
    QStringList cmdStart_;
    int cmdStartDelay_ = 50;
    QStringList cmdStop_;
    int cmdStopDelay_ = 50;
    int8_t startDataCapture_ = 0;
    int startAfterDelay_ = 30;
    QStringList cmdGetSavedData_;
    double nextPollTime_ = 0.0;
    bool captureOn_ = false;
    bool dataOn_ = false;
    int8_t stopDataCapture_ = 4;
    int stopAfterDelay_ = 200;
    QString startPrefix_;
    QString stopSuffix_;
    QString prefix_;
    QString suffix_;
    QString dateStampInfix_ = QStringLiteral("/");
    int dateStampFormat_ = 1;
    QString timeStampInfix_ = QStringLiteral(":");
    int8_t captureDest_ = 2;
    int captureDestOther_ = 0;
    QString captureDestName_;
    QString captureFilePath_;
    bool captureDestAppend_ = true;
    bool doAveraging_ = false;
    int avgNumSamples_ = 10;
    int avgPause_ = 10;
    int freqDuration_ = 1000000;
    bool busy_ = false;
    QString name_;  // the name last accepted, for a refused rename
};

// The default capture name of a device: "CTD 1" gives CTD_1\CTD_1000.RAW; a name that
// cleans to nothing (blank) gives Device\Devic000.RAW.
QString DefaultCaptureDestName(const QString& deviceName);

// What the device list needs of the main window. Every call is made on the UI thread.
class IDeviceListHost {
public:
    virtual ~IDeviceListHost() = default;
    // The main window's file sequence number.
    virtual int FileSeqNum() const = 0;
    // True while a link archive is being played back.
    virtual bool ArchivePlaying() const = 0;
    // Shows the device setup wizard for `device`; true when it closes with OK.
    virtual bool ExecuteDeviceSetup(TDevice& device) = 0;
};

// The station's list of devices in data priority order, with the capture settings shared by
// all devices and the device list rows. Owns its devices and their rows.
class TDevices {
public:
    // UI thread. `view` (not owned) holds the rows; `host` (not owned, may be null) is the
    // main window. CaptureDir becomes the data folder's "Data\" (created when missing).
    explicit TDevices(TDeviceListModel* view, IDeviceListHost* host = nullptr);
    virtual ~TDevices();
    TDevices(const TDevices&) = delete;
    TDevices& operator=(const TDevices&) = delete;

    // UI thread. A new device on the first free port with a row captioned `name`, or null
    // when every port holds a device or the name is refused (a message says why).
    TDevice* Add(const QString& name);
    // UI thread. Removes the device from the list, deletes it and its row, refreshes rows.
    void Delete(TDevice* device);
    // UI thread. Deletes every device with its row, last first.
    void Clear();

    int Count() const { return static_cast<int>(list_.size()); }
    TDevice* Items(int index) const;
    int IndexOf(const TDevice* device) const;
    // Moves the device to a list position (0-based).
    void Move(TDevice* device, int index);

    // The device whose caption equals `name` ignoring case, or null.
    TDevice* FindByName(const QString& name) const;
    TDevice* DeviceOfItem(const TDeviceListItem* item) const;
    // True when two rows carry `name` (ignoring case).
    bool IsDuplicateName(const QString& name) const;
    // True for the names of the DAS model sections, in any case.
    static bool IsReservedName(const QString& name);
    // False (with a message) for a name a device cannot carry: a model section name, one
    // holding a line break, or one with characters outside Latin-1 (the files' character set).
    static bool AcceptName(const QString& name);

    void SelectAll();
    void EditSelected();
    void SyncSelectedNames();
    void UpdateAllItems();

    bool GetCaptureToHost() const { return captureToHost_; }
    void SetCaptureToHost(bool v) { captureToHost_ = v; }
    // The master capture folder, stored with "\" separators and a final "\" ("" stays "").
    const QString& GetCaptureDir() const { return captureDir_; }
    void SetCaptureDir(const QString& folder);
    TDeviceListModel* GetListView() const { return view_; }
    IDeviceListHost* GetHost() const { return host_; }
    int FileSeqNum() const { return host_ != nullptr ? host_->FileSeqNum() : 0; }
    bool ArchivePlaying() const { return host_ != nullptr && host_->ArchivePlaying(); }
    bool ExecuteDeviceSetup(TDevice* device);

    // Walks: in list order, or in power order (each port's device, port by port as the port
    // table walks them); with `selectedOnly` only devices whose row is selected count.
    TDevice* First(bool selectedOnly, bool listOrder) const;
    // In power order a device without port ends the walk with a message.
    TDevice* Next(const TDevice* device, bool selectedOnly, bool listOrder) const;

    // UI thread. Writes every device's section into the configuration file, dropping the
    // sections of devices that no longer exist; clears ConfigurationChanged. False when the
    // file could not be written (the flag then stays set).
    bool SaveSettings(const QString& fileName);
    // UI thread. Writes the window keys of every device that has a section in the file.
    bool SaveWindowSettings(const QString& fileName);

    // Batches for `device`, or for every selected device when it is null (UI thread; built
    // as one timed list and sent to the DAS, DeviceBatches.cpp).
    // Whether to go on when a capture would go to the DAS or overwrite capture files.
    bool ConfirmCapture(TDevice* device);
    // Power on, data start and capture start; capture start only; capture stop, data stop
    // and power off; capture stop only.
    void StartData(TDevice* device);
    void StartCapture(TDevice* device);
    void StopData(TDevice* device);
    void StopCapture(TDevice* device);

    // The data poll of one device; set by the polling code.
    using TPollFunc = std::function<bool(TDevice& device, double now)>;
    void SetPollFunc(TPollFunc poll) { poll_ = std::move(poll); }
    // UI thread. Polls every device in list order; true when any poll did something. A call
    // made while polling (from a nested message loop) returns false at once; a device deleted
    // meanwhile is not polled.
    bool PollAll(double now);

private:
    TDevice* NextInList(int index, bool selectedOnly) const;
    TDevice* DeviceFromPort(TPort* port, bool selectedOnly) const;

    std::vector<TDevice*> list_;
    TDeviceListModel* view_;
    IDeviceListHost* host_;
    bool captureToHost_ = true;
    QString captureDir_;
    TPollFunc poll_;
    bool polling_ = false;
};

// The station's device list; made by the main window when it is first shown (UI thread).
extern TDevices* Devices;
