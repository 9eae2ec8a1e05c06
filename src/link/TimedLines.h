#pragma once
// Timed command lines: one console command with its start time, as command sequences are
// built and sorted before they go to the DAS. A line reads "%08d %03d%s": columns 1-8 the start
// time in hundredths of a second, column 9 a blank, columns 10-12 an 8-bit running sequence
// number that keeps lines of equal time in the order they were made, the command from
// column 13 on.
//
// Every function here may be called from any thread; results are values the caller owns.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Column (0-based) where a timed line's command begins.
constexpr int kTimedLineCommandColumn = 12;
// Characters a timed line needs before its command.
constexpr int kTimedLineMinLength = 12;

// One timed line: "00000100 255CMD" for 100, 255, "CMD".
QString TimedLine(int hundredths, uint8_t sequence, const QString& command);

// Appends one timed line to `list` and advances `sequence` by one (255 wraps to 0).
void AddTimedLine(QStringList& list, int hundredths, uint8_t& sequence, const QString& command);

// A timed line's start time (columns 1-8) in hundredths of a second, or `fallback` when those
// columns are not a number.
int TimedLineStamp(const QString& line, int fallback);

// A timed line's command (the text from column 13 on); empty for a short line.
QString TimedLineCommand(const QString& line);

// The text with a-z upper-cased and every other character as it is, so each character keeps
// its place (the DAS reads its command words in any case).
QString UpperAscii(const QString& text);

// A number in a command or timed line: the whole text read as a decimal integer (leading
// blanks and a sign allowed, nothing after the digits); `fallback` when it is not one or does
// not fit 32 bits.
int CommandNumber(const QString& text, int fallback);

// The time, in ms, that a command's own wait takes, read from its upper-cased text (UpperAscii)
// with positions counted from 1 and p where the keyword starts: "WAITTICKS" with the text at
// least p + 10 long is 10 ms times the number from p + 10 on; otherwise "WAIT" with the text at
// least p + 5 long is 1000 ms times the number from p + 5 on; a number that is not one counts 0.
// None when neither applies. The one estimate of a wait, for every sender of commands.
std::optional<int64_t> CommandWaitMs(const QString& upper);

// `ms` held within the range of int.
int SaturateMs(int64_t ms);
