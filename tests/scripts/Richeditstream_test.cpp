#include "scripts/Richeditstream.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <algorithm>
#include <stdexcept>

namespace {

// A stream whose reads or writes fail with an exception of its own.
class TFailingStream final : public TStream {
public:
    int64_t Read(char*, int64_t) override { throw std::logic_error("read failed"); }
    int64_t Write(const char*, int64_t) override { throw std::logic_error("write failed"); }
    int64_t Seek(int64_t, TOrigin) override { return 0; }
    int64_t Size() const override { return 0; }
};

QString Latin1(const char* text) { return QString::fromLatin1(text); }

// The RTF our writer makes for a plain text.
QByteArray RtfOf(const QString& text)
{
    TRichEditStream edit;
    edit.SetPlainText(text);
    return edit.SaveToString(false);
}

TEST(RichEditPositions, LineBreaksCountAsCrAndLf)
{
    TRichEditStream edit;
    edit.SetPlainText(QStringLiteral("ab\r\ncd"));
    EXPECT_EQ(edit.GetTextLen(), 6);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ab\r\ncd"));
    EXPECT_EQ(edit.LineFromChar(2), 0);
    EXPECT_EQ(edit.LineFromChar(3), 0);
    EXPECT_EQ(edit.LineFromChar(4), 1);
    EXPECT_EQ(edit.LineIndex(1), 4);
    EXPECT_EQ(edit.LineIndex(2), -1);
    EXPECT_EQ(edit.CharAt(2), QLatin1Char('\r'));
    EXPECT_EQ(edit.CharAt(3), QLatin1Char('\n'));
    EXPECT_EQ(edit.CharAt(4), QLatin1Char('c'));

    // Between the CR and the LF is before the CR.
    edit.SetSelStart(3);
    EXPECT_EQ(edit.SelStart(), 2);
    // Selections are clamped to the text.
    edit.SetSel(4, 100);
    EXPECT_EQ(edit.SelStart(), 4);
    EXPECT_EQ(edit.SelLength(), 2);
    edit.SetSel(1, 4);
    EXPECT_EQ(edit.SelText(), QStringLiteral("b\r\nc"));
}

TEST(RichEditPositions, TextIsEightBit)
{
    TRichEditStream edit;
    edit.SetPlainText(QStringLiteral("a\u20ACb\rc\nd") + QChar(0xE9));
    EXPECT_EQ(edit.GetText(), QStringLiteral("a?b\r\nc\r\nd") + QChar(0xE9));
    EXPECT_EQ(edit.LineCount(), 3);
    EXPECT_EQ(edit.Lines(), QStringList({QStringLiteral("a?b"), QStringLiteral("c"),
                                         QStringLiteral("d") + QChar(0xE9)}));
}

TEST(RichEditStream, EmptySelectionStillGivesAnRtfGroup)
{
    TRichEditStream edit;
    edit.SetPlainText(QStringLiteral("abc"));
    edit.SetSel(1, 0);
    const QByteArray rtf = edit.SaveToString(true);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.endsWith("}"));
}

TEST(RichEditStream, RtfRoundTripKeepsEveryByte)
{
    const QString text = Latin1("  lead {x} \\path\\ \ttab\r\n\r\nend ") + QChar(0xE9) +
                         QChar(0x92) + Latin1(";\r\nx;\r\n\\\r\n");
    TRichEditStream edit;
    edit.SetPlainText(text);
    const QByteArray rtf = edit.SaveToString(false);
    TRichEditStream other;
    other.LoadFromString(rtf, false);
    EXPECT_EQ(other.GetText(), text);
}

TEST(RichEditStream, RandomTextsRoundTrip)
{
    QRandomGenerator rng(4711);
    const QString alphabet = Latin1("ab Z9_;\"'{}\\\t\r\n") + QChar(0xA0) + QChar(0xE9) +
                             QChar(0xFF) + QChar(0x80);
    for (int round = 0; round < 200; ++round) {
        QString text;
        const int length = rng.bounded(60);
        for (int i = 0; i < length; ++i) {
            text += alphabet.at(rng.bounded(static_cast<int>(alphabet.size())));
        }
        const QString expected = QString(text).replace(Latin1("\r\n"), Latin1("\n"))
                                     .replace(QLatin1Char('\r'), QLatin1Char('\n'))
                                     .replace(QLatin1Char('\n'), Latin1("\r\n"));
        TRichEditStream edit;
        edit.LoadFromString(RtfOf(text), false);
        ASSERT_EQ(edit.GetText(), expected) << "round " << round;
    }
}

TEST(RichEditStream, LoadingInPlaceOfTheSelectionKeepsTheTextAround)
{
    TRichEditStream edit;
    edit.SetPlainText(QStringLiteral("abcdef"));
    edit.SetSel(2, 2);
    edit.LoadFromString(RtfOf(QStringLiteral("XY")), true);
    EXPECT_EQ(edit.GetText(), QStringLiteral("abXYef"));
    EXPECT_EQ(edit.SelStart(), 2);
    EXPECT_EQ(edit.SelLength(), 0);
}

TEST(RichEditStream, StreamExceptionsBecomeOutOfResources)
{
    TRichEditStream edit;
    edit.SetPlainText(QStringLiteral("keep"));
    TFailingStream failing;
    try {
        edit.LoadFromStream(failing, false, false, false);
        FAIL() << "no exception";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Failed to load stream.");
    }
    EXPECT_EQ(edit.GetText(), QStringLiteral("keep"));
    try {
        edit.SaveToStream(failing, false, false, false, false);
        FAIL() << "no exception";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Failed to save stream.");
    }
}

TEST(RichEditStream, PlainTextStreams)
{
    TRichEditStream edit;
    edit.SetPlainText(QStringLiteral("a\r\nb"));
    TMemoryStream out;
    edit.SaveToStream(out, false, false, true, true);
    EXPECT_EQ(out.Bytes(), QByteArray("a\r\nb"));

    TMemoryStream in;
    const QByteArray bytes("x\ry\nz\r\nw\0ignored", 16);
    in.Write(bytes.constData(), bytes.size());
    in.Seek(0, TStream::TOrigin::Beginning);
    edit.LoadFromStream(in, false, false, true);
    EXPECT_EQ(edit.GetText(), QStringLiteral("x\r\ny\r\nz\r\nw"));
}

TEST(RtfReader, TakesTheCommonControlWordsAndSkipsDestinations)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Courier;}}{\\*\\generator x;}{\\info{\\title t}}"
        "{\\colortbl;\\red255\\green0\\blue0;}\\pard a\\tab b\\par\r\nc\\line d\\'e9\\~e\\-f"
        "\\{\\}\\\\ \\uc1\\u233?g\\cf1 red\\cf0 }trailing";
    TRichEditStream edit;
    edit.LoadFromString(rtf, false);
    EXPECT_EQ(edit.GetText(), QStringLiteral("a\tb\r\nc\r\nd") + QChar(0xE9) +
                                  QStringLiteral(" ef{}\\ ") + QChar(0xE9) +
                                  QStringLiteral("gred"));
    const TRtfContent content = ReadRtf(rtf);
    // The outermost group ends the stream: nothing after it is read.
    ASSERT_EQ(content.runs.size(), 2u);
    EXPECT_TRUE(content.coloured);
    EXPECT_FALSE(content.runs[0].colour.isValid());
    EXPECT_EQ(content.runs[1].text, QStringLiteral("red"));
    EXPECT_EQ(content.runs[1].colour, QColor(255, 0, 0));
}

TEST(RtfReader, HostileStreamsEndWithoutCrashOrHangAndHoldOnlyEditorCharacters)
{
    QByteArray binary = "{\\rtf1 ";
    for (int i = 0; i < 20000; ++i) {
        binary += static_cast<char>((i * 59 + 17) % 256);
    }
    const QList<QByteArray> hostile = {
        "{\\rtf",
        "{\\rtf1\\",
        "{\\rtf1 a\\'",
        "{\\rtf1 a\\'4",
        "{\\rtf1 a\\'zz b\\'00c}",
        "{\\rtf1 \\u",
        "{\\rtf1 \\u99999999999999999999999 \\u-99999999999999999999 \\u-9223372036854775808x}",
        "{\\rtf1 \\uc99999999999\\u65 abc\\uc-5\\u66 d}",
        "{\\rtf1 \\cf99999999999 x\\cf-99999999999 y\\cf2147483648 z}",
        "{\\rtf1{\\colortbl\\red-1\\green99999\\blue2147483648;;;\\red}\\cf3 q}",
        "{\\rtf1{\\colortbl" + QByteArray(50000, ';') + "}\\cf49999 q}",
        "{\\rtf1 " + QByteArray(200000, '{') + "deep",
        "{\\rtf1 " + QByteArray(100000, '}') + "after",
        "{\\rtf1 \\" + QByteArray(100000, 'a') + "1 x}",
        "{\\rtf1 \\par" + QByteArray(100000, '9') + " x}",
        QByteArray("{\\rtf1 before\0after}", 20),
        binary,
    };
    for (const QByteArray& rtf : hostile) {
        const TRtfContent content = ReadRtf(rtf);
        for (const TRtfRun& run : content.runs) {
            // Every character one the editors hold: one byte, and never a zero.
            EXPECT_FALSE(std::any_of(run.text.begin(), run.text.end(), [](QChar c) {
                return c.unicode() == 0 || c.unicode() > 0xFF;
            })) << rtf.left(40).toStdString();
        }
        TRichEditStream edit;
        edit.LoadFromString(rtf, false);
        EXPECT_EQ(edit.GetText().contains(QChar(0)), false);
    }
    EXPECT_EQ(ReadRtf(QByteArray("{\\rtf1 before\0after}", 20)).PlainText(),
              QStringLiteral("before"));
    EXPECT_EQ(ReadRtf("{\\rtf1 " + QByteArray(100000, '}') + "after").PlainText(), QString());
}

TEST(RtfReader, NonRtfInputIsPlainText)
{
    TRichEditStream edit;
    edit.LoadFromString("plain {text}\r\nline", false);
    EXPECT_EQ(edit.GetText(), QStringLiteral("plain {text}\r\nline"));
}

TEST(RtfWriter, WritesLineBreaksEscapesAndColours)
{
    std::vector<TRtfRun> runs{{QStringLiteral("x;\n{a}"), QColor()},
                              {QStringLiteral("\\b\n"), QColor(0, 0, 255)}};
    const QByteArray rtf = WriteRtf(runs);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fnil;}}\r\n"
                               "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
                               "\\deflang1033\\pard\\plain\\f0\\fs20 "));
    EXPECT_TRUE(rtf.endsWith("x;\r\n\\par \\{a\\}\\cf1 \\\\b\r\n\\par}"));
}

}  // namespace
