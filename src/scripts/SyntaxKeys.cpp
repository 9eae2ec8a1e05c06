// The syntax editor's keys: what typing records in the undo ring, when the edited lines are
// recoloured, and the undo ring itself.
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextCursor>

#include "scripts/Richsyntaxedit.h"

namespace {

bool IsNavigationKey(int key)
{
    return key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Left ||
           key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

bool IsModifierOrMoveKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Pause:
    case Qt::Key_CapsLock:
    case Qt::Key_Escape:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Insert:
    case Qt::Key_Help:
        return true;
    default:
        return false;
    }
}

// The printable Latin-1 text of typed characters, a character past 255 as "?"; empty when
// any character is a control character.
QString PrintableText(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0)) {
            return QString();
        }
        if (c.unicode() > 0xFF) {
            c = QLatin1Char('?');
        }
    }
    return text;
}

// Typed text the editor takes from a key.
QString TypedText(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers();
    // Ctrl alone makes shortcuts; Ctrl with Alt is AltGr on some keyboards.
    if ((mods & Qt::ControlModifier) != 0 && (mods & Qt::AltModifier) == 0) {
        return QString();
    }
    return PrintableText(event.text());
}

}  // namespace

void TRichSyntaxEdit::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (IsNavigationKey(key) && modified_) {
        Parse();
    }
    if (HandleEditKey(event)) {
        event->accept();
        return;
    }
    TRichEditStream::keyPressEvent(event);
}

bool TRichSyntaxEdit::HandleEditKey(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = (mods & Qt::ControlModifier) != 0;
    const bool shift = (mods & Qt::ShiftModifier) != 0;
    const bool alt = (mods & Qt::AltModifier) != 0;

    if ((key == Qt::Key_Insert && shift && !ctrl) || (key == Qt::Key_V && ctrl && !alt)) {
        CMPaste();
        return true;
    }
    if (key == Qt::Key_Z && ctrl && !alt) {
        if (shift) {
            undo_.Redo();
        } else {
            undo_.Undo();
        }
        return true;
    }
    if (key == Qt::Key_Y && ctrl && !alt) {
        undo_.Redo();
        return true;
    }
    if (isReadOnly()) {
        return false;
    }

    const TRecorded recorded(*this);
    if (key == Qt::Key_Tab && !ctrl && !alt) {
        undo_.Add(QStringLiteral("\t"));
        InsertTyped(QStringLiteral("\t"));
        return true;
    }
    // Shift+Enter too makes a new line (never a soft line break within one).
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        undo_.Add(QStringLiteral("\r\n"));
        InsertTyped(QStringLiteral("\n"));
        return true;
    }
    // Ctrl+Delete and Ctrl+Backspace act as the plain keys, so that every deletion is recorded;
    // Shift+Delete also puts what it deletes on the clipboard.
    if (key == Qt::Key_Delete) {
        const int caret = SelStart();
        const int len = GetTextLen();
        if (SelLength() == 0 && caret < len) {
            SetSel(caret, CharAt(caret) == QLatin1Char('\r') && caret + 2 <= len ? 2 : 1);
        }
        undo_.Add(QString());
        if (shift) {
            copy();
        }
        DeleteSelection();
        return true;
    }
    if (key == Qt::Key_Backspace) {
        const int caret = SelStart();
        if (SelLength() == 0 && caret > 0) {
            const bool lineBreak = caret > 1 && CharAt(caret - 2) == QLatin1Char('\r');
            SetSel(lineBreak ? caret - 2 : caret - 1, lineBreak ? 2 : 1);
        }
        undo_.Add(QString());
        DeleteSelection();
        return true;
    }
    const QString typed = TypedText(*event);
    if (!typed.isEmpty()) {
        TypeText(typed);
        return true;
    }
    return false;
}

void TRichSyntaxEdit::TypeText(const QString& text)
{
    for (const QChar c : text) {
        undo_.Add(QString(c));
        InsertTyped(QString(c));
    }
}

// Characters composed by the input method (dead keys, compose sequences) are typed text too.
void TRichSyntaxEdit::inputMethodEvent(QInputMethodEvent* event)
{
    const QString typed = PrintableText(event->commitString());
    if (isReadOnly() || typed.isEmpty() || !event->preeditString().isEmpty() ||
        event->replacementLength() != 0) {
        TRichEditStream::inputMethodEvent(event);
        return;
    }
    {
        const TRecorded recorded(*this);
        TypeText(typed);
    }
    // No key-up of a key of its own follows: the next move recolours the line.
    modified_ = true;
    event->accept();
}

void TRichSyntaxEdit::InsertTyped(const QString& text)
{
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TRichSyntaxEdit::DeleteSelection()
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.removeSelectedText();
        setTextCursor(cursor);
        ensureCursorVisible();
    }
}

void TRichSyntaxEdit::keyReleaseEvent(QKeyEvent* event)
{
    TRichEditStream::keyReleaseEvent(event);
    const int key = event->key();
    rangeStart_ = SelStart();
    rangeEnd_ = SelStart() + SelLength() + 1;
    if (key == Qt::Key_Tab || key == Qt::Key_Return || key == Qt::Key_Enter ||
        key == Qt::Key_Space) {
        --rangeStart_;
        Parse();
    } else if (IsModifierOrMoveKey(key)) {
        setToolTip(QString());
        if (modified_) {
            Parse();
        }
    } else if (!IsNavigationKey(key)) {
        modified_ = true;
    }
}

void TRichSyntaxEdit::mousePressEvent(QMouseEvent* event)
{
    if (modified_) {
        Parse();
    }
    TRichEditStream::mousePressEvent(event);
}

// --- The undo ring ---

void TUndo::Add(const QString& text)
{
    TUndoItem& current = items_[static_cast<size_t>(index_)];
    const int selStart = owner_.SelStart();
    if (current.position + current.inserted.size() == selStart) {
        current.replaced += owner_.SelText();
        current.inserted += text;
    } else {
        index_ = (index_ + 1) % kSize;
        items_[static_cast<size_t>(index_)] = {selStart, owner_.SelText(), text};
        if (undoCount_ < kSize) {
            ++undoCount_;
        }
    }
    redoCount_ = 0;
}

void TUndo::Undo()
{
    if (undoCount_ < 1) {
        return;
    }
    const TUndoItem item = items_[static_cast<size_t>(index_)];
    {
        const TRichSyntaxEdit::TRecorded recorded(owner_);
        owner_.SetSel(item.position, static_cast<int>(item.inserted.size()));
        owner_.SetText(item.replaced);
    }
    --undoCount_;
    ++redoCount_;
    index_ = (index_ - 1 + kSize) % kSize;
}

void TUndo::Redo()
{
    if (redoCount_ < 1) {
        return;
    }
    index_ = (index_ + 1) % kSize;
    const TUndoItem item = items_[static_cast<size_t>(index_)];
    {
        const TRichSyntaxEdit::TRecorded recorded(owner_);
        owner_.SetSel(item.position, static_cast<int>(item.replaced.size()));
        owner_.InsertText(item.inserted);
    }
    ++undoCount_;
    --redoCount_;
}

void TUndo::Reset()
{
    items_.fill(TUndoItem());
    index_ = 0;
    undoCount_ = 0;
    redoCount_ = 0;
}
