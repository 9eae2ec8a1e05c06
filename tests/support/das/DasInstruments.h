#pragma once
// The instruments wired to the stand-in DAS, as its console commands reach them: power switches
// ("SETPOWER"), serial ports opened, routed to host channels and closed ("OpenSerial",
// "RouteSerial", "UnRouteSerial", "CloseSerial"), text sent to an instrument ("SendString
// Serial", or bytes on the host channel its port is routed to), strings sent to host channels
// ("SendString Host"), and the readings of analog and frequency inputs ("SendAnalog",
// "SendAnalogDiff", "SendFrequency": a number of volts or hertz and CR LF). A serial instrument streams a sample on its routed
// channel at a fixed interval between its start and stop lines, and answers its poll line with
// one sample.
//
// A port routed to a file on the DAS ("RouteSerial p File n") writes to that file slot of the
// stand-in's disk, when it has one. Breaks on an instrument's port ("SETBREAK", "CLEARBREAK")
// are taken and change nothing.
//
// Every public function may be called from any thread; the console's handlers and the
// streaming thread share one lock.

#include <QByteArray>
#include <QList>
#include <chrono>
#include <memory>

class TDasStandIn;
class TDasConsole;
class TDasFiles;

// What one serial instrument answers to the lines it receives.
struct TInstrumentSpec {
    QByteArray startLine = "GO";
    QByteArray stopLine = "STOP";
    QByteArray pollLine = "D";
    QByteArray sample = "SAMPLE\r\n";
    std::chrono::milliseconds interval{20};
};

// The stand-in DAS's instruments; registers its command handlers on `console`.
class TDasInstruments {
public:
    TDasInstruments(TDasStandIn& das, TDasConsole& console);
    // Stops streaming; the handlers left on the console and stand-in then do nothing.
    ~TDasInstruments();
    TDasInstruments(const TDasInstruments&) = delete;
    TDasInstruments& operator=(const TDasInstruments&) = delete;

    // A serial instrument on DAS serial port `port`.
    void AddSerialInstrument(int port, const TInstrumentSpec& spec);
    // The disk whose file slots take what is routed to a file (none by default; must outlive
    // this).
    void SetDisk(TDasFiles* files);
    // Bytes from the instrument on `port`, sent where its port is routed when it is open;
    // false when they went nowhere.
    bool Emit(int port, const QByteArray& bytes);
    // Bytes for the destination of a command ("Host" or "Serial" and its number), as
    // "SendString" delivers its text; other destinations take nothing.
    void SendTo(const QByteArray& dest, int number, const QByteArray& bytes);

    bool SwitchOn(int powerSwitch) const;
    bool IsOpen(int port) const;
    // The host channel the port is routed to, -1 when none.
    int RouteOf(int port) const;
    bool IsStreaming(int port) const;
    // The lines the instrument received, in order (line ends dropped).
    QList<QByteArray> LinesTo(int port) const;
    // Samples sent by the instrument so far.
    int SamplesFrom(int port) const;
    // Readings sent for an input port so far.
    int ReadingsFrom(int port) const;

private:
    struct TState;
    std::shared_ptr<TState> state_;
};
