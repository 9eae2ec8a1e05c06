#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <limits>

namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(IniFileParse, ReadsSectionsKeysAndRawValuesWithEitherLineEnd)
{
    TMemIniFile ini;
    ini.SetText(
        QStringLiteral("ignored=before any section\n"
                       "[Pelagrix]\r\n"
                       "Warning=This is a generated file\r\n"
                       "  Port =COM1\n"
                       "Init=\"SAMPLE 5\",\"RATE 2\"\r\n"
                       "Pad=  two leading, one trailing \n"
                       "; a comment\n"
                       "Expr=a=b\n"
                       "\n"
                       "   [CTD [1]]   \n"
                       "Image=ctd.bmp\n"
                       "[]\n"
                       "Empty=\n"));
    EXPECT_EQ(ini.ReadSections(),
              QStringList({QStringLiteral("Pelagrix"), QStringLiteral("CTD [1]"), QString()}));
    EXPECT_EQ(ini.ReadSection(QStringLiteral("Pelagrix")),
              QStringList({QStringLiteral("Warning"), QStringLiteral("Port"),
                           QStringLiteral("Init"), QStringLiteral("Pad"), QStringLiteral("Expr")}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("Port"), QString()),
              QStringLiteral("COM1"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("Init"), QString()),
              QStringLiteral("\"SAMPLE 5\",\"RATE 2\""));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("Pad"), QString()),
              QStringLiteral("  two leading, one trailing "));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("Expr"), QString()),
              QStringLiteral("a=b"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("CTD [1]"), QStringLiteral("Image"), QString()),
              QStringLiteral("ctd.bmp"));
    EXPECT_TRUE(ini.ValueExists(QString(), QStringLiteral("Empty")));
    EXPECT_EQ(ini.ReadString(QString(), QStringLiteral("Empty"), QStringLiteral("def")), QString());
    EXPECT_FALSE(ini.ValueExists(QStringLiteral("Pelagrix"), QStringLiteral("ignored")));
}

TEST(IniFileParse, NamesIgnoreCase)
{
    TMemIniFile ini;
    ini.SetText(QStringLiteral("[Corvane]\nCaptureDir=Data\\\n"));
    EXPECT_TRUE(ini.SectionExists(QStringLiteral("CORVANE")));
    EXPECT_TRUE(ini.ValueExists(QStringLiteral("corvane"), QStringLiteral("capturedir")));
    EXPECT_EQ(ini.ReadString(QStringLiteral("corVANE"), QStringLiteral("CAPTUREDIR"), QString()),
              QStringLiteral("Data\\"));
    ini.WriteString(QStringLiteral("CORVANE"), QStringLiteral("capturedir"), QStringLiteral("X"));
    EXPECT_EQ(ini.Text(), QStringLiteral("[Corvane]\r\nCaptureDir=X\r\n\r\n"));
}

TEST(IniFileParse, RepeatedSectionMergesIntoFirstAndFirstKeyWins)
{
    TMemIniFile ini;
    ini.SetText(QStringLiteral("[A]\nk=1\n[B]\nx=2\n[a]\nk=3\nm=4\n"));
    EXPECT_EQ(ini.ReadSections(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(ini.ReadSection(QStringLiteral("A")),
              QStringList({QStringLiteral("k"), QStringLiteral("m")}));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("k"), 0), 1);
}

TEST(IniFileWrite, KeepsFileOrderAndChangesKeysInPlace)
{
    TMemIniFile ini;
    ini.SetText(QStringLiteral("[One]\na=1\nb=2\n[Two]\nc=3\n"));
    ini.WriteString(QStringLiteral("One"), QStringLiteral("A"), QStringLiteral("changed"));
    ini.WriteString(QStringLiteral("One"), QStringLiteral("z"), QStringLiteral("new"));
    ini.WriteString(QStringLiteral("Three"), QStringLiteral("d"), QStringLiteral("4"));
    EXPECT_EQ(ini.Text(), QStringLiteral("[One]\r\na=changed\r\nb=2\r\nz=new\r\n\r\n"
                                         "[Two]\r\nc=3\r\n\r\n"
                                         "[Three]\r\nd=4\r\n\r\n"));
}

TEST(IniFileWrite, EraseSectionAndDeleteKey)
{
    TMemIniFile ini;
    ini.SetText(QStringLiteral("[One]\na=1\nb=2\n[Two]\nc=3\n"));
    ini.DeleteKey(QStringLiteral("one"), QStringLiteral("A"));
    ini.EraseSection(QStringLiteral("TWO"));
    ini.DeleteKey(QStringLiteral("Missing"), QStringLiteral("a"));
    EXPECT_EQ(ini.Text(), QStringLiteral("[One]\r\nb=2\r\n\r\n"));
    EXPECT_FALSE(ini.SectionExists(QStringLiteral("Two")));
}

TEST(IniFileWrite, LineBreaksInValuesCannotSplitTheFile)
{
    TMemIniFile ini;
    ini.WriteString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("one\r\n[Evil]\nx=1"));
    TMemIniFile reread;
    reread.SetText(ini.Text());
    EXPECT_EQ(reread.ReadSections(), QStringList({QStringLiteral("S")}));
    EXPECT_EQ(reread.ReadString(QStringLiteral("S"), QStringLiteral("k"), QString()),
              QStringLiteral("one  [Evil] x=1"));
}

TEST(IniFileWrite, HeaderWithALineBreakIsOneSectionUnderItsStoredName)
{
    TMemIniFile ini;
    const QString cr = QStringLiteral("Pump\r2");
    ini.WriteString(cr, QStringLiteral("a"), QStringLiteral("1"));
    ini.WriteString(cr, QStringLiteral("b"), QStringLiteral("2"));
    EXPECT_EQ(ini.ReadSections(), QStringList({QStringLiteral("Pump 2")}));
    EXPECT_EQ(ini.ReadString(cr, QStringLiteral("b"), QString()), QStringLiteral("2"));
    EXPECT_EQ(ini.Text(), QStringLiteral("[Pump 2]\r\na=1\r\nb=2\r\n\r\n"));
    ini.EraseSection(cr);
    EXPECT_TRUE(ini.ReadSections().isEmpty());

    // A CR inside a header line of a file is stored as a blank, never written back as a break.
    ini.SetText(QStringLiteral("[One\rTwo]\nk=v\rw\n"));
    EXPECT_EQ(ini.Text(), QStringLiteral("[One Two]\r\nk=v w\r\n\r\n"));
}

TEST(IniFileWrite, MoveSectionToEndRenamesAndKeepsKeys)
{
    TMemIniFile ini;
    ini.SetText(QStringLiteral("[M]\nm=1\n[PUMP]\nx=1\nOwner=kept\n[CTD]\ny=2\n"));
    ini.MoveSectionToEnd(QStringLiteral("pump"), QStringLiteral("Pump"));
    ini.MoveSectionToEnd(QStringLiteral("Missing"), QStringLiteral("Other"));
    ini.MoveSectionToEnd(QStringLiteral("M"), QStringLiteral("ctd"));  // name taken: stays
    EXPECT_EQ(ini.Text(), QStringLiteral("[M]\r\nm=1\r\n\r\n[CTD]\r\ny=2\r\n\r\n"
                                         "[Pump]\r\nx=1\r\nOwner=kept\r\n\r\n"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("PUMP"), QStringLiteral("owner"), QString()),
              QStringLiteral("kept"));
}

TEST(IniFileWrite, ManySectionsKeepOrderThroughErasesAndMoves)
{
    // Large enough that a look-up by walking the sections would be felt.
    constexpr int kSections = 20000;
    QString text;
    for (int i = 0; i < kSections; ++i) {
        text += QStringLiteral("[S%1]\nk=%1\n").arg(i);
    }
    TMemIniFile ini;
    ini.SetText(text);
    for (int i = 0; i < kSections; i += 2) {
        ini.EraseSection(QStringLiteral("s%1").arg(i));
    }
    ini.MoveSectionToEnd(QStringLiteral("S1"), QStringLiteral("First"));
    const QStringList sections = ini.ReadSections();
    ASSERT_EQ(sections.size(), kSections / 2);
    EXPECT_EQ(sections.front(), QStringLiteral("S3"));
    EXPECT_EQ(sections.back(), QStringLiteral("First"));
    for (int i = 3; i < kSections; i += 2) {
        ASSERT_EQ(ini.ReadInteger(QStringLiteral("S%1").arg(i), QStringLiteral("K"), -1), i);
    }
    EXPECT_FALSE(ini.SectionExists(QStringLiteral("S0")));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("first"), QStringLiteral("k"), -1), 1);
}

TEST(IniFileTypes, IntegersAndBoolsFallBackToDefaultOnText)
{
    TMemIniFile ini;
    ini.SetText(
        QStringLiteral("[S]\n"
                       "neg=-42\npos=+7\nhex=0x1F\nblank= 12 \nword=abc\nfrac=1.5\n"
                       "huge=99999999999\nyes=1\nno=0\nmany=5\ntrue=True\nnone=\n"));
    const QString s = QStringLiteral("S");
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("neg"), 0), -42);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("pos"), 0), 7);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("hex"), 0), 31);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("blank"), 0), 12);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("word"), -1), -1);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("frac"), -1), -1);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("huge"), -1), -1);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("missing"), 9), 9);
    EXPECT_EQ(ParseIntegerText(QStringLiteral("-0x10")), -16);
    EXPECT_EQ(ParseIntegerText(QStringLiteral("-2147483648")), std::numeric_limits<int>::min());
    for (const char* bad : {"--5", "+-5", "1 2", "0x", "0x-5", "0x0x5", "- 5", "", "12abc"}) {
        EXPECT_FALSE(ParseIntegerText(QString::fromLatin1(bad))) << bad;
    }

    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("yes"), false));
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("no"), true));
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("many"), false));
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("true"), false));
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("true"), true));
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("none"), true));

    ini.WriteBool(s, QStringLiteral("flag"), true);
    ini.WriteBool(s, QStringLiteral("off"), false);
    ini.WriteInteger(s, QStringLiteral("int"), -123);
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("flag"), QString()), QStringLiteral("1"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("off"), QString()), QStringLiteral("0"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("int"), QString()), QStringLiteral("-123"));
}

TEST(IniFileTypes, FloatsUseAPointWhateverTheLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TMemIniFile ini;
    ini.SetText(QStringLiteral("[S]\npt=2.5\ncomma=2,5\nexp=1e3\nnan=nan\n"));
    const QString s = QStringLiteral("S");
    EXPECT_DOUBLE_EQ(ini.ReadFloat(s, QStringLiteral("pt"), 0), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(s, QStringLiteral("comma"), -1), -1);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(s, QStringLiteral("exp"), 0), 1000);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(s, QStringLiteral("nan"), -1), -1);

    ini.WriteFloat(s, QStringLiteral("a"), 0.1);
    ini.WriteFloat(s, QStringLiteral("b"), 115200.0);
    ini.WriteFloat(s, QStringLiteral("c"), -2.25);
    ini.WriteFloat(s, QStringLiteral("d"), 1.0 / 3.0);
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("a"), QString()), QStringLiteral("0.1"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("b"), QString()), QStringLiteral("115200"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("c"), QString()), QStringLiteral("-2.25"));
    EXPECT_EQ(ini.ReadFloat(s, QStringLiteral("d"), 0), 1.0 / 3.0);
    QLocale::setDefault(saved);
}

TEST(IniFileDisk, MissingFileIsEmptyAndSaveWritesLatin1WithCrLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("station.ins"));
    TMemIniFile ini(path);
    EXPECT_TRUE(ini.ReadSections().isEmpty());

    ini.WriteString(QStringLiteral("Ger\u00e4t"), QStringLiteral("Name"),
                    QStringLiteral("Tr\u00fcbung \u00b0C"));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(path), QByteArray("[Ger\xe4t]\r\nName=Tr\xfc"
                                          "bung \xb0"
                                          "C\r\n\r\n"));

    TMemIniFile reread(path);
    EXPECT_EQ(reread.ReadString(QStringLiteral("GER\u00c4T"), QStringLiteral("name"), QString()),
              QStringLiteral("Tr\u00fcbung \u00b0C"));
}

TEST(IniFileDisk, SaveRoundTripKeepsEveryValue)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.das"));
    WriteBytes(path,
               "[Pelagrix]\nWarning=This is a generated File... DO NOT EDIT!\n"
               "Start=\"SENDSTRING 1 \"\"GO\"\"\",,plain\n");
    TMemIniFile ini(path);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(path),
              QByteArray("[Pelagrix]\r\nWarning=This is a generated File... DO NOT EDIT!\r\n"
                         "Start=\"SENDSTRING 1 \"\"GO\"\"\",,plain\r\n\r\n"));
}

TEST(IniFileDisk, FailedSaveIsReportedAndLeavesOldFiles)
{
    QTemporaryDir dir;
    TMemIniFile noFolder(dir.filePath(QStringLiteral("missing/sub/x.das")));
    noFolder.WriteInteger(QStringLiteral("S"), QStringLiteral("k"), 1);
    EXPECT_FALSE(noFolder.UpdateFile());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing/sub/x.das"))));

    // A folder standing where the file should go is not replaced.
    const QString folder = dir.filePath(QStringLiteral("taken.das"));
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteBytes(folder + QStringLiteral("/inner.txt"), "keep");
    TMemIniFile blocked(folder);
    blocked.WriteInteger(QStringLiteral("S"), QStringLiteral("k"), 1);
    EXPECT_FALSE(blocked.UpdateFile());
    EXPECT_EQ(ReadBytes(folder + QStringLiteral("/inner.txt")), QByteArray("keep"));

    TMemIniFile unnamed;
    EXPECT_FALSE(unnamed.UpdateFile());
}
