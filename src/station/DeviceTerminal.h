#pragma once
// What a device's settings read and write of its terminal window: geometry, state, the view
// split, the hex wrap and the font. The desktop's device terminal window implements this
// beside ITerminalView; station code reaches it by casting the channel's window.

#include <QRect>
#include <QString>

// The font of both panes of a terminal window, as the device settings store it.
struct TTerminalFont {
    int charset = 0;  // character set number, kept as stored
    int color = 0;    // colour value 0x00BBGGRR; a negative value names a system colour
    QString name;     // face name as requested
    int size = 0;     // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// The device side of a terminal window. Every call is made on the UI thread.
class IDeviceTerminal {
public:
    virtual void SetCaption(const QString& caption) = 0;
    // Outer position and size in pixels.
    virtual QRect WindowGeometry() const = 0;
    virtual void SetWindowGeometry(const QRect& geometry) = 0;
    // 0 normal, 1 minimised, 2 maximised (any other value is taken as normal).
    virtual int GetWindowState() const = 0;
    virtual void SetWindowState(int state) = 0;
    virtual bool IsWindowVisible() const = 0;
    virtual void SetWindowVisible(bool visible) = 0;
    // The share of the width given to the hex pane (0: text view only).
    virtual double GetHexWidth() const = 0;
    virtual void SetViewSplit(double hexWidth) = 0;
    // Hex bytes per line, 0 or less: no wrap.
    virtual int GetHexWrap() const = 0;
    virtual void SetHexWrap(int bytes) = 0;
    // Hex text of the byte pattern after which the hex pane wraps ("0D0A").
    virtual QString GetHexWrapString() const = 0;
    virtual void SetHexWrapString(const QString& hex) = 0;
    virtual TTerminalFont GetFont() const = 0;
    // Sets the font of both panes.
    virtual void SetFont(const TTerminalFont& font) = 0;

protected:
    ~IDeviceTerminal() = default;
};
