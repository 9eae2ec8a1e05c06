#include "platform/Clocks.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <chrono>
#include <cstdlib>

TEST(QueueClock, DateTimeMapsToLow32BitsOfMillisecondsSince1899)
{
    // 2000-01-01 00:00 local is 36526 days after 30 December 1899.
    EXPECT_EQ(QueueClockFromDateTime(36526.0), 3340404736u);
}

TEST(QueueClock, SignedDifferenceSurvivesWrap)
{
    EXPECT_GT(QueueTimeDiff(0x00000010u, 0xFFFFFFF0u), 0);
    EXPECT_EQ(QueueTimeDiff(0x00000010u, 0xFFFFFFF0u), 0x20);
    EXPECT_LT(QueueTimeDiff(0xFFFFFFF0u, 0x00000010u), 0);
}

TEST(QueueClock, MatchesLocalTimeWhileRunning)
{
    const uint32_t expected = QueueClockFromDateTime(NowDateTime());
    EXPECT_LE(std::abs(QueueTimeDiff(QueueClockNow(), expected)), 50);
}

namespace {

// A wall clock the test can set: 1 June 2024, 01:30 local, until moved.
double g_wallClock = 45444.0 + 1.5 / 24.0;
double TestWallClock() { return g_wallClock; }

}  // namespace

TEST(QueueClock, WallClockChangeDoesNotMoveIt)
{
    SetLocalTimeSourceForTest(&TestWallClock);
    const uint32_t start = QueueClockNow();
    EXPECT_LE(std::abs(QueueTimeDiff(start, QueueClockFromDateTime(g_wallClock))), 1000);

    // Daylight saving starts: the local time leaps an hour ahead; then someone sets the clock
    // back a day. Due times taken from the queue clock must not jump with it.
    g_wallClock += 1.0 / 24.0;
    const uint32_t afterLeap = QueueClockNow();
    EXPECT_EQ(NowDateTime(), g_wallClock) << "shown times follow the wall clock";
    g_wallClock -= 1.0;
    const uint32_t afterSetBack = QueueClockNow();
    EXPECT_GE(QueueTimeDiff(afterLeap, start), 0);
    EXPECT_LT(QueueTimeDiff(afterLeap, start), 60'000);
    EXPECT_GE(QueueTimeDiff(afterSetBack, afterLeap), 0);
    EXPECT_LT(QueueTimeDiff(afterSetBack, afterLeap), 60'000);

    // A new start takes the wall clock as it then stands.
    SetLocalTimeSourceForTest(&TestWallClock);
    EXPECT_LE(std::abs(QueueTimeDiff(QueueClockNow(), QueueClockFromDateTime(g_wallClock))), 1000);
    SetLocalTimeSourceForTest(nullptr);
    EXPECT_LE(std::abs(QueueTimeDiff(QueueClockNow(), QueueClockFromDateTime(NowDateTime()))),
              1000);
}

TEST(QueueClock, FreezesAndStepsForTests)
{
    FreezeQueueClock(0xFFFFFFFFu);
    EXPECT_EQ(QueueClockNow(), 0xFFFFFFFFu);
    StepQueueClock(2);
    EXPECT_EQ(QueueClockNow(), 1u);
    UnfreezeQueueClock();
    EXPECT_NE(QueueClockNow(), 1u);
}

TEST(PerfCounter, CountsTenMillionTicksPerSecond)
{
    EXPECT_EQ(kPerfFrequency, 10'000'000);
    // Over a short real interval the counter advances by as many 100 ns ticks as the steady
    // clock, read just inside and just outside the counter's two readings, has seen pass.
    using std::chrono::steady_clock;
    const auto outerStart = steady_clock::now();
    const int64_t first = PerfCounter();
    const auto innerStart = steady_clock::now();
    while (steady_clock::now() - innerStart < std::chrono::milliseconds(10)) {
    }
    const auto innerEnd = steady_clock::now();
    const int64_t second = PerfCounter();
    const auto outerEnd = steady_clock::now();
    const auto ticks = [](steady_clock::duration d) {
        return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) /
               100.0;
    };
    const auto advance = static_cast<double>(second - first);
    EXPECT_GE(advance, ticks(innerEnd - innerStart) * 0.99 - 1);
    EXPECT_LE(advance, ticks(outerEnd - outerStart) * 1.01 + 1);
}

TEST(PerfCounter, AWaitForItNeverEndsBeforeItsDeadline)
{
    // Past, present, shorter than the last stretch read off the counter, and longer ones that
    // are mostly slept.
    for (const int64_t ahead : {int64_t{-1000}, int64_t{0}, kPerfSpinTicks / 3, kPerfSpinTicks,
                                kPerfSpinTicks + 1, 3 * kPerfFrequency / 1000,
                                20 * kPerfFrequency / 1000}) {
        const int64_t deadline = PerfCounter() + ahead;
        WaitForPerfCounter(deadline);
        EXPECT_GE(PerfCounter(), deadline) << ahead << " ticks ahead";
    }
}
