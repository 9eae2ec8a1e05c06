#include "platform/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "platform/Registry.h"

namespace {

class WindowPlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetSettingsFilePath(dir.filePath(QStringLiteral("Wendrok.ini")));
        SetPlacementScreenSize(QSize(1024, 768));
    }
    void TearDown() override
    {
        SetPlacementScreenSize(QSize());
        SetSettingsFilePath(QString());
        SetRegistryReadVersion(1.26);
        SetRegistryWriteVersion(1.26);
    }

    static double Stored(const QString& form, const QString& value)
    {
        TRegDef reg;
        if (!reg.OpenKey(VersionedKeyPath(RegistryWriteVersion(), form), false)) {
            return -999.0;
        }
        return reg.ReadFloatDef(value, -999.0);
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(WindowPlacementTest, ValuesUpToOneAreFractionsAndBeyondArePixels)
{
    EXPECT_EQ(FractionToPixelsX(0.25), 256);
    EXPECT_EQ(FractionToPixelsX(1.0), 1024);
    EXPECT_EQ(FractionToPixelsX(-1.0), -1024);
    EXPECT_EQ(FractionToPixelsX(300.0), 300);
    EXPECT_EQ(FractionToPixelsX(1.5), 2);
    EXPECT_EQ(FractionToPixelsX(-1.5), -2);
    EXPECT_EQ(FractionToPixelsY(0.5), 384);
    EXPECT_EQ(FractionToPixelsY(1e300), 1'000'000) << "no overflow on a wild stored value";
    EXPECT_DOUBLE_EQ(ScreenFractionX(256), 0.25);
    EXPECT_DOUBLE_EQ(ScreenFractionY(192), 0.25);
}

TEST_F(WindowPlacementTest, StoredValuesReadBackAsTheSamePixels)
{
    for (const int x : {0, 1, 256, 1023, 1024, 1025, 3000, -1, -1024, -1025, -3000}) {
        EXPECT_EQ(FractionToPixelsX(PlacementValueX(x)), x) << x;
    }
    EXPECT_DOUBLE_EQ(PlacementValueX(1024), 1.0);
    EXPECT_DOUBLE_EQ(PlacementValueX(1025), 1025.0);
    EXPECT_DOUBLE_EQ(PlacementValueY(-769), -769.0);
}

TEST_F(WindowPlacementTest, PlacementComesBackInProportionOnAnotherScreen)
{
    {
        QWidget form;
        form.move(256, 192);
        form.resize(512, 384);
        SaveWindowPlacement(&form, QStringLiteral("Stats"));
    }
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Stats"), QStringLiteral("Left")), 0.25);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("stats"), QStringLiteral("top")), 0.25);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Stats"), QStringLiteral("Width")), 0.5);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Stats"), QStringLiteral("Height")), 0.5);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Stats"), QStringLiteral("WindowState")), 0.0);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Stats"), QStringLiteral("Visible")), 0.0);

    SetPlacementScreenSize(QSize(2048, 1536));
    QWidget form;
    form.resize(100, 100);
    ASSERT_TRUE(RestoreWindowPlacement(&form, QStringLiteral("Stats"), false, true));
    EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(512, 384));
    EXPECT_EQ(form.size(), QSize(1024, 768));

    QWidget unsized;
    unsized.resize(100, 90);
    ASSERT_TRUE(RestoreWindowPlacement(&unsized, QStringLiteral("Stats"), false, false));
    EXPECT_EQ(unsized.frameGeometry().topLeft(), QPoint(512, 384));
    EXPECT_EQ(unsized.size(), QSize(100, 90)) << "size kept without restoreSize";
}

TEST_F(WindowPlacementTest, WindowBeyondTheScreenIsStoredInPixels)
{
    {
        QWidget form;
        form.move(1500, -1000);
        form.resize(2100, 300);
        SaveWindowPlacement(&form, QStringLiteral("Far"));
    }
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Far"), QStringLiteral("Left")), 1500.0);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Far"), QStringLiteral("Top")), -1000.0);
    EXPECT_DOUBLE_EQ(Stored(QStringLiteral("Far"), QStringLiteral("Width")), 2100.0);

    QWidget form;
    ASSERT_TRUE(RestoreWindowPlacement(&form, QStringLiteral("Far"), false, true));
    EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(1500, -1000));
    EXPECT_EQ(form.size(), QSize(2100, 300));
}

TEST_F(WindowPlacementTest, StateAndVisibilityComeBackOnlyWhenAsked)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(VersionedKeyPath(RegistryWriteVersion(), QStringLiteral("W")),
                                true));
        reg.WriteFloat(QStringLiteral("Left"), 0.5);
        reg.WriteInteger(QStringLiteral("WindowState"), 2);
        reg.WriteBool(QStringLiteral("Visible"), true);
    }
    QWidget form;
    form.move(10, 20);
    ASSERT_TRUE(RestoreWindowPlacement(&form, QStringLiteral("W"), false, false));
    EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(512, 20)) << "missing Top keeps the window's";
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowState(), Qt::WindowNoState);

    ASSERT_TRUE(RestoreWindowPlacement(&form, QStringLiteral("W"), true, false));
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    form.hide();
}

TEST_F(WindowPlacementTest, NothingStoredLeavesTheWindowAlone)
{
    QWidget form;
    form.move(33, 44);
    form.resize(200, 150);
    SetRegistryReadVersion(1.25);
    {
        QWidget saved;
        SaveWindowPlacement(&saved, QStringLiteral("Other"));
    }
    EXPECT_FALSE(RestoreWindowPlacement(&form, QStringLiteral("Other"), true, true))
        << "read version 125 does not see what 126 wrote";
    EXPECT_FALSE(RestoreWindowPlacement(&form, QStringLiteral("Never"), true, true));
    EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(33, 44));
    EXPECT_EQ(form.size(), QSize(200, 150));
}

TEST_F(WindowPlacementTest, NothingIsWrittenWhenTheKeyCannotOpen)
{
    QFile blocker(dir.filePath(QStringLiteral("plainfile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = dir.filePath(QStringLiteral("plainfile/Wendrok.ini"));
    SetSettingsFilePath(unwritable);
    QWidget form;
    SaveWindowPlacement(&form, QStringLiteral("Blocked"));
    EXPECT_FALSE(TRegistry().KeyExists(VersionedKeyPath(RegistryWriteVersion(),
                                                        QStringLiteral("Blocked"))));
}

TEST_F(WindowPlacementTest, PlaceBelowLeavesAGapUnderTheForm)
{
    QWidget form;
    form.move(100, 50);
    form.resize(300, 200);
    QWidget control;
    control.move(70, 0);
    PlaceBelow(&form, &control);
    EXPECT_EQ(control.frameGeometry().topLeft(), QPoint(70, 258));

    form.resize(300, 0);
    PlaceBelow(&form, &control);
    EXPECT_EQ(control.frameGeometry().topLeft(), QPoint(70, 50)) << "no gap under a flat form";
}
