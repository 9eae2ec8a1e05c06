#pragma once
// The stand-in DAS's own console settings, its clock and its power-up variables, as the host
// reaches them through the console:
//  - "SetConOut Host <n>" sends what PicoDos commands print to host channel n, until
//    "SetConOut Serial <n>" gives the output back to the DAS's serial console, which the host
//    never sees;
//  - PicoDos "Date" prints a line feed and the DAS clock (`TDasClock`) as "Tuesday, June 3,
//    2008  14:05:31" with CR LF; PicoDos "Date <date> <time>" sets the clock (the date month
//    first, "12/24/2030 18:30:00", whatever the PC's locale; a time alone keeps the date);
//  - PicoDos "Set" prints the power-up variables, a line "NAME=value" each, then the prompt
//    line "PX>"; "Set <prefix>" prints those whose names begin with it; "Set NAME=value" stores
//    a variable (names in upper case), "Set NAME=" stores it empty, listed as "NAME=";
//  - "SendDate <dest> <n> "<infix>" <format>" and "SendTime <dest> <n> "<infix>"" send the DAS
//    clock's date or time to host channel n ("Host") or to the instrument on serial port n
//    ("Serial"); the date formats are the stations' stamp formats 0 to 16 with the infix as
//    the date separator;
//  - "SETPROTOCOL <baud> <level>" switches the link to level 1 or 2 at once (after answering
//    the packet that carried it), and a paced line to the new baud rate;
//  - "ResetSeqNum <n>" sets the DAS's file sequence number; "Sleep <seconds>" and
//    "WaitTicks <n>" are taken without an answer (the stand-in neither sleeps nor waits).
//
// Every public function may be called from any thread; the handlers run on the stand-in's
// thread.

#include <QString>
#include <chrono>
#include <memory>

class TDasConsole;
class TDasInstruments;

class TDasSystem {
public:
    // Answers on `console`; `instruments` (may be null, must outlive this) take the date and
    // time sent to serial ports.
    explicit TDasSystem(TDasConsole& console, TDasInstruments* instruments = nullptr);
    // The console's handlers stay but answer nothing from now on.
    ~TDasSystem();
    TDasSystem(const TDasSystem&) = delete;
    TDasSystem& operator=(const TDasSystem&) = delete;

    // The value of a power-up variable; empty when it is not set.
    QString Variable(const QString& name) const;
    // The file sequence number the host last set.
    int SequenceNumber() const;

    // How far the DAS clock runs ahead of the PC's local clock (behind: negative); it starts
    // with the PC's local time.
    std::chrono::milliseconds ClockAhead() const;

private:
    struct TState;
    std::shared_ptr<TState> state_;
};
