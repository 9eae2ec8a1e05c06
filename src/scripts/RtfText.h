#pragma once
// The rich text the editors stream in and out: a small RTF writer and reader that are a pair.
// Text is Latin-1; "\n" stands for a line break inside runs.
//
// What the writer emits: a header with a colour table ahead of "\deflang", every line break
// as CR LF followed by "\par" (a delimiter blank only when more follows), "\", "{" and "}"
// escaped, tabs and bytes 0x80-0xFF raw, and "\cfN " where the colour changes. So a colour
// switch put between any two words of the output never cuts a control word or an escape.
//
// What the reader takes: groups, the skipped destinations (fonttbl, stylesheet, info, pict,
// object, {\* ...}), a colour table wherever it stands, \par, \line, \tab, \cfN, \plain,
// \uN with \ucN, the symbols \\ \{ \} \'hh \~ \-; raw CR and LF are ignored. It stops at a
// zero byte or where the outermost group closes. Input that does not start with "{\rtf" is
// plain text.
//
// Any thread; pure functions.

#include <QByteArray>
#include <QColor>
#include <QString>
#include <vector>

// A stretch of text in one colour; an invalid colour is the default (black).
struct TRtfRun {
    QString text;
    QColor colour;
};

// What a stream held: its runs in order, and whether it set colours at all ("\cf"); a
// stream that set none takes over the format where it is inserted.
struct TRtfContent {
    std::vector<TRtfRun> runs;
    bool coloured = false;

    QString PlainText() const;
};

// The RTF of the runs.
QByteArray WriteRtf(const std::vector<TRtfRun>& runs);
// The runs of an RTF stream (or of plain text when it is not RTF).
TRtfContent ReadRtf(const QByteArray& bytes);

// Plain text with CR LF line breaks, as Latin-1 bytes; characters past 255 become "?".
QByteArray WritePlainText(const QString& text);
// Plain text bytes: CR LF, lone CR and lone LF are line breaks ("\n"); a zero byte ends it.
QString ReadPlainText(const QByteArray& bytes);

// Text as the editors hold it: CR LF, CR and LF become "\n", a zero byte and characters past
// 255 become "?" (the editors hold single bytes only).
QString ToEditorText(const QString& text);
