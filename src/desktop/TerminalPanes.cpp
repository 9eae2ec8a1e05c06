// The terminal's two panes: received bytes as text and as hexadecimal, the split between
// the panes and the hex line breaks.
#include <QAction>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTimer>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "desktop/Terminal.h"
#include "desktop/TerminalScrollBar.h"
#include "station/DeviceClasses.h"

namespace {

constexpr char kBackspace = 8;
constexpr char kCr = 13;
constexpr char kLf = 10;

// Above this share the hex pane takes the whole window, below kTextOnlySplit none of it.
constexpr double kHexOnlySplit = 0.9;
constexpr double kTextOnlySplit = 0.1;
constexpr double kStoredHexOnly = 100.0;

// Received text with every CR, LF and CR LF as one line break.
QString TextLines(const QByteArray& text)
{
    // A character a byte at most, written in place: a fast archive playback hands the windows
    // tens of megabytes a second.
    QString lines(text.size(), Qt::Uninitialized);
    QChar* out = lines.data();
    const char* in = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = in[i];
        if (c == kCr) {
            *out++ = QLatin1Char('\n');
            if (i + 1 < text.size() && in[i + 1] == kLf) {
                ++i;
            }
        } else if (c == kLf) {
            *out++ = QLatin1Char('\n');
        } else {
            *out++ = QChar(static_cast<char16_t>(static_cast<uint8_t>(c)));
        }
    }
    lines.truncate(out - lines.constData());
    return lines;
}

}  // namespace

int TTerminalForm::HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    return -1;
}

void TTerminalForm::ShowData(const char* bytes, int count)
{
    if (bytes == nullptr || count <= 0) {
        return;
    }
    if (viewSplit_ < 1.0) {
        AddText(bytes, count);
    }
    if (viewSplit_ > 0.0) {
        AddHex(reinterpret_cast<const uint8_t*>(bytes), count);
    }
    ScheduleRefresh();
}

void TTerminalForm::TPending::Append(const QString& more)
{
    text += more;
    if (text.size() > kTerminalPaneChars) {
        // Nothing the pane holds now would be left after this: it shows the newest alone.
        text.remove(0, text.size() - kTerminalPaneChars);
        replace = true;
        erase = 0;
    }
}

void TTerminalForm::TPending::EraseLast()
{
    if (!text.isEmpty()) {
        text.chop(1);
    } else if (!replace) {
        ++erase;
    }
}

void TTerminalForm::AddText(const char* bytes, int count)
{
    // Backspaces act on the text pane's own copy, so the hex pane keeps every byte received.
    QByteArray kept;
    if (std::memchr(bytes, kBackspace, static_cast<size_t>(count)) == nullptr) {
        kept = QByteArray(bytes, count);
    } else {
        kept.reserve(count);
        for (int i = 0; i < count; ++i) {
            if (bytes[i] != kBackspace) {
                kept.append(bytes[i]);
            } else if (!kept.isEmpty()) {
                kept.chop(1);
            } else {
                pendingText_.EraseLast();
            }
        }
    }
    if (kept.isEmpty()) {
        return;
    }
    QByteArray text = kept.left(kept.indexOf('\0') >= 0 ? kept.indexOf('\0') : kept.size());
    // A CR LF split between two chunks is one line break.
    if (lastTextByte_ == kCr && text.startsWith(kLf)) {
        text.remove(0, 1);
    }
    lastTextByte_ = kept.back();
    if (!text.isEmpty()) {
        pendingText_.Append(TextLines(text));
    }
}

void TTerminalForm::AddHex(const uint8_t* bytes, int count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    const int wrap = hexWrap_ < 1 ? 0 : hexWrap_;
    const auto patternLength = static_cast<int>(wrapPattern_.size());
    // The pattern is looked for in the bytes of the previous chunks and this one together.
    QByteArray window = history_;
    window.append(reinterpret_cast<const char*>(bytes), count);
    const char* before = window.constData();
    const char* pattern = wrapPattern_.constData();

    // Two digits a byte and at most one line break before each, written in place.
    QString hex(3 * static_cast<qsizetype>(count), Qt::Uninitialized);
    QChar* out = hex.data();
    for (int i = 0; i < count; ++i) {
        const bool full = wrap > 0 && hexLineCount_ >= wrap;
        const bool afterPattern = patternLength > 0 && before[i] == pattern[0] &&
                                  std::memcmp(before + i, pattern, patternLength) == 0;
        if (full || afterPattern) {
            *out++ = QLatin1Char('\n');
            hexLineCount_ = 0;
        }
        *out++ = QLatin1Char(kDigits[bytes[i] >> 4]);
        *out++ = QLatin1Char(kDigits[bytes[i] & 0x0F]);
        ++hexLineCount_;
    }
    hex.truncate(out - hex.constData());
    history_ = window.right(patternLength);
    pendingHex_.Append(hex);
}

bool TTerminalForm::Shown() const { return isVisible() && !isMinimized(); }

void TTerminalForm::ScheduleRefresh()
{
    // A hidden or minimised window keeps what came until it is shown.
    if (!Shown() || refreshTimer_->isActive()) {
        return;
    }
    RefreshPanes();
    // What comes in the next moment waits for the timer.
    refreshTimer_->start();
}

void TTerminalForm::RefreshTimeout()
{
    if (Shown() && !(pendingText_.Empty() && pendingHex_.Empty())) {
        RefreshPanes();
        refreshTimer_->start();
    }
}

void TTerminalForm::RefreshPanes()
{
    ApplyPending(memoText_, pendingText_);
    ApplyPending(memoHex_, pendingHex_);
}

QPlainTextEdit* TTerminalForm::TextPane()
{
    RefreshPanes();
    return memoText_;
}

QPlainTextEdit* TTerminalForm::HexPane()
{
    RefreshPanes();
    return memoHex_;
}

void TTerminalForm::ApplyPending(QPlainTextEdit* pane, TPending& pending)
{
    // Nothing new: the pane, its caret and its scroll bars stay as they are.
    if (pending.Empty()) {
        return;
    }
    // The bars show only where the pane ends up.
    const TPaneBarsHold hold(pane);
    QTextDocument* document = pane->document();
    if (pending.replace) {
        pane->setPlainText(pending.text);
    } else {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::End);
        if (pending.erase > 0) {
            cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor,
                                pending.erase);
            cursor.removeSelectedText();
        }
        // The document counts a final paragraph mark that the pane's text does not hold.
        const auto length = static_cast<qsizetype>(document->characterCount() - 1);
        const qsizetype excess = length + pending.text.size() - kTerminalPaneChars;
        if (excess > 0) {
            QTextCursor head(document);
            head.setPosition(static_cast<int>(std::min(length, std::max<qsizetype>(
                                                                   excess, kTerminalTrimChars))),
                             QTextCursor::KeepAnchor);
            head.removeSelectedText();
        }
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(pending.text);
    }
    pending = TPending();
    // The newest data in sight.
    pane->moveCursor(QTextCursor::End);
    pane->ensureCursorVisible();
}

void TTerminalForm::SetViewSplit(double hexWidth)
{
    if (hexWidth > kHexOnlySplit) {
        viewSplit_ = kStoredHexOnly;
    } else if (hexWidth >= kTextOnlySplit) {
        viewSplit_ = hexWidth;
    } else {
        viewSplit_ = 0.0;
    }
    viewHex_->setChecked(viewSplit_ > kHexOnlySplit);
    viewBoth_->setChecked(viewSplit_ > 0.0 && viewSplit_ <= kHexOnlySplit);
    viewText_->setChecked(viewSplit_ <= 0.0);
    ApplyViewSplit();
}

void TTerminalForm::ApplyViewSplit()
{
    const bool hexOnly = viewSplit_ > kHexOnlySplit;
    const bool textOnly = viewSplit_ <= 0.0;
    memoHex_->setVisible(!textOnly);
    memoText_->setVisible(!hexOnly);
    if (hexOnly || textOnly) {
        return;
    }
    const int client = splitter1_->width();
    const int hex = static_cast<int>(std::trunc(client * viewSplit_));
    const int text = std::max(client - hex - splitter1_->handleWidth(), 0);
    splitter1_->setSizes({hex, text});
}

void TTerminalForm::SplitterMoved()
{
    const int client = splitter1_->width();
    if (client > 0 && memoHex_->isVisible() && memoText_->isVisible()) {
        viewSplit_ = static_cast<double>(memoHex_->width()) / client;
    }
}

QString TTerminalForm::GetHexWrapString() const
{
    return QString::fromLatin1(wrapPattern_.toHex().toUpper());
}

void TTerminalForm::SetHexWrapString(const QString& hex)
{
    wrapPattern_.clear();
    history_.clear();
    if (hex.isEmpty()) {
        return;
    }
    ConfigurationChanged = true;
    QList<int> digits;
    for (QChar c : hex) {
        const int value = HexDigitValue(c);
        if (value >= 0) {
            digits.append(value);
        }
    }
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
        wrapPattern_.append(static_cast<char>(digits[i] * 16 + digits[i + 1]));
    }
    // The history starts as the pattern's complement, so the pattern cannot match before as
    // many bytes have arrived.
    for (char c : wrapPattern_) {
        history_.append(static_cast<char>(~static_cast<uint8_t>(c)));
    }
}
