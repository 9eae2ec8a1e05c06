#include "scripts/RichEdit.h"

#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

namespace {

// Bytes handed to or asked of a stream callback at a time.
constexpr int32_t kStreamBlockBytes = 4096;

const QChar kParagraph(QChar::ParagraphSeparator);

QTextCharFormat FormatOf(const QColor& colour)
{
    QTextCharFormat format;
    if (colour.isValid()) {
        format.setForeground(colour);
    }
    return format;
}

QColor ColourOf(const QTextCharFormat& format)
{
    return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color()
                                                            : QColor();
}

}  // namespace

TRichEdit::TRichEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUndoRedoEnabled(false);
    // The colours are fixed, so the control stays light whatever the desktop's theme.
    QPalette light = palette();
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::Text, Qt::black);
    setPalette(light);
    connect(document(), &QTextDocument::contentsChange, this, &TRichEdit::OnContentsChange);
}

void TRichEdit::OnContentsChange(int /*position*/, int removed, int added)
{
    if (!coloursOnly_ && (removed != 0 || added != 0)) {
        Q_EMIT Changed();
    }
}

// --- Text and positions ---

int TRichEdit::GetTextLen() const
{
    const QTextDocument* doc = document();
    return doc->characterCount() - 1 + doc->blockCount() - 1;
}

QString TRichEdit::GetText() const
{
    QString text = document()->toRawText();
    return text.replace(kParagraph, QStringLiteral("\r\n"));
}

void TRichEdit::SetPlainText(const QString& text)
{
    TRtfContent content;
    content.runs.push_back({ToEditorText(text), QColor()});
    content.coloured = true;
    ReplaceRange(0, document()->characterCount() - 1, content);
}

QString TRichEdit::TextRange(int start, int end) const
{
    QTextCursor cursor(document());
    cursor.setPosition(ToDocPosition(start));
    cursor.setPosition(ToDocPosition(std::max(start, end)), QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(kParagraph, QStringLiteral("\r\n"));
}

QStringList TRichEdit::Lines() const
{
    QStringList lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines.append(block.text());
    }
    if (lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

int TRichEdit::LineCount() const { return document()->blockCount(); }

int TRichEdit::BlockOfRePosition(int pos) const
{
    const QTextDocument* doc = document();
    int low = 0;
    int high = doc->blockCount() - 1;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (doc->findBlockByNumber(mid).position() + mid <= pos) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return low;
}

int TRichEdit::LineFromChar(int pos) const
{
    return BlockOfRePosition(std::clamp(pos, 0, GetTextLen()));
}

int TRichEdit::LineIndex(int line) const
{
    if (line < 0 || line >= document()->blockCount()) {
        return -1;
    }
    return document()->findBlockByNumber(line).position() + line;
}

QChar TRichEdit::CharAt(int pos) const
{
    if (pos < 0 || pos >= GetTextLen()) {
        return QChar();
    }
    const int line = BlockOfRePosition(pos);
    const QTextBlock block = document()->findBlockByNumber(line);
    const int offset = pos - (block.position() + line);
    if (offset < block.length() - 1) {
        return block.text().at(offset);
    }
    return offset == block.length() - 1 ? QLatin1Char('\r') : QLatin1Char('\n');
}

void TRichEdit::Clear() { SetPlainText(QString()); }

int TRichEdit::ToDocPosition(int pos) const
{
    pos = std::clamp(pos, 0, GetTextLen());
    const int line = BlockOfRePosition(pos);
    const QTextBlock block = document()->findBlockByNumber(line);
    // Between a CR and its LF counts as before the CR.
    const int offset = std::min(pos - (block.position() + line), block.length() - 1);
    return block.position() + offset;
}

int TRichEdit::ToRePosition(int docPos) const
{
    return docPos + document()->findBlock(docPos).blockNumber();
}

// --- Selection ---

int TRichEdit::SelStart() const { return ToRePosition(textCursor().selectionStart()); }

int TRichEdit::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return ToRePosition(cursor.selectionEnd()) - ToRePosition(cursor.selectionStart());
}

void TRichEdit::SetSel(int start, int length)
{
    const int len = GetTextLen();
    start = std::clamp(start, 0, len);
    const int end = std::clamp(start + std::max(length, 0), start, len);
    QTextCursor cursor(document());
    cursor.setPosition(ToDocPosition(start));
    cursor.setPosition(ToDocPosition(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

QString TRichEdit::SelText() const
{
    return textCursor().selectedText().replace(kParagraph, QStringLiteral("\r\n"));
}

// --- Streams ---

std::vector<TRtfRun> TRichEdit::RunsOf(int docStart, int docEnd) const
{
    std::vector<TRtfRun> runs;
    auto add = [&runs](const QString& text, const QColor& colour) {
        if (!runs.empty() && runs.back().colour == colour) {
            runs.back().text += text;
        } else {
            runs.push_back({text, colour});
        }
    };
    for (QTextBlock block = document()->findBlock(docStart);
         block.isValid() && block.position() <= docEnd; block = block.next()) {
        if (block.position() > docStart) {
            // A line break has no colour of its own: it joins the run before it.
            if (runs.empty()) {
                runs.push_back({QString(), QColor()});
            }
            runs.back().text += QLatin1Char('\n');
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int from = std::max(fragment.position(), docStart);
            const int to = std::min(fragment.position() + fragment.length(), docEnd);
            if (from < to) {
                add(fragment.text().mid(from - fragment.position(), to - from),
                    ColourOf(fragment.charFormat()));
            }
        }
    }
    return runs;
}

bool TRichEdit::HasColour(int docStart, int docEnd, const QColor& colour) const
{
    for (QTextBlock block = document()->findBlock(docStart);
         block.isValid() && block.position() < docEnd; block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() < docEnd && fragment.position() + fragment.length() > docStart &&
                ColourOf(fragment.charFormat()) != colour) {
                return false;
            }
        }
    }
    return true;
}

void TRichEdit::StreamOut(uint32_t format, TEditStream& stream)
{
    stream.dwError = 0;
    int docStart = 0;
    int docEnd = document()->characterCount() - 1;
    if ((format & SFF_SELECTION) != 0) {
        docStart = textCursor().selectionStart();
        docEnd = textCursor().selectionEnd();
    }
    const std::vector<TRtfRun> runs = RunsOf(docStart, docEnd);
    QByteArray bytes;
    const uint32_t kind = format & 0x0F;
    if (kind == SF_TEXT || kind == SF_TEXTIZED) {
        QString text;
        for (const TRtfRun& run : runs) {
            text += run.text;
        }
        bytes = WritePlainText(text);
    } else {
        bytes = WriteRtf(runs);
    }
    if (stream.pfnCallback == nullptr) {
        stream.dwError = 1;
        return;
    }
    for (qsizetype at = 0; at < bytes.size();) {
        const auto count = static_cast<int32_t>(std::min<qsizetype>(kStreamBlockBytes, bytes.size() - at));
        int32_t done = 0;
        const uint32_t error = stream.pfnCallback(stream.dwCookie, bytes.data() + at, count, &done);
        if (error != 0 || done <= 0) {
            stream.dwError = error != 0 ? error : 1;
            return;
        }
        at += std::min(done, count);
    }
}

void TRichEdit::StreamIn(uint32_t format, TEditStream& stream)
{
    stream.dwError = 0;
    if (stream.pfnCallback == nullptr) {
        stream.dwError = 1;
        return;
    }
    QByteArray bytes;
    for (;;) {
        char block[kStreamBlockBytes];
        int32_t done = 0;
        const uint32_t error = stream.pfnCallback(stream.dwCookie, block, kStreamBlockBytes, &done);
        if (error != 0) {
            stream.dwError = error;
            return;
        }
        if (done <= 0) {
            break;
        }
        bytes.append(block, std::min(done, kStreamBlockBytes));
        // The text ends at a zero byte.
        if (bytes.indexOf('\0', bytes.size() - std::min(done, kStreamBlockBytes)) >= 0) {
            break;
        }
    }
    TRtfContent content;
    if ((format & 0x0F) == SF_TEXT) {
        content.runs.push_back({ReadPlainText(bytes), QColor()});
    } else {
        content = ReadRtf(bytes);
    }
    if ((format & SFF_SELECTION) == 0) {
        ReplaceRange(0, document()->characterCount() - 1, content);
        return;
    }
    const QTextCursor cursor = textCursor();
    const int docStart = cursor.selectionStart();
    const int docEnd = cursor.selectionEnd();
    // Recolouring streams the same text back: then only the colours change, and neither the
    // caret nor the view moves.
    if (content.coloured && content.PlainText() == cursor.selectedText().replace(kParagraph, QLatin1Char('\n'))) {
        ApplyColours(docStart, content);
        return;
    }
    ReplaceRange(docStart, docEnd, content);
}

void TRichEdit::ReplaceRange(int docStart, int docEnd, const TRtfContent& content)
{
    QTextCursor cursor(document());
    cursor.setPosition(docStart);
    cursor.setPosition(docEnd, QTextCursor::KeepAnchor);
    QTextCursor at(document());
    at.setPosition(docStart);
    const QTextCharFormat inherited = at.charFormat();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    for (const TRtfRun& run : content.runs) {
        const QString text = ToEditorText(run.text);
        cursor.insertText(text, content.coloured ? FormatOf(run.colour) : inherited);
    }
    cursor.endEditBlock();
    QTextCursor caret(document());
    caret.setPosition(docStart);
    setTextCursor(caret);
}

void TRichEdit::ApplyColours(int docStart, const TRtfContent& content)
{
    coloursOnly_ = true;
    QTextCursor cursor(document());
    int at = docStart;
    for (const TRtfRun& run : content.runs) {
        const int length = static_cast<int>(run.text.size());
        if (!HasColour(at, at + length, run.colour)) {
            cursor.setPosition(at);
            cursor.setPosition(at + length, QTextCursor::KeepAnchor);
            cursor.setCharFormat(FormatOf(run.colour));
        }
        at += length;
    }
    coloursOnly_ = false;
}
