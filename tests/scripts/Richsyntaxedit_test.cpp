#include "scripts/Richsyntaxedit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <functional>
#include <vector>

#include "support/FakePrompt.h"
#include "support/TestFiles.h"

namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 196, 0);
const QColor kPurple(128, 0, 128);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

QString WriteKeywordFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    return WriteFile(dir.filePath(QStringLiteral("Test.key")), bytes);
}

// The colour shown at an RE position (black where none is set).
QColor ColourAt(const TRichSyntaxEdit& edit, int pos)
{
    const int doc = edit.ToDocPosition(pos);
    const QTextBlock block = edit.document()->findBlock(doc);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (doc >= fragment.position() && doc < fragment.position() + fragment.length()) {
            const QTextCharFormat format = fragment.charFormat();
            return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color()
                                                                    : kBlack;
        }
    }
    return kBlack;
}

// Every character of `word`, found from `from`, in `colour`.
::testing::AssertionResult WordColoured(const TRichSyntaxEdit& edit, const QString& word,
                                        const QColor& colour, int from = 0)
{
    const qsizetype at = edit.GetText().indexOf(word, from);
    if (at < 0) {
        return ::testing::AssertionFailure() << word.toStdString() << " not in the text";
    }
    for (qsizetype i = at; i < at + word.size(); ++i) {
        const QColor c = ColourAt(edit, static_cast<int>(i));
        if (c != colour) {
            return ::testing::AssertionFailure()
                   << word.toStdString() << " has " << c.name().toStdString() << " at " << i;
        }
    }
    return ::testing::AssertionSuccess();
}

class SyntaxEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        edit.AddKeyWord(QStringLiteral("SETPOWER sw state"));
        edit.AddKeyWord(QStringLiteral("SENDSTRING dest \"text\""));
        edit.AddComment(QStringLiteral(";"));
        edit.AddVariable(QStringLiteral("v"));
        edit.resize(400, 300);
        edit.show();
        edit.setFocus();
    }

    // Types the text key by key, as a keyboard would (letters past ASCII too).
    void Type(const QString& text)
    {
        for (const QChar c : text) {
            Qt::Key key = Qt::Key_unknown;
            if (c == QLatin1Char(' ')) {
                key = Qt::Key_Space;
            } else if (c == QLatin1Char('\t')) {
                key = Qt::Key_Tab;
            } else if (c.unicode() < 0x80 && c.isLetterOrNumber()) {
                key = static_cast<Qt::Key>(c.toUpper().unicode());
            }
            QTest::sendKeyEvent(QTest::Click, &edit, key, QString(c), Qt::NoModifier);
        }
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(&edit, key, mods);
    }

    QTemporaryDir dir;
    TFakePrompt prompt;
    TRichSyntaxEdit edit;
};

TEST(SyntaxWords, FirstWordClassesAndNextWord)
{
    EXPECT_EQ(TRichSyntaxEdit::FirstWord(QStringLiteral("A B")), QStringLiteral("A"));
    EXPECT_EQ(TRichSyntaxEdit::FirstWord(QStringLiteral("AB")), QStringLiteral("AB"));
    EXPECT_EQ(TRichSyntaxEdit::FirstWord(QStringLiteral(" A")), QStringLiteral(" A"));

    EXPECT_EQ(TRichSyntaxEdit::GetClass(' '), 2);
    EXPECT_EQ(TRichSyntaxEdit::GetClass('\t'), 2);
    EXPECT_EQ(TRichSyntaxEdit::GetClass('a'), 0);
    EXPECT_EQ(TRichSyntaxEdit::GetClass('_'), 0);
    EXPECT_EQ(TRichSyntaxEdit::GetClass('!'), 1);
    EXPECT_EQ(TRichSyntaxEdit::GetClass('\xE9'), 3);

    auto next = [](const char* text, int p) { return TRichSyntaxEdit::NextWord(text, p); };
    EXPECT_EQ(next("abc def", 1), "abc");
    EXPECT_EQ(next("abc", 1), "ab");
    EXPECT_EQ(next("abc", 3), "c");
    EXPECT_EQ(next("abc", 4), "");
    EXPECT_EQ(next("a;;b", 2), ";;");
    EXPECT_EQ(next("\\{x", 1), "\\{");
    EXPECT_EQ(next("{\\colortbl\\red0;}\r\nx", 1), "{\\colortbl\\red0;}");
    EXPECT_EQ(next("\\par x", 1), "\\par");
    EXPECT_EQ(next(";\\par x", 1), ";\\");
    EXPECT_EQ(next("x=\"ab\"", 2), "=\"");
}

TEST_F(SyntaxEditTest, KeywordFileLines)
{
    TRichSyntaxEdit fresh;
    const QString path =
        WriteKeywordFile(dir, "&Count\r\n!;\r\nSETPOWER sw state\r\n  Lead x\r\n\r\n");
    EXPECT_TRUE(fresh.LoadKeyWordFile(path));
    EXPECT_TRUE(fresh.IsVariable(QStringLiteral("count")));
    EXPECT_TRUE(fresh.IsComment(QStringLiteral(";")));
    EXPECT_TRUE(fresh.IsKeyWord(QStringLiteral("setpower")));
    EXPECT_TRUE(fresh.IsKeyWord(QStringLiteral("  Lead x")));
    EXPECT_FALSE(fresh.IsKeyWord(QStringLiteral("Lead")));
    QStringList memo;
    fresh.GetKeyWords(memo);
    EXPECT_EQ(memo, QStringList({QStringLiteral("Keywords:"), QString(), QStringLiteral("  Lead x"),
                                 QStringLiteral("SETPOWER")}));
    fresh.GetVariables(memo);
    EXPECT_EQ(memo, QStringList({QStringLiteral("Variables:"), QStringLiteral("Count")}));

    fresh.SetPlainText(QStringLiteral("SetPower 1 On"));
    fresh.SetSel(4, 0);
    EXPECT_EQ(fresh.GetCurrentKeywordDef(), QStringLiteral("SETPOWER sw state"));
    EXPECT_THROW(fresh.LoadKeyWordFile(dir.filePath(QStringLiteral("missing.key"))),
                 std::runtime_error);
}

TEST_F(SyntaxEditTest, HostileKeywordAndScriptFilesLoadWithTheirTextIntact)
{
    QByteArray binary;
    for (int i = 0; i < 20000; ++i) {
        binary += static_cast<char>((i * 71 + 5) % 256);
    }
    // Keywords that are markup of the editor's own rich text, bare prefixes, zero bytes.
    const QByteArray keywords = "\\par\r\n\\cf1\r\n{\r\n}\r\n\\\r\n&\r\n!\r\n&\\red\r\n!{\\rtf1\r\n" +
                                QByteArray("NUL\0WORD x\r\n", 12) + QByteArray(100000, 'K') +
                                "\r\n" + binary + "\r\nSETPOWER sw\r\n";
    TRichSyntaxEdit fresh;
    ASSERT_TRUE(fresh.LoadKeyWordFile(WriteKeywordFile(dir, keywords)));
    EXPECT_TRUE(fresh.IsKeyWord(QStringLiteral("SETPOWER")));

    const QList<QByteArray> scripts = {
        QByteArray(),
        QByteArray("\0\0\0", 3),
        "\\par {\\cf1 } \\ \\red {\\rtf1 x} SETPOWER \"open\r\r\n\n; ;;\r",
        "{\\rtf1\\ansi{\\colortbl;\\red255;}\\cf1 not really rtf}",
        QByteArray(200000, 'x'),
        binary,
    };
    for (const QByteArray& bytes : scripts) {
        const QString path = WriteFile(dir.filePath(QStringLiteral("hostile.pxs")), bytes);
        ASSERT_TRUE(fresh.LoadFile(path));
        // Byte for byte what the file held, a zero byte as "?", every line end as CR LF.
        QString want = ReadEditorText(path);
        want.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        EXPECT_EQ(fresh.GetText(), want) << bytes.left(40).toStdString();
        EXPECT_FALSE(fresh.GetText().contains(QChar(0)));
    }
}

TEST_F(SyntaxEditTest, AddSyntaxRewritesTheRtfExactly)
{
    QByteArray rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Courier;}}\r\n"
        "{\\colortbl\\red0\\green0\\blue0;}\r\n"
        "\\deflang1033\\pard\\plain\\f0\\fs20 SetPower 3 On ; switch on\r\n"
        "\\par SendString \"x y\" &v}";
    edit.SetPlainText(QStringLiteral("longer than the range"));
    edit.SetRange(0, 3);
    edit.AddSyntax(rtf);
    EXPECT_EQ(rtf,
              QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Courier;}}\r\n"
                         "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;"
                         "\\red0\\green196\\blue0;\\red128\\green0\\blue128;\\red255\\green0"
                         "\\blue0;}\r\n"
                         "\\cf0 \\deflang1033\\pard\\plain\\f0\\fs20 \\cf1 SetPower \\cf0 3 On "
                         "\\cf2 ; switch on\r\n"
                         "\\par \\cf1 SendString \\cf3 \"x y\" \\cf0 &\\cf4 v}"));
}

TEST_F(SyntaxEditTest, TypingColoursKeywordsCommentsStringsAndVariables)
{
    Type(QStringLiteral("setpower 1 ;note"));
    Key(Qt::Key_Return);
    Type(QStringLiteral("SendString \"abc\" v "));
    Key(Qt::Key_Return);
    Type(QStringLiteral("SetPower \"open ended"));
    Key(Qt::Key_Return);
    Type(QStringLiteral("plain v "));
    Key(Qt::Key_Home);

    EXPECT_TRUE(WordColoured(edit, QStringLiteral("setpower"), kBlue));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("1"), kBlack));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral(";note"), kGreen));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("SendString"), kBlue));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("\"abc\""), kPurple));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("v"), kRed, 30));
    // An unmatched quote colours the rest of its line only.
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("\"open ended"), kPurple));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("plain"), kBlack));
    EXPECT_EQ(edit.GetText(), QStringLiteral("setpower 1 ;note\r\nSendString \"abc\" v \r\n"
                                             "SetPower \"open ended\r\nplain v "));
}

TEST_F(SyntaxEditTest, RecolouringNeverChangesTheText)
{
    QRandomGenerator rng(99);
    const QString alphabet = QStringLiteral("aSv ;\"'{}\\\t=") + QChar(0xE9) + QChar(0xFF);
    QString typed;
    for (int i = 0; i < 300; ++i) {
        const int pick = rng.bounded(static_cast<int>(alphabet.size()) + 2);
        if (pick >= alphabet.size()) {
            Key(Qt::Key_Return);
            typed += QStringLiteral("\r\n");
        } else {
            Type(QString(alphabet.at(pick)));
            typed += alphabet.at(pick);
        }
    }
    Key(Qt::Key_Home);
    EXPECT_EQ(edit.GetText(), typed);
    edit.SelectAll();
    edit.SetText(edit.GetText());
    EXPECT_EQ(edit.GetText(), typed);
}

TEST_F(SyntaxEditTest, UndoRemovesTypingAndRedoPutsItBackOnce)
{
    edit.SetPlainText(QStringLiteral("0123456789"));
    edit.SetSel(5, 0);
    Type(QStringLiteral("ab"));
    EXPECT_EQ(edit.GetText(), QStringLiteral("01234ab56789"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("0123456789"));
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("01234ab56789"));
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("01234ab56789"));
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("01234ab56789"));
}

TEST_F(SyntaxEditTest, BackspaceOverALineBreakIsUndone)
{
    edit.SetPlainText(QStringLiteral("ab\r\ncd"));
    edit.SetSel(4, 0);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(edit.GetText(), QStringLiteral("abcd"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ab\r\ncd"));
    // Delete at a line end takes the whole CR LF too.
    edit.SetSel(2, 0);
    Key(Qt::Key_Delete);
    EXPECT_EQ(edit.GetText(), QStringLiteral("abcd"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ab\r\ncd"));
    // Shift+Delete cuts, and is undone like any deletion.
    edit.SetSel(1, 4);
    Key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ad"));
    EXPECT_EQ(QGuiApplication::clipboard()->text().remove(QLatin1Char('\r')), QStringLiteral("b\nc"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ab\r\ncd"));
}

// Enter counts as the two characters CR LF, so typing goes on in one step across it.
TEST_F(SyntaxEditTest, TypingAcrossALineBreakIsOneStep)
{
    edit.SetPlainText(QStringLiteral("ab"));
    edit.SetSel(2, 0);
    Type(QStringLiteral("x"));
    Key(Qt::Key_Return);
    Type(QStringLiteral("y"));
    EXPECT_EQ(edit.GetText(), QStringLiteral("abx\r\ny"));
    EXPECT_EQ(edit.SelStart(), 6);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ab"));
    EXPECT_FALSE(edit.UndoRing().CanUndo());
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("abx\r\ny"));
}

// Characters composed by the input method (a dead key, a compose sequence) are typed like
// any other: 8-bit, and undone.
TEST_F(SyntaxEditTest, ComposedCharactersAreTypedText)
{
    edit.SetPlainText(QStringLiteral("ab"));
    edit.SetSel(1, 0);
    QInputMethodEvent composed;
    composed.setCommitString(QString::fromUtf8("\u00e9\u20ac"));
    QApplication::sendEvent(&edit, &composed);
    EXPECT_EQ(edit.GetText(), QString::fromUtf8("a\u00e9?b"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("ab"));
}

TEST_F(SyntaxEditTest, TheRingHoldsThirtyTwoSteps)
{
    edit.SetPlainText(QString(40, QLatin1Char('.')));
    for (int i = 0; i < 33; ++i) {
        edit.SetSel(39 - i, 0);
        Type(QStringLiteral("x"));
    }
    int undos = 0;
    while (edit.UndoRing().CanUndo()) {
        Key(Qt::Key_Z, Qt::ControlModifier);
        ++undos;
    }
    EXPECT_EQ(undos, 32);
    // The first step was overwritten: its "x" stays.
    EXPECT_EQ(edit.GetText().count(QLatin1Char('x')), 1);
}

TEST_F(SyntaxEditTest, TypingFromTheStartOfANewEditorCannotBeUndone)
{
    Type(QStringLiteral("abc"));
    EXPECT_FALSE(edit.UndoRing().CanUndo());
}

TEST_F(SyntaxEditTest, EditsTheRingDidNotRecordEmptyIt)
{
    edit.SetPlainText(QStringLiteral("0123456789"));
    edit.SetSel(5, 0);
    Type(QStringLiteral("ab"));
    ASSERT_TRUE(edit.UndoRing().CanUndo());
    QGuiApplication::clipboard()->setText(QStringLiteral("PASTED"));
    edit.SetSel(0, 0);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("PASTED01234ab56789"));
    EXPECT_FALSE(edit.UndoRing().CanUndo());
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("PASTED01234ab56789"));

    edit.SetSel(2, 0);
    Type(QStringLiteral("q"));
    ASSERT_TRUE(edit.UndoRing().CanUndo());
    edit.Clear();
    EXPECT_FALSE(edit.UndoRing().CanUndo());
}

TEST_F(SyntaxEditTest, PasteTakesPlainTextOnlyAndColoursIt)
{
    int pastes = 0;
    edit.OnPaste = [&pastes] { ++pastes; };
    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<b>bold</b>"));
    html->setText(QStringLiteral("SetPower 2 On"));
    QGuiApplication::clipboard()->setMimeData(html);
    Key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("SetPower 2 On"));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("SetPower"), kBlue));

    QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
    edit.CMPaste();
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("The clipboard does not contain text."));
    EXPECT_EQ(edit.GetText(), QStringLiteral("SetPower 2 On"));
    EXPECT_EQ(pastes, 2);
}

TEST_F(SyntaxEditTest, PasteAndRedoLeaveTheCaretAfterWhatTheyPutIn)
{
    edit.SetPlainText(QStringLiteral("ab"));
    edit.SetSel(1, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("P\nQ"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.SelStart(), 5);
    Key(Qt::Key_V, Qt::ControlModifier);
    Type(QStringLiteral("z"));
    EXPECT_EQ(edit.GetText(), QStringLiteral("aP\r\nQP\r\nQzb"));

    edit.SetPlainText(QStringLiteral("0123456789"));
    edit.SetSel(5, 0);
    Type(QStringLiteral("ab"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.SelStart(), 5);
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(edit.SelStart(), 7);
    // Typing after a redo goes on where the redone typing ended, as one step with it.
    Type(QStringLiteral("c"));
    EXPECT_EQ(edit.GetText(), QStringLiteral("01234abc56789"));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("0123456789"));
}

// Pasted and redone text takes its colours from the whole line it lands in.
TEST_F(SyntaxEditTest, TextPutInIsColouredWithItsLine)
{
    edit.SetPlainText(QStringLiteral("; note"));
    edit.SetSel(6, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral(" SetPower"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("SetPower"), kGreen));

    // An opening quote put in colours the rest of its line as a string.
    edit.SetPlainText(QStringLiteral("SetPower abc"));
    edit.SetSel(9, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("\""));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("\"abc"), kPurple));

    edit.SetPlainText(QStringLiteral("x ; note"));
    edit.SetSel(8, 0);
    Type(QStringLiteral(" word"));
    Key(Qt::Key_Home);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit.GetText(), QStringLiteral("x ; note"));
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("word"), kGreen));
    EXPECT_TRUE(WordColoured(edit, QStringLiteral("x"), kBlack));
}

// A last line ending in the letters of a paragraph mark is text: recolouring it (on Home,
// End, an arrow key or a click) leaves the text, the undo ring and the change state alone.
TEST_F(SyntaxEditTest, RecolouringTheLastLineAddsNoLine)
{
    const QStringList lines = {QStringLiteral("Del c:\\par1"), QStringLiteral("Copy \"C:\\\\par\""),
                               QStringLiteral("x \\par;")};
    const std::vector<std::function<void()>> recolour = {
        [this] { Key(Qt::Key_Home); },
        [this] { Key(Qt::Key_End); },
        [this] { Key(Qt::Key_Left); },
        [this] { QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, QPoint(5, 5)); },
    };
    for (const QString& line : lines) {
        for (size_t how = 0; how < recolour.size(); ++how) {
            edit.Clear();
            edit.SetPlainText(QStringLiteral("; first\r\n") + line.chopped(1));
            edit.SetSel(edit.GetTextLen(), 0);
            Type(line.right(1));
            ASSERT_TRUE(edit.UndoRing().CanUndo());
            QSignalSpy changes(&edit, &TRichEdit::Changed);
            recolour[how]();
            EXPECT_EQ(edit.GetText(), QStringLiteral("; first\r\n") + line)
                << line.toStdString() << " " << how;
            EXPECT_EQ(changes.count(), 0);
            EXPECT_TRUE(edit.UndoRing().CanUndo());
        }
    }
}

TEST_F(SyntaxEditTest, OnlyARealClosingParagraphMarkIsWrittenAgain)
{
    edit.SetPlainText(QStringLiteral("x"));
    // The range reaches the end of the text.
    edit.SetRange(0, 1);
    auto rewritten = [this](const QByteArray& body) {
        QByteArray rtf = "{\\rtf1\\ansi{\\colortbl\\red0\\green0\\blue0;}\r\n"
                         "\\deflang1033\\pard\\plain " +
                         body + '}';
        edit.AddSyntax(rtf);
        return rtf;
    };
    EXPECT_TRUE(rewritten("x\r\n\\par ").endsWith("x\r\n\\par \\par}"));
    // An escaped backslash of the text, then a mark.
    EXPECT_TRUE(rewritten("x\\\\\\par ").endsWith("x\\\\\\par \\par}"));
    // The letters "par" after an escaped backslash, and a longer word, are no mark.
    EXPECT_TRUE(rewritten("c:\\\\par1").endsWith("c:\\\\par1}"));
    EXPECT_TRUE(rewritten("\"C:\\\\\\\\par\"").endsWith("\\\\par\"}"));
    EXPECT_TRUE(rewritten("x\\parx").endsWith("x\\parx}"));
}

TEST_F(SyntaxEditTest, TemplatesForTheWordAtTheCaret)
{
    edit.SetPlainText(QStringLiteral("x SetPower"));
    edit.SetSel(5, 0);
    EXPECT_EQ(edit.GetCurrentKeywordDef(), QStringLiteral("SETPOWER sw state"));
    edit.SelectCurrentWord();
    EXPECT_EQ(edit.SelText(), QStringLiteral("SetPower"));
    edit.SetSel(0, 0);
    EXPECT_EQ(edit.GetCurrentKeywordDef(), QString());
}

TEST_F(SyntaxEditTest, LoadingAnEmptyFileEmptiesTheEditor)
{
    edit.SetPlainText(QStringLiteral("old text"));
    const QString path = dir.filePath(QStringLiteral("empty.pxs"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(edit.LoadFile(path));
    EXPECT_EQ(edit.GetText(), QString());
}

}  // namespace
