#include "platform/DateTimeText.h"

#include <gtest/gtest.h>

#include <QThread>
#include <memory>

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

// 6 March 2008 is 39513 days after 30 December 1899.
constexpr double k6Mar2008 = 39513.0;
constexpr double kOneSecond = 1.0 / 86400.0;

// Each test sets the formats it reads and puts the program's defaults back.
class DateTimeTextTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetShortDateFormat(QString());
        SetLongTimeFormat(QString());
    }
};

}  // namespace

TEST_F(DateTimeTextTest, SystemShortDateIsNumericWithFourDigitYears)
{
    EXPECT_EQ(ShortDateFormatOf(QLocale(QLocale::English, QLocale::UnitedStates)), S("M/d/yyyy"));
    EXPECT_EQ(ShortDateFormatOf(QLocale(QLocale::German, QLocale::Germany)), S("dd.MM.yyyy"));
    EXPECT_EQ(ShortDateFormatOf(QLocale(QLocale::Swedish, QLocale::Sweden)), S("yyyy-MM-dd"));
    // A format that spells out the month is no short date of numbers.
    EXPECT_EQ(ShortDateFormatOf(QLocale::c()), S("MM/dd/yyyy"));
    EXPECT_EQ(ShortDateFormat(), SystemShortDateFormat());
    EXPECT_EQ(LongTimeFormat(), S("hh:mm:ss"));
}

TEST_F(DateTimeTextTest, FormatsValuesAndDateTimes)
{
    SetShortDateFormat(S("MM/dd/yyyy"));
    const double value = k6Mar2008 + (14 * 3600 + 5 * 60 + 31) * kOneSecond;
    EXPECT_EQ(DateToStr(value), S("03/06/2008"));
    EXPECT_EQ(TimeToStr(value), S("14:05:31"));
    EXPECT_EQ(DateTimeToStr(value), S("03/06/2008 14:05:31"));
    EXPECT_EQ(DateTimeToStr(0.0), S("12/30/1899 00:00:00"));
    EXPECT_EQ(DateTimeToStr(QDateTime(QDate(2001, 1, 1), QTime(0, 0))), S("01/01/2001 00:00:00"));

    SetShortDateFormat(S("d.M.yyyy"));
    SetLongTimeFormat(S("h:mm:ss AP"));
    EXPECT_EQ(DateTimeToStr(value), S("6.3.2008 2:05:31 PM"));
    EXPECT_EQ(DateSeparator(), QLatin1Char('.'));
    EXPECT_EQ(TimeSeparator(), QLatin1Char(':'));
}

TEST_F(DateTimeTextTest, ValuesRoundToTheMillisecondAndCarryMidnight)
{
    SetShortDateFormat(S("yyyy-MM-dd"));
    // Just short of midnight rounds up into the next day rather than showing 24:00:00.
    EXPECT_EQ(DateTimeToStr(k6Mar2008 + 1.0 - 1e-10), S("2008-03-07 00:00:00"));
    // Before 30 December 1899 the whole part counts back, the fraction forward.
    EXPECT_EQ(DateTimeToStr(-1.25), S("1899-12-29 06:00:00"));
    EXPECT_DOUBLE_EQ(DateTimeToValue(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    EXPECT_EQ(DateTimeToStr(std::numeric_limits<double>::quiet_NaN()), QString());
    EXPECT_FALSE(DateTimeFromValue(1e300).isValid());

    const QDateTime noon(QDate(2008, 3, 6), QTime(12, 0, 0, 500));
    EXPECT_EQ(DateTimeFromValue(DateTimeToValue(noon)), noon);
}

TEST_F(DateTimeTextTest, ReadsDatesInTheFormatsOrder)
{
    SetShortDateFormat(S("MM/dd/yyyy"));
    EXPECT_EQ(StrToDate(S("03/06/2008")), k6Mar2008);
    EXPECT_EQ(StrToDate(S("3/6/2008  ")), k6Mar2008);
    EXPECT_EQ(StrToDate(S(" 3 / 6 / 2008")), k6Mar2008);
    EXPECT_EQ(StrToDate(S("3/6/08")), k6Mar2008);
    // Two-digit years lie in the hundred years from 50 before the year given.
    EXPECT_EQ(WidenTwoDigitYear(74, 2024), 1974);
    EXPECT_EQ(WidenTwoDigitYear(73, 2024), 2073);
    EXPECT_EQ(WidenTwoDigitYear(0, 2024), 2000);
    EXPECT_FALSE(StrToDate(S("2/31/2008")));
    EXPECT_FALSE(StrToDate(S("13/1/2008")));
    EXPECT_FALSE(StrToDate(S("3.6.2008")));
    EXPECT_FALSE(StrToDate(S("003/6/2008")));
    EXPECT_FALSE(StrToDate(S("3/6/2008x")));
    EXPECT_FALSE(StrToDate(S("3/6")));
    EXPECT_FALSE(StrToDate(QString()));

    // Day first: the DAS clock's "06/3/2008" is 6 March.
    SetShortDateFormat(S("dd/MM/yyyy"));
    EXPECT_EQ(StrToDate(S("06/3/2008")), k6Mar2008);
    EXPECT_FALSE(StrToDate(S("31/02/2008")));

    SetShortDateFormat(S("yyyy. MM. dd."));
    EXPECT_EQ(StrToDate(DateToStr(k6Mar2008)), k6Mar2008);
    EXPECT_EQ(StrToDate(S("2008.3.6")), k6Mar2008);
}

TEST_F(DateTimeTextTest, ReadsTimesLeniently)
{
    EXPECT_DOUBLE_EQ(*StrToTime(S("14:05:31")), (14 * 3600 + 5 * 60 + 31) * kOneSecond);
    EXPECT_DOUBLE_EQ(*StrToTime(S("1:2 ")), (3600 + 120) * kOneSecond);
    EXPECT_DOUBLE_EQ(*StrToTime(S("2:05:31 pm")), (14 * 3600 + 5 * 60 + 31) * kOneSecond);
    EXPECT_DOUBLE_EQ(*StrToTime(S("12:00 AM")), 0.0);
    EXPECT_FALSE(StrToTime(S("24:00:00")));
    EXPECT_FALSE(StrToTime(S("10:60")));
    EXPECT_FALSE(StrToTime(S("13:00 PM")));
    EXPECT_FALSE(StrToTime(S("14")));
    EXPECT_FALSE(StrToTime(S("14:05:31:00")));
    EXPECT_FALSE(StrToTime(S("14:05x")));
}

TEST_F(DateTimeTextTest, ReadsDateTimesBothWays)
{
    SetShortDateFormat(S("dd/MM/yyyy"));
    const double value = k6Mar2008 + (14 * 3600 + 5 * 60 + 31) * kOneSecond;
    EXPECT_DOUBLE_EQ(*StrToDateTime(DateTimeToStr(value)), value);
    EXPECT_DOUBLE_EQ(*StrToDateTime(S("6/3/2008")), k6Mar2008);
    EXPECT_DOUBLE_EQ(*StrToDateTime(S("14:05:31")), (14 * 3600 + 5 * 60 + 31) * kOneSecond);
    EXPECT_FALSE(StrToDateTime(S("31/02/2008 10:00:00")));
    EXPECT_FALSE(StrToDateTime(S("06/03/2008 25:00:00")));
    EXPECT_FALSE(StrToDateTime(S("06/03/2008 garbage")));
}

TEST_F(DateTimeTextTest, FormatSetOnOneThreadIsSeenOnAnother)
{
    SetLongTimeFormat(S("hh:mm:ss"));
    SetShortDateFormat(S("yyyy-MM-dd"));
    QString fromThread;
    std::unique_ptr<QThread> thread(
        QThread::create([&] { fromThread = DateTimeToStr(k6Mar2008); }));
    thread->start();
    thread->wait();
    EXPECT_EQ(fromThread, S("2008-03-06 00:00:00"));
}
