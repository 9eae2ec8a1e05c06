#pragma once
// Date and time as text, the one way the program shows and reads them: the station's short
// date format (from the system locale, always with a four-digit year) and the program-wide
// long time format ("hh:mm:ss" unless set otherwise). A date-time text is the date, a blank and
// the time. Formats use Qt's pattern letters: d, dd, M, MM, yyyy for dates; h, hh, H, HH, m, mm,
// s, ss and AP for times; text in single quotes is literal.
//
// Date-time values are local times counted in days since 30 December 1899 (the fraction is
// the time of day; before that date the whole part counts back while the fraction still
// counts forward).
//
// Every function may be called from any thread.

#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The short date format in use, and the system's own one (numeric, year widened to "yyyy"; a
// locale whose short date spells the month or weekday gives "MM/dd/yyyy").
QString ShortDateFormat();
QString SystemShortDateFormat();
// The same rule for any locale.
QString ShortDateFormatOf(const QLocale& locale);
// Sets the short date format (tests, or a station setting); an empty format goes back to the
// system's.
void SetShortDateFormat(const QString& format);
// The long time format in use (default "hh:mm:ss"), and its setter (empty: the default).
QString LongTimeFormat();
void SetLongTimeFormat(const QString& format);
// The first separator of each format ("/" in "MM/dd/yyyy", ":" in "hh:mm:ss").
QChar DateSeparator();
QChar TimeSeparator();

// Date-time values and Qt's local date-times.
QDateTime DateTimeFromValue(double value);
double DateTimeToValue(const QDateTime& dateTime);

QString DateToStr(double value);
QString TimeToStr(double value);
QString DateTimeToStr(double value);
QString DateToStr(const QDateTime& dateTime);
QString TimeToStr(const QDateTime& dateTime);
QString DateTimeToStr(const QDateTime& dateTime);
// The same in formats of the caller's, whatever the station's ("" for a value naming no date).
QString DateTimeToStr(double value, const QString& dateFormat, const QString& timeFormat);

// Readers of the same forms, lenient as an operator types: day, month and year fields of one
// or two digits (the year up to four; one of two digits falls within 50 years of today) in the
// short date format's order with its separator, blanks before fields and at the end allowed;
// hours, minutes and optional seconds with the time separator, optionally followed by AM or
// PM. A date that does not exist (31/02) or a time out of range gives nothing.
std::optional<double> StrToDate(const QString& text);  // whole days
std::optional<double> StrToTime(const QString& text);  // fraction of a day
// A date, optionally followed by a blank and a time; or a time alone (on day 0).
std::optional<double> StrToDateTime(const QString& text);
// The same without the time alone: the text must name a date.
std::optional<double> StrToDateAndTime(const QString& text);
// A year written with two digits (0..99) as the readers take it: within the hundred years
// that start 50 years before this one.
int WidenTwoDigitYear(int year);
// The same for a reader that widens many at once and asked for the year once (`thisYear`).
int WidenTwoDigitYear(int year, int thisYear);
