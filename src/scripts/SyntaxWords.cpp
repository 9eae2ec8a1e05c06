// The word rules of the syntax editor: character classes, the words of a text, and the
// rewriting of RTF with colour switches.
#include "scripts/Richsyntaxedit.h"

#include <algorithm>

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

const QByteArray kPar = QByteArrayLiteral("\\par");

QByteArray ColourTable()
{
    return QByteArrayLiteral("{\\colortbl\\red0\\green0\\blue0;") + TRichSyntaxEdit::kKeywordRtf +
           TRichSyntaxEdit::kCommentRtf + TRichSyntaxEdit::kQuoteRtf +
           TRichSyntaxEdit::kVariableRtf + '}';
}

// Whether the RTF holds the paragraph mark "\par" at `at` (from 0) as a control word: its
// backslash is not the second half of an escaped backslash of the text (as in "c:\\par1"),
// and no letter or digit follows to make it a longer word.
bool IsParMark(const QByteArray& rtf, qsizetype at)
{
    if (at < 0 || rtf.mid(at, 4) != kPar) {
        return false;
    }
    qsizetype backslashes = 0;
    for (qsizetype i = at; i >= 0 && rtf.at(i) == '\\'; --i) {
        ++backslashes;
    }
    const char after = at + 4 < rtf.size() ? rtf.at(at + 4) : ' ';
    return backslashes % 2 == 1 && !IsLetter(after) && !(after >= '0' && after <= '9');
}

}  // namespace

QString TRichSyntaxEdit::FirstWord(const QString& line)
{
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    return blank <= 0 ? line : line.left(blank);
}

int TRichSyntaxEdit::GetClass(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == '\v' || u == '\f') {
        return 2;
    }
    if (IsLetter(c) || (u >= '0' && u <= '9') || u == '_') {
        return 0;
    }
    if (u > 0x20 && u < 0x7F) {
        return 1;
    }
    return 3;
}

QByteArray TRichSyntaxEdit::NextWord(const QByteArray& text, int p)
{
    const auto n = static_cast<int>(text.size());
    if (p < 1 || p > n) {
        return QByteArray();
    }
    // Positions from 1; the scan never reaches the last character (position n).
    const char c = text.at(p - 1);
    int i = p + 1;
    auto wordClass = [&text](int at) { return GetClass(text.at(at - 1)); };
    if (c == '\\' && i < n && wordClass(i) == 1) {
        return text.mid(p - 1, 2);
    }
    if (c == '\\' || c == '{') {
        while (i < n && wordClass(i) <= 1) {
            ++i;
        }
    } else {
        const int cls = GetClass(c);
        while (i < n && wordClass(i) == cls) {
            ++i;
        }
    }
    return text.mid(p - 1, i - p);
}

int TRichSyntaxEdit::WordStart(int p) const
{
    const QString text = GetText();
    p = std::clamp(p, 1, static_cast<int>(text.size()) + 1);
    while (p > 1) {
        const QChar before = text.at(p - 2);
        if (before.unicode() > 0xFF || GetClass(static_cast<char>(before.unicode())) > 1) {
            break;
        }
        --p;
    }
    return p;
}

void TRichSyntaxEdit::AddSyntax(QByteArray& rtf)
{
    const QByteArray table = ColourTable();
    int lastClass = 0;
    int wordClass = 0;
    bool inComment = false;
    bool inString = false;
    bool headerDone = false;
    bool tableInserted = false;
    bool newLine = true;
    bool viSeen = false;
    QByteArray out;
    out.reserve(rtf.size() + rtf.size() / 4 + table.size());

    const int stop = static_cast<int>(rtf.lastIndexOf('}')) + 1;  // from 1; 0 when none
    int p = 1;
    while (p <= stop - 1) {
        QByteArray word = NextWord(rtf, p);
        if (word.isEmpty()) {
            break;
        }
        p += static_cast<int>(word.size());

        if (!headerDone) {
            const QByteArray head = word.left(3);
            if (head == "{\\c") {
                word = table;
                tableInserted = true;
            } else if ((head == "\\uc" || head == "\\vi") && !tableInserted) {
                word.prepend(table);
                tableInserted = true;
            }
            if (head == "\\de" || head == "\\uc" || head == "\\vi") {
                headerDone = true;
                viSeen = viSeen || head == "\\vi";
            }
        }

        const char c = word.at(0);
        const QString text = QString::fromLatin1(word);
        if (IsLetter(c) && !inComment && !inString) {
            if (IsKeyWord(text)) {
                wordClass = 1;
            } else if (IsComment(text)) {
                wordClass = 2;
                inComment = true;
            } else if (IsVariable(text)) {
                wordClass = 4;
            } else {
                wordClass = 0;
            }
        } else if (GetClass(c) == 1) {
            if (IsComment(text) && !inString) {
                wordClass = 2;
                inComment = true;
            } else if (word == kPar) {
                inComment = false;
                inString = false;
                newLine = true;
                wordClass = 0;
            } else if (c == '"' || c == '\'') {
                if (!inString && !inComment) {
                    inString = true;
                    wordClass = 3;
                } else if (inString) {
                    inString = false;
                    wordClass = 3;
                }
            }
        } else if (!inComment && !inString) {
            wordClass = 0;
        }

        if (word != kPar && c != ' ' && headerDone && (wordClass != lastClass || newLine)) {
            out += "\\cf" + QByteArray::number(wordClass) + ' ';
            lastClass = wordClass;
            newLine = false;
        }
        out += word;
    }

    // p is where the walk stopped (from 1); the mark looked for starts five before it.
    const bool endsWithPar = IsParMark(rtf, p - 5 - 1);
    if (!viSeen && GetTextLen() == rangeEnd_ && endsWithPar) {
        out += "\\par}";
    } else {
        out += '}';
    }
    rtf = out;
}
