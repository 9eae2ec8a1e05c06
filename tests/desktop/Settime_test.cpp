// The DAS clock window: its once-a-second query, its reading of the DAS's date line, setting
// the DAS clock, and its timer ending however the window closes; and the DAS menu's clock
// against the DAS stand-in in a zone with summer time.
#include "desktop/Settime.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "DesktopFixture.h"
#include "ToolWindowFixture.h"
#include "support/das/DasClock.h"
#include "support/das/DasSystem.h"

namespace {

class ClockTest : public ToolWindowTest {
protected:
    void SetUp() override
    {
        ToolWindowTest::SetUp();
        SetShortDateFormat(QStringLiteral("M/d/yyyy"));
        SetPcClock(QDateTime(QDate(2008, 6, 3), QTime(14, 5, 31, 600)));
    }

    void TearDown() override
    {
        SetLongTimeFormat(QString());
        ToolWindowTest::TearDown();
    }

    void Reply(const QByteArray& bytes)
    {
        form.ReceiveDateReply(bytes.constData(), static_cast<int>(bytes.size()));
    }

    TSetTimeForm form;
};

const std::vector<TTimedCommand> kQuery = {{QStringLiteral("SetConOut Host 248"), 0},
                                           {QStringLiteral("PicoDos \"Date \""), 0},
                                           {QStringLiteral("SetConOut Serial 0"), 20}};

TEST_F(ClockTest, ShowsBothClocksAndQueriesTheDasEachSecond)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Set DAS Date & Time"));
    EXPECT_EQ(form.Label_PCTime->text(), QStringLiteral("01/01/2001 00:00:00"));
    EXPECT_EQ(form.Label_DASTime->text(), QStringLiteral("01/01/2001 00:00:00"));
    EXPECT_EQ(form.Button_SetPCTime->text(), QStringLiteral("Set DAS To PC Date && Time"));
    EXPECT_EQ(form.Button_SetOtherTime->text(), QStringLiteral("Set DAS To Other Date && Time"));
    EXPECT_EQ(form.Button_Close->text(), QStringLiteral("Close"));
    EXPECT_FALSE(form.Timer_Time->isActive());

    form.show();
    EXPECT_EQ(form.Label_PCTime->text(), QStringLiteral("6/3/2008 14:05:31"));
    EXPECT_EQ(form.Edit_OtherTime->text(), QStringLiteral("6/3/2008 14:05:31"));
    EXPECT_TRUE(form.Timer_Time->isActive());
    EXPECT_EQ(form.Timer_Time->interval(), 1000);
    EXPECT_TRUE(TakeTimed().empty());

    SetPcClock(QDateTime(QDate(2008, 6, 3), QTime(14, 5, 32, 600)));
    form.Timer_TimeTimer();
    EXPECT_EQ(TakeTimed(), kQuery);
    EXPECT_EQ(form.Label_PCTime->text(), QStringLiteral("6/3/2008 14:05:32"));
    form.hide();
}

TEST_F(ClockTest, ReadsTheDasDateLineInThePcsDateFormat)
{
    Reply("\nTuesday, June 3, 2008  14:05:31");
    EXPECT_EQ(form.Label_DASTime->text(), QStringLiteral("6/3/2008 14:05:31"));

    // Day first: the DAS's June 3 is still June 3.
    SetShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Reply("\nWednesday, December 31, 2008  23:59:59\r\n");
    EXPECT_EQ(form.Label_DASTime->text(), QStringLiteral("31/12/2008 23:59:59"));
    Reply("\nTuesday, June 3, 2008  14:05:31");
    EXPECT_EQ(form.Label_DASTime->text(), QStringLiteral("03/06/2008 14:05:31"));
    const std::optional<double> value =
        TSetTimeForm::ParseDasDateTime(QStringLiteral("Tuesday, June 3, 2008  14:05:31"));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(DateTimeFromValue(*value), QDateTime(QDate(2008, 6, 3), QTime(14, 5, 31)));

    // Lenient about blanks between the fields.
    Reply("\n  Friday,  March 7,2025 9:02:03 \r\n");
    EXPECT_EQ(form.Label_DASTime->text(), QStringLiteral("07/03/2025 09:02:03"));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(ClockTest, AReplyThatNamesNoDateIsReportedAndTheShownTimeStays)
{
    Reply("\nTuesday, June 3, 2008  14:05:31");
    const QString shown = form.Label_DASTime->text();

    Reply(QByteArray());
    EXPECT_TRUE(prompt.shown.empty());
    for (const QByteArray& bad :
         {QByteArray("\nTuesday, June 3, 20"), QByteArray("\n"), QByteArray("x"),
          QByteArray("\nno comma and no double blank"), QByteArray("\nTuesday  June, 3 2008"),
          QByteArray("\nTuesday, Juno 3, 2008  14:05:31"),
          QByteArray("\nTuesday, February 30, 2008  14:05:31")}) {
        prompt.shown.clear();
        Reply(bad);
        EXPECT_EQ(prompt.shown.size(), 1u) << bad.constData();
        EXPECT_EQ(form.Label_DASTime->text(), shown);
    }

    // Noise on the clock channel: no crash, one short box each, the shown time kept.
    QByteArray binary;
    for (int i = 0; i < 5000; ++i) {
        binary += static_cast<char>((i * 97 + 3) % 256);
    }
    for (const QByteArray& hostile :
         {QByteArray("\nTuesday, June 3, 99999999999999999999  14:05:31"),
          QByteArray("\nTuesday, June -3, 2008  -14:05:31"),
          QByteArray("\nTuesday, June 3, 2008  99:99:99"), QByteArray("\0\0\0\0", 4),
          QByteArray("\nTuesday,\0June 3, 2008  14:05:31", 32), "\n" + QByteArray(100000, 'x'),
          binary}) {
        prompt.shown.clear();
        Reply(hostile);
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_TRUE(prompt.shown[0].text.endsWith(QStringLiteral("' is not a valid date and time")));
        EXPECT_LE(prompt.shown[0].text.size(), 120);
        EXPECT_EQ(form.Label_DASTime->text(), shown);
    }
}

// The date and time a "Date" command sets, read as the DAS reads it: month/day/four-digit
// year, a blank, 24-hour hours:minutes:seconds.
QDateTime DasSetsClockTo(const QString& command)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^PicoDos "Date (\d\d?)/(\d\d?)/(\d{4}) (\d\d?):(\d\d):(\d\d) "$)"));
    const QRegularExpressionMatch m = form.match(command);
    if (!m.hasMatch()) {
        return QDateTime();
    }
    return QDateTime(QDate(m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt()),
                     QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()));
}

TEST_F(ClockTest, SetsTheDasToThePcClockOrToTheTypedTime)
{
    form.Button_SetPCTime->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Date 06/03/2008 14:05:32 \""});

    form.Edit_OtherTime->setText(QStringLiteral("12/24/2010 8:30"));
    form.Button_SetOtherTime->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Date 12/24/2010 08:30:00 \""});

    // A date alone is that day's midnight.
    form.Edit_OtherTime->setText(QStringLiteral("12/24/2010"));
    form.Button_SetOtherTime->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Date 12/24/2010 00:00:00 \""});

    // A day that does not exist, and a time that names no day, set nothing.
    for (const char* typed : {"2/31/2008 10:00:00", "14:05:31"}) {
        prompt.shown.clear();
        form.Edit_OtherTime->setText(QString::fromLatin1(typed));
        form.Button_SetOtherTime->click();
        EXPECT_TRUE(TakeCommands().isEmpty()) << typed;
        ASSERT_EQ(prompt.shown.size(), 1u) << typed;
        EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Invalid date or time from PC Clock"));
    }
}

TEST_F(ClockTest, TheDasGetsItsDateMonthFirstWhateverThePcsDateOrder)
{
    SetShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    SetLongTimeFormat(QStringLiteral("h:mm:ss AP"));
    SetPcClock(QDateTime(QDate(2026, 12, 7), QTime(18, 20, 30, 600)));
    form.show();
    // The window shows the PC's own format.
    EXPECT_EQ(form.Label_PCTime->text(), QStringLiteral("07/12/2026 6:20:30 PM"));

    form.Button_SetPCTime->click();
    QStringList sent = TakeCommands();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(DasSetsClockTo(sent[0]), QDateTime(QDate(2026, 12, 7), QTime(18, 20, 31)))
        << sent[0].toStdString();

    // Typed day first: 13 December, a day no month-first reading takes, and 7 December, which
    // a month-first reading would take for 12 July.
    for (const auto& [typed, meant] :
         {std::pair{"13/12/2026 6:30:00 PM", QDateTime(QDate(2026, 12, 13), QTime(18, 30))},
          std::pair{"07/12/2026 09:05", QDateTime(QDate(2026, 12, 7), QTime(9, 5))}}) {
        form.Edit_OtherTime->setText(QString::fromLatin1(typed));
        form.Button_SetOtherTime->click();
        sent = TakeCommands();
        ASSERT_EQ(sent.size(), 1) << typed;
        EXPECT_EQ(DasSetsClockTo(sent[0]), meant) << sent[0].toStdString();
    }
    EXPECT_TRUE(prompt.shown.empty());
    form.hide();
}

TEST_F(ClockTest, QueriesStopHoweverTheWindowCloses)
{
    form.show();
    form.Button_Close->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer_Time->isActive());

    form.show();
    form.close();
    EXPECT_FALSE(form.Timer_Time->isActive());

    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer_Time->isActive());
}

// The program in a zone with summer time, against the stand-in's clock, which keeps the PC's
// local time by arithmetic of its own.
class ClockDemoTest : public DesktopFixture {
protected:
    void SetUp() override
    {
        // An hour ahead of UTC in winter time, two in summer time, and summer time all year
        // but one hour: on the last Sunday of March at H:00 summer time the clock goes back
        // to H-1:00 winter time, and an hour later, at H:00, on to H+1:00 summer time. So a
        // clock that ignores summer time is an hour out whenever the test runs, and H:00 to
        // H+1:00 that Sunday is an hour the clock skips. H is 2 (winter time from 00:00 to
        // 01:00 UTC) unless the test runs in that hour of a day, then 14. Set before the
        // stand-in and the link run, put back after.
        if (const char* zone = std::getenv("TZ")) {
            savedZone = zone;
        }
        const auto now = std::chrono::system_clock::now();
        skippedHour = now - std::chrono::floor<std::chrono::days>(now) < std::chrono::hours(1)
                          ? 14
                          : 2;
        const std::string rule = "WIN-1SUM,M3.5.0/" + std::to_string(skippedHour) + ",M3.5.0/" +
                                 std::to_string(skippedHour);
        setenv("TZ", rule.c_str(), 1);
        tzset();
        DesktopFixture::SetUp();
    }

    void TearDown() override
    {
        DesktopFixture::TearDown();
        if (savedZone) {
            setenv("TZ", savedZone->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    // How far a shown "dd/MM/yyyy hh:mm:ss" is from the PC's local wall clock now.
    static std::chrono::seconds FromPcClock(const QString& shown)
    {
        int d = 0, mo = 0, y = 0, h = 0, mi = 0, s = 0;
        if (std::sscanf(shown.toLatin1().constData(), "%d/%d/%d %d:%d:%d", &d, &mo, &y, &h, &mi,
                        &s) != 6) {
            return std::chrono::hours(24 * 365);
        }
        const auto wall =
            std::chrono::local_days(std::chrono::year(y) / std::chrono::month(unsigned(mo)) /
                                    std::chrono::day(unsigned(d))) +
            std::chrono::hours(h) + std::chrono::minutes(mi) + std::chrono::seconds(s);
        return std::chrono::floor<std::chrono::seconds>(wall - TDasClock::PcNow());
    }

    std::optional<std::string> savedZone;
    int skippedHour = 2;
};

TEST_F(ClockDemoTest, ShowsTheDasClockAndSetsItInThePcsLocalTime)
{
    using namespace std::chrono_literals;
    const TDasSystem system(console);
    SetShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Start();
    const QString hour = QStringLiteral("%1").arg(skippedHour, 2, 10, QLatin1Char('0'));
    bool shown = false, typedShown = false, setToPc = false;
    std::chrono::seconds pcShown{}, dasShown{};
    TDASDesktopForm::SetModalRunner([&](QDialog& dialog) {
        auto& clock = static_cast<TSetTimeForm&>(dialog);
        clock.show();
        // The action's query, then the window's own each second.
        shown = WaitUntil([&clock] {
            return clock.Label_DASTime->text() != QStringLiteral("01/01/2001 00:00:00");
        }, 10000);
        pcShown = FromPcClock(clock.Label_PCTime->text());
        dasShown = FromPcClock(clock.Label_DASTime->text());
        // The hour that summer time skips is a time like any other to the DAS.
        clock.Edit_OtherTime->setText(QStringLiteral("29/03/2026 ") + hour + ":30:00");
        clock.Button_SetOtherTime->click();
        typedShown = WaitUntil([&clock, &hour] {
            return clock.Label_DASTime->text().startsWith(QStringLiteral("29/03/2026 ") + hour +
                                                          ":3");
        }, 10000);
        clock.Button_SetPCTime->click();
        setToPc = WaitUntil([&system] { return std::chrono::abs(system.ClockAhead()) < 10s; });
        clock.Button_Close->click();
        return 0;
    });
    Trigger("Desktop_SetDASTimeDate");
    EXPECT_TRUE(shown);
    EXPECT_LT(std::chrono::abs(pcShown), 10s) << pcShown.count();
    EXPECT_LT(std::chrono::abs(dasShown), 10s) << dasShown.count();
    EXPECT_TRUE(typedShown);
    EXPECT_TRUE(setToPc) << system.ClockAhead().count();
    EXPECT_FALSE(SetTimeForm->Timer_Time->isActive());
    EXPECT_TRUE(console.Texts().contains(QStringLiteral("PicoDos \"Date 03/29/2026 ") + hour +
                                         QStringLiteral(":30:00 \"")));
    SetShortDateFormat(QString());
}

}  // namespace
