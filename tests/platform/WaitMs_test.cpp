#include "platform/WaitMs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
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
    WaitMs(0);
    WaitMs(-5);
}
