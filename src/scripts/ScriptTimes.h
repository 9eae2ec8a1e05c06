#pragma once
// Times and periods of a generated acquisition script: the wizard's "hh:mm:ss" fields in
// seconds and in ticks (hundredths of a second), the common period of the polled instruments,
// and a sampling schedule "every E from F until U" spelled out as times of day.
//
// Every function here may be called from any thread.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>

// A refusal to make the script: the message for the operator and the wizard page that holds
// the choice to change (0 when none does).
class TScriptRefused : public std::runtime_error {
public:
    explicit TScriptRefused(const QString& message, int page = 0)
        : std::runtime_error(message.toStdString()), message_(message), page_(page)
    {
    }
    const QString& Message() const { return message_; }
    int Page() const { return page_; }

private:
    QString message_;
    int page_;
};

// Ticks in a day, and seconds.
constexpr int64_t kTicksPerDay = 8'640'000;
constexpr int kSecondsPerDay = 86'400;

// A time field ("h:mm:ss" or "h:mm", as the program reads times) as whole seconds or ticks of
// its day fraction, rounded. Throws TScriptRefused "'<text>' is not a valid time" otherwise.
int TimeTextToSeconds(const QString& text);
int TimeTextToTicks(const QString& text);
// The same field in the one form times are kept in: the program's long time text ("12:00"
// and " 12:00" both give "12:00:00"). Throws TScriptRefused as above for a text that is no
// time.
QString NormalTimeText(const QString& text);

// The least common multiple of two positive numbers (64 bits, no overflow for values below
// 2^31); 1 when either is not positive.
int64_t LeastCommonMultiple(int64_t a, int64_t b);

// The times of day F + t for t = 0, E, 2E ... while t <= (U - F) mod one day, each as the
// program's long time text (past midnight they wrap to the next day's times). E must be
// positive.
QStringList ExpandSchedule(int fromSeconds, int untilSeconds, int everySeconds);
