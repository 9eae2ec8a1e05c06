#include "link/TimedLines.h"

#include <algorithm>
#include <limits>

QString TimedLine(int hundredths, uint8_t sequence, const QString& command)
{
    return QString::asprintf("%08d %03d", hundredths, static_cast<int>(sequence)) + command;
}

void AddTimedLine(QStringList& list, int hundredths, uint8_t& sequence, const QString& command)
{
    list.append(TimedLine(hundredths, sequence, command));
    sequence = static_cast<uint8_t>(sequence + 1);
}

int TimedLineStamp(const QString& line, int fallback)
{
    return CommandNumber(line.left(8), fallback);
}

QString TimedLineCommand(const QString& line)
{
    return line.mid(kTimedLineCommandColumn);
}

std::optional<int64_t> CommandWaitMs(const QString& upper)
{
    const qsizetype length = upper.size();
    // Indexes here are 0-based: a keyword at index p starts at position p + 1.
    qsizetype p = upper.indexOf(QLatin1String("WAITTICKS"));
    if (p >= 0 && length >= p + 11) {
        return 10 * static_cast<int64_t>(CommandNumber(upper.mid(p + 10), 0));
    }
    p = upper.indexOf(QLatin1String("WAIT"));
    if (p >= 0 && length >= p + 6) {
        return 1000 * static_cast<int64_t>(CommandNumber(upper.mid(p + 5), 0));
    }
    return std::nullopt;
}

int SaturateMs(int64_t ms)
{
    return static_cast<int>(std::clamp<int64_t>(ms, std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max()));
}

QString UpperAscii(const QString& text)
{
    QString upper = text;
    for (QChar& c : upper) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - u'a' + u'A');
        }
    }
    return upper;
}

int CommandNumber(const QString& text, int fallback)
{
    qsizetype i = 0;
    const qsizetype length = text.size();
    while (i < length && text[i] == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < length && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == length) {
        return fallback;
    }
    int64_t value = 0;
    for (; i < length; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return fallback;
        }
        value = value * 10 + (c - u'0');
        if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) {
            return fallback;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return fallback;
    }
    return static_cast<int>(value);
}
