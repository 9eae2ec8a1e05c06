#include "scripts/ScriptTimes.h"

#include <gtest/gtest.h>

#include "platform/DateTimeText.h"

namespace {

QString RefusalOf(const QString& text)
{
    try {
        TimeTextToTicks(text);
    } catch (const TScriptRefused& refused) {
        return refused.Message();
    }
    return QString();
}

TEST(ScriptTimesTest, TimeFieldsReadAsSecondsAndTicks)
{
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("00:00:01")), 1);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("20:00:00")), 72000);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("7:30")), 27000);
    EXPECT_EQ(TimeTextToTicks(QStringLiteral("00:00:25")), 2500);
    EXPECT_EQ(TimeTextToTicks(QStringLiteral("00:10:00")), 60000);
    EXPECT_EQ(TimeTextToTicks(QStringLiteral("23:59:59")), 8'639'900);
}

TEST(ScriptTimesTest, ATextThatIsNoTimeIsRefused)
{
    EXPECT_EQ(RefusalOf(QStringLiteral("25:00:00")),
              QStringLiteral("'25:00:00' is not a valid time"));
    EXPECT_EQ(RefusalOf(QStringLiteral("ten")), QStringLiteral("'ten' is not a valid time"));
    EXPECT_EQ(RefusalOf(QString()), QStringLiteral("'' is not a valid time"));
    EXPECT_EQ(RefusalOf(QStringLiteral("00:61:00")),
              QStringLiteral("'00:61:00' is not a valid time"));
}

TEST(ScriptTimesTest, LeastCommonMultipleIsExactIn64Bits)
{
    EXPECT_EQ(LeastCommonMultiple(30, 40), 120);
    EXPECT_EQ(LeastCommonMultiple(100, 50), 100);
    EXPECT_EQ(LeastCommonMultiple(1, 7), 7);
    EXPECT_EQ(LeastCommonMultiple(99991, 99989), int64_t{9'998'000'099});
    EXPECT_EQ(LeastCommonMultiple(0, 5), 1);
}

TEST(ScriptTimesTest, SchedulesAreSpelledOutAsTimesOfDay)
{
    SetLongTimeFormat(QStringLiteral("hh:mm:ss"));
    const QStringList day = ExpandSchedule(6 * 3600, 20 * 3600, 420);
    ASSERT_EQ(day.size(), 121);
    EXPECT_EQ(day[1], QStringLiteral("06:07:00"));
    EXPECT_EQ(day.last(), QStringLiteral("20:00:00"));

    // From 20:00:00 past midnight to 04:00:00: the times wrap and are not in text order.
    const QStringList night = ExpandSchedule(20 * 3600, 4 * 3600, 420);
    ASSERT_EQ(night.size(), 69);
    EXPECT_EQ(night[0], QStringLiteral("20:00:00"));
    EXPECT_EQ(night[34], QStringLiteral("23:58:00"));
    EXPECT_EQ(night[35], QStringLiteral("00:05:00"));
    EXPECT_EQ(night.last(), QStringLiteral("03:56:00"));

    EXPECT_EQ(ExpandSchedule(3600, 3600, 60), QStringList({QStringLiteral("01:00:00")}));
    EXPECT_TRUE(ExpandSchedule(0, 3600, 0).isEmpty());
}

}  // namespace
