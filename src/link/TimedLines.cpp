#include "link/TimedLines.h"

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
