#include <gtest/gtest.h>

#include "StationFixture.h"
#include "link/Global.h"
#include "platform/IniFile.h"

namespace {

TMemIniFile IniOf(const QString& text)
{
    TMemIniFile ini;
    ini.SetText(text);
    return ini;
}

}  // namespace

class DeviceSettings : public StationTest {
protected:
    TDevice* AddDevice(const QString& name, const QString& port, int channel, int powerSwitch)
    {
        AddPort(port, channel, powerSwitch);
        return devices.Add(name);
    }
};

TEST_F(DeviceSettings, SectionHoldsEveryKeyInOrder)
{
    TDevice* d = AddDevice(QStringLiteral("CTD 1"), QStringLiteral("P3"), 3, 5);
    d->SetImage(ExpandDataRelativePath(QStringLiteral("Icons\\Tavo.bmp")));
    TMemIniFile ini;
    d->SaveSettings(ini);
    const QStringList expected = {"Image=Icons\\Tavo.bmp",
                                  "Port=P3",
                                  "PortBaud=9600",
                                  "PortSettings=N,8,1",
                                  "EchoSerial=0",
                                  "EchoBaud=9600",
                                  "EchoSettings=N,8,1",
                                  "EchoFlow=0",
                                  "PowerOnPriority=5",
                                  "PowerOnDelay=30",
                                  "PowerOnCmd=0",
                                  "PowerOnCmdWait=30",
                                  "CmdPowerOn=",
                                  "PowerOffCmd=0",
                                  "PowerOffCmdWait=30",
                                  "CmdPowerOff=",
                                  "CollectionType=2",
                                  "PacketPause=100",
                                  "CmdGetData=",
                                  "CmdStart=",
                                  "CmdStartDelay=50",
                                  "CmdStop=",
                                  "CmdStopDelay=50",
                                  "StartDataCapture=0",
                                  "StartAfterDelay=30",
                                  "CmdGetSavedData=",
                                  "StopDataCapture=4",
                                  "StopAfterDelay=200",
                                  "StartPrefix=",
                                  "StopSuffix=",
                                  "Prefix=",
                                  "Suffix=",
                                  "DateStampInfix=/",
                                  "DateStampFormat=1",
                                  "TimeStampInfix=:",
                                  "CaptureDest=2",
                                  "CaptureDestOther=3",
                                  "CaptureDestName=CTD_1\\CTD_1000.RAW",
                                  "CaptureDestAppend=1",
                                  "DoAveraging=0",
                                  "AvgNumSamples=10",
                                  "AvgPause=10",
                                  "FreqDuration=1000000",
                                  "HexWidth=0",
                                  "HexWrap=16",
                                  "HexWrapString=0D0A",
                                  "FontCharset=0",
                                  "FontColor=-2147483640",
                                  "FontName=Courier New",
                                  "FontSize=10",
                                  "FontStyleBold=0",
                                  "FontStyleItalic=0",
                                  "FontStyleUnderline=1",
                                  "FontStyleStrikeOut=0"};
    EXPECT_EQ(SectionLines(ini, QStringLiteral("CTD 1")), expected);
}

TEST_F(DeviceSettings, SavedSectionReadsBackEqual)
{
    TDevice* a = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 2);
    a->SetPortBaud(19200);
    a->SetEchoSerial(4);
    a->SetEchoFlow(2);
    a->SetPowerOnCmd(true);
    a->SetCmdPowerOn({QStringLiteral("WAKE"), QString(), QStringLiteral("say \"hi\", twice")});
    a->SetCollectionType(0);
    a->SetStartDataCapture(3);
    a->SetStopDataCapture(5);
    a->SetPrefix(QStringLiteral("<,\"pre\">"));
    a->SetDateStampFormat(9);
    a->SetCaptureDest(3);
    a->SetCaptureDestOther(77);
    a->SetCaptureDestName(QStringLiteral("DIR\\FILE.TXT"));
    a->SetCaptureDestAppend(false);
    a->SetDoAveraging(true);
    a->SetFreqDuration(5);
    a->SetPowerOnDelay(45);
    TMemIniFile ini;
    a->SaveSettings(ini);

    // The same section read into a device of the same name on a fresh station.
    devices.Clear();
    TDevice* b = devices.Add(QStringLiteral("A"));
    ASSERT_TRUE(b->LoadSettings(ini, false));
    EXPECT_EQ(b->GetCmdPowerOn(), (QStringList{QStringLiteral("WAKE"), QString(),
                                               QStringLiteral("say \"hi\", twice")}));
    TMemIniFile again;
    b->SaveSettings(again);
    EXPECT_EQ(SectionLines(again, QStringLiteral("A")), SectionLines(ini, QStringLiteral("A")));
}

TEST_F(DeviceSettings, CommandBlocksAreCommaText)
{
    TDevice* d = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 1);
    d->SetCmdStart({QStringLiteral("START"), QStringLiteral("SAMPLE 5")});
    d->SetCmdStop({QStringLiteral("SAMPLE 5")});
    TMemIniFile ini;
    d->SaveSettings(ini);
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("CmdStart"), QString()),
              QStringLiteral("START,\"SAMPLE 5\""));
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("CmdStop"), QString()),
              QStringLiteral("\"SAMPLE 5\""));
    d->SetCmdStart({});
    d->SetCmdStop({});
    ASSERT_TRUE(d->LoadSettings(ini, true));
    EXPECT_EQ(d->GetCmdStart(), (QStringList{QStringLiteral("START"), QStringLiteral("SAMPLE 5")}));
    EXPECT_EQ(d->GetCmdStop(), QStringList{QStringLiteral("SAMPLE 5")});
}

TEST_F(DeviceSettings, EnumerationsKeepLowByteAndAreClamped)
{
    TDevice* d = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 1);
    struct Case {
        const char* stored;
        int captureDest, startCapture, collection, echoFlow, windowState;
    };
    const Case cases[] = {
        {"7", 3, 5, 2, 7, 7},      {"-4", 0, 0, 0, -4, 252}, {"260", 3, 4, 2, 4, 4},
        {"255", 0, 0, 0, -1, 255}, {"257", 1, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        const QString v = QLatin1String(c.stored);
        TMemIniFile ini = IniOf(QStringLiteral("[A]\nCaptureDest=%1\nStartDataCapture=%1\n"
                                               "CollectionType=%1\nEchoFlow=%1\nWindowState=%1\n"
                                               "DateStampFormat=40\n")
                                    .arg(v));
        ASSERT_TRUE(d->LoadSettings(ini, true));
        EXPECT_EQ(d->GetCaptureDest(), c.captureDest) << c.stored;
        EXPECT_EQ(d->GetStartDataCapture(), c.startCapture) << c.stored;
        EXPECT_EQ(d->GetCollectionType(), c.collection) << c.stored;
        EXPECT_EQ(d->GetEchoFlow(), c.echoFlow) << c.stored;
        EXPECT_EQ(d->GetWindowState(), c.windowState) << c.stored;
        EXPECT_EQ(d->GetDateStampFormat(), 40);
    }
    ASSERT_TRUE(d->LoadSettings(IniOf(QStringLiteral("[A]\nPortSettings=N,8,1,EXTRA\n")), true));
    EXPECT_EQ(d->GetPortSettings(), QStringLiteral("N,8,1,EX"));
}

TEST_F(DeviceSettings, WindowKeysAreScreenFractionsOrPixels)
{
    TDevice* d = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 1);
    const struct {
        const char* stored;
        int height;
    } cases[] = {{"600", 600}, {"0.5", 400}, {"1", 800}, {"-0.5", -400}, {"1.5", 2}};
    for (const auto& c : cases) {
        ASSERT_TRUE(d->LoadSettings(IniOf(QStringLiteral("[A]\nHeight=%1\nLeft=0.25\nWidth=1200\n")
                                              .arg(QLatin1String(c.stored))),
                                    true));
        EXPECT_EQ(d->GetHeight(), c.height) << c.stored;
        EXPECT_EQ(d->GetLeft(), 250);
        EXPECT_EQ(d->GetWidth(), 1200);
    }
}

TEST_F(DeviceSettings, MissingKeysKeepPresentValuesButWindowKeysHaveFixedDefaults)
{
    AddPort(QStringLiteral("P0"), 10, 1);
    AddPort(QStringLiteral("P1"), 11, 1);
    devices.Add(QStringLiteral("First"));
    TDevice* d = devices.Add(QStringLiteral("A"));  // row 1
    d->SetPacketPause(77);
    d->SetPrefix(QStringLiteral("pre"));
    d->SetPowerOnDelay(99);
    ASSERT_TRUE(d->LoadSettings(IniOf(QStringLiteral("[A]\n")), true));
    EXPECT_EQ(d->GetPacketPause(), 77);
    EXPECT_EQ(d->GetPrefix(), QStringLiteral("pre"));
    EXPECT_EQ(d->GetPowerOnDelay(), 99);
    EXPECT_EQ(d->GetPort()->GetName(), QStringLiteral("P1"));
    EXPECT_TRUE(d->GetVisible());
    EXPECT_EQ(d->GetHeight(), 360);  // 0.45 of 800
    EXPECT_EQ(d->GetWidth(), 450);   // 0.45 of 1000
    EXPECT_EQ(d->GetLeft(), 50);     // 0.05 of 1000 per row
    EXPECT_EQ(d->GetTop(), 40);      // 0.05 of 800 per row
    EXPECT_EQ(d->GetImage(), ExpandDataRelativePath(QStringLiteral("Icons\\Tavo.bmp")));
}

TEST_F(DeviceSettings, ImportLeavesPortAndSwitchAlone)
{
    TDevice* d = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 4);
    AddPort(QStringLiteral("P2"), 2, 6);
    const TMemIniFile ini = IniOf(QStringLiteral(
        "[A]\nPort=P2\nPowerOnPriority=9\nPowerOnDelay=500\nHexWrap=8\nPacketPause=5\n"));
    ASSERT_TRUE(d->LoadSettings(ini, true));
    EXPECT_EQ(d->GetPort()->GetName(), QStringLiteral("P1"));
    EXPECT_EQ(d->GetPowerOnPriority(), 4);
    EXPECT_EQ(d->GetPowerOnDelay(), 30);
    EXPECT_EQ(d->GetPacketPause(), 5);
    EXPECT_EQ(TerminalOf(d)->hexWrap, 8);
}

TEST_F(DeviceSettings, ConfigurationLoadMovesToItsPortAndSwitchSettings)
{
    AddPort(QStringLiteral("P1"), 1, 3);
    AddPort(QStringLiteral("P2"), 2, 3);
    const TMemIniFile ini =
        IniOf(QStringLiteral("[A]\nPort=P2\nPowerOnPriority=3\nPowerOnDelay=11\n"
                             "[B]\nPort=P1\nPowerOnPriority=7\nPowerOnDelay=22\n"));
    // As a configuration load does: each device is made on the first free port, then moved.
    TDevice* a = devices.Add(QStringLiteral("A"));
    ASSERT_EQ(a->GetPort()->GetName(), QStringLiteral("P1"));
    ASSERT_TRUE(a->LoadSettings(ini, false));
    TDevice* b = devices.Add(QStringLiteral("B"));
    ASSERT_TRUE(b->LoadSettings(ini, false));
    EXPECT_EQ(a->GetPort()->GetName(), QStringLiteral("P2"));
    EXPECT_EQ(b->GetPort()->GetName(), QStringLiteral("P1"));
    EXPECT_EQ(mux.GetChannel(1)->GetDevice(), b);
    EXPECT_EQ(mux.GetChannel(2)->GetDevice(), a);
    EXPECT_EQ(a->GetPowerOnPriority(), 7);  // the later device on the switch decides
    EXPECT_EQ(a->GetPowerOnDelay(), 22);
    EXPECT_TRUE(TerminalOf(a)->visible);
    EXPECT_EQ(TerminalOf(a)->caption, QStringLiteral("A"));
}

TEST_F(DeviceSettings, UnknownOrTakenPortRemovesTheDevice)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    AddPort(QStringLiteral("P2"), 2, 1);
    AddPort(QStringLiteral("P3"), 3, 1);
    TDevice* keeper = devices.Add(QStringLiteral("Keeper"));
    TDevice* lost = devices.Add(QStringLiteral("Lost"));
    TDevice* thief = devices.Add(QStringLiteral("Thief"));
    const TMemIniFile ini = IniOf(QStringLiteral("[Lost]\n[Thief]\nPort=P1\n[Keeper]\nPort=P1\n"));

    EXPECT_FALSE(lost->LoadSettings(ini, false));
    EXPECT_FALSE(thief->LoadSettings(ini, false));
    ASSERT_TRUE(keeper->LoadSettings(ini, false));
    EXPECT_EQ(prompt.Messages().size(), 2);
    EXPECT_TRUE(prompt.Messages().at(0).endsWith(QStringLiteral("Can not find port for Lost")));
    EXPECT_TRUE(prompt.Messages().at(1).endsWith(QStringLiteral("Can not find port for Thief")));
    EXPECT_EQ(devices.Count(), 1);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(mux.GetChannel(2), nullptr);
    EXPECT_EQ(mux.GetChannel(3), nullptr);
    EXPECT_EQ(ports.FindPort(QStringLiteral("P1"))->GetDevice(), keeper);
}

TEST_F(DeviceSettings, HostileSectionLoadsWithoutHarm)
{
    AddPort(QStringLiteral("BAD"), 300, -3);
    AddPort(QStringLiteral("P1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("H"));
    const TMemIniFile ini = IniOf(QStringLiteral(
        "[H]\nPort=BAD\nPowerOnPriority=99999999999\nPowerOnDelay=-2147483648\n"
        "Height=1e300\nLeft=-1e300\nWindowState=99999999999\nCaptureDest=2147483647\n"
        "CaptureDestOther=300\nEchoSerial=-7\nHexWrap=abc\nFontSize=99999999999999\n"
        "CmdStart=\"unterminated,\n"));
    ASSERT_TRUE(d->LoadSettings(ini, false));
    EXPECT_EQ(d->GetPort()->GetName(), QStringLiteral("BAD"));
    EXPECT_EQ(d->GetMux(), nullptr);
    EXPECT_EQ(d->GetPowerOnPriority(), 0);
    EXPECT_EQ(d->GetCaptureDest(), 0);  // low byte 0xFF is -1, clamped to 0
    devices.UpdateAllItems();
    EXPECT_EQ(Row(d, kColCaptureTo), QStringLiteral("Host 300"));
    EXPECT_EQ(Row(d, kColEcho), QString());
    EXPECT_EQ(Row(d, kColEchoPort), QStringLiteral("none"));

    // The same section naming no port at all.
    TDevice* e = devices.Add(QStringLiteral("H2"));
    EXPECT_FALSE(e->LoadSettings(IniOf(QStringLiteral("[H2]\nPort=\nHeight=x\n")), false));
    EXPECT_TRUE(prompt.Messages().last().endsWith(QStringLiteral("Can not find port for H2")));
    EXPECT_EQ(devices.Count(), 1);
}

TEST_F(DeviceSettings, FontKeysChangeOnlyWhatTheyName)
{
    TDevice* d = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 1);
    TFakeTerminal* t = TerminalOf(d);
    t->font.italic = true;
    ASSERT_TRUE(d->LoadSettings(
        IniOf(QStringLiteral("[A]\nFontStyleBold=1\nFontStyleItalic=0\nFontName=Mono\n")), true));
    EXPECT_TRUE(t->font.bold);
    EXPECT_FALSE(t->font.italic);
    EXPECT_TRUE(t->font.underline);
    EXPECT_FALSE(t->font.strikeOut);
    EXPECT_EQ(t->font.name, QStringLiteral("Mono"));
    EXPECT_EQ(t->font.size, 10);
    EXPECT_EQ(t->fontSets, 1);
}

TEST_F(DeviceSettings, WindowSettingsAreFractionsOfTheScreen)
{
    TDevice* d = AddDevice(QStringLiteral("A"), QStringLiteral("P1"), 1, 1);
    TFakeTerminal* t = TerminalOf(d);
    t->geometry = QRect(250, 0, 500, 400);
    t->visible = false;
    TMemIniFile ini;
    d->SaveWindowSettings(ini);
    EXPECT_EQ(SectionLines(ini, QStringLiteral("A")),
              (QStringList{"Height=0.5", "Left=0.25", "Top=0", "Width=0.5", "WindowState=0",
                           "Visible=0"}));

    // A window reaching beyond the screen is stored in pixels, which read back as pixels.
    t->geometry = QRect(-1500, 100, 1500, 400);
    d->SaveWindowSettings(ini);
    ASSERT_TRUE(d->LoadSettings(ini, true));
    EXPECT_EQ(d->GetLeft(), -1500);
    EXPECT_EQ(d->GetWidth(), 1500);
    EXPECT_EQ(d->GetTop(), 100);
}

TEST_F(DeviceSettings, StoredNamesThatLeaveTheirFolderFallBackWithOneMessageEach)
{
    TDevice* d = AddDevice(QStringLiteral("CTD 1"), QStringLiteral("P3"), 3, 5);
    d->SetCaptureDest(3);
    devices.SetCaptureDir(QStringLiteral("/srv/captures"));
    const QString defaultName = QStringLiteral("CTD_1\\CTD_1000.RAW");
    for (const QString& hostile :
         {QStringLiteral("..\\..\\outside\\victim.txt"), QStringLiteral("\\etc\\victim"),
          QStringLiteral("C:\\victim.txt"), QStringLiteral("CTD\\..\\..\\victim")}) {
        for (const bool import : {false, true}) {
            const int before = static_cast<int>(prompt.shown.size());
            ASSERT_TRUE(d->SetCaptureDestName(QStringLiteral("KEEP\\K.RAW")));
            ASSERT_TRUE(d->LoadSettings(
                IniOf(QStringLiteral("[CTD 1]\nPort=P3\nCaptureDestName=") + hostile), import));
            EXPECT_EQ(d->GetCaptureDestName(), defaultName) << hostile.toStdString();
            EXPECT_EQ(d->CaptureTarget().fileName,
                      QStringLiteral("\\srv\\captures\\") + defaultName);
            ASSERT_EQ(prompt.shown.size(), static_cast<size_t>(before) + 1);
            EXPECT_TRUE(prompt.shown.back().text.contains(hostile));
        }
        // Set directly, the name is refused and the old one stays.
        EXPECT_FALSE(d->SetCaptureDestName(hostile));
        EXPECT_EQ(d->GetCaptureDestName(), defaultName);
    }

    // A stored icon path relative to the data folder that leaves it reads as the default icon.
    const size_t before = prompt.shown.size();
    ASSERT_TRUE(d->LoadSettings(
        IniOf(QStringLiteral("[CTD 1]\nPort=P3\nImage=..\\..\\..\\etc\\passwd\n")), true));
    EXPECT_EQ(d->GetImage(), ExpandDataRelativePath(QStringLiteral("Icons\\Tavo.bmp")));
    EXPECT_EQ(prompt.shown.size(), before + 1);
    // An absolute one is the operator's choice.
    ASSERT_TRUE(d->LoadSettings(IniOf(QStringLiteral("[CTD 1]\nImage=/srv/p.bmp\n")), true));
    EXPECT_EQ(d->GetImage(), QStringLiteral("/srv/p.bmp"));
    EXPECT_EQ(prompt.shown.size(), before + 1);
}
