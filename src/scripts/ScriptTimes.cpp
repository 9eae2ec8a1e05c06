#include "scripts/ScriptTimes.h"

#include <cmath>
#include <numeric>
#include <optional>

#include "platform/DateTimeText.h"

namespace {

double DayFraction(const QString& text)
{
    const std::optional<double> fraction = StrToTime(text);
    if (!fraction) {
        throw TScriptRefused(QLatin1Char('\'') + text + QStringLiteral("' is not a valid time"));
    }
    return *fraction;
}

}  // namespace

int TimeTextToSeconds(const QString& text)
{
    return static_cast<int>(std::trunc(DayFraction(text) * kSecondsPerDay + 0.5));
}

int TimeTextToTicks(const QString& text)
{
    return static_cast<int>(
        std::trunc(DayFraction(text) * static_cast<double>(kTicksPerDay) + 0.5));
}

QString NormalTimeText(const QString& text) { return TimeToStr(DayFraction(text)); }

int64_t LeastCommonMultiple(int64_t a, int64_t b)
{
    if (a <= 0 || b <= 0) {
        return 1;
    }
    return a / std::gcd(a, b) * b;
}

QStringList ExpandSchedule(int fromSeconds, int untilSeconds, int everySeconds)
{
    QStringList times;
    if (everySeconds <= 0) {
        return times;
    }
    const int span =
        ((untilSeconds - fromSeconds) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    for (int t = 0; t <= span; t += everySeconds) {
        const int second = (fromSeconds + t) % kSecondsPerDay;
        times << TimeToStr(static_cast<double>(second) / kSecondsPerDay);
    }
    return times;
}
