#include "scripts/RtfText.h"

#include <algorithm>
#include <cstdlib>

namespace {

const QByteArray kRtfHeadStart = QByteArrayLiteral(
    "{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fnil;}}\r\n{\\colortbl\\red0\\green0\\blue0;");
const QByteArray kRtfHeadEnd = QByteArrayLiteral("}\r\n\\deflang1033\\pard\\plain\\f0\\fs20 ");

bool IsDefault(const QColor& colour) { return !colour.isValid() || colour == QColor(Qt::black); }

char Latin1(QChar c) { return c.unicode() > 0xFF ? '?' : static_cast<char>(c.unicode()); }

void AppendRun(std::vector<TRtfRun>& runs, const QString& text, const QColor& colour)
{
    if (text.isEmpty()) {
        return;
    }
    if (!runs.empty() && runs.back().colour == colour) {
        runs.back().text += text;
    } else {
        runs.push_back({text, colour});
    }
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 0 to 15 for a hexadecimal digit, else -1.
int HexValue(char c)
{
    bool ok = false;
    const int value = QByteArray(1, c).toInt(&ok, 16);
    return ok ? value : -1;
}

// The reader of one stream.
class TRtfReader {
public:
    explicit TRtfReader(const QByteArray& bytes) : in_(bytes) {}

    TRtfContent Read()
    {
        while (at_ < in_.size() && in_.at(at_) != '\0') {
            const char c = in_.at(at_++);
            if (c == '{') {
                OpenGroup();
            } else if (c == '}') {
                if (!CloseGroup()) {
                    break;
                }
            } else if (c == '\\') {
                ControlWord();
            } else if (c == '\r' || c == '\n') {
                // Raw line ends only lay out the RTF itself.
            } else {
                Text(QChar(static_cast<uchar>(c)));
            }
        }
        return Finish();
    }

private:
    enum class TDest { Text, Skip, ColourTable };

    struct TGroup {
        int colour = 0;
        int skipPerUnicode = 1;
        TDest dest = TDest::Text;
        bool first = true;  // nothing read in the group yet (a destination word may follow)
    };

    struct TPendingRun {
        QString text;
        int colour = 0;
    };

    TGroup& Top() { return groups_.back(); }

    void OpenGroup()
    {
        TGroup group = groups_.empty() ? TGroup() : Top();
        group.first = true;
        if (group.dest == TDest::ColourTable) {
            group.dest = TDest::Skip;
        }
        groups_.push_back(group);
    }

    // False when the outermost group closed.
    bool CloseGroup()
    {
        if (!groups_.empty() && Top().dest == TDest::ColourTable) {
            EndColourEntry(false);
        }
        if (!groups_.empty()) {
            groups_.pop_back();
        }
        return !groups_.empty();
    }

    void ControlWord()
    {
        if (at_ >= in_.size()) {
            return;
        }
        const char c = in_.at(at_);
        if (!IsLetter(c)) {
            ++at_;
            Symbol(c);
            return;
        }
        const qsizetype start = at_;
        while (at_ < in_.size() && IsLetter(in_.at(at_))) {
            ++at_;
        }
        const QByteArray word = in_.mid(start, at_ - start);
        bool hasValue = false;
        long value = 0;
        const qsizetype numberStart = at_;
        if (at_ < in_.size() && (in_.at(at_) == '-' || IsDigit(in_.at(at_)))) {
            ++at_;
            while (at_ < in_.size() && IsDigit(in_.at(at_))) {
                ++at_;
            }
            const QByteArray number = in_.mid(numberStart, at_ - numberStart);
            bool ok = false;
            value = number.toLong(&ok);
            hasValue = ok;
        }
        if (at_ < in_.size() && in_.at(at_) == ' ') {
            ++at_;
        }
        Word(word, hasValue, value);
    }

    void Word(const QByteArray& word, bool hasValue, long value)
    {
        if (groups_.empty()) {
            return;
        }
        const bool first = Top().first;
        Top().first = false;
        if (first && (word == "fonttbl" || word == "stylesheet" || word == "info" ||
                      word == "pict" || word == "object")) {
            Top().dest = TDest::Skip;
            return;
        }
        if (word == "colortbl") {
            Top().dest = TDest::ColourTable;
            table_.clear();
            entry_ = TEntry();
            return;
        }
        if (Top().dest == TDest::ColourTable) {
            const int v = static_cast<int>(std::clamp<long>(value, 0, 255));
            if (word == "red") {
                entry_.red = v;
                entry_.set = true;
            } else if (word == "green") {
                entry_.green = v;
                entry_.set = true;
            } else if (word == "blue") {
                entry_.blue = v;
                entry_.set = true;
            }
            return;
        }
        if (Top().dest == TDest::Skip) {
            return;
        }
        if (word == "par" || word == "line") {
            Text(QLatin1Char('\n'));
        } else if (word == "tab") {
            Text(QLatin1Char('\t'));
        } else if (word == "cf") {
            Top().colour = hasValue ? static_cast<int>(std::clamp<long>(value, -1, 0xFFFF)) : 0;
            coloured_ = true;
        } else if (word == "plain") {
            Top().colour = 0;
        } else if (word == "uc") {
            Top().skipPerUnicode = hasValue ? static_cast<int>(std::clamp<long>(value, 0, 16)) : 1;
        } else if (word == "u" && hasValue) {
            const long code = value < 0 ? value + 65536 : value;
            Text(code > 0 && code <= 0xFF ? QChar(static_cast<ushort>(code)) : QLatin1Char('?'));
            SkipUnicodeFallback(Top().skipPerUnicode);
        }
    }

    void Symbol(char c)
    {
        if (groups_.empty()) {
            return;
        }
        const bool first = Top().first;
        Top().first = false;
        if (c == '*' && first) {
            Top().dest = TDest::Skip;
            return;
        }
        if (Top().dest != TDest::Text) {
            if (c == '\'') {
                at_ = std::min(at_ + 2, in_.size());
            }
            return;
        }
        switch (c) {
        case '\\':
        case '{':
        case '}':
            Text(QLatin1Char(c));
            break;
        case '\'': {
            const int high = at_ < in_.size() ? HexValue(in_.at(at_)) : -1;
            const int low = at_ + 1 < in_.size() ? HexValue(in_.at(at_ + 1)) : -1;
            if (high >= 0 && low >= 0) {
                at_ += 2;
                const int byte = high * 16 + low;
                // The editors hold no zero characters.
                Text(byte == 0 ? QLatin1Char('?') : QChar(static_cast<ushort>(byte)));
            }
            break;
        }
        case '~':
            Text(QLatin1Char(' '));
            break;
        case '\r':
        case '\n':
            Text(QLatin1Char('\n'));
            break;
        default:
            break;
        }
    }

    // Skips the fallback characters that follow a \u: each byte, escape or control word
    // counts as one.
    void SkipUnicodeFallback(int count)
    {
        for (int i = 0; i < count && at_ < in_.size(); ++i) {
            const char c = in_.at(at_);
            if (c == '{' || c == '}' || c == '\0') {
                return;
            }
            ++at_;
            if (c != '\\' || at_ >= in_.size()) {
                continue;
            }
            if (in_.at(at_) == '\'') {
                at_ = std::min(at_ + 3, in_.size());
            } else if (IsLetter(in_.at(at_))) {
                while (at_ < in_.size() && (IsLetter(in_.at(at_)) || IsDigit(in_.at(at_)) ||
                                            in_.at(at_) == '-')) {
                    ++at_;
                }
                if (at_ < in_.size() && in_.at(at_) == ' ') {
                    ++at_;
                }
            } else {
                ++at_;
            }
        }
    }

    void Text(QChar c)
    {
        if (groups_.empty()) {
            return;
        }
        Top().first = false;
        if (Top().dest == TDest::ColourTable) {
            if (c == QLatin1Char(';')) {
                EndColourEntry(true);
            }
            return;
        }
        if (Top().dest == TDest::Skip) {
            return;
        }
        const int colour = Top().colour;
        if (runs_.empty() || runs_.back().colour != colour) {
            runs_.push_back({QString(), colour});
        }
        runs_.back().text += c;
    }

    void EndColourEntry(bool closedBySemicolon)
    {
        if (closedBySemicolon || entry_.set) {
            table_.push_back(entry_.set ? QColor(entry_.red, entry_.green, entry_.blue) : QColor());
        }
        entry_ = TEntry();
    }

    TRtfContent Finish()
    {
        TRtfContent content;
        content.coloured = coloured_;
        for (const TPendingRun& run : runs_) {
            QColor colour;
            if (run.colour > 0 && run.colour < static_cast<int>(table_.size())) {
                colour = table_[static_cast<size_t>(run.colour)];
            }
            AppendRun(content.runs, run.text, IsDefault(colour) ? QColor() : colour);
        }
        return content;
    }

    struct TEntry {
        int red = 0;
        int green = 0;
        int blue = 0;
        bool set = false;
    };

    const QByteArray& in_;
    qsizetype at_ = 0;
    std::vector<TGroup> groups_;
    std::vector<TPendingRun> runs_;
    std::vector<QColor> table_;
    TEntry entry_;
    bool coloured_ = false;
};

}  // namespace

QString TRtfContent::PlainText() const
{
    QString text;
    for (const TRtfRun& run : runs) {
        text += run.text;
    }
    return text;
}

QByteArray WriteRtf(const std::vector<TRtfRun>& runs)
{
    std::vector<QColor> table;
    QByteArray body;
    int current = 0;
    bool pendingBlank = false;
    auto flushBlank = [&] {
        if (pendingBlank) {
            body += ' ';
            pendingBlank = false;
        }
    };
    for (const TRtfRun& run : runs) {
        if (run.text.isEmpty()) {
            continue;
        }
        int index = 0;
        if (!IsDefault(run.colour)) {
            const auto it = std::find(table.begin(), table.end(), run.colour);
            index = static_cast<int>(it - table.begin()) + 1;
            if (it == table.end()) {
                table.push_back(run.colour);
            }
        }
        if (index != current) {
            flushBlank();
            body += "\\cf" + QByteArray::number(index) + ' ';
            current = index;
        }
        for (const QChar qc : run.text) {
            const char c = Latin1(qc);
            if (c == '\n') {
                body += "\r\n\\par";
                pendingBlank = true;
                continue;
            }
            flushBlank();
            if (c == '\\' || c == '{' || c == '}') {
                body += '\\';
            }
            body += c;
        }
    }
    QByteArray out = kRtfHeadStart;
    for (const QColor& colour : table) {
        out += "\\red" + QByteArray::number(colour.red()) + "\\green" +
               QByteArray::number(colour.green()) + "\\blue" + QByteArray::number(colour.blue()) +
               ';';
    }
    out += kRtfHeadEnd;
    out += body;
    out += '}';
    return out;
}

TRtfContent ReadRtf(const QByteArray& bytes)
{
    if (!bytes.startsWith("{\\rtf")) {
        TRtfContent content;
        AppendRun(content.runs, ReadPlainText(bytes), QColor());
        return content;
    }
    return TRtfReader(bytes).Read();
}

QByteArray WritePlainText(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 16);
    for (const QChar qc : text) {
        const char c = Latin1(qc);
        if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

QString ReadPlainText(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    return ToEditorText(QString::fromLatin1(end < 0 ? bytes : bytes.left(end)));
}

QString ToEditorText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1Char('\n');
            if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
            }
        } else if (c.unicode() == 0 || c.unicode() > 0xFF) {
            out += QLatin1Char('?');
        } else {
            out += c;
        }
    }
    return out;
}
