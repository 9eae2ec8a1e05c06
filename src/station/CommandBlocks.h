#pragma once
// Command blocks: the multi-line command texts a device carries (power-on, power-off, get-data,
// start, stop and get-saved-data commands, start and stop labels) and their translations into
// timed DAS console commands, into commands and instrument bytes sent at once, and into DAS
// script lines.
//
// A block is a list of lines. Each line is, in this order (exact, case-sensitive):
//  - "\!SupCr": from the next line on no "\r" is added to text lines;
//  - "\!Delay n" (longer than 8 characters): from the next line on the character delay is n
//    hundredths of a second (0 when n is not a number);
//  - a raw line: two backslashes and at least one more character; the rest is a DAS command;
//  - a text line: anything else, the empty line included; bytes for the instrument. In text,
//    "\D" is a date stamp and "\T" a time stamp; escapes go to the DAS as typed.
// Directives produce nothing themselves and last to the end of the block.
//
// Threads: everything here runs on the UI thread (the pure text helpers on any thread).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

class TDevice;

// The widest "SendString" command line the DAS takes: head plus quoted piece.
constexpr int kSendStringColumns = 40;
// Largest time a timed line can carry: "%08d" hundredths.
constexpr int kMaxTimedLineStamp = 99'999'999;

enum class TBlockLineKind { SupCr, Delay, Raw, Text };

// Any thread. The kind of one block line.
TBlockLineKind ClassifyBlockLine(const QString& line);

// Any thread. The program's one reading of a number in text: blanks around it trimmed, an
// optional sign, decimal digits only; `fallback` for anything else or a value beyond 32 bits.
int TextToInt(const QString& text, int fallback);

// Any thread. A block's lines from text: CR LF, a lone CR or a lone LF end a line; a final
// line end adds no empty line, and "" gives no lines.
QStringList SplitBlockLines(const QString& text);

// Any thread. The number after the first "WaitTicks" of `text` (the next 20 characters,
// commas removed); 0 when the word is missing or no number follows.
int WaitTicksOf(const QString& text);
// Any thread. The sum of WaitTicksOf over every line holding "WaitTicks", raw or not.
int SumWaitTicks(const QStringList& block);

// Any thread. Decodes the escapes of instrument text into bytes: \a \b \f \n \r \t \v \\ \'
// \" \?, and \x or \X with two upper-case hex digits. An unknown or incomplete escape is
// dropped with its backslash; a final lone backslash is dropped, except as the single
// character left after an escape.
QByteArray DecodeEscapes(const QString& text);

// Any thread. `str` as "SendString"-style lines of at most 40 columns: head, a blank, a
// quoted piece, and ", delay" when the delay is above 0. A piece never ends in a lone
// backslash, and every piece takes at least one character. Lines joined by CR LF.
QString SplitSendString(const QString& head, const QString& str, int delay);
QStringList SplitSendStringLines(const QString& head, const QString& str, int delay);

// The command lines of `str` with its "\D" and "\T" stamps made into the device's "SendDate"
// and "SendTime" commands; the text between goes through SplitSendString with the head
// prefix + cmdWord + destText. With nothing at all the head alone. Joined by CR LF.
QString AddSendStringWithStamps(const TDevice& device, const QString& prefix,
                                const QString& cmdWord, const QString& destText, const QString& str,
                                int delay);
QStringList SendStringWithStampsLines(const TDevice& device, const QString& prefix,
                                      const QString& cmdWord, const QString& destText,
                                      const QString& str, int delay);

// Appends a timed line at `hundredths` (kept within 0..99,999,999) and advances `sequence`.
void AddSequenceLine(QStringList& list, int hundredths, uint8_t& sequence, const QString& command);

// UI thread. Appends the block's timed lines at `time` with the running sequence number: raw
// lines as they are (a raw "WaitTicks" line advances `time` instead), text lines as
// "SendString" commands to " <destWord> <numberText>" (text lines never advance the time).
void AddCommandText(const TDevice& device, QStringList& list, int& time, const QStringList& block,
                    const QString& numberText, const QString& destWord, const QString& prefix,
                    uint8_t& sequence);

// UI thread. Sends the block at once, from `tMs` on: raw lines as console commands; text lines
// to the instrument (a PC port's device port, or through the host channel of a DAS serial
// port; with a character delay as a "SendString Serial" command). Returns the time in ms at
// which the last will have finished. A device without a port sends nothing.
int SendCommandsNow(const TDevice& device, const QStringList& block, int tMs);

// Any thread. The block as DAS script lines: raw lines with `prefix`, text lines as
// prefix + "SendString Serial" + portText + " \"text\\r\", delay" (never split).
void CommandsToScript(QStringList& out, const QString& prefix, const QString& portText,
                      const QStringList& block);

// Any thread. A sorted timed list as script text from `startTime`: each command with its
// indent, a "WaitTicks" for every forward step below 10,000,000 hundredths (merged into a
// wait line just before it).
void TimedLinesToScript(QStringList& out, const QStringList& list, int startTime);

// A block as the command block editor shows it: whether carriage returns are suppressed, the
// character delay field's text as typed ("0" when the block has none) and every other line.
struct TBlockDirectives {
    bool supCr = false;
    QString delayText = QStringLiteral("0");
    QStringList lines;
};

// Any thread. Takes the directive lines out of a block: "\!SupCr" sets supCr, a "\!Delay n"
// line gives its text after "\!Delay " unchanged (the last one counts); everything else stays
// in `lines`, in order.
TBlockDirectives SplitBlockDirectives(const QStringList& block);
// Any thread. The block again, directives first: "\!SupCr" when set, then "\!Delay " and the
// delay text when that text reads as a number of at least 1, then the lines.
QStringList JoinBlockDirectives(const TBlockDirectives& directives);
