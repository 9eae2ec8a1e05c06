#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <climits>
#include <thread>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath(QStringLiteral("Wendrok.ini"));
        SetSettingsFilePath(file);
    }
    void TearDown() override { SetSettingsFilePath(QString()); }

    QString FileText() const
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    }

    void WriteFileText(const QString& text) const
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text.toUtf8());
    }

    QTemporaryDir dir;
    QString file;
};

const QString kKey = QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\126\\Test");

}  // namespace

TEST(VersionedKeyPath, RoundsTheVersionTimesAHundred)
{
    EXPECT_EQ(VersionedKeyPath(1.26, QStringLiteral("DasDesktop")),
              QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\126\\DasDesktop"));
    EXPECT_EQ(VersionedKeyPath(1.26f, QStringLiteral("X")),
              QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\126\\X"));
    EXPECT_EQ(VersionedKeyPath(1.25f, QStringLiteral("X")),
              QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\125\\X"));
    // The main window steps the read version down by 0.01 in floating point.
    EXPECT_EQ(VersionedKeyPath(1.26 - 0.01 - 0.01, QStringLiteral("X")),
              QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\124\\X"));
    EXPECT_EQ(VersionedKeyPath(0.05, QStringLiteral("X")),
              QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\005\\X"));
}

TEST(RegistryVersions, StartAtOneTwentySix)
{
    EXPECT_DOUBLE_EQ(RegistryWriteVersion(), 1.26);
    EXPECT_DOUBLE_EQ(RegistryReadVersion(), 1.26);
}

TEST_F(RegistryTest, DefaultFileLivesInTheConfigFolder)
{
    SetSettingsFilePath(QString());
    EXPECT_EQ(SettingsFilePath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  QStringLiteral("/Wendrok/Wendrok.ini"));
    SetSettingsFilePath(file);
    EXPECT_EQ(SettingsFilePath(), file);
}

TEST_F(RegistryTest, KeyOpensWithoutCreatingOnlyOnceItHoldsAValue)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_TRUE(reg.CurrentPath().isEmpty());

    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.CloseKey();
    EXPECT_FALSE(reg.OpenKey(kKey, false)) << "an empty key is not stored";

    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger(QStringLiteral("A"), 1);
    reg.CloseKey();
    EXPECT_TRUE(reg.OpenKey(QStringLiteral("software\\TAVO LABS\\wendrok\\126\\test\\"), false));
    EXPECT_TRUE(reg.KeyExists(QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\126")))
        << "a key with a key below it exists";
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\12")));
    EXPECT_TRUE(reg.OpenKey(QString(), false)) << "an empty path is the open key itself";
    reg.CloseKey();
    EXPECT_FALSE(reg.OpenKey(QString(), true)) << "the root holds no values";
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\\\"), true));
}

TEST_F(RegistryTest, RelativeKeyOpensBelowTheOpenKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\A"), true));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("B"), true));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("Software\\A\\B"));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\C"), true));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("Software\\C"));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("Missing"), false));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("Software\\C")) << "a failed open keeps the key";
}

TEST_F(RegistryTest, NamesAreComparedWithoutRegardToCase)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\126\\Warn"), true));
        reg.WriteBool(QStringLiteral("WarnAgain"), true);
        reg.WriteString(QStringLiteral("Text"), QStringLiteral("first"));
        reg.WriteString(QStringLiteral("TEXT"), QStringLiteral("second"));
        EXPECT_EQ(reg.GetValueNames(), QStringList({QStringLiteral("WarnAgain"),
                                                    QStringLiteral("Text")}));
    }
    TRegDef reg;
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\SOFTWARE\\tavo labs\\WENDROK\\126\\warn"), false));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("warnAgain")));
    EXPECT_TRUE(reg.ReadBoolDef(QStringLiteral("warnAgain"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("text")), QStringLiteral("second"));
}

TEST_F(RegistryTest, TypedValuesSurviveAnotherStart)
{
    const QString awkward = QStringLiteral(" lead=in %41 [x] ;c\r\nline\\two\ttab \u00e9\u4e2d ");
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger(QStringLiteral("Min"), INT_MIN);
        reg.WriteInteger(QStringLiteral("Max"), INT_MAX);
        reg.WriteFloat(QStringLiteral("Third"), 1.0 / 3.0);
        reg.WriteFloat(QStringLiteral("Tenth"), 0.1);
        reg.WriteFloat(QStringLiteral("Tiny"), -2.5e-300);
        reg.WriteString(QStringLiteral("Awkward"), awkward);
        reg.WriteString(QStringLiteral(" =[odd;name# "), QStringLiteral("v"));
        reg.WriteString(QStringLiteral("Empty"), QString());
        reg.WriteBool(QStringLiteral("On"), true);
        reg.WriteBool(QStringLiteral("Off"), false);
    }
    // What a later start of the program reads: the file alone.
    SetSettingsFilePath(file);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Min")), INT_MIN);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Max")), INT_MAX);
    EXPECT_EQ(reg.ReadFloat(QStringLiteral("Third")), 1.0 / 3.0);
    EXPECT_EQ(reg.ReadFloat(QStringLiteral("Tenth")), 0.1);
    EXPECT_EQ(reg.ReadFloat(QStringLiteral("Tiny")), -2.5e-300);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Awkward")), awkward);
    EXPECT_EQ(reg.ReadString(QStringLiteral(" =[odd;name# ")), QStringLiteral("v"));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("Empty")));
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("On")));
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("Off")));
    EXPECT_EQ(reg.GetValueNames().size(), 10);

    const QString text = FileText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Software\\Tavo Labs\\Wendrok\\126\\Test]\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nTenth=0.1\n"))) << text.toStdString();
}

TEST_F(RegistryTest, NamesAndValuesKeepBlanksOfEveryKindAtTheirEdges)
{
    // Every character a trim would take off, at both edges of a name and of its value.
    QStringList names;
    for (int u = 1; u <= 0xffff; ++u) {
        const QString blank(QChar{u});
        if (blank.trimmed().isEmpty()) {
            names << blank + QStringLiteral("Name") + QString::number(u, 16) + blank;
        }
    }
    ASSERT_TRUE(names.contains(QStringLiteral("\u3000Name3000\u3000")));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        for (const QString& name : names) {
            reg.WriteString(name, name);
        }
    }
    const QString saved = FileText();

    // A later start reads the file alone, and its next save writes it as it was.
    SetSettingsFilePath(file);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.GetValueNames(), names);
    for (const QString& name : names) {
        EXPECT_EQ(reg.ReadString(name), name);
    }
    reg.WriteString(names.first(), names.first());
    EXPECT_EQ(FileText(), saved);
}

TEST_F(RegistryTest, LoneSurrogatesKeepTheirPlaceThroughSaveAndLoad)
{
    // Hand-edited: lone surrogates in the key path, in two names that differ only there, at
    // either side of "=" (a pair only if they stood together), and a pair spelt as escapes.
    const QString smile = QStringLiteral("\U0001F600");
    WriteFileText(QStringLiteral("[Software\\Odd%uDBFF\\Key]\n"
                                 "x%uD800=1\n"
                                 "x%uDC00=2\n"
                                 "Tail%uD83D=%uDE00head\n"
                                 "Pair=") +
                  smile + QStringLiteral("%uDFFF%uD83D%uDE00\n"));
    const QString key = QStringLiteral("\\Software\\Odd") + QChar(0xdbff) + QStringLiteral("\\Key");
    const QString x1 = QStringLiteral("x") + QChar(0xd800);
    const QString x2 = QStringLiteral("x") + QChar(0xdc00);
    const QString tail = QStringLiteral("Tail") + QChar(0xd83d);
    const QStringList names = {x1, x2, tail, QStringLiteral("Pair")};
    const auto expectValues = [&](const TRegistry& reg) {
        EXPECT_EQ(reg.GetValueNames(), names);
        EXPECT_EQ(reg.ReadString(x1), QStringLiteral("1"));
        EXPECT_EQ(reg.ReadString(x2), QStringLiteral("2"));
        EXPECT_EQ(reg.ReadString(tail), QChar(0xde00) + QStringLiteral("head"));
        EXPECT_EQ(reg.ReadString(QStringLiteral("Pair")), smile + QChar(0xdfff) + smile);
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, false));
        expectValues(reg);
        reg.WriteString(x1, QStringLiteral("1"));
    }
    // Every lone surrogate is written escaped; a pair as the character it makes.
    const QString saved = FileText();
    EXPECT_EQ(saved, QStringLiteral("[Software\\Odd%uDBFF\\Key]\n"
                                    "x%uD800=1\n"
                                    "x%uDC00=2\n"
                                    "Tail%uD83D=%uDE00head\n"
                                    "Pair=") +
                         smile + QStringLiteral("%uDFFF") + smile + QStringLiteral("\n"))
        << saved.toStdString();

    // A later start reads the same values, and its next save writes the same file.
    SetSettingsFilePath(file);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, false));
    expectValues(reg);
    reg.WriteString(x2, QStringLiteral("2"));
    EXPECT_EQ(FileText(), saved) << FileText().toStdString();
}

TEST_F(RegistryTest, NamesThatDifferInALoneSurrogateStayApartWhateverTheCaseAroundIt)
{
    // Hand-edited: two keys and two names that differ only in a lone surrogate, with letters
    // of either case around it.
    WriteFileText(QStringLiteral("[Software\\Case%uDC00Key]\n"
                                 "K%uDC00=1\n"
                                 "K%uDFFF=2\n"
                                 "Mid%uD800Dle=3\n"
                                 "[Software\\CASE%uDFFFKEY]\n"
                                 "K%uDC00=4\n"));
    const QChar dc00(0xdc00);
    const QChar dfff(0xdfff);
    const QString first = QStringLiteral("\\Software\\Case") + dc00 + QStringLiteral("Key");
    const QString second = QStringLiteral("\\Software\\CASE") + dfff + QStringLiteral("KEY");
    const QString k1 = QStringLiteral("K") + dc00;
    const QString k2 = QStringLiteral("K") + dfff;
    const QString mid = QStringLiteral("Mid") + QChar(0xd800) + QStringLiteral("Dle");
    const QString x = QStringLiteral("x") + dc00;
    const auto expectValues = [&] {
        TRegistry reg;
        ASSERT_TRUE(
            reg.OpenKey(QStringLiteral("\\sOFTWARE\\cASE") + dc00 + QStringLiteral("kEY"), false));
        EXPECT_EQ(reg.GetValueNames(), QStringList({k1, k2, mid, x}));
        EXPECT_EQ(reg.ReadString(QStringLiteral("k") + dc00), QStringLiteral("1"));
        EXPECT_EQ(reg.ReadString(QStringLiteral("k") + dfff), QStringLiteral("2"));
        EXPECT_EQ(reg.ReadString(QStringLiteral("mID") + QChar(0xd800) + QStringLiteral("dLE")),
                  QStringLiteral("3"));
        EXPECT_FALSE(
            reg.ValueExists(QStringLiteral("Mid") + QChar(0xdbff) + QStringLiteral("Dle")));
        EXPECT_EQ(reg.ReadString(QStringLiteral("X") + dc00), QStringLiteral("5"));
        ASSERT_TRUE(
            reg.OpenKey(QStringLiteral("\\software\\case") + dfff + QStringLiteral("key"), false));
        EXPECT_EQ(reg.GetValueNames(), QStringList({k1}));
        EXPECT_EQ(reg.ReadString(QStringLiteral("k") + dc00), QStringLiteral("4"));
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(first, false));
        reg.WriteString(x, QStringLiteral("0"));
        // The same name in another case: changed where it stands, spelt as first written.
        reg.WriteString(QStringLiteral("X") + dc00, QStringLiteral("5"));
    }
    expectValues();
    const QString saved = FileText();
    EXPECT_EQ(saved, QStringLiteral("[Software\\Case%uDC00Key]\n"
                                    "K%uDC00=1\n"
                                    "K%uDFFF=2\n"
                                    "Mid%uD800Dle=3\n"
                                    "x%uDC00=5\n"
                                    "\n"
                                    "[Software\\CASE%uDFFFKEY]\n"
                                    "K%uDC00=4\n"))
        << saved.toStdString();

    // A later start reads the same values, and its next save writes the same file.
    SetSettingsFilePath(file);
    expectValues();
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(second, false));
        reg.WriteString(k1, QStringLiteral("4"));
    }
    EXPECT_EQ(FileText(), saved) << FileText().toStdString();
}

TEST_F(RegistryTest, MissingOrMalformedValuesReadAsDefaults)
{
    WriteFileText(QStringLiteral("; settings\n"
                                 "Stray=before any key\n"
                                 "[Software\\T]\n"
                                 "Int=12abc\n"
                                 "Float=nan\n"
                                 "Bool=maybe\n"
                                 "no equals sign\n"
                                 "Yes= TRUE \n"
                                 "[software\\t]\n"
                                 "Num= -42 \n"));
    TRegDef reg;
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\T"), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Int")), 0);
    EXPECT_EQ(reg.ReadIntegerDef(QStringLiteral("Int"), 7), 7);
    EXPECT_EQ(reg.ReadFloat(QStringLiteral("Float")), 0.0);
    EXPECT_EQ(reg.ReadFloatDef(QStringLiteral("Float"), 2.5), 2.5);
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("Bool")));
    EXPECT_TRUE(reg.ReadBoolDef(QStringLiteral("Bool"), true));
    EXPECT_TRUE(reg.ReadBoolDef(QStringLiteral("Yes"), false));
    EXPECT_EQ(reg.ReadIntegerDef(QStringLiteral("Num"), 0), -42) << "a repeated key merges";
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Stray")));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("no equals sign")));

    EXPECT_EQ(reg.ReadString(QStringLiteral("Missing")), QString());
    EXPECT_EQ(reg.ReadStringDef(QStringLiteral("Missing"), QStringLiteral("def")),
              QStringLiteral("def"));
    EXPECT_EQ(reg.ReadIntegerDef(QStringLiteral("Missing"), -3), -3);
    EXPECT_EQ(reg.ReadFloatDef(QStringLiteral("Missing"), 0.75), 0.75);
    EXPECT_FALSE(reg.ReadBoolDef(QStringLiteral("Missing"), false));

    reg.CloseKey();
    EXPECT_EQ(reg.ReadStringDef(QStringLiteral("Int"), QStringLiteral("closed")),
              QStringLiteral("closed"));
}

TEST_F(RegistryTest, SeesWhatAnotherProcessWrote)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString(QStringLiteral("Mine"), QStringLiteral("1"));
    WriteFileText(QStringLiteral("[Software\\Tavo Labs\\Wendrok\\126\\Test]\n"
                                 "Theirs=written elsewhere\n"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Theirs")), QStringLiteral("written elsewhere"));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Mine")));
    reg.WriteInteger(QStringLiteral("Next"), 5);
    EXPECT_TRUE(FileText().contains(QStringLiteral("Theirs=written elsewhere")))
        << "a write keeps what the other process wrote";
}

TEST_F(RegistryTest, DeleteValueRemovesItFromTheFile)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteInteger(QStringLiteral("Gone"), 1);
    reg.WriteInteger(QStringLiteral("Kept"), 2);
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("GONE")));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("Gone")));
    EXPECT_FALSE(FileText().contains(QStringLiteral("Gone")));
    EXPECT_EQ(reg.GetValueNames(), QStringList({QStringLiteral("Kept")}));
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("Kept")));
    EXPECT_FALSE(reg.KeyExists(kKey)) << "a key without values is gone";
}

TEST_F(RegistryTest, KeyDoesNotOpenForWritingWhenTheFileCannotBeWritten)
{
    QFile blocker(dir.filePath(QStringLiteral("plainfile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SetSettingsFilePath(dir.filePath(QStringLiteral("plainfile/sub/Wendrok.ini")));
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kKey, true));
    reg.WriteInteger(QStringLiteral("A"), 1);
    EXPECT_FALSE(reg.KeyExists(kKey));
}

TEST_F(RegistryTest, ThreadsWriteWithoutLosingValues)
{
    constexpr int kWrites = 40;
    auto writer = [](const QString& key) {
        TRegistry reg;
        if (!reg.OpenKey(key, true)) {
            return;
        }
        for (int i = 0; i < kWrites; ++i) {
            reg.WriteInteger(QStringLiteral("V%1").arg(i), i);
        }
    };
    std::thread a(writer, QStringLiteral("\\Software\\A"));
    std::thread b(writer, QStringLiteral("\\Software\\B"));
    a.join();
    b.join();
    SetSettingsFilePath(file);
    for (const QString& key : {QStringLiteral("\\Software\\A"), QStringLiteral("\\Software\\B")}) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, false));
        EXPECT_EQ(reg.GetValueNames().size(), kWrites);
        EXPECT_EQ(reg.ReadInteger(QStringLiteral("V%1").arg(kWrites - 1)), kWrites - 1);
    }
}

TEST_F(RegistryTest, EveryKeyAndValueOfALargeFileIsFoundByItsOwnName)
{
    constexpr int kKeys = 2000;
    QString text;
    for (int k = 0; k < kKeys; ++k) {
        text += QStringLiteral("[Software\\Station\\Window%1]\nLeft=%1\nTop=%2\n").arg(k).arg(-k);
    }
    text += QStringLiteral("[Software\\Wide]\n");
    for (int v = 0; v < kKeys; ++v) {
        text += QStringLiteral("Value%1=%1\n").arg(v);
    }
    WriteFileText(text);

    TRegDef reg;
    for (const int k : {0, 1, 999, kKeys - 1}) {
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\SOFTWARE\\station\\WINDOW%1").arg(k), false));
        EXPECT_EQ(reg.ReadIntegerDef(QStringLiteral("left"), -1), k);
        EXPECT_EQ(reg.ReadIntegerDef(QStringLiteral("TOP"), 1), -k);
    }
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\Station\\Window%1").arg(kKeys)));
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\Station\\Window")));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Wide"), false));
    const QStringList names = reg.GetValueNames();
    ASSERT_EQ(names.size(), kKeys);
    EXPECT_EQ(names.first(), QStringLiteral("Value0"));
    EXPECT_EQ(names.last(), QStringLiteral("Value%1").arg(kKeys - 1));
    EXPECT_EQ(reg.ReadIntegerDef(QStringLiteral("VALUE1234"), -1), 1234);
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Value%1").arg(kKeys)));
}

TEST_F(RegistryTest, AKeyGoesWithItsLastValueAndItsParentWithItsLastChild)
{
    const QString parent = QStringLiteral("\\Software\\Parent");
    TRegistry reg;
    for (const char* child : {"A", "B"}) {
        ASSERT_TRUE(reg.OpenKey(parent + QLatin1Char('\\') + QLatin1String(child), true));
        reg.WriteInteger(QStringLiteral("X"), 1);
        reg.WriteInteger(QStringLiteral("x"), 2);
    }
    ASSERT_TRUE(reg.OpenKey(parent + QStringLiteral("\\a"), false));
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("X")));
    EXPECT_FALSE(reg.KeyExists(parent + QStringLiteral("\\A")));
    EXPECT_TRUE(reg.KeyExists(parent)) << "B still holds a value";

    // Another process empties B: the file read again decides.
    WriteFileText(QStringLiteral("[Software\\Other]\nV=1\n"));
    EXPECT_FALSE(reg.KeyExists(parent));
    EXPECT_TRUE(reg.KeyExists(QStringLiteral("\\Software")));

    ASSERT_TRUE(reg.OpenKey(parent + QStringLiteral("\\A"), true));
    reg.WriteInteger(QStringLiteral("Y"), 3);
    EXPECT_TRUE(reg.KeyExists(parent));
    EXPECT_EQ(reg.GetValueNames(), QStringList{QStringLiteral("Y")});
}
