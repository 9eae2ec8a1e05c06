// Instrument files: the bytes an export writes, the sections of a file it keeps, and what an
// import reads, renames and leaves alone.
#include "station/InstrumentFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "StationFixture.h"
#include "link/Global.h"
#include "platform/IniFile.h"
#include "support/TestFiles.h"

namespace {

class InstrumentFiles : public StationTest {
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    // Every key of the device's section as an export writes it.
    static QStringList Keys(const TDevice& device)
    {
        TMemIniFile ini;
        device.SaveSettings(ini);
        return SectionLines(ini, device.GetName());
    }

    QTemporaryDir dir;
};

TEST_F(InstrumentFiles, ExportWritesTheDevicesSectionUnderItsName)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* ctd = devices.Add(QStringLiteral("CTD"));
    ctd->SetImage(ExpandDataRelativePath(QStringLiteral("Icons\\Tavo.bmp")));
    ctd->SetCmdStart({QStringLiteral("START"), QStringLiteral("SAMPLE 5")});
    ASSERT_TRUE(ExportInstrument(*ctd, Path("CTD.ins")));

    const QByteArray bytes = ReadAll(Path("CTD.ins"));
    EXPECT_TRUE(
        bytes.startsWith("[CTD]\r\n"
                         "Image=Icons\\Tavo.bmp\r\n"
                         "Port=Serial 1\r\n"
                         "PortBaud=9600\r\n"
                         "PortSettings=N,8,1\r\n"
                         "EchoSerial=0\r\n"))
        << bytes.left(200).toStdString();
    EXPECT_TRUE(bytes.contains("\r\nCmdStart=START,\"SAMPLE 5\"\r\nCmdStartDelay=50\r\n"));
    // The terminal window's keys follow the settings.
    EXPECT_TRUE(bytes.contains("\r\nFreqDuration=1000000\r\nHexWidth="));
    EXPECT_TRUE(bytes.endsWith("\r\nFontStyleStrikeOut=0\r\n\r\n"));
    EXPECT_EQ(bytes.count("["), 1);
}

TEST_F(InstrumentFiles, ExportIntoAStationFileKeepsItsOtherSections)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* ctd = devices.Add(QStringLiteral("CTD"));
    ctd->SetPacketPause(77);
    const QByteArray unit =
        "[Pelagrix]\r\nWarning=This is a Wendrok Generated File... DO NOT EDIT!\r\n"
        "CaptureDir=Data\\\r\n";
    const QByteArray other = "[Oxygen]\r\nPort=Analog 1\r\nPacketPause=100\r\n";
    WriteFile(Path("Station.das"), unit + "[CTD]\r\nPort=Serial 1\r\nPacketPause=5\r\n" + other);
    ASSERT_TRUE(ExportInstrument(*ctd, Path("Station.das")));

    const QByteArray bytes = ReadAll(Path("Station.das"));
    // Sections stand apart by an empty line; the device's keys are changed where they stand
    // and the others follow.
    EXPECT_TRUE(bytes.startsWith(unit + "\r\n[CTD]\r\nPort=Serial 1\r\nPacketPause=77\r\n"))
        << bytes.left(300).toStdString();
    EXPECT_TRUE(bytes.endsWith("\r\n\r\n" + other + "\r\n"));
    QStringList written = SectionLines(TMemIniFile(Path("Station.das")), QStringLiteral("CTD"));
    QStringList keys = Keys(*ctd);
    written.sort();
    keys.sort();
    EXPECT_EQ(written, keys);
}

TEST_F(InstrumentFiles, ExportToAFolderThatCannotBeWrittenSaysSo)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* ctd = devices.Add(QStringLiteral("CTD"));
    EXPECT_FALSE(ExportInstrument(*ctd, Path("missing/folder/CTD.ins")));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].text.contains(QStringLiteral("CTD.ins")));
}

TEST_F(InstrumentFiles, ExportThenImportGivesAnotherDeviceEqualSettings)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TDevice* source = devices.Add(QStringLiteral("Source"));
    source->SetPortBaud(19200);
    source->SetPortSettings(QStringLiteral("E,7,2"));
    source->SetEchoSerial(3);
    source->SetEchoFlow(2);
    source->SetPowerOnCmd(true);
    source->SetCmdPowerOn({QStringLiteral("\\!SupCr"), QStringLiteral("WAKE UP"), QString()});
    source->SetCollectionType(0);
    source->SetCmdGetData({QStringLiteral("D")});
    source->SetStartDataCapture(3);
    source->SetStopDataCapture(1);
    source->SetPrefix(QStringLiteral("<\\D \\T>"));
    source->SetDateStampFormat(12);
    source->SetCaptureDest(3);
    source->SetCaptureDestName(QStringLiteral("Casts\\Source.txt"));
    source->SetCaptureDestAppend(false);
    source->SetDoAveraging(true);
    source->SetFreqDuration(4321);
    ASSERT_TRUE(ExportInstrument(*source, Path("Source.ins")));

    // The station already holds "Source": the target keeps its own name.
    TDevice* target = devices.Add(QStringLiteral("Target"));
    ASSERT_TRUE(ImportInstrument(*target, target, Path("Source.ins")));
    EXPECT_EQ(target->GetName(), QStringLiteral("Target"));
    // Everything but the port and its power switch came over.
    QStringList expected = Keys(*source);
    QStringList got = Keys(*target);
    for (const char* own : {"Port=", "PowerOnPriority=", "PowerOnDelay="}) {
        expected.removeIf([own](const QString& line) { return line.startsWith(own); });
        got.removeIf([own](const QString& line) { return line.startsWith(own); });
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(target->GetPort()->GetName(), QStringLiteral("Serial 2"));
}

TEST_F(InstrumentFiles, ImportTakesTheFirstSectionsNameAndKeysOnly)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("Probe"));
    WriteFile(Path("two.ins"),
               "[A]\r\nPacketPause=11\r\n[B]\r\nPacketPause=22\r\nCmdStopDelay=99\r\n");
    ASSERT_TRUE(ImportInstrument(*d, d, Path("two.ins")));
    EXPECT_EQ(d->GetName(), QStringLiteral("A"));
    EXPECT_EQ(Row(d, kColDevice), QStringLiteral("A"));
    EXPECT_EQ(d->GetMux()->GetName(), QStringLiteral("A"));
    EXPECT_EQ(d->GetPacketPause(), 11);
    EXPECT_EQ(d->GetCmdStopDelay(), 50);

    // Port and power switch settings of the file are not taken.
    TPort* port = d->GetPort();
    const int position = d->GetPowerOnPriority();
    WriteFile(Path("port.ins"),
               "[A]\r\nPort=Other\r\nPowerOnPriority=9\r\nPowerOnDelay=500\r\nAvgPause=4\r\n");
    ASSERT_TRUE(ImportInstrument(*d, d, Path("port.ins")));
    EXPECT_EQ(d->GetPort(), port);
    EXPECT_EQ(d->GetPowerOnPriority(), position);
    EXPECT_EQ(d->GetPowerOnDelay(), 30);
    EXPECT_EQ(d->GetAvgPause(), 4);

    // A file without sections reads nothing.
    WriteFile(Path("empty.ins"), "; nothing here\r\n");
    EXPECT_FALSE(ImportInstrument(*d, d, Path("empty.ins")));
    EXPECT_EQ(d->GetName(), QStringLiteral("A"));
}

TEST_F(InstrumentFiles, ImportNeverGivesTwoDevicesOneName)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    devices.Add(QStringLiteral("Fan"));
    const struct {
        const char* section;
        int pause;
    } clashes[] = {{"FAN", 31}, {"Corvane", 32}};
    for (const auto& c : clashes) {
        prompt.shown.clear();
        WriteFile(Path("clash.ins"),
                   QByteArray("[") + c.section + "]\r\nPacketPause=" + QByteArray::number(c.pause));
        ASSERT_TRUE(ImportInstrument(*pump, pump, Path("clash.ins")));
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].text,
                  QStringLiteral("Name \"") + QLatin1String(c.section) + "\" already exists.");
        EXPECT_EQ(pump->GetName(), QStringLiteral("Pump"));
        // The keys of the section are read all the same.
        EXPECT_EQ(pump->GetPacketPause(), c.pause);
    }
    EXPECT_FALSE(devices.IsDuplicateName(QStringLiteral("Fan")));
}

TEST_F(InstrumentFiles, HostileFilesImportSafelyOrNotAtAll)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    devices.SetCaptureDir(QStringLiteral("/srv/captures"));
    TDevice* d = devices.Add(QStringLiteral("Probe"));
    QByteArray binary;
    for (int i = 0; i < 20000; ++i) {
        binary += static_cast<char>((i * 53 + 9) % 256);
    }
    const struct {
        QByteArray bytes;
        bool read;
    } cases[] = {
        {QByteArray(), false},
        {QByteArray("\0\0\0\0", 4), false},
        {binary, false},
        {"[", false},
        {"[]\r\nPacketPause=7\r\n", true},
        {"[..\\..\\evil]\r\nCaptureDestName=..\\..\\etc\\victim\r\n", true},
        {"[/etc/evil]\r\nCaptureDestName=/etc/victim\r\nImage=../../../etc/passwd\r\n", true},
        {"[C:\\evil]\r\nCaptureDestName=C:\\victim\r\nPacketPause=99999999999999\r\n", true},
        {QByteArray("[A\0B]\r\nCaptureDestName=X\0\\..\\..\\v\r\n", 35), true},
        {"[" + QByteArray(100000, 'N') + "]\r\nAvgPause=-2147483648\r\n" + binary, true},
    };
    for (const auto& c : cases) {
        WriteFile(Path("hostile.ins"), c.bytes);
        EXPECT_EQ(ImportInstrument(*d, d, Path("hostile.ins")), c.read)
            << c.bytes.left(30).toStdString();
        // Whatever the file named, captures stay in the capture folder.
        const QString target = d->CaptureTarget().fileName;
        EXPECT_TRUE(target.startsWith(QStringLiteral("\\srv\\captures\\"))) << target.toStdString();
        EXPECT_FALSE(target.split(QLatin1Char('\\')).contains(QStringLiteral("..")));
        // The name taken goes back out as the same section.
        QFile::remove(Path("again.ins"));
        ASSERT_TRUE(ExportInstrument(*d, Path("again.ins")));
        const TMemIniFile again(Path("again.ins"));
        EXPECT_EQ(again.ReadSections(), QStringList{d->GetName()});
    }
}

TEST(InstrumentFileNames, OnlyExistingInsFilesInAnyCase)
{
    QTemporaryDir dir;
    for (const char* name : {"a.ins", "b.INS", "c.Ins", "d.txt", "e.ins.txt", "f"}) {
        WriteFile(dir.filePath(QString::fromLatin1(name)), "[X]\r\n");
    }
    EXPECT_TRUE(IsInstrumentFile(dir.filePath("a.ins")));
    EXPECT_TRUE(IsInstrumentFile(dir.filePath("b.INS")));
    EXPECT_TRUE(IsInstrumentFile(dir.filePath("c.Ins")));
    EXPECT_FALSE(IsInstrumentFile(dir.filePath("d.txt")));
    EXPECT_FALSE(IsInstrumentFile(dir.filePath("e.ins.txt")));
    EXPECT_FALSE(IsInstrumentFile(dir.filePath("f")));
    EXPECT_FALSE(IsInstrumentFile(dir.filePath("missing.ins")));
    EXPECT_FALSE(IsInstrumentFile(dir.path()));

    const TFileDialogOptions options = InstrumentDialogOptions(QStringLiteral("T"), "CTD");
    EXPECT_EQ(options.filter, QStringLiteral("Instrument Configuration Files (*.ins)|*.ins"));
    EXPECT_EQ(options.folder, GetProgramDataDir() + "Config/");
    EXPECT_EQ(options.fileName, QStringLiteral("CTD"));
}

}  // namespace
