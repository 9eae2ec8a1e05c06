#include "platform/Clocks.h"

#include <gtest/gtest.h>

#include <QDateTime>

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
    const int64_t a = PerfCounter();
    const int64_t b = PerfCounter();
    EXPECT_LE(a, b);
}
