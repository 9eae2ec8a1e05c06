#include "platform/DateTimeText.h"

#include <QLocale>
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

constexpr qint64 kMsPerDay = 86'400'000;
// Beyond this many days either way a value is no date of the calendar the program uses.
constexpr double kMaxDays = 3'000'000.0;
const QLatin1String kFallbackShortDate("MM/dd/yyyy");
const QLatin1String kDefaultLongTime("hh:mm:ss");

QDate DayZero() { return QDate(1899, 12, 30); }

// One piece of a format: a run of one pattern letter, or literal text.
struct FormatToken {
    QChar letter;  // null for literal text
    int width = 0;
    QString text;  // the letters as written, or the literal without its quotes
};

std::vector<FormatToken> Tokenize(const QString& format)
{
    std::vector<FormatToken> tokens;
    auto addLiteral = [&tokens](QChar c) {
        if (tokens.empty() || !tokens.back().letter.isNull()) {
            tokens.push_back({QChar(), 0, QString()});
        }
        tokens.back().text += c;
    };
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
                addLiteral(c);
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (quoted || !(c.unicode() < 0x80 && c.isLetter())) {
            addLiteral(c);
        } else if (!tokens.empty() && tokens.back().letter == c) {
            ++tokens.back().width;
            tokens.back().text += c;
        } else {
            tokens.push_back({c, 1, QString(c)});
        }
    }
    return tokens;
}

// The locale's short date made numeric with a four-digit year; a format that spells out the
// month or weekday, or lacks a field, is no numeric short date.
QString NumericShortDate(const QString& localeFormat)
{
    QString result;
    bool hasDay = false, hasMonth = false, hasYear = false;
    for (const FormatToken& token : Tokenize(localeFormat)) {
        const char16_t letter = token.letter.unicode();
        if (token.letter.isNull()) {
            const bool plain = std::none_of(token.text.begin(), token.text.end(), [](QChar c) {
                return (c.unicode() < 0x80 && c.isLetter()) || c == QLatin1Char('\'');
            });
            QString literal = token.text;
            literal.replace(QLatin1String("'"), QLatin1String("''"));
            result += plain ? token.text : QLatin1Char('\'') + literal + QLatin1Char('\'');
        } else if (letter == u'y') {
            hasYear = true;
            result += QLatin1String("yyyy");
        } else if ((letter == u'd' || letter == u'M') && token.width <= 2) {
            (letter == u'd' ? hasDay : hasMonth) = true;
            result += token.text;
        } else {
            return kFallbackShortDate;
        }
    }
    return hasDay && hasMonth && hasYear ? result : QString(kFallbackShortDate);
}

struct Formats {
    std::mutex mutex;
    QString shortDate;  // empty: the system's
    QString longTime;   // empty: the default
};

Formats& CurrentFormats()
{
    static Formats formats;
    return formats;
}

QChar FirstSeparator(const QString& format, QChar fallback)
{
    bool afterField = false;
    for (const FormatToken& token : Tokenize(format)) {
        if (!token.letter.isNull()) {
            afterField = true;
            continue;
        }
        if (afterField) {
            for (QChar c : token.text) {
                if (c != QLatin1Char(' ')) {
                    return c;
                }
            }
            return token.text.isEmpty() ? fallback : token.text.at(0);
        }
    }
    return fallback;
}

// A date-time value split into its local date and time of day (milliseconds rounded, a
// rounding up to midnight carried into the next day).
std::optional<std::pair<QDate, QTime>> Split(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > kMaxDays) {
        return std::nullopt;
    }
    double whole = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - whole) * double(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        whole += 1.0;
    }
    return std::make_pair(DayZero().addDays(qint64(whole)),
                          QTime::fromMSecsSinceStartOfDay(int(ms)));
}

double Join(const QDate& date, const QTime& time)
{
    const double days = double(DayZero().daysTo(date));
    const double fraction = double(time.isValid() ? time.msecsSinceStartOfDay() : 0) / kMsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

// A cursor over the text being read.
class TScanner {
public:
    explicit TScanner(const QString& text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    qsizetype Pos() const { return pos_; }
    void SetPos(qsizetype pos) { pos_ = pos; }
    // Skips blanks; returns whether there were any.
    bool SkipBlanks()
    {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && text_.at(pos_).isSpace()) {
            ++pos_;
        }
        return pos_ > start;
    }
    // A number of 1 to maxDigits digits; `digits` gets how many there were.
    std::optional<int> Number(int maxDigits, int* digits = nullptr)
    {
        int value = 0, count = 0;
        while (pos_ < text_.size() && text_.at(pos_).unicode() >= u'0' &&
               text_.at(pos_).unicode() <= u'9') {
            if (++count > maxDigits) {
                return std::nullopt;
            }
            value = value * 10 + (text_.at(pos_).unicode() - u'0');
            ++pos_;
        }
        if (digits != nullptr) {
            *digits = count;
        }
        return count > 0 ? std::optional<int>(value) : std::nullopt;
    }
    // Takes `word` (blanks in it may be left out of the text) when it comes next.
    bool Take(const QString& word, Qt::CaseSensitivity cs = Qt::CaseSensitive)
    {
        qsizetype at = pos_;
        for (QChar c : word) {
            if (c.isSpace()) {
                continue;
            }
            while (at < text_.size() && text_.at(at).isSpace()) {
                ++at;
            }
            if (at >= text_.size() ||
                QString::compare(QString(text_.at(at)), QString(c), cs) != 0) {
                return false;
            }
            ++at;
        }
        pos_ = at;
        return true;
    }

private:
    const QString& text_;
    qsizetype pos_ = 0;
};

// Reads a date in the format's order; stops after its last field (and any literal that ends
// the format), before trailing blanks.
std::optional<QDate> ScanDate(TScanner& scan, const QString& format)
{
    std::vector<FormatToken> tokens = Tokenize(format);
    std::array<int, 3> value{};
    std::array<char16_t, 3> order{};
    std::array<QString, 4> literal;  // before, between and after the fields
    int fields = 0;
    for (const FormatToken& token : tokens) {
        if (token.letter.isNull()) {
            literal[std::min(fields, 3)] += token.text;
        } else if (fields < 3 && QStringLiteral("dMy").contains(token.letter)) {
            order[fields++] = token.letter.unicode();
        } else {
            return std::nullopt;
        }
    }
    if (fields != 3) {
        return std::nullopt;
    }
    scan.SkipBlanks();
    if (!literal[0].trimmed().isEmpty()) {
        scan.Take(literal[0]);
    }
    int yearDigits = 0;
    for (int i = 0; i < 3; ++i) {
        scan.SkipBlanks();
        const bool year = order[i] == u'y';
        const std::optional<int> number = scan.Number(year ? 4 : 2, year ? &yearDigits : nullptr);
        if (!number) {
            return std::nullopt;
        }
        value[i] = *number;
        if (i < 2) {
            const QString separator = literal[i + 1].trimmed();
            const bool blanks = scan.SkipBlanks();
            if (separator.isEmpty() ? !blanks : !scan.Take(separator)) {
                return std::nullopt;
            }
        }
    }
    const qsizetype afterFields = scan.Pos();
    if (literal[3].trimmed().isEmpty() || !scan.Take(literal[3])) {
        scan.SetPos(afterFields);
    }
    int year = 0, month = 0, day = 0;
    for (int i = 0; i < 3; ++i) {
        (order[i] == u'y' ? year : order[i] == u'M' ? month : day) = value[i];
    }
    const int fullYear = yearDigits > 2 ? year : WidenTwoDigitYear(year);
    const QDate date(fullYear, month, day);
    return date.isValid() && fullYear > 0 ? std::optional<QDate>(date) : std::nullopt;
}

// Reads hours, minutes, optional seconds and an optional AM or PM.
std::optional<QTime> ScanTime(TScanner& scan, QChar separator)
{
    const QString sep(separator);
    std::array<int, 3> hms{};
    int parts = 0;
    while (parts < 3) {
        scan.SkipBlanks();
        const std::optional<int> number = scan.Number(2);
        if (!number) {
            return std::nullopt;
        }
        hms[parts++] = *number;
        const qsizetype afterNumber = scan.Pos();
        if (parts == 3 || !scan.Take(sep)) {
            scan.SetPos(afterNumber);
            break;
        }
    }
    if (parts < 2) {
        return std::nullopt;
    }
    const qsizetype afterTime = scan.Pos();
    scan.SkipBlanks();
    int baseHour = -1;
    if (scan.Take(QStringLiteral("AM"), Qt::CaseInsensitive) ||
        scan.Take(QStringLiteral("A"), Qt::CaseInsensitive)) {
        baseHour = 0;
    } else if (scan.Take(QStringLiteral("PM"), Qt::CaseInsensitive) ||
               scan.Take(QStringLiteral("P"), Qt::CaseInsensitive)) {
        baseHour = 12;
    } else {
        scan.SetPos(afterTime);
    }
    int hour = hms[0];
    if (baseHour >= 0) {
        if (hour > 12) {
            return std::nullopt;
        }
        hour = hour % 12 + baseHour;
    }
    if (hour > 23 || hms[1] > 59 || hms[2] > 59) {
        return std::nullopt;
    }
    return QTime(hour, hms[1], hms[2]);
}

bool OnlyBlanksLeft(TScanner& scan)
{
    scan.SkipBlanks();
    return scan.AtEnd();
}

}  // namespace

QString ShortDateFormatOf(const QLocale& locale)
{
    return NumericShortDate(locale.dateFormat(QLocale::ShortFormat));
}

QString SystemShortDateFormat()
{
    static const QString format = ShortDateFormatOf(QLocale::system());
    return format;
}

QString ShortDateFormat()
{
    Formats& f = CurrentFormats();
    std::lock_guard lock(f.mutex);
    return f.shortDate.isEmpty() ? SystemShortDateFormat() : f.shortDate;
}

void SetShortDateFormat(const QString& format)
{
    Formats& f = CurrentFormats();
    std::lock_guard lock(f.mutex);
    f.shortDate = format;
}

QString LongTimeFormat()
{
    Formats& f = CurrentFormats();
    std::lock_guard lock(f.mutex);
    return f.longTime.isEmpty() ? QString(kDefaultLongTime) : f.longTime;
}

void SetLongTimeFormat(const QString& format)
{
    Formats& f = CurrentFormats();
    std::lock_guard lock(f.mutex);
    f.longTime = format;
}

int WidenTwoDigitYear(int year) { return WidenTwoDigitYear(year, QDate::currentDate().year()); }

int WidenTwoDigitYear(int year, int thisYear)
{
    const int base = thisYear - 50;
    int widened = base - base % 100 + year;
    if (widened < base) {
        widened += 100;
    }
    return widened;
}

QChar DateSeparator() { return FirstSeparator(ShortDateFormat(), QLatin1Char('/')); }

QChar TimeSeparator() { return FirstSeparator(LongTimeFormat(), QLatin1Char(':')); }

QDateTime DateTimeFromValue(double value)
{
    const auto parts = Split(value);
    return parts ? QDateTime(parts->first, parts->second) : QDateTime();
}

double DateTimeToValue(const QDateTime& dateTime)
{
    const QDateTime local = dateTime.toLocalTime();
    return Join(local.date(), local.time());
}

QString DateToStr(double value)
{
    const auto parts = Split(value);
    return parts ? QLocale::c().toString(parts->first, ShortDateFormat()) : QString();
}

QString TimeToStr(double value)
{
    const auto parts = Split(value);
    return parts ? QLocale::c().toString(parts->second, LongTimeFormat()) : QString();
}

QString DateTimeToStr(double value)
{
    return DateTimeToStr(value, ShortDateFormat(), LongTimeFormat());
}

QString DateTimeToStr(double value, const QString& dateFormat, const QString& timeFormat)
{
    const auto parts = Split(value);
    if (!parts) {
        return QString();
    }
    return QLocale::c().toString(parts->first, dateFormat) + QLatin1Char(' ') +
           QLocale::c().toString(parts->second, timeFormat);
}

QString DateToStr(const QDateTime& dateTime) { return DateToStr(DateTimeToValue(dateTime)); }

QString TimeToStr(const QDateTime& dateTime) { return TimeToStr(DateTimeToValue(dateTime)); }

QString DateTimeToStr(const QDateTime& dateTime)
{
    return DateTimeToStr(DateTimeToValue(dateTime));
}

std::optional<double> StrToDate(const QString& text)
{
    TScanner scan(text);
    const std::optional<QDate> date = ScanDate(scan, ShortDateFormat());
    if (!date || !OnlyBlanksLeft(scan)) {
        return std::nullopt;
    }
    return Join(*date, QTime(0, 0));
}

std::optional<double> StrToTime(const QString& text)
{
    TScanner scan(text);
    const std::optional<QTime> time = ScanTime(scan, TimeSeparator());
    if (!time || !OnlyBlanksLeft(scan)) {
        return std::nullopt;
    }
    return Join(DayZero(), *time);
}

std::optional<double> StrToDateTime(const QString& text)
{
    if (const std::optional<double> value = StrToDateAndTime(text)) {
        return value;
    }
    return StrToTime(text);
}

std::optional<double> StrToDateAndTime(const QString& text)
{
    TScanner scan(text);
    if (const std::optional<QDate> date = ScanDate(scan, ShortDateFormat())) {
        const qsizetype afterDate = scan.Pos();
        if (OnlyBlanksLeft(scan)) {
            return Join(*date, QTime(0, 0));
        }
        scan.SetPos(afterDate);
        // The time must stand apart from the date.
        if (scan.SkipBlanks()) {
            const std::optional<QTime> time = ScanTime(scan, TimeSeparator());
            if (time && OnlyBlanksLeft(scan)) {
                return Join(*date, *time);
            }
        }
    }
    return std::nullopt;
}
