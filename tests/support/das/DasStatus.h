#pragma once
// The stand-in DAS's status report: it answers "SendStatus Host <n>" with one status line on
// host channel n: temperature, voltage, current and depth, one character per DAS serial port
// ('O' open, 'C' closed), one per power switch 0..16 ('1' on, '0' off) and the script state,
// comma-separated and ended by CR LF. The readings change from one report to the next; the
// ports and switches are what the stand-in's instruments show, when it has them. A test may
// fix the line instead. The script state is the script buffer's when the stand-in has one.
//
// It also answers "SENDMUXSTATS" with the multiplexer statistics report on host channel 252:
// a first line that begins with "All channels" (the totals), a line of packet counts, then a
// line per host channel that carried data, each ended by CR LF.
//
// Every public function may be called from any thread; the answer runs on the stand-in's
// thread.

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "support/TestWaits.h"

class TDasConsole;
class TDasFiles;
class TDasInstruments;

// DAS serial ports and power switches the report describes.
constexpr int kStatusSerialPorts = 9;
constexpr int kStatusPowerSwitches = 17;

// One status request as the stand-in received it.
struct TStatusRequest {
    uint32_t queueTime = 0;  // the host's queue clock when it arrived
    std::chrono::steady_clock::time_point arrival;
};

class TDasStatus {
public:
    // Answers on `console`; `instruments` and `files` (each may be null, must outlive this)
    // give the ports' and switches' states and the script state.
    explicit TDasStatus(TDasConsole& console, const TDasInstruments* instruments = nullptr,
                        const TDasFiles* files = nullptr);
    // The console's handler stays but answers nothing from now on.
    ~TDasStatus();
    TDasStatus(const TDasStatus&) = delete;
    TDasStatus& operator=(const TDasStatus&) = delete;

    // Every later report is this line (CR LF is added); an empty line restores the changing
    // report.
    void SetStatusLine(const QByteArray& line);
    // The script state field of the changing report ("xN" by default) when there is no
    // script buffer.
    void SetScriptState(const QByteArray& state);

    int Requests() const;
    std::vector<TStatusRequest> RequestLog() const;
    bool WaitForRequests(int count, int timeoutMs = kTestWaitMs) const;

    // The report for the given readings and states.
    static QByteArray MakeStatusLine(double temperature, double voltage, double current,
                                     double depth, const QByteArray& ports,
                                     const QByteArray& power, const QByteArray& script);

private:
    struct TState;
    std::shared_ptr<TState> state_;
};
