#pragma once
// The stand-in DAS's clock: a wall clock without a time zone, as the DAS keeps it, running on
// with the PC's local clock from whatever it was last set to. Its arithmetic is its own (the
// PC's local time from the C library, the calendar from std::chrono), so a fault in how the
// program turns the PC's clock into local dates and times shows against it.
//
// Not locked: its owner serialises the calls.

#include <QByteArray>
#include <QString>
#include <chrono>

class TDasClock {
public:
    // A wall-clock reading in milliseconds, without a zone.
    using TWallTime = std::chrono::local_time<std::chrono::milliseconds>;

    // The PC's local wall clock now (the zone the C library was last set to with tzset).
    static TWallTime PcNow();

    // The DAS clock now.
    TWallTime Now() const { return PcNow() + ahead_; }
    // How far the DAS clock runs ahead of the PC's local clock (behind: negative).
    std::chrono::milliseconds Ahead() const { return ahead_; }
    // Sets the clock from what PicoDos "Date" is given: the date month first, as the DAS
    // writes it ("12/24/2030"), a blank and the 24-hour time, seconds optional; or the time
    // alone, which keeps the clock's date. False, and the clock as it was, when the text names
    // no date and time.
    bool Set(const QString& text);

    // The clock line as PicoDos "Date" prints it, without its line ends
    // ("Tuesday, June 3, 2008  14:05:31").
    static QByteArray DateLine(TWallTime time);
    // The "SendDate" text in one of the stations' stamp formats (1 to 16) with `infix` between
    // the date's fields, and the "SendTime" text.
    static QByteArray DateStamp(TWallTime time, const QByteArray& infix, int format);
    static QByteArray TimeStamp(TWallTime time, const QByteArray& infix);

private:
    std::chrono::milliseconds ahead_{0};
};
