#include "scripts/Richsyntaxedit.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>
#include <stdexcept>

#include "link/Global.h"
#include "platform/Prompt.h"

namespace {

// The hourglass while a text is coloured in; restored however the colouring ends.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

void ListInto(QStringList& memo, const char* heading, const TWordList& list)
{
    memo.clear();
    memo.append(QString::fromLatin1(heading));
    memo.append(list.Keys());
}

}  // namespace

// --- Word lists ---

void TWordList::Add(const QString& key, const QString& value) { items_.emplace(key, value); }

QString TWordList::Value(const QString& key) const
{
    const auto it = items_.find(key);
    return it != items_.end() ? it->second : QString();
}

QStringList TWordList::Keys() const
{
    QStringList keys;
    for (const auto& item : items_) {
        keys.append(item.first);
    }
    return keys;
}

QString ReadEditorText(const QString& fileName)
{
    QFile file(NativePath(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("Cannot open file \"" + fileName.toStdString() + "\". " +
                                 file.errorString().toStdString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw std::runtime_error("Cannot read file \"" + fileName.toStdString() + "\". " +
                                 file.errorString().toStdString());
    }
    return ToEditorText(QString::fromLatin1(bytes));
}

QStringList ReadTextLines(const QString& fileName)
{
    QString text = ReadEditorText(fileName);
    if (text.isEmpty()) {
        return QStringList();
    }
    if (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
    }
    return text.split(QLatin1Char('\n'));
}

// --- The control ---

TRichSyntaxEdit::TRichSyntaxEdit(QWidget* owner)
    : TRichEditStream(owner), formatWindow_(std::make_unique<TRichEditStream>())
{
    setAcceptDrops(false);
    setTabChangesFocus(false);
    connect(this, &TRichEdit::Changed, this, [this] {
        if (recording_ == 0) {
            undo_.Reset();
        }
    });
}

TRichSyntaxEdit::~TRichSyntaxEdit() = default;

bool TRichSyntaxEdit::LoadKeyWordFile(const QString& fileName)
{
    for (const QString& line : ReadTextLines(fileName)) {
        if (line.startsWith(QLatin1Char('&'))) {
            AddVariable(line.mid(1));
        } else if (line.startsWith(QLatin1Char('!'))) {
            AddComment(line.mid(1));
        } else {
            AddKeyWord(line);
        }
    }
    return true;
}

void TRichSyntaxEdit::AddKeyWord(const QString& definition)
{
    keywords_.Add(FirstWord(definition), definition);
}

void TRichSyntaxEdit::GetKeyWords(QStringList& memo) const
{
    ListInto(memo, "Keywords:", keywords_);
}

void TRichSyntaxEdit::GetVariables(QStringList& memo) const
{
    ListInto(memo, "Variables:", variables_);
}

void TRichSyntaxEdit::GetComments(QStringList& memo) const
{
    ListInto(memo, "Comments:", comments_);
}

void TRichSyntaxEdit::Parse()
{
    const QTextCursor kept = textCursor();
    const int hScroll = horizontalScrollBar()->value();
    const int vScroll = verticalScrollBar()->value();

    const int start = LineIndex(LineFromChar(rangeStart_));
    const int nextLine = LineFromChar(rangeEnd_) + 1;
    const int end = nextLine < LineCount() ? LineIndex(nextLine) - 2 : GetTextLen();
    rangeStart_ = start;
    rangeEnd_ = end;
    formatWindow_->SetPlainText(TextRange(start, end));
    SetSel(start, end - start);
    ParseFormatWindow();

    QTextCursor restored(document());
    restored.setPosition(std::min(kept.anchor(), document()->characterCount() - 1));
    restored.setPosition(std::min(kept.position(), document()->characterCount() - 1),
                         QTextCursor::KeepAnchor);
    setTextCursor(restored);
    horizontalScrollBar()->setValue(hScroll);
    verticalScrollBar()->setValue(vScroll);
}

void TRichSyntaxEdit::ParseFormatWindow()
{
    formatWindow_->SelectAll();
    QByteArray rtf = formatWindow_->SaveToString(true);
    AddSyntax(rtf);
    // Loaded even when the format window is empty, so an empty text replaces the selection.
    LoadFromString(rtf, true);
    modified_ = false;
}

bool TRichSyntaxEdit::LoadFile(const QString& fileName)
{
    formatWindow_->SetPlainText(ReadEditorText(fileName));
    viewport()->setUpdatesEnabled(false);
    SelectAll();
    try {
        ParseFormatWindow();
    } catch (...) {
        viewport()->setUpdatesEnabled(true);
        throw;
    }
    SetSel(0, 0);
    undo_.Reset();
    viewport()->setUpdatesEnabled(true);
    viewport()->update();
    return true;
}

void TRichSyntaxEdit::SetText(const QString& text) { PutText(text); }

void TRichSyntaxEdit::InsertText(const QString& text)
{
    const int end = PutText(text);
    SetSel(end, 0);
    ensureCursorVisible();
}

int TRichSyntaxEdit::PutText(const QString& text)
{
    const TWaitCursor wait;
    const QTextCursor selection = textCursor();
    const int docStart = selection.selectionStart();
    const int keptChars = document()->characterCount() - (selection.selectionEnd() - docStart);
    formatWindow_->SetPlainText(text);
    ParseFormatWindow();
    const int docEnd = docStart + document()->characterCount() - keptChars;
    // The text was coloured on its own; its lines are coloured again as a whole, since a
    // comment marker or an open quote before it on its line colours it too.
    const int end = ToRePosition(docEnd);
    rangeStart_ = ToRePosition(docStart);
    rangeEnd_ = end;
    Parse();
    return end;
}

void TRichSyntaxEdit::Clear()
{
    modified_ = false;
    TRichEditStream::Clear();
    undo_.Reset();
}

// --- Templates ---

QByteArray TRichSyntaxEdit::TemplateWord(int* start) const
{
    // A blank after the text, so that a word at its very end is looked up whole.
    const QByteArray text = (GetText() + QLatin1Char(' ')).toLatin1();
    const int p = WordStart(SelStart() + 1);
    if (start != nullptr) {
        *start = p - 1;
    }
    return NextWord(text, p);
}

QString TRichSyntaxEdit::GetCurrentKeywordDef() const
{
    const QByteArray word = TemplateWord(nullptr);
    return word.isEmpty() ? QString() : keywords_.Value(QString::fromLatin1(word));
}

void TRichSyntaxEdit::SelectCurrentWord()
{
    int start = 0;
    const QByteArray word = TemplateWord(&start);
    SetSel(start, static_cast<int>(word.size()));
}

// --- Paste ---

void TRichSyntaxEdit::CMPaste()
{
    if (OnPaste) {
        OnPaste();
    }
    PasteText(QGuiApplication::clipboard()->mimeData());
}

void TRichSyntaxEdit::PasteText(const QMimeData* source)
{
    if (source == nullptr || !source->hasText()) {
        ShowMessage(QStringLiteral("The clipboard does not contain text."));
        return;
    }
    InsertText(source->text());
}

bool TRichSyntaxEdit::canInsertFromMimeData(const QMimeData* /*source*/) const { return true; }

void TRichSyntaxEdit::insertFromMimeData(const QMimeData* source)
{
    if (OnPaste) {
        OnPaste();
    }
    PasteText(source);
}

QPoint TRichSyntaxEdit::GetCaretPos() const { return cursorRect().topLeft(); }
