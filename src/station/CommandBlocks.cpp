#include "station/CommandBlocks.h"

#include <algorithm>
#include <limits>

#include "link/Das.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/TimedLines.h"
#include "station/DeviceClasses.h"

namespace {

const QString kSupCr = QStringLiteral("\\!SupCr");
const QString kDelayWord = QStringLiteral("\\!Delay ");
const QString kRawStart = QStringLiteral("\\\\");
const QString kWaitTicks = QStringLiteral("WaitTicks");
const QString kEscapedCr = QStringLiteral("\\r");
constexpr int64_t kIntMin = std::numeric_limits<int>::min();
constexpr int64_t kIntMax = std::numeric_limits<int>::max();
// Characters read after "WaitTicks" for its number.
constexpr int kWaitTicksDigits = 20;
// A step between timed lines this large (or a step back) is no wait in a script.
constexpr int kScriptWaitLimit = 10'000'000;

// The state the directive lines of a block set.
struct TDirectives {
    bool suppressed = false;
    int delay = 0;

    // True when the line was a directive (and took effect).
    bool Apply(const QString& line)
    {
        switch (ClassifyBlockLine(line)) {
        case TBlockLineKind::SupCr:
            suppressed = true;
            return true;
        case TBlockLineKind::Delay:
            delay = TextToInt(line.mid(kDelayWord.size()), 0);
            return true;
        default:
            return false;
        }
    }
    QString LineEnd() const { return suppressed ? QString() : kEscapedCr; }
};

int EscapeValue(char c)
{
    switch (c) {
    case 'a':
        return 7;
    case 'b':
        return 8;
    case 'f':
        return 12;
    case 'n':
        return 10;
    case 'r':
        return 13;
    case 't':
        return 9;
    case 'v':
        return 11;
    case '\\':
        return 92;
    case '\'':
        return 39;
    case '"':
        return 34;
    case '?':
        return 63;
    default:
        return -1;
    }
}

// Only upper-case hex digits make a byte escape.
int UpperHexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

QString WaitLine(const QString& indent, int ticks)
{
    return indent + QStringLiteral("WaitTicks ") + QString::number(ticks);
}

}  // namespace

TBlockLineKind ClassifyBlockLine(const QString& line)
{
    if (line == kSupCr) {
        return TBlockLineKind::SupCr;
    }
    if (line.size() > kDelayWord.size() && line.startsWith(kDelayWord)) {
        return TBlockLineKind::Delay;
    }
    if (line.size() > 2 && line.startsWith(kRawStart)) {
        return TBlockLineKind::Raw;
    }
    return TBlockLineKind::Text;
}

int TextToInt(const QString& text, int fallback) { return CommandNumber(text.trimmed(), fallback); }

QStringList SplitBlockLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            continue;
        }
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) {
            ++i;
        }
        start = i + 1;
    }
    if (start < n) {
        lines << text.mid(start);
    }
    return lines;
}

int WaitTicksOf(const QString& text)
{
    const qsizetype at = text.indexOf(kWaitTicks);
    if (at < 0) {
        return 0;
    }
    QString number = text.mid(at + kWaitTicks.size(), kWaitTicksDigits);
    number.remove(QLatin1Char(','));
    return TextToInt(number, 0);
}

int SumWaitTicks(const QStringList& block)
{
    int64_t sum = 0;
    for (const QString& line : block) {
        if (line.contains(kWaitTicks)) {
            sum += WaitTicksOf(line);
        }
    }
    return static_cast<int>(std::clamp<int64_t>(sum, kIntMin, kIntMax));
}

QByteArray DecodeEscapes(const QString& text)
{
    const QByteArray in = text.toLatin1();
    const qsizetype n = in.size();
    QByteArray out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        if (in[i] != '\\') {
            out.append(in[i++]);
            continue;
        }
        if (i + 1 >= n) {
            break;  // a backslash that ends the text
        }
        const char e = in[i + 1];
        const int value = EscapeValue(e);
        if (value >= 0) {
            out.append(static_cast<char>(value));
            i += 2;
        } else if (e == 'x' || e == 'X') {
            const int high = i + 2 < n ? UpperHexValue(in[i + 2]) : -1;
            const int low = i + 3 < n ? UpperHexValue(in[i + 3]) : -1;
            if (high >= 0 && low >= 0) {
                out.append(static_cast<char>(high * 16 + low));
                i += 4;
            } else {
                i += 2;  // an incomplete byte escape: what follows is copied as text
            }
        } else {
            i += 2;
        }
        if (i == n - 1) {
            out.append(in[i]);
            break;
        }
    }
    return out;
}

QStringList SplitSendStringLines(const QString& head, const QString& str, int delay)
{
    const QString tail = delay > 0 ? QStringLiteral(", ") + QString::number(delay) : QString();
    const auto line = [&](const QString& piece) {
        return head + QStringLiteral(" \"") + piece + QLatin1Char('"') + tail;
    };
    const qsizetype room = kSendStringColumns - head.size();
    QStringList lines;
    QString rest = str;
    while (rest.size() + head.size() > kSendStringColumns) {
        qsizetype take = room;
        if (take >= 1 && rest[take - 1] == QLatin1Char('\\')) {
            --take;  // never cut an escape after its backslash
        }
        if (take < 1) {
            // A head of 39 columns or more: still move on, keeping an escape whole.
            take = rest[0] == QLatin1Char('\\') ? 2 : 1;
        }
        if (take >= rest.size()) {
            break;
        }
        lines << line(rest.left(take));
        rest.remove(0, take);
    }
    lines << line(rest);
    return lines;
}

QString SplitSendString(const QString& head, const QString& str, int delay)
{
    return SplitSendStringLines(head, str, delay).join(QStringLiteral("\r\n"));
}

QStringList SendStringWithStampsLines(const TDevice& device, const QString& prefix,
                                      const QString& cmdWord, const QString& destText,
                                      const QString& str, int delay)
{
    const QString head = prefix + cmdWord + destText;
    const QString date = QStringLiteral("\\D");
    const QString time = QStringLiteral("\\T");
    QStringList lines;
    QString rest = str;
    for (;;) {
        const qsizetype d = rest.indexOf(date);
        const qsizetype t = rest.indexOf(time);
        if (d < 0 && t < 0) {
            break;
        }
        const bool isDate = t < 0 || (d >= 0 && d < t);
        const qsizetype at = isDate ? d : t;
        if (at > 0) {
            lines << SplitSendStringLines(head, rest.left(at), delay);
        }
        if (isDate) {
            lines << prefix + QStringLiteral("SendDate ") + destText + QStringLiteral(" \"") +
                         device.GetDateStampInfix() + QStringLiteral("\" ") +
                         QString::number(device.GetDateStampFormat());
        } else {
            lines << prefix + QStringLiteral("SendTime ") + destText + QStringLiteral(" \"") +
                         device.GetTimeStampInfix() + QStringLiteral("\" ");
        }
        rest.remove(0, at + 2);
    }
    if (!rest.isEmpty()) {
        lines << SplitSendStringLines(head, rest, delay);
    }
    if (lines.isEmpty()) {
        lines << head;
    }
    return lines;
}

QString AddSendStringWithStamps(const TDevice& device, const QString& prefix,
                                const QString& cmdWord, const QString& destText, const QString& str,
                                int delay)
{
    return SendStringWithStampsLines(device, prefix, cmdWord, destText, str, delay)
        .join(QStringLiteral("\r\n"));
}

void AddSequenceLine(QStringList& list, int hundredths, uint8_t& sequence, const QString& command)
{
    TDas::AddTimedLine(list, std::clamp(hundredths, 0, kMaxTimedLineStamp), sequence, command);
}

void AddCommandText(const TDevice& device, QStringList& list, int& time, const QStringList& block,
                    const QString& numberText, const QString& destWord, const QString& prefix,
                    uint8_t& sequence)
{
    const QString dest = QLatin1Char(' ') + destWord + QLatin1Char(' ') + numberText.trimmed();
    TDirectives directives;
    for (const QString& line : block) {
        if (directives.Apply(line)) {
            continue;
        }
        if (ClassifyBlockLine(line) == TBlockLineKind::Raw) {
            const QString out = prefix + line.mid(2);
            if (out.contains(kWaitTicks)) {
                time = static_cast<int>(std::clamp<int64_t>(
                    static_cast<int64_t>(time) + WaitTicksOf(out), 0, kMaxTimedLineStamp));
            } else {
                AddSequenceLine(list, time, sequence, out);
            }
            continue;
        }
        const QStringList lines =
            SendStringWithStampsLines(device, prefix, QStringLiteral("SendString"), dest,
                                      line + directives.LineEnd(), directives.delay);
        for (const QString& command : lines) {
            AddSequenceLine(list, time, sequence, command);
        }
    }
}

int SendCommandsNow(const TDevice& device, const QStringList& block, int tMs)
{
    const TPort* port = device.GetPort();
    if (port == nullptr) {
        return tMs;
    }
    int t = tMs;
    TDirectives directives;
    for (const QString& line : block) {
        if (directives.Apply(line)) {
            continue;
        }
        if (ClassifyBlockLine(line) == TBlockLineKind::Raw) {
            if (Das != nullptr) {
                t = Das->SendCommandAt(line.mid(2), t);
            }
            continue;
        }
        const QString text = line + directives.LineEnd();
        if (port->IsPCSerial()) {
            TMux* mux = device.GetMux();
            if (mux != nullptr && mux->HasPCPort()) {
                const QByteArray bytes = DecodeEscapes(text);
                mux->GetPcPort()->Write(bytes.constData(), static_cast<int>(bytes.size()));
            }
        } else if (port->GetType() == TPortType::Serial) {
            if (directives.delay == 0) {
                if (port->HasHostChannel()) {
                    t = Host.QueueTimedCommand(static_cast<uint8_t>(port->GetHostChannel()),
                                               DecodeEscapes(text), t);
                }
            } else if (Das != nullptr) {
                t = Das->SendCommandAt(QStringLiteral("SendString Serial ") +
                                           QString::number(port->GetSerialPort()) +
                                           QStringLiteral(" \"") + text + QStringLiteral("\", ") +
                                           QString::number(directives.delay),
                                       t);
                const int64_t chars = line.size() + (directives.suppressed ? 0 : 1);
                t = static_cast<int>(
                    std::clamp<int64_t>(t + chars * directives.delay * 10, kIntMin, kIntMax));
            }
        }
    }
    return t;
}

void CommandsToScript(QStringList& out, const QString& prefix, const QString& portText,
                      const QStringList& block)
{
    TDirectives directives;
    for (const QString& line : block) {
        if (directives.Apply(line)) {
            continue;
        }
        if (ClassifyBlockLine(line) == TBlockLineKind::Raw) {
            out << prefix + line.mid(2);
            continue;
        }
        out << prefix + QStringLiteral("SendString Serial") + portText + QStringLiteral(" \"") +
                   line + directives.LineEnd() + QStringLiteral("\", ") +
                   QString::number(directives.delay);
    }
}

void TimedLinesToScript(QStringList& out, const QStringList& list, int startTime)
{
    int previous = startTime;
    for (const QString& line : list) {
        if (line.size() < kTimedLineMinLength) {
            continue;
        }
        const int time = TimedLineStamp(line, previous);
        const QString command = TimedLineCommand(line);
        qsizetype blanks = 0;
        while (blanks < command.size() && command[blanks] == QLatin1Char(' ')) {
            ++blanks;
        }
        const QString indent = command.left(blanks);
        const int64_t step = static_cast<int64_t>(time) - previous;
        if (step > 0 && step < kScriptWaitLimit) {
            // Only a wait line of our own takes the next wait; a command that merely names
            // the word keeps its text.
            if (!out.isEmpty() && out.last().trimmed().startsWith(kWaitTicks)) {
                QString& last = out.last();
                const qsizetype at = last.indexOf(kWaitTicks);
                // A wait line of a huge count stays at the largest count, never wraps.
                last = WaitLine(last.left(at), SaturateMs(step + WaitTicksOf(last)));
            } else {
                out << WaitLine(indent, static_cast<int>(step));
            }
        }
        if (command.size() > blanks) {
            out << command;
        }
        previous = time;
    }
}

TBlockDirectives SplitBlockDirectives(const QStringList& block)
{
    TBlockDirectives out;
    for (const QString& line : block) {
        switch (ClassifyBlockLine(line)) {
        case TBlockLineKind::SupCr:
            out.supCr = true;
            break;
        case TBlockLineKind::Delay:
            out.delayText = line.mid(kDelayWord.size());
            break;
        default:
            out.lines << line;
            break;
        }
    }
    return out;
}

QStringList JoinBlockDirectives(const TBlockDirectives& directives)
{
    QStringList block;
    if (directives.supCr) {
        block << kSupCr;
    }
    // The same reading of the number as the block's translation, so what is written here is
    // the delay that takes effect.
    if (TextToInt(directives.delayText, 0) >= 1) {
        block << kDelayWord + directives.delayText;
    }
    return block + directives.lines;
}
