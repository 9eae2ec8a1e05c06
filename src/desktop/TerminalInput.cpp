// What the operator types or pastes in a terminal window goes to its channel; nothing of it
// is shown locally, and no key edits or moves about in a pane.
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <algorithm>

#include "desktop/Terminal.h"
#include "link/Host.h"

namespace {

constexpr int kEnterByte = 13;
constexpr int kDeleteByte = 8;
constexpr int kCtrlLetterOffset = 64;  // Ctrl+A gives 1, Ctrl+C 3, Ctrl+Z 26
constexpr int kHighestChannel = 255;

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

bool TTerminalForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == splitter1_ && event->type() == QEvent::Resize) {
        ApplyViewSplit();
        return false;
    }
    const bool pane = watched == memoText_ || watched == memoHex_;
    const bool viewport = watched == memoText_->viewport() || watched == memoHex_->viewport();
    if (pane) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // The window's action shortcuts win over the pane's own key bindings.
            event->ignore();
            return true;
        case QEvent::KeyPress: {
            const auto& key = static_cast<const QKeyEvent&>(*event);
            return watched == memoText_ ? TextKey(key) : HexKey(key);
        }
        case QEvent::KeyRelease:
        case QEvent::InputMethod:
            return true;
        case QEvent::FocusIn:
            activeMemo_ = static_cast<QPlainTextEdit*>(watched);
            return false;
        default:
            return false;
        }
    }
    if (viewport) {
        // The middle button would paste the selection into the pane.
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
            type == QEvent::MouseButtonDblClick) {
            return static_cast<const QMouseEvent*>(event)->button() == Qt::MiddleButton;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TTerminalForm::TextKey(const QKeyEvent& key)
{
    int byte = -1;
    if (key.modifiers().testFlag(Qt::ControlModifier)) {
        if (key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z) {
            byte = key.key() - kCtrlLetterOffset;
        }
    } else if (IsEnter(key.key())) {
        byte = kEnterByte;
    } else if (key.key() == Qt::Key_Delete) {
        byte = kDeleteByte;
    } else if (key.text().size() == 1) {
        const char16_t c = key.text()[0].unicode();
        if (c >= u' ' && c <= u'~') {
            byte = c;
        }
    }
    if (byte >= 0 && byte <= 127 && CanType()) {
        Send(QByteArray(1, static_cast<char>(byte)));
    }
    return true;
}

bool TTerminalForm::HexKey(const QKeyEvent& key)
{
    if (IsEnter(key.key())) {
        if (HasSerialDevice()) {
            Send(QByteArray(1, static_cast<char>(kEnterByte)));
        }
        return true;
    }
    if (key.key() == Qt::Key_Delete) {
        pendingDigit_.reset();
        return true;
    }
    const int digit = key.modifiers().testFlag(Qt::ControlModifier) || key.text().size() != 1
                          ? -1
                          : HexDigitValue(key.text()[0]);
    if (digit < 0 || !CanType()) {
        return true;
    }
    if (!pendingDigit_) {
        pendingDigit_ = digit;
        return true;
    }
    Send(QByteArray(1, static_cast<char>(*pendingDigit_ * 16 + digit)));
    pendingDigit_.reset();
    return true;
}

bool TTerminalForm::HasSerialDevice() const
{
    return device_ != nullptr && device_->PortInfo().isSerial;
}

bool TTerminalForm::CanType() const { return channelNumber_ > -1 && HasSerialDevice(); }

void TTerminalForm::Send(const QByteArray& bytes)
{
    // A window without a channel sends nothing: there is no channel it could mean.
    if (channel_ == nullptr || channelNumber_ < 0 || channelNumber_ > kHighestChannel) {
        return;
    }
    const auto channel = static_cast<uint8_t>(channelNumber_);
    for (qsizetype at = 0; at < bytes.size(); at += kPasteBlockBytes) {
        const auto length =
            static_cast<uint16_t>(std::min<qsizetype>(bytes.size() - at, kPasteBlockBytes));
        Host.SendToChannel(channel, bytes.constData() + at, length);
    }
}

QByteArray PasteBytes(const QString& text)
{
    // Text to the DAS is Latin-1 with CR LF line breaks, as the instruments' own consoles
    // expect: a line copied here ends in a bare LF, which such a console would not take as
    // the end of a command.
    QByteArray bytes;
    bytes.reserve(text.size() + text.count(QLatin1Char('\n')));
    QChar previous;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') && previous != QLatin1Char('\r')) {
            bytes.append('\r');
        }
        bytes.append(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?');
        previous = c;
    }
    return bytes;
}

void TTerminalForm::EditPasteExecute()
{
    // An empty clipboard sends nothing (an empty block would end a transfer).
    const QString text = QApplication::clipboard()->text();
    if (!text.isEmpty()) {
        Send(PasteBytes(text));
    }
}

QPlainTextEdit* TTerminalForm::ActiveMemo() const
{
    return activeMemo_ != nullptr ? activeMemo_ : memoText_;
}

void TTerminalForm::ShowPopup(QPlainTextEdit* pane, const QPoint& pos)
{
    raise();
    activateWindow();
    activeMemo_ = pane;
    pane->setFocus(Qt::PopupFocusReason);
    popupMenu1_->popup(pane->mapToGlobal(pos));
}
