#include "link/Global.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <memory>
#include <thread>
#include <vector>

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

QStringList L(std::initializer_list<const char*> items)
{
    QStringList list;
    for (const char* item : items) {
        list.append(S(item));
    }
    return list;
}

}  // namespace

TEST(DasFileNames, EightDotThreeForm)
{
    EXPECT_EQ(ToDasFileName(S("D:\\x\\LONGFILENAME.TEXT")), S("LONGFILE.TEX"));
    EXPECT_EQ(ToDasFileName(S("/home/op/Data/LONGFILENAME.TEXT")), S("LONGFILE.TEX"));
    EXPECT_EQ(ToDasFileName(S("A.B")), S("A.B"));
    EXPECT_EQ(ToDasFileName(S("README")), S("README"));
    EXPECT_EQ(ToDasFileName(S("ABCDEFGHIJ")), S("ABCDEFGH"));
    EXPECT_EQ(ToDasFileName(S("ABCDEFGH.TXT")), S("ABCDEFGH.TXT"));
    EXPECT_EQ(ToDasFileName(S("ABCDEFGHI.TXT")), S("ABCDEFGH.TXT"));
    EXPECT_EQ(ToDasFileName(S("ABC.")), S("ABC"));
    EXPECT_EQ(ToDasFileName(S("ABC.TEXT")), S("ABC.TEX"));
    EXPECT_EQ(ToDasFileName(S("A.B.C")), S("A.B.C"));
    EXPECT_EQ(ToDasFileName(S("C:\\dir.x\\")), QString());
}

TEST(DasFileNames, NumberedFileNames)
{
    EXPECT_EQ(MakeNumberedFileName(S("RAW000.DAT"), 7), S("RAW007.DAT"));
    EXPECT_EQ(MakeNumberedFileName(S("CTD_1\\CTD_1000.RAW"), 12), S("CTD_1\\CTD_1012.RAW"));
    EXPECT_EQ(MakeNumberedFileName(S("X"), 5), S("X005"));
    EXPECT_EQ(MakeNumberedFileName(S("RAW010.DAT"), 7), S("RAW01007.DAT"));
    EXPECT_EQ(MakeNumberedFileName(S("RAW0000.DAT"), 1234), S("RAW01234.DAT"));
    // The dot of a folder name is no extension, and the folder keeps its zeros.
    EXPECT_EQ(MakeNumberedFileName(S("A.B\\NAME000"), 5), S("A.B\\NAME005"));
    EXPECT_EQ(MakeNumberedFileName(S("D00\\000.DAT"), 3), S("D00\\003.DAT"));
}

TEST(NameText, CleaningCommasAndOrdinals)
{
    EXPECT_EQ(MakeValidName(S("  CTD #1 ")), S("CTD__1"));
    EXPECT_EQ(MakeValidName(S("a-b.c")), S("a_b_c"));
    EXPECT_EQ(RemoveCommas(S("1,234,567")), S("1234567"));

    const std::vector<std::pair<int, const char*>> ordinals = {
        {1, "1st"},     {2, "2nd"},     {3, "3rd"},   {4, "4th"},      {11, "11th"},
        {12, "12th"},   {13, "13th"},   {21, "21st"}, {22, "22nd"},    {101, "101st"},
        {111, "111th"}, {112, "112th"}, {0, "0th"},   {1013, "1013th"}};
    for (const auto& [n, text] : ordinals) {
        EXPECT_EQ(OrdinalString(n), S(text)) << n;
    }
    EXPECT_EQ(OrdinalToInt(S("21st")), 21);
    EXPECT_EQ(OrdinalToInt(S("x")), 0);
    EXPECT_EQ(OrdinalToInt(S("ab1st")), 0);
    EXPECT_EQ(OrdinalToInt(S("112th")), 112);
}

TEST(NameText, StrToIntAtLeast)
{
    EXPECT_EQ(StrToIntAtLeast(S("50"), 100), 100);
    EXPECT_EQ(StrToIntAtLeast(S("abc"), 7), 7);
    EXPECT_EQ(StrToIntAtLeast(S("150"), 100), 150);
    EXPECT_EQ(StrToIntAtLeast(S("-5"), -10), -5);
    EXPECT_EQ(StrToIntAtLeast(QString(), 3), 3);
}

TEST(CommaFields, FieldsBlanksAndBounds)
{
    QString field;
    const QString text = S("25.1, 12.0,--,0");
    EXPECT_TRUE(GetCommaField(field, text, 0, 80));
    EXPECT_EQ(field, S("25.1"));
    EXPECT_TRUE(GetCommaField(field, text, 1, 80));
    EXPECT_EQ(field, S("12.0"));
    EXPECT_TRUE(GetCommaField(field, text, 3, 80));
    EXPECT_EQ(field, S("0"));
    EXPECT_FALSE(GetCommaField(field, text, 4, 80));
    EXPECT_EQ(field, QString());
    EXPECT_TRUE(GetCommaField(field, S("abcdef"), 0, 3));
    EXPECT_EQ(field, S("ab"));
    EXPECT_TRUE(GetCommaField(field, S("abcdef"), 0, 0));
    EXPECT_EQ(field, QString());
    EXPECT_TRUE(GetCommaField(field, S("a,"), 1, 10));
    EXPECT_EQ(field, QString());
}

TEST(CommaText, RoundTripOfQuotedItems)
{
    const QStringList lines = {S("a b"), S("x,y"), S("q\"r"), QString(), S("plain")};
    const QString text = S("\"a b\",\"x,y\",\"q\"\"r\",,plain");
    EXPECT_EQ(LinesToCommaText(lines), text);
    EXPECT_EQ(CommaTextToLines(text), lines);

    const QStringList block = {S("SENDSTRING 1 \"GO\""), S("WAITTICKS 10"), S("*DataStart 5")};
    EXPECT_EQ(CommaTextToLines(LinesToCommaText(block)), block);
    EXPECT_EQ(LinesToCommaText(QStringList{QString()}), S("\"\""));
    EXPECT_EQ(CommaTextToLines(S("\"\"")), QStringList{QString()});
    EXPECT_EQ(LinesToCommaText(QStringList{}), QString());
    EXPECT_TRUE(CommaTextToLines(QString()).isEmpty());
    EXPECT_EQ(LinesToCommaText(QStringList{S("tab\there")}), S("\"tab\there\""));
}

TEST(CommaText, ReadingUnquotedTextSplitsAtBlanks)
{
    EXPECT_EQ(CommaTextToLines(S("a b,c")), L({"a", "b", "c"}));
    EXPECT_EQ(CommaTextToLines(S("  a ,  b")), L({"a", "b"}));
    EXPECT_EQ(CommaTextToLines(S("a,")), L({"a", ""}));
    EXPECT_EQ(CommaTextToLines(S(",a")), L({"", "a"}));
    EXPECT_EQ(CommaTextToLines(S("\"ab\"cd,e")), L({"ab", "cd", "e"}));
    EXPECT_EQ(CommaTextToLines(S("\"open")), L({"open"}));
}

TEST(ProgramFolders, AppDirDropsAFinalBinFolder)
{
    EXPECT_EQ(AppDirFromExeDir(S("/opt/p/BIN")), S("/opt/p/"));
    EXPECT_EQ(AppDirFromExeDir(S("/opt/p/bin/")), S("/opt/p/"));
    EXPECT_EQ(AppDirFromExeDir(S("/opt/p")), S("/opt/p/"));
    EXPECT_EQ(AppDirFromExeDir(S("/opt/cabin")), S("/opt/cabin/"));
    EXPECT_EQ(AppDirFromExeDir(S("/bin")), S("/"));
    EXPECT_TRUE(GetAppDir().endsWith(QLatin1Char('/')));
}

TEST(ProgramFolders, DataFolderIsCreatedWithItsSubFolders)
{
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + S("/Wendrok/");
    EXPECT_EQ(GetProgramDataDir(), expected);
    for (const char* sub :
         {"Config", "InternalConfig", "Data", "Scripts", "Icons", "DASExplorer"}) {
        EXPECT_TRUE(QFileInfo(expected + S(sub)).isDir()) << sub;
    }

    // Every thread sees the one folder.
    QString fromThread;
    std::thread thread([&] { fromThread = GetProgramDataDir(); });
    thread.join();
    EXPECT_EQ(fromThread, expected);
}

TEST(StoredPaths, ExpandAgainstTheDataFolder)
{
    const QString cwd = QDir::currentPath();
    const QString data = GetProgramDataDir();
    EXPECT_EQ(ExpandDataRelativePath(S("Config\\*.Das")), data + S("Config/*.Das"));
    EXPECT_EQ(NativePath(S("Data\\")), data + S("Data/"));
    EXPECT_EQ(NativePath(S("Data\\..\\Scripts\\a.scr")), data + S("Scripts/a.scr"));
    EXPECT_EQ(NativePath(S("\\srv\\x\\f.das")), S("/srv/x/f.das"));
    EXPECT_EQ(NativePath(S("/srv/x/f.das")), S("/srv/x/f.das"));
    // A path of a drive-letter system stays as it is and names no file here.
    EXPECT_EQ(NativePath(S("C:\\Wendrok\\Config\\a.das")), S("C:\\Wendrok\\Config\\a.das"));
    EXPECT_FALSE(QFileInfo::exists(NativePath(S("C:\\Wendrok\\Config\\a.das"))));
    EXPECT_EQ(NativePath(QString()), QString());
    EXPECT_EQ(QDir::currentPath(), cwd);
}

TEST(StoredPaths, MakeRelativeOnlyUnderTheDataFolder)
{
    const QString data = GetProgramDataDir();
    EXPECT_EQ(MakeDataRelativePath(data + S("Config/a.das")), S("Config\\a.das"));
    EXPECT_EQ(MakeDataRelativePath(data + S("Data/")), S("Data\\"));
    EXPECT_EQ(MakeDataRelativePath(data + S("Config/*.Das")), S("Config\\*.Das"));
    EXPECT_EQ(MakeDataRelativePath(S("/srv/x/f.das")), S("/srv/x/f.das"));
    EXPECT_EQ(MakeDataRelativePath(S("Config\\a.das")), S("Config\\a.das"));
    // A sibling folder whose name starts like the data folder's is outside it.
    const QString sibling = QDir::cleanPath(data) + S("Old/a.das");
    EXPECT_EQ(MakeDataRelativePath(sibling), sibling);
    EXPECT_EQ(ExpandDataRelativePath(MakeDataRelativePath(data + S("Scripts/x.scr"))),
              data + S("Scripts/x.scr"));
}

TEST(StoredPaths, SeparatorsAndNoFileNames)
{
    EXPECT_EQ(IncludeTrailingBackslash(S("C:\\DATA")), S("C:\\DATA\\"));
    EXPECT_EQ(IncludeTrailingBackslash(S("C:\\DATA\\")), S("C:\\DATA\\"));
    EXPECT_EQ(IncludeTrailingBackslash(QString()), QString());
    EXPECT_EQ(IncludeTrailingPathDelimiter(S("/tmp")), S("/tmp/"));
    EXPECT_EQ(IncludeTrailingPathDelimiter(QString()), QString());
    EXPECT_EQ(StoredPath(S("Config/a.das")), S("Config\\a.das"));
    EXPECT_TRUE(IsNoFileName(S("Config\\*.Das")));
    EXPECT_FALSE(IsNoFileName(S("Config\\a.Das")));
}

TEST(StoredPaths, NamesThatStayInsideTheirFolder)
{
    for (const char* inside :
         {"CTD_1\\CTD_1000.RAW", "README", "a/b/c.txt", "..x\\y..", "dir.\\file.", "x\\.\\y"}) {
        EXPECT_TRUE(IsSafeRelativePath(S(inside))) << inside;
    }
    for (const char* outside : {"", "..", "..\\..\\outside\\victim.txt", "Data\\..\\..\\x",
                                "a/../../b", "a\\..", "\\etc\\passwd", "/etc/passwd", "C:\\x.txt",
                                "c:x.txt", "Z:", "\\\\server\\share\\f", "a\tb", "a\nb", "a\rb"}) {
        EXPECT_FALSE(IsSafeRelativePath(S(outside))) << outside;
    }
    EXPECT_FALSE(IsSafeRelativePath(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
}

TEST(StoredPaths, StoredRelativePathsThatLeaveTheDataFolderFallBack)
{
    const QString data = GetProgramDataDir();
    bool refused = true;
    EXPECT_EQ(ExpandStoredDataPath(S("Icons\\Pump.bmp"), S("Icons\\Tavo.bmp"), &refused),
              data + S("Icons/Pump.bmp"));
    EXPECT_FALSE(refused);
    EXPECT_EQ(ExpandStoredDataPath(S("..\\..\\etc\\passwd"), S("Icons\\Tavo.bmp"), &refused),
              data + S("Icons/Tavo.bmp"));
    EXPECT_TRUE(refused);
    // Absolute paths are the operator's own choice and stay as they are.
    EXPECT_EQ(ExpandStoredDataPath(S("/srv/pictures/p.bmp"), S("x"), &refused),
              S("/srv/pictures/p.bmp"));
    EXPECT_FALSE(refused);
    EXPECT_EQ(ExpandStoredDataPath(QString(), S("x"), &refused), QString());
    EXPECT_FALSE(refused);
}
