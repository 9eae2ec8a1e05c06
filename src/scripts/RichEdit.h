#pragma once
// Our rich edit control: a plain text editor (no word wrap, so one line is one paragraph)
// whose character positions count each line break as two characters, CR and LF, as the
// script editor's keys, undo ring and recolouring expect. Text is 8-bit: a character past 255
// becomes "?". Its content, or its selection, streams out and in as plain text or as the RTF
// of RtfText.h through a callback, in blocks.
//
// Positions ("RE positions") run from 0 to GetTextLen(); a position between a CR and its LF
// is taken as the position of the CR. Out-of-range selections are clamped.
//
// UI thread only.

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <cstdint>

#include "scripts/RtfText.h"

// Stream formats and flags, and the two stream messages.
constexpr uint32_t SF_TEXT = 0x0001;
constexpr uint32_t SF_RTF = 0x0002;
constexpr uint32_t SF_RTFNOOBJS = 0x0003;
constexpr uint32_t SF_TEXTIZED = 0x0004;
constexpr uint32_t SFF_PLAINRTF = 0x4000;
constexpr uint32_t SFF_SELECTION = 0x8000;
constexpr uint32_t EM_STREAMIN = 0x0449;
constexpr uint32_t EM_STREAMOUT = 0x044A;

// A stream callback: moves up to `count` bytes to (stream-out) or from (stream-in) `buffer`,
// sets `*done` to the bytes moved and returns 0, or returns an error code that ends the
// transfer. A stream-in ends when a call moves no bytes.
using TEditStreamCallback = uint32_t (*)(intptr_t cookie, char* buffer, int32_t count,
                                         int32_t* done);

// One transfer: the callback's cookie, the error code the transfer ended with (0: none) and
// the callback.
struct TEditStream {
    intptr_t dwCookie = 0;
    uint32_t dwError = 0;
    TEditStreamCallback pfnCallback = nullptr;
};

class TRichEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* parent = nullptr);

    // --- Text and positions ---
    int GetTextLen() const;
    // The whole text, lines joined by CR LF.
    QString GetText() const;
    // Replaces the whole text (plain, default colour); the caret goes to 0.
    void SetPlainText(const QString& text);
    // The text from `start` to `end` (CR LF for line breaks).
    QString TextRange(int start, int end) const;
    // The lines as the control lists them: a last line that is empty (an empty text, or one
    // ending in a line break) is not one of them, so writing each line with CR LF after it
    // gives back the text that was loaded.
    QStringList Lines() const;
    int LineCount() const;
    // The line holding the position (the CR and the LF of a line belong to it).
    int LineFromChar(int pos) const;
    // The position where the line starts; -1 past the last line.
    int LineIndex(int line) const;
    // The character at the position: CR or LF at a line break, a null character past the end.
    QChar CharAt(int pos) const;
    // Empties the control.
    virtual void Clear();

    // --- Selection ---
    int SelStart() const;
    int SelLength() const;
    // Selects from `start` for `length` characters (the caret at the end).
    void SetSel(int start, int length);
    void SetSelStart(int start) { SetSel(start, 0); }
    void SetSelLength(int length) { SetSel(SelStart(), length); }
    QString SelText() const;
    void SelectAll() { SetSel(0, GetTextLen()); }

    // --- Streams ---
    // EM_STREAMOUT / EM_STREAMIN with a format word of SF_* and SFF_* flags; the outcome is
    // in stream.dwError. A failed stream-in changes nothing.
    void StreamOut(uint32_t format, TEditStream& stream);
    void StreamIn(uint32_t format, TEditStream& stream);

    // Position conversions between RE positions and the document's own.
    int ToDocPosition(int pos) const;
    int ToRePosition(int docPos) const;

Q_SIGNALS:
    // The text changed (a change of colours alone does not count).
    void Changed();

protected:
    // Replaces the document range [docStart, docEnd) with the runs; without colours the
    // runs take the format found at docStart. The widget's caret is left at docStart.
    void ReplaceRange(int docStart, int docEnd, const TRtfContent& content);
    // Gives [docStart, docStart + length of the runs) the runs' colours; the text is the same.
    void ApplyColours(int docStart, const TRtfContent& content);
    // The runs of the document range [docStart, docEnd), "\n" for line breaks.
    std::vector<TRtfRun> RunsOf(int docStart, int docEnd) const;
    // Whether every character of the document range has that colour (invalid: the default).
    bool HasColour(int docStart, int docEnd, const QColor& colour) const;

private:
    int BlockOfRePosition(int pos) const;
    void OnContentsChange(int position, int removed, int added);

    bool coloursOnly_ = false;
};
