// The device setup rules that need no window: page order by port kind, number readings, the
// serial settings texts, the echo port and capture channel lists, and device names.
#include "station/DeviceSetupRules.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "StationFixture.h"
#include "link/Serial.h"
#include "platform/Registry.h"
#include "support/Pty.h"

namespace {

using DeviceSetupRules = StationTest;

// The pages Next walks through from page 1, and those Back walks through from the last.
QList<int> Walk(bool analog, bool forward)
{
    QList<int> pages{forward ? 1 : (analog ? 6 : 5)};
    for (;;) {
        const int page = pages.last();
        const int next = forward ? NextSetupPage(page, analog) : PreviousSetupPage(page, analog);
        if (next == page) {
            return pages;
        }
        pages << next;
    }
}

TEST_F(DeviceSetupRules, PagesFollowThePortKind)
{
    const TPort* serial = AddPort(QStringLiteral("S"), 1, 1, QStringLiteral("Serial"));
    const TPort* pc = ports.AddPCPort(4);
    const TPort* analog = AddPort(QStringLiteral("A"), 2, 1, QStringLiteral("Analog"));
    const TPort* diff = AddPort(QStringLiteral("D"), 3, 1, QStringLiteral("AnalogDiff"));
    const TPort* freq = AddPort(QStringLiteral("F"), 4, 1, QStringLiteral("Frequency"));
    const TPort* digital = AddPort(QStringLiteral("I"), 5, 1, QStringLiteral("DigitalInput"));
    const TPort* muxPort = AddPort(QStringLiteral("M"), 6, 1, QStringLiteral("Mux"));
    for (const TPort* p : {serial, pc}) {
        EXPECT_TRUE(IsSerialKind(p));
        EXPECT_FALSE(IsAnalogKind(p));
    }
    for (const TPort* p : {analog, diff, freq}) {
        EXPECT_FALSE(IsSerialKind(p));
        EXPECT_TRUE(IsAnalogKind(p));
    }
    for (const TPort* p : {digital, muxPort, static_cast<const TPort*>(nullptr)}) {
        EXPECT_FALSE(IsSerialKind(p));
        EXPECT_FALSE(IsAnalogKind(p));
    }
    EXPECT_TRUE(IsFrequencyKind(freq));
    EXPECT_FALSE(IsFrequencyKind(analog));

    EXPECT_EQ(Walk(false, true), (QList<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Walk(false, false), (QList<int>{5, 4, 3, 2, 1}));
    EXPECT_EQ(Walk(true, true), (QList<int>{1, 2, 4, 5, 6}));
    EXPECT_EQ(Walk(true, false), (QList<int>{6, 5, 4, 2, 1}));
    EXPECT_FALSE(SetupNextEnabled(5, false));
    EXPECT_TRUE(SetupNextEnabled(5, true));
    EXPECT_FALSE(SetupNextEnabled(6, true));
}

TEST(DeviceSetupTexts, NumbersAndPortNamesReadAsTheDialogsTakeThem)
{
    for (int n = 0; n <= 15; ++n) {
        EXPECT_EQ(ComPortFromText(QStringLiteral("COM%1").arg(n)), n);
    }
    for (const char* text :
         {"COM16", "COM", "No Echo", "com3", "COM03", " COM3", "COM3 ", "COM-1", "COM1x", "LPT1"}) {
        EXPECT_EQ(ComPortFromText(QString::fromLatin1(text)), -1) << text;
    }

    const struct {
        const char* text;
        int value;
    } leading[] = {{"5", 5},   {"5th", 5},   {"21st", 21}, {" 3rd", 3}, {"-2nd", -2},
                   {"+4", 4},  {"abc", -1},  {"", -1},     {"th", -1},  {"99999999999th", -1},
                   {"0th", 0}, {"12 th", 12}};
    for (const auto& c : leading) {
        EXPECT_EQ(LeadingInteger(QString::fromLatin1(c.text), -1), c.value) << c.text;
    }

    EXPECT_EQ(SerialSettingsText(9600, QStringLiteral("N,8,1")), QStringLiteral("9600,N,8,1"));
    EXPECT_EQ(EchoSettingsText(9600, QStringLiteral("N,8,1"), 0),
              QStringLiteral("9600,N,8,1,No Flow Control"));
    EXPECT_EQ(EchoSettingsText(19200, QStringLiteral("E,7,2"), 1),
              QStringLiteral("19200,E,7,2,XonXoff"));
    EXPECT_EQ(EchoSettingsText(9600, QStringLiteral("N,8,1"), 2),
              QStringLiteral("9600,N,8,1,Hardware"));
    EXPECT_EQ(EchoSettingsText(9600, QStringLiteral("N,8,1"), 3), QStringLiteral("9600,N,8,1,"));
    EXPECT_EQ(EchoSettingsText(4800, QStringLiteral("O,7,1"), -1), QStringLiteral("4800,O,7,1,"));
}

TEST(DeviceSetupTexts, SettingsTextsComeApartAndTogether)
{
    const TSettingsFields f = SplitSettingsText(QStringLiteral("E,7,1.5"));
    EXPECT_EQ(f.parity, QStringLiteral("E"));
    EXPECT_EQ(f.dataBits, QStringLiteral("7"));
    EXPECT_EQ(f.stopBits, QStringLiteral("1.5"));
    EXPECT_EQ(SplitSettingsText(QStringLiteral("N,8,1  ")).stopBits, QStringLiteral("1"));
    const TSettingsFields shortText = SplitSettingsText(QStringLiteral("N,"));
    EXPECT_EQ(shortText.parity, QStringLiteral("N"));
    EXPECT_TRUE(shortText.dataBits.isEmpty());
    EXPECT_TRUE(shortText.stopBits.isEmpty());

    // List item texts give their first letter; the stop bits keep three characters.
    EXPECT_EQ(JoinSettingsText({"Mark", "7", "2"}), QStringLiteral("M,7,2"));
    EXPECT_EQ(JoinSettingsText({"Space", "5", "1.5"}), QStringLiteral("S,5,1.5"));
    EXPECT_EQ(JoinSettingsText({"Even", "", ""}), QStringLiteral("E,8,1"));
    EXPECT_EQ(JoinSettingsText({}), QStringLiteral("N,8,1"));
    EXPECT_EQ(JoinSettingsText({"O", "6", "1.25"}), QStringLiteral("O,6,1.2"));
}

TEST_F(DeviceSetupRules, EchoListLeavesOutTheLinkPortAndMissingPorts)
{
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath(QStringLiteral("Wendrok.ini")));
    TPty link;
    TPty spare;
    for (int n = 1; n <= 15; ++n) {
        SetComPortDevicePath(n, dir.filePath(QStringLiteral("none%1").arg(n)));
    }
    SetComPortDevicePath(1, link.Slave());
    SetComPortDevicePath(3, spare.Slave());
    EXPECT_EQ(EchoPortNames(1), QStringList{"COM3"});
    EXPECT_EQ(EchoPortNames(2), (QStringList{"COM1", "COM3"}));
    SetSettingsFilePath(QString());
}

TEST_F(DeviceSetupRules, CaptureChannelsShowNamesWhereChannelsExist)
{
    AddPort(QStringLiteral("S"), 12, 1);
    devices.Add(QStringLiteral("CTD"));
    const QStringList names = CaptureChannelNames();
    ASSERT_EQ(names.size(), 256);
    EXPECT_EQ(names[11], QStringLiteral("11"));
    EXPECT_EQ(names[12], QStringLiteral("CTD"));
    EXPECT_EQ(names[13], QStringLiteral("13"));
    EXPECT_EQ(names[255], mux.GetChannel(255)->GetName());
}

TEST_F(DeviceSetupRules, NamesMustBeUniqueAndNotAModels)
{
    AddPort(QStringLiteral("S1"), 1, 1);
    AddPort(QStringLiteral("S2"), 2, 1);
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    TDevice* fan = devices.Add(QStringLiteral("Fan"));

    EXPECT_FALSE(CheckUniqueName(&devices, QStringLiteral("PUMP"), fan));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Name \"PUMP\" already exists."));
    EXPECT_TRUE(CheckUniqueName(&devices, QStringLiteral("pump"), pump));
    EXPECT_TRUE(CheckUniqueName(&devices, QStringLiteral("Heater"), pump));
    EXPECT_TRUE(CheckUniqueName(&devices, QString(), pump));
    for (const char* modelName : {"Pelagrix", "CORVANE", "pelagrix"}) {
        prompt.shown.clear();
        EXPECT_FALSE(CheckUniqueName(&devices, QString::fromLatin1(modelName), pump)) << modelName;
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].text,
                  QStringLiteral("Name \"") + QLatin1String(modelName) + "\" already exists.");
    }

    EXPECT_TRUE(UsableDeviceName(QStringLiteral("CTD 1")));
    for (const char* name : {"Corvane", "A[1]", "B]", "C\nD", "E\rF", "", "   "}) {
        EXPECT_FALSE(UsableDeviceName(QString::fromLatin1(name))) << name;
    }
}

}  // namespace
