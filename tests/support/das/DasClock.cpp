#include "support/das/DasClock.h"

#include <QList>
#include <QRegularExpression>
#include <array>
#include <ctime>

namespace {

using namespace std::chrono;

const std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
const std::array<const char*, 12> kMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

// A reading split into its calendar day and its time of day.
struct TCivil {
    local_days day;
    year_month_day date;
    hh_mm_ss<seconds> time;
};

TCivil Civil(TDasClock::TWallTime time)
{
    const local_days day = floor<days>(time);
    return {day, year_month_day(day), hh_mm_ss<seconds>(floor<seconds>(time - day))};
}

QByteArray Digits(long value, int width)
{
    return QByteArray::number(qlonglong(value)).rightJustified(width, '0');
}

}  // namespace

TDasClock::TWallTime TDasClock::PcNow()
{
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    return TWallTime(duration_cast<milliseconds>(now.time_since_epoch()) +
                     std::chrono::seconds(local.tm_gmtoff));
}

bool TDasClock::Set(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(?:(\d{1,2})/(\d{1,2})/(\d{4}) +)?(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        return false;
    }
    const TWallTime now = Now();
    const year_month_day date =
        m.hasCaptured(1) ? year_month_day(year(m.captured(3).toInt()),
                                          month(m.captured(1).toUInt()),
                                          day(m.captured(2).toUInt()))
                         : Civil(now).date;
    const hours h(m.captured(4).toInt());
    const minutes min(m.captured(5).toInt());
    const seconds s(m.captured(6).toInt());
    if (!date.ok() || h >= days(1) || min >= hours(1) || s >= minutes(1)) {
        return false;
    }
    ahead_ = local_days(date) + h + min + s - PcNow();
    return true;
}

QByteArray TDasClock::DateLine(TWallTime time)
{
    const TCivil c = Civil(time);
    return QByteArray(kWeekdays.at(weekday(c.day).c_encoding())) + ", " +
           kMonths.at(unsigned(c.date.month()) - 1) + ' ' +
           QByteArray::number(unsigned(c.date.day())) + ", " +
           QByteArray::number(int(c.date.year())) + "  " + TimeStamp(time, ":");
}

QByteArray TDasClock::DateStamp(TWallTime time, const QByteArray& infix, int format)
{
    const TCivil c = Civil(time);
    const QByteArray mm = Digits(unsigned(c.date.month()), 2);
    const QByteArray dd = Digits(unsigned(c.date.day()), 2);
    const QByteArray yyyy = QByteArray::number(int(c.date.year()));
    const QByteArray yy = Digits(int(c.date.year()) % 100, 2);
    const QByteArray jjj =
        Digits((c.day - local_days(c.date.year() / January / 1)).count() + 1, 3);
    // Formats 1 to 8 are dates; 9 to 16 the same followed by the time; any other is the full
    // stamp with the usual separators.
    const bool known = format >= 1 && format <= 16;
    const QList<QByteArray> orders[] = {{mm, dd, yyyy}, {mm, dd, yy}, {dd, mm, yyyy},
                                        {dd, mm, yy},   {jjj, yyyy},  {jjj, yy},
                                        {yyyy, jjj},    {yy, jjj}};
    const QList<QByteArray>& parts = orders[known ? (format - 1) % 8 : 0];
    QByteArray stamp = parts.join(known ? infix : QByteArray("/"));
    if (!known || format > 8) {
        stamp += ' ' + TimeStamp(time, ":");
    }
    return stamp;
}

QByteArray TDasClock::TimeStamp(TWallTime time, const QByteArray& infix)
{
    const hh_mm_ss<seconds> t = Civil(time).time;
    return Digits(t.hours().count(), 2) + infix + Digits(t.minutes().count(), 2) + infix +
           Digits(t.seconds().count(), 2);
}
