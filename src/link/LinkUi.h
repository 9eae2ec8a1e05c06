#pragma once
// What the link needs of the main window: the link status on the toolbar and the device list,
// the archive actions, the debug memo, the explorer refresh, device rows and the capture file
// sequence number. Desktop implements it and sets it on Host; tests fake it. Every call is
// made on the UI thread (the link thread posts its calls there).

#include <QString>
#include <cstdint>

class IChannelDevice;

// The device list's background while the link is lost: RGB(160, 160, 164).
constexpr uint32_t kLinkLostRgb = 0xA0A0A4;

// The main window as the link manager sees it. Every call does nothing unless overridden.
class ILinkUi {
public:
    virtual ~ILinkUi() = default;

    // The toolbar message panel ("Disconnected", "Connected to DAS", ...).
    virtual void ShowToolMessage(const QString& /*text*/) {}
    // The device list's background: grey (kLinkLostRgb) or the window colour.
    virtual void SetDeviceListGrey(bool /*grey*/) {}
    virtual bool DeviceListGrey() const { return false; }
    // Visibility of the archive actions: RecordDASArchive and PlayDASArchive, RewindDASArchive,
    // FastDASArchive, PauseDASArchive and StopDASArchive.
    virtual void SetArchiveActions(bool /*recordPlay*/, bool /*rewind*/, bool /*fast*/,
                                   bool /*pauseStop*/)
    {
    }
    // Adds a line to the debug memo.
    virtual void AppendDebugMemo(const QString& /*line*/) {}
    // Cuts the debug memo to its last `chars` characters (line breaks included) when it is
    // longer, so a long run of timed lines never grows it without end.
    virtual void KeepDebugMemoTail(int /*chars*/) {}
    // The explorer window: whether it is visible, and its refresh.
    virtual bool ExplorerVisible() const { return false; }
    virtual void RefreshExplorer() {}
    // A host-side command changed the device's data, busy or capture state.
    virtual void RefreshDeviceRow(IChannelDevice& device);
    // Advances the capture file sequence number by one.
    virtual void NextSeqNum() {}
};
