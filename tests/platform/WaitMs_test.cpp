#include "platform/WaitMs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "platform/UiPost.h"

TEST(WaitMs, KeepsTheEventLoopRunningUntilTheTimeHasPassed)
{
    bool ran = false;
    PostToUi([&] { ran = true; });
    QElapsedTimer clock;
    clock.start();
    WaitMs(30);
    EXPECT_GE(clock.elapsed(), 30);
    EXPECT_TRUE(ran) << "posted work runs during the wait";
}

TEST(WaitMs, WaitsNestInsideWorkRunDuringAWait)
{
    std::vector<int> order;
    PostToUi([&] {
        order.push_back(1);
        WaitMs(20);
        order.push_back(2);
    });
    WaitMs(5);
    order.push_back(3);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(WaitMs, ReturnsWhenTheApplicationExits)
{
    bool returned = false;
    QTimer::singleShot(0, [&] {
        WaitMs(60'000);
        returned = true;
    });
    QTimer::singleShot(10, [] { QCoreApplication::exit(0); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(returned);
}

TEST(WaitMs, ZeroOrLessReturnsAtOnce)
{
    // At once: the event loop does not run, so posted work waits for the next one that does.
    bool ran = false;
    PostToUi([&] { ran = true; });
    WaitMs(0);
    EXPECT_FALSE(ran);
    WaitMs(-5);
    EXPECT_FALSE(ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

// Counts the paints of a widget.
class TPaintCounter final : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }

public:
    int paints = 0;
};

TEST(WaitPaintingOnly, WindowsPaintWhileTimersAndClosingWait)
{
    QWidget window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TPaintCounter counter;
    window.installEventFilter(&counter);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    bool posted = false;
    PostToUi([&] { posted = true; });

    // A change made just before the wait (the device list turning grey) is painted in it.
    window.update();
    QElapsedTimer clock;
    clock.start();
    WaitPaintingOnly(80);
    EXPECT_GE(clock.elapsed(), 80);
    EXPECT_GT(counter.paints, 0) << "the window is painted during the wait";
    EXPECT_EQ(ticks, 0) << "the program's timers wait";
    EXPECT_TRUE(posted) << "posted work goes on";

    // Closing is refused while waiting, and works again afterwards.
    QTimer::singleShot(0, &window, [&] { window.close(); });
    WaitPaintingOnly(30);
    EXPECT_TRUE(window.isVisible());
    window.close();
    EXPECT_FALSE(window.isVisible());

    // The timers that were held go off again after the wait.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, 1000));
}
