#pragma once
// The script editor's text control: it colours DAS script text by the words of a keyword
// file (keywords blue, comments green, quoted strings purple, variables red), keeps its own
// undo ring of typed text, offers the keyword templates, and pastes plain text only.
//
// Colouring goes through RTF: the plain text of the edited lines is put into a hidden format
// window, taken out as RTF, rewritten word by word with colour switches (AddSyntax), and
// streamed back in place of those lines.
//
// UI thread only.

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "scripts/Richeditstream.h"

class QMimeData;
class TRichSyntaxEdit;

// One step of the undo ring: where the edit began, the text it removed and the text it put in.
struct TUndoItem {
    int position = 0;
    QString replaced;
    QString inserted;
};

// The undo ring of typed text: 32 steps, typing that goes on where the last step ended
// continues that step.
class TUndo {
public:
    static constexpr int kSize = 32;

    explicit TUndo(TRichSyntaxEdit& owner) : owner_(owner) {}

    // Records `text` about to replace the editor's selection.
    void Add(const QString& text);
    void Undo();
    void Redo();
    bool CanUndo() const { return undoCount_ >= 1; }
    bool CanRedo() const { return redoCount_ >= 1; }
    // Forgets every step (the ring then stands as in a new editor).
    void Reset();

private:
    TRichSyntaxEdit& owner_;
    std::array<TUndoItem, kSize> items_{};
    int index_ = 0;
    int undoCount_ = 0;
    int redoCount_ = 0;
};

// A sorted word list compared without regard to case; a second entry of a word is ignored.
class TWordList {
public:
    void Add(const QString& key, const QString& value = QString());
    bool Contains(const QString& key) const { return items_.count(key) > 0; }
    // The value kept with the word, or "" when it is not listed.
    QString Value(const QString& key) const;
    QStringList Keys() const;
    void Clear() { items_.clear(); }
    bool IsEmpty() const { return items_.empty(); }

private:
    struct TLess {
        bool operator()(const QString& a, const QString& b) const
        {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        }
    };
    std::map<QString, QString, TLess> items_;
};

class TRichSyntaxEdit : public TRichEditStream {
    Q_OBJECT
public:
    // The RTF colour table entries of the four word classes, 1 to 4.
    static constexpr const char* kKeywordRtf = "\\red0\\green0\\blue255;";
    static constexpr const char* kCommentRtf = "\\red0\\green196\\blue0;";
    static constexpr const char* kQuoteRtf = "\\red128\\green0\\blue128;";
    static constexpr const char* kVariableRtf = "\\red255\\green0\\blue0;";

    explicit TRichSyntaxEdit(QWidget* owner = nullptr);
    ~TRichSyntaxEdit() override;

    // --- Colours (0x00BBGGRR; kept, colouring uses the fixed RTF entries above) ---
    uint32_t ColorKeyWord = 0xFF0000;
    uint32_t ColorComment = 0x008000;
    uint32_t ColorQuote = 0x800080;
    uint32_t ColorVariable = 0x0000FF;
    bool DoubleBuffered = true;
    // Called before every paste.
    std::function<void()> OnPaste;

    // --- Keyword file and word lists ---
    // Reads a keyword file: "&name" a variable, "!text" a comment marker, any other line a
    // keyword definition (key: its first word). Throws std::runtime_error when the file
    // cannot be read.
    bool LoadKeyWordFile(const QString& fileName);
    void AddKeyWord(const QString& definition);
    void AddVariable(const QString& name) { variables_.Add(name); }
    void AddComment(const QString& marker) { comments_.Add(marker); }
    void ClearVariables() { variables_.Clear(); }
    bool IsKeyWord(const QString& word) const { return keywords_.Contains(word); }
    bool IsComment(const QString& word) const { return comments_.Contains(word); }
    bool IsVariable(const QString& word) const { return variables_.Contains(word); }
    // "Keywords:", "Variables:" or "Comments:" and the sorted items.
    void GetKeyWords(QStringList& memo) const;
    void GetVariables(QStringList& memo) const;
    void GetComments(QStringList& memo) const;

    // --- Words ---
    // The text before the first blank; the whole line when it has none or starts with one.
    static QString FirstWord(const QString& line);
    // 2 blank, 0 letter, digit or "_", 1 ASCII punctuation, 3 anything else.
    static int GetClass(char c);
    // The word starting at `p` (from 1); the text's last character is never part of a run.
    static QByteArray NextWord(const QByteArray& text, int p);
    // The first position (from 1) of the run of letters, digits and punctuation ending
    // before `p`.
    int WordStart(int p) const;

    // --- Colouring ---
    // Recolours the whole lines of the recolour range.
    void Parse();
    // Colours the format window's content into this control's selection.
    void ParseFormatWindow();
    // Rewrites RTF with the colour table and colour switches.
    void AddSyntax(QByteArray& rtf);
    // Loads a file and colours it all; the caret goes to 0. Throws std::runtime_error when
    // the file cannot be read.
    bool LoadFile(const QString& fileName);
    // Replaces the selection with the text, coloured in the context of the lines it touches
    // (a comment marker or a quote before it on its line counts); the caret stands before it.
    void SetText(const QString& text);
    // As SetText, with the caret after the text, so that typing goes on behind it (paste,
    // redo, templates).
    void InsertText(const QString& text);
    void Clear() override;
    void SetRange(int start, int end)
    {
        rangeStart_ = start;
        rangeEnd_ = end;
    }
    int RangeStart() const { return rangeStart_; }
    int RangeEnd() const { return rangeEnd_; }
    // The text changed since the last recolouring.
    bool TextModified() const { return modified_; }

    // --- Templates ---
    // The whole definition line of the keyword at the caret, or "".
    QString GetCurrentKeywordDef() const;
    void SelectCurrentWord();

    // --- Undo, paste ---
    TUndo& UndoRing() { return undo_; }
    // Pastes the clipboard's plain text, coloured; says so when it holds no text.
    void CMPaste();
    QPoint GetCaretPos() const;
    // The hidden format window.
    TRichEditStream& FormatWindow() { return *formatWindow_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    friend class TUndo;
    // Edits the undo ring knows of; any other change of the text empties it.
    class TRecorded {
    public:
        explicit TRecorded(TRichSyntaxEdit& edit) : edit_(edit) { ++edit_.recording_; }
        ~TRecorded() { --edit_.recording_; }
        TRecorded(const TRecorded&) = delete;
        TRecorded& operator=(const TRecorded&) = delete;

    private:
        TRichSyntaxEdit& edit_;
    };

    void PasteText(const QMimeData* data);
    // SetText's work; returns the position where the text put in ends.
    int PutText(const QString& text);
    bool HandleEditKey(QKeyEvent* event);
    // Each character recorded in the undo ring, then inserted.
    void TypeText(const QString& text);
    void InsertTyped(const QString& text);
    void DeleteSelection();
    QByteArray TemplateWord(int* start) const;

    std::unique_ptr<TRichEditStream> formatWindow_;
    int rangeStart_ = 0;
    int rangeEnd_ = 0;
    TWordList variables_;
    TWordList keywords_;
    TWordList comments_;
    TUndo undo_{*this};
    bool modified_ = false;
    int recording_ = 0;
};

// Reads a text file whole as the editors hold it (Latin-1; CR LF, CR or LF are line breaks).
// Throws std::runtime_error when it cannot be read.
QString ReadEditorText(const QString& fileName);
// Reads a text file's lines as the editors take them (Latin-1; CR LF, CR or LF end a line;
// a final line end adds no empty line). Throws std::runtime_error when it cannot be read.
QStringList ReadTextLines(const QString& fileName);
