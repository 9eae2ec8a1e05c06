#pragma once
// Terminal windows: the window of one host channel, shown as received text, as hexadecimal
// bytes or both side by side, which sends what the operator types or pastes to the channel.
// A plain window shows a channel of its own (info, error, script, "Other Channels"); a device
// window belongs to one instrument and carries its actions. The channel owns its window.
//
// UI thread only.

#include <QByteArray>
#include <QIcon>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "link/ChannelInterfaces.h"
#include "station/DeviceTerminal.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTimer;
class TDevice;
class TMux;
class TWindowsMenuItem;

// Each pane keeps at most this many characters of the newest data. When more arrive, at least
// kTerminalTrimChars of the oldest go at once (more when a chunk needs it), so that trimming
// stays rare and hours of data at full rate neither exhaust memory nor slow the window down.
constexpr int kTerminalPaneChars = 20000;
constexpr int kTerminalTrimChars = 5000;
// Received data reaches a shown window's panes at most this often; a hidden or minimised
// window keeps it (no more than a pane holds) until it is shown again.
constexpr int kTerminalRefreshMs = 250;
// Hex bytes per line of a plain window until the operator changes it.
constexpr int kPlainHexWrap = 16;
// A paste longer than this travels in several blocks of at most this many bytes.
constexpr int kPasteBlockBytes = 0xFFFF;
// The stored colour of a font that follows the system's window text colour (0x80000008).
constexpr int kWindowTextColor = -2147483640;
// Default font of both panes.
constexpr int kTerminalFontPoints = 10;
// A channel window without a device opens at this size until it has a stored placement.
constexpr int kChannelWindowWidthPx = 560;
constexpr int kChannelWindowHeightPx = 320;

// The picture of an echo port's state: open (data echoed) or closed. The desktop's icon theme
// gives it where it has one; otherwise a drawn dot, green for open, grey for closed.
QIcon EchoPortIcon(bool open);

// What a paste of `text` sends: Latin-1 ("?" for what it cannot hold), every line break
// CR LF.
QByteArray PasteBytes(const QString& text);

// The window of one host channel, plain or bound to a device.
class TTerminalForm : public QMainWindow, public ITerminalView, public IDeviceTerminal {
    Q_OBJECT

public:
    // A plain channel window captioned `caption`, not yet attached to a channel; its
    // placement saved under the caption is restored. With `rememberPosition` the placement
    // is saved again when the window closes.
    TTerminalForm(const QString& caption, bool rememberPosition);
    // The window of `device`'s channel: set up from the device's stored window settings and
    // attached to `channel` (which then owns it).
    TTerminalForm(TMux& channel, IChannelDevice& device);
    ~TTerminalForm() override;
    TTerminalForm(const TTerminalForm&) = delete;
    TTerminalForm& operator=(const TTerminalForm&) = delete;

    // ITerminalView
    void ShowData(const char* bytes, int count) override;
    void SetHostChannel(TMux* channel) override;
    void ClearReceived() override;
    void SetCaption(const QString& caption) override;
    void ShowNormal() override;
    void ChannelStateChanged() override;
    void DestroyView() override;

    // IDeviceTerminal
    QRect WindowGeometry() const override;
    void SetWindowGeometry(const QRect& geometry) override;
    int GetWindowState() const override;
    void SetWindowState(int state) override;
    bool IsWindowVisible() const override;
    void SetWindowVisible(bool visible) override;
    double GetHexWidth() const override { return viewSplit_; }
    // Above 0.9 hex only (stored as 100), 0.1 to 0.9 both with the hex pane taking that share
    // of the width, below 0.1 text only (stored as 0).
    void SetViewSplit(double hexWidth) override;
    int GetHexWrap() const override { return hexWrap_; }
    void SetHexWrap(int bytes) override { hexWrap_ = bytes; }
    QString GetHexWrapString() const override;
    // Pairs of hexadecimal digits, in any case; other characters are skipped and an odd last
    // digit is ignored. Marks the configuration changed.
    void SetHexWrapString(const QString& hex) override;
    TTerminalFont GetFont() const override;
    void SetFont(const TTerminalFont& font) override;

    // Shows or hides the device actions as the window has a channel and a device.
    void UpdateDeviceActions();
    // The echo action's caption and icon follow the channel's echo port (the icon shows the
    // state the action leads to).
    void SetEchoPortOpen(bool open);

    TMux* GetChannel() const { return channel_; }
    int GetChannelNumber() const { return channelNumber_; }
    IChannelDevice* GetDevice() const { return device_; }
    bool GetRememberPosition() const { return rememberPosition_; }
    void SetRememberPosition(bool on) { rememberPosition_ = on; }

    // The panes, for the standard edit actions and for inspection, with everything received
    // so far in them.
    QPlainTextEdit* TextPane();
    QPlainTextEdit* HexPane();
    // Puts the data received since the last refresh into the panes now.
    void RefreshPanes();

    // Action handlers.
    void EditPasteExecute();
    void ChangeHexWrapExecute();
    void ChangeFontExecute();

protected:
    // The font dialog: true with `font` and `color` (stored as 0x00BBGGRR, negative for the
    // desktop's text colour) changed when the operator chose them. Fixed-pitch fonts only,
    // with the effects: underline, strike-out and colour.
    virtual bool ChooseFont(QFont& font, int& color);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TTerminalForm();
    void BuildPanes();
    void BuildActions();
    void BuildEditActions();
    void BuildViewActions();
    void BuildDeviceActions();
    void BuildMenus();
    QAction* MakeAction(const char* name, const QString& caption, const QString& hint,
                        const QKeySequence& shortcut);
    void ApplyViewSplit();
    void SplitterMoved();
    void ShowPopup(QPlainTextEdit* pane, const QPoint& pos);
    QPlainTextEdit* ActiveMemo() const;
    void ApplyPaneFont(const QFont& font);

    // Received data, waiting for the pane to show it.
    struct TPending {
        QString text;          // to append
        int erase = 0;         // characters to take off the pane's end first
        bool replace = false;  // more arrived than the pane keeps: its content goes
        bool Empty() const { return text.isEmpty() && erase == 0 && !replace; }
        void Append(const QString& more);
        // A backspace that reaches back before this text.
        void EraseLast();
    };
    void AddText(const char* bytes, int count);
    void AddHex(const uint8_t* bytes, int count);
    bool Shown() const;
    // Starts a refresh now, or when the last one is far enough back.
    void ScheduleRefresh();
    void RefreshTimeout();
    static void ApplyPending(QPlainTextEdit* pane, TPending& pending);

    // Typed input.
    bool TextKey(const QKeyEvent& key);
    bool HexKey(const QKeyEvent& key);
    bool CanType() const;
    // 0 to 15 for a hexadecimal digit in either case, else -1.
    static int HexDigitValue(QChar c);
    bool HasSerialDevice() const;
    void Send(const QByteArray& bytes);

    // Runs `run` on the window's device when the action fires (and the window has a channel,
    // when `needsChannel`).
    void OnDevice(QAction* action, bool needsChannel, const std::function<void(TDevice&)>& run);

    TMux* channel_ = nullptr;
    IChannelDevice* device_ = nullptr;
    int channelNumber_ = -1;
    bool rememberPosition_ = false;
    bool echoShownOpen_ = false;
    std::optional<int> pendingDigit_;
    int hexWrap_ = 0;
    double viewSplit_ = 0.0;
    int hexLineCount_ = 0;
    QByteArray wrapPattern_;
    QByteArray history_;
    char lastTextByte_ = 0;
    int fontCharset_ = 1;
    int fontColor_ = kWindowTextColor;
    TPending pendingText_;
    TPending pendingHex_;
    QTimer* refreshTimer_ = nullptr;

    QPlainTextEdit* memoText_ = nullptr;
    QPlainTextEdit* memoHex_ = nullptr;
    QSplitter* splitter1_ = nullptr;
    QPlainTextEdit* activeMemo_ = nullptr;
    QMenu* popupMenu1_ = nullptr;
    QMenu* mnuDevice_ = nullptr;
    QMenu* mnuDebug_ = nullptr;
    TWindowsMenuItem* windowMenu_ = nullptr;

    QAction* closeTerminal_ = nullptr;
    QAction* editCut1_ = nullptr;
    QAction* editCopy1_ = nullptr;
    QAction* editPaste_ = nullptr;
    QAction* editDelete1_ = nullptr;
    QAction* editSelectAll1_ = nullptr;
    QAction* viewHex_ = nullptr;
    QAction* viewBoth_ = nullptr;
    QAction* viewText_ = nullptr;
    QAction* changeFont_ = nullptr;
    QAction* changeHexWrap_ = nullptr;
    QAction* termOpenSerialPort_ = nullptr;
    QAction* termStartAll_ = nullptr;
    QAction* termStopAll_ = nullptr;
    QAction* termDeviceOn_ = nullptr;
    QAction* termDeviceOff_ = nullptr;
    QAction* termStartData_ = nullptr;
    QAction* termStopData_ = nullptr;
    QAction* termStartCapture_ = nullptr;
    QAction* termStopCapture_ = nullptr;
    QAction* termDeviceSetup_ = nullptr;
    QAction* termSetupCapture_ = nullptr;
};

// Makes device windows for the channel table.
class TTerminalFactory final : public ITerminalFactory {
public:
    ITerminalView* CreateDeviceWindow(TMux& channel, IChannelDevice& device) override;
};
