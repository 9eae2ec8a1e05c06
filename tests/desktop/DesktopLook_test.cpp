// How the main window and the device windows open: at a first start the main window shows the
// whole toolbar and every column of the device list, and the device windows open beside it;
// later starts bring back what was stored.

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "DesktopFixture.h"
#include "desktop/Terminal.h"

namespace {

// This test program runs on a 1920 x 1080 screen (see CMakeLists.txt).
constexpr int kWideScreenPx = 1920;

using DesktopLookTest = DesktopFixture;

TTerminalForm* DeviceWindow(int index)
{
    return dynamic_cast<TTerminalForm*>(Devices->Items(index)->GetMux()->GetWindow());
}

TEST_F(DesktopLookTest, FirstStartShowsTheWholeToolbarEveryColumnAndDeviceWindowsBeside)
{
    TDASDesktopForm& f = Start();
    const QRect screen = f.screen()->availableGeometry();
    if (screen.width() < kWideScreenPx) {
        GTEST_SKIP() << "needs the wide screen its CTest environment gives";
    }
    ASSERT_TRUE(WaitUntil([&] { return f.DeviceView->viewport()->width() > 640; }));

    // Every button the toolbar shows has its place and a picture, F1 and F2 among them.
    int buttons = 0;
    for (QAction* action : f.ToolBar_Desktop->actions()) {
        auto* button = qobject_cast<QToolButton*>(f.ToolBar_Desktop->widgetForAction(action));
        if (button == nullptr || !action->isVisible()) {
            continue;
        }
        ++buttons;
        EXPECT_TRUE(button->isVisible()) << action->objectName().toStdString();
        EXPECT_FALSE(action->icon().isNull()) << action->objectName().toStdString();
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
    EXPECT_GE(buttons, 20);
    for (const char* name : {"Desktop_StartAll", "Desktop_StopAll"}) {
        EXPECT_TRUE(f.ToolBar_Desktop->widgetForAction(f.Action(QString::fromLatin1(name)))
                        ->isVisible())
            << name;
    }
    // Every column in sight, none cut.
    int columns = 0;
    for (int c = 0; c < f.DeviceView->header()->count(); ++c) {
        columns += f.DeviceView->columnWidth(c);
    }
    EXPECT_LE(columns, f.DeviceView->viewport()->width());
    EXPECT_EQ(f.DeviceView->horizontalScrollBar()->maximum(), 0);

    // The device windows open cascaded beside the main window, on the screen, once the main
    // window is framed.
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < Devices->Count(); ++i) {
            if (DeviceWindow(i)->frameGeometry().intersects(f.frameGeometry())) {
                return false;
            }
        }
        return true;
    }));
    QList<QPoint> corners;
    for (int i = 0; i < Devices->Count(); ++i) {
        TTerminalForm* window = DeviceWindow(i);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->frameGeometry().intersects(f.frameGeometry()))
            << Devices->Items(i)->GetName().toStdString();
        EXPECT_TRUE(screen.contains(window->geometry()));
        EXPECT_FALSE(corners.contains(window->pos()));
        corners << window->pos();
    }

    // What the operator arranged comes back at the next start.
    f.resize(900, 350);
    DeviceWindow(0)->move(200, 500);
    QCoreApplication::processEvents();
    f.close();
    form.reset();
    TDASDesktopForm& again = Start();
    EXPECT_EQ(again.size(), QSize(900, 350));
    EXPECT_TRUE(Devices->Items(0)->HasStoredPlacement());
    EXPECT_EQ(DeviceWindow(0)->frameGeometry().topLeft(), QPoint(200, 500));
    again.close();
    form.reset();
    // The next test starts from the sample station as shipped.
    QFile::remove(InstallSampleStation());
}

TEST(BesideMainWindowTest, RightOfTheMainWindowElseBelowElseAnywhereOnScreen)
{
    const QSize size(500, 400);
    // Room on the right: cascaded from the main window's top right.
    const QRect wide(0, 0, 1920, 1080);
    const QRect main(10, 20, 1000, 400);
    EXPECT_EQ(BesideMainWindow(main, wide, size, 0), QRect(1018, 20, 500, 400));
    EXPECT_EQ(BesideMainWindow(main, wide, size, 2), QRect(1078, 80, 500, 400));
    // Too little on the right: below it.
    const QRect square(0, 0, 1280, 1024);
    EXPECT_EQ(BesideMainWindow(main, square, size, 1), QRect(40, 458, 500, 400));
    // A window larger than the room left is cut to it, less two cascade steps; the cascade
    // starts over when the next window would leave the screen.
    EXPECT_EQ(BesideMainWindow(main, square, QSize(500, 900), 0), QRect(10, 428, 500, 536));
    EXPECT_EQ(BesideMainWindow(main, square, size, 7), QRect(10, 428, 500, 400));
    // No room beside or below: anywhere on the screen.
    const QRect small(0, 0, 800, 600);
    EXPECT_EQ(BesideMainWindow(QRect(0, 0, 800, 500), small, size, 1), QRect(30, 30, 500, 400));
}

TEST(BesideMainWindowTest, WindowsAsLargeAsTheRoomStepApartWithTheirFramesOnTheScreen)
{
    // A title bar of 20 and borders of 1; the result is the frame's corner and the client size.
    const QMargins frame(1, 20, 1, 1);
    const QRect screen(0, 0, 1600, 1000);
    const auto framed = [&](const QRect& place) {
        return QRect(place.topLeft(), place.size().grownBy(frame));
    };
    // Beside a main window that leaves less room than a window's width.
    const QRect main(0, 0, 1038, 425);
    QList<QPoint> corners;
    for (int i = 0; i < 3; ++i) {
        const QRect outer = framed(BesideMainWindow(main, screen, QSize(600, 450), i, frame));
        EXPECT_TRUE(screen.contains(outer)) << i;
        EXPECT_FALSE(outer.intersects(main)) << i;
        EXPECT_FALSE(corners.contains(outer.topLeft())) << i;
        corners << outer.topLeft();
    }
    // Below a main window, a tall window's frame ends on the screen too.
    const QRect wideMain(0, 0, 1500, 600);
    const QRect below = framed(BesideMainWindow(wideMain, screen, QSize(600, 450), 0, frame));
    EXPECT_EQ(below.top(), 608);
    EXPECT_LE(below.bottom(), screen.bottom());
}

}  // namespace
