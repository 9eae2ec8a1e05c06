// wendrok-das-standin: the DAS stand-in as a program of its own, so Wendrok can be shown and
// tried without a DAS. It opens a pseudo-terminal, speaks the DAS side of the link on it,
// answers the console commands the stand-in knows (status and multiplexer statistics reports,
// instruments and their inputs' readings, files, folders and the script buffer, the clock, the
// power-up variables and the console output), and prints the device path Wendrok is to open as
// the first line of its standard output. With --com it first maps that COM number to the device
// in the settings file of $XDG_CONFIG_HOME. The console commands it receives are logged on standard error, and a
// count of what went over the link when it ends.
//
// It ends on SIGINT, SIGTERM or SIGHUP, and when the process that started it ends.

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "link/Serial.h"
#include "platform/Registry.h"
#include "support/das/DasCommandLine.h"
#include "support/das/DasConsole.h"
#include "support/das/DasDirectory.h"
#include "support/das/DasFiles.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStandIn.h"
#include "support/das/DasStation.h"
#include "support/das/DasStatus.h"
#include "support/das/DasSystem.h"

namespace {

// How often the main thread looks for new console commands and for its parent's end.
constexpr auto kWatchInterval = std::chrono::milliseconds(100);
// The console keeps every command it received; the log lets it forget them past this many.
constexpr size_t kCommandsKept = 4096;

struct TOptions {
    int com = 0;  // 0: leave the COM map alone
    QString station;  // stored path of the station to open on a first start; empty: none
    int protocol = 0;  // 0: the level of the station the program opens, else 1
    bool logCommands = true;
};

// Reads the command line; prints the reason and gives nothing when it is not usable.
std::optional<TOptions> ParseOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The DAS stand-in on a pseudo-terminal. Prints the device path to open, then runs "
        "until interrupted or until its parent ends."));
    parser.addHelpOption();
    const QCommandLineOption com(QStringLiteral("com"),
                                 QStringLiteral("Maps COM <n> to the stand-in's device in the "
                                                "settings file before the path is printed."),
                                 QStringLiteral("n"));
    const QCommandLineOption protocol(
        QStringLiteral("protocol"),
        QStringLiteral("Link protocol level, 1 or 2 (default: the level of the station the "
                       "program opens, else 1)."),
        QStringLiteral("level"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Does not log the console commands."));
    const QCommandLineOption station(
        QStringLiteral("station"),
        QStringLiteral("Makes the stored configuration file <path> (relative to the program "
                       "data folder) the one the program opens, unless it remembers one."),
        QStringLiteral("path"));
    parser.addOptions({com, protocol, quiet, station});
    parser.process(app);

    TOptions options;
    bool ok = true;
    if (parser.isSet(com)) {
        options.com = parser.value(com).toInt(&ok);
        if (!ok || options.com < 1) {
            std::fprintf(stderr, "wendrok-das-standin: --com needs a COM number from 1 up\n");
            return std::nullopt;
        }
    }
    if (parser.isSet(protocol)) {
        options.protocol = parser.value(protocol).toInt(&ok);
        if (!ok || (options.protocol != 1 && options.protocol != 2)) {
            std::fprintf(stderr, "wendrok-das-standin: --protocol is 1 or 2\n");
            return std::nullopt;
        }
    }
    options.logCommands = !parser.isSet(quiet);
    options.station = parser.value(station);
    return options;
}

// A serial instrument that sends samples by itself, as a free-running one does, whenever its
// power switch is on and its port is open and routed (to a host channel or a file on the DAS).
struct TFreeRunning {
    int port = 0;
    int powerSwitch = 0;
    std::chrono::milliseconds interval{1000};
    std::function<QByteArray(double seconds)> sample;
    std::chrono::steady_clock::time_point next{};
};

// The free-running instruments; their samples go out from the main thread.
class TFreeRunningInstruments {
public:
    explicit TFreeRunningInstruments(TDasInstruments& instruments) : instruments_(instruments) {}

    void Add(const TFreeRunning& instrument) { list_.push_back(instrument); }

    // Sends the samples that are due where each instrument's port is routed.
    void Tick(std::chrono::steady_clock::time_point now)
    {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        for (TFreeRunning& in : list_) {
            if (now < in.next) {
                continue;
            }
            in.next = now + in.interval;
            if (instruments_.SwitchOn(in.powerSwitch)) {
                instruments_.Emit(in.port, in.sample(seconds));
            }
        }
    }

private:
    TDasInstruments& instruments_;
    std::vector<TFreeRunning> list_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

QByteArray Fixed(double value, int decimals) { return QByteArray::number(value, 'f', decimals); }

// The instruments of the demonstration station, by DAS serial port and power switch: a CTD on
// port 1 (switch 1) sending a slowly changing line every second; an altimeter on port 2 that
// streams between its "GO" and "STOP" lines and answers "D" with one sample; a compass on
// port 3 (switch 3) sending its heading every second. Analog and frequency inputs answer with
// their reading in volts or hertz.
void AddDemoInstruments(TDasInstruments& instruments, TFreeRunningInstruments& freeRunning)
{
    TFreeRunning ctd;
    ctd.port = 1;
    ctd.powerSwitch = 1;
    ctd.sample = [](double t) {
        return "T=" + Fixed(12.8 + 0.3 * std::sin(t / 20), 3) +
               " C=" + Fixed(35.11 + 0.05 * std::sin(t / 15), 3) +
               " P=" + Fixed(101.4 + 2.0 * std::sin(t / 30), 2) + "\r\n";
    };
    freeRunning.Add(ctd);

    TInstrumentSpec altimeter;
    altimeter.sample = "ALT 012.45 m\r\n";
    altimeter.interval = std::chrono::milliseconds(250);
    instruments.AddSerialInstrument(2, altimeter);

    TFreeRunning compass;
    compass.port = 3;
    compass.powerSwitch = 3;
    compass.sample = [](double t) {
        return "HDG " + Fixed(std::fmod(214.7 + 3.0 * t, 360.0), 1) + "\r\n";
    };
    freeRunning.Add(compass);
}

// Writes the console commands that arrived since the last call to standard error (unless
// quiet), and keeps the console's record of them from growing without end.
class TCommandLog {
public:
    TCommandLog(TDasConsole& console, bool quiet) : console_(console), quiet_(quiet) {}

    void Print()
    {
        const std::vector<TConsoleCommand> commands = console_.Commands();
        for (size_t i = quiet_ ? commands.size() : printed_; i < commands.size(); ++i) {
            const double seconds =
                std::chrono::duration<double>(commands[i].arrival - start_).count();
            std::fprintf(stderr, "%9.3f  %.*s\n", seconds,
                         static_cast<int>(commands[i].bytes.size()), commands[i].bytes.constData());
        }
        printed_ = commands.size();
        // A command arriving between the copy and the clear is answered but not logged.
        if (printed_ >= kCommandsKept) {
            console_.Clear();
            printed_ = 0;
        }
        std::fflush(stderr);
    }

private:
    TDasConsole& console_;
    const bool quiet_;
    size_t printed_ = 0;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The demonstration DAS's disk: a few folders on drive C, a script and some data, and a
// second drive D with an archive folder.
void AddDemoDisk(TDasDirectory& disk)
{
    for (const char* folder : {"C:\\LOGS", "C:\\SCRIPTS", "C:\\DATA\\2024", "D:\\ARCHIVE"}) {
        disk.MakeFolder(QString::fromLatin1(folder));
    }
    disk.PutFile(QStringLiteral("C:\\README.TXT"),
                 "Demonstration disk of the DAS stand-in.\r\n");
    disk.PutFile(QStringLiteral("C:\\SCRIPTS\\SAMPLE.PXS"),
                 "; sample acquisition script\r\nSETPOWER 1 1\r\nWAITTICKS 100\r\n"
                 "SENDSTRING HOST 254 \"sample done\"\r\n");
    disk.PutFile(QStringLiteral("C:\\LOGS\\BOOT.LOG"), "boot ok\r\n");
    QByteArray samples;
    for (int i = 0; i < 400; ++i) {
        samples += "T=12.8" + QByteArray::number(i % 10) + " C=35.11 P=101.4\r\n";
    }
    disk.PutFile(QStringLiteral("C:\\DATA\\2024\\CTD0001.DAT"), samples);
}

sigset_t StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// Waits for a stop signal, or for the parent to end, sending the free-running instruments'
// samples and logging commands meanwhile.
void WaitForStop(const sigset_t& signals, pid_t parent, TFreeRunningInstruments& freeRunning,
                 TCommandLog& log)
{
    const timespec interval{0, std::chrono::nanoseconds(kWatchInterval).count()};
    for (;;) {
        freeRunning.Tick(std::chrono::steady_clock::now());
        log.Print();
        if (sigtimedwait(&signals, nullptr, &interval) > 0 || getppid() != parent) {
            return;
        }
    }
}

void PrintCounts(const TDasStandIn& das)
{
    std::fprintf(stderr,
                 "wendrok-das-standin: %u host packets accepted (%u repeated, %u bad frames), "
                 "%u data packets sent (%u resent), %u polls\n",
                 das.hostPacketsAccepted.load(), das.hostDuplicates.load(), das.badFrames.load(),
                 das.dataPacketsSent.load(), das.resends.load(), das.polls.load());
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so every thread inherits the mask and only
    // sigtimedwait below takes these signals.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
        return 0;  // the parent ended before the request took effect
    }

    const QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wendrok-das-standin"));
    const std::optional<TOptions> options = ParseOptions(app);
    if (!options) {
        return 2;
    }

    TDasStandIn das;
    if (!das.IsOpen() || das.SlavePath().isEmpty()) {
        std::perror("wendrok-das-standin: could not open a pseudo-terminal");
        return 1;
    }
    const QString path = das.SlavePath();
    if (options->com > 0) {
        SetComPortDevicePath(options->com, path);
        if (ComPortDevicePath(options->com) != path) {
            std::fprintf(stderr, "wendrok-das-standin: could not map COM%d in %s\n", options->com,
                         qPrintable(SettingsFilePath()));
            return 1;
        }
        std::fprintf(stderr, "wendrok-das-standin: COM%d is %s (in %s)\n", options->com,
                     qPrintable(path), qPrintable(SettingsFilePath()));
    }

    if (!options->station.isEmpty()) {
        RememberStation(options->station);
    }
    // The DAS is still at the level the station last switched it to.
    const int protocolLevel =
        options->protocol != 0 ? options->protocol : std::max(RememberedStationProtocol(), 1);

    TDasConsole console(das);
    const TDasCommandLine commandLine(console);
    TDasFiles files(das, console);
    TDasDirectory disk(das, console, files);
    AddDemoDisk(disk);
    TDasInstruments instruments(das, console);
    instruments.SetDisk(&files);
    TFreeRunningInstruments freeRunning(instruments);
    AddDemoInstruments(instruments, freeRunning);
    const TDasStatus status(console, &instruments, &files);
    const TDasSystem system(console, &instruments);
    files.SetSequenceNumberSource([&system] { return system.SequenceNumber(); });
    das.SetProtocol(protocolLevel);
    das.Start();

    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);

    TCommandLog log(console, !options->logCommands);
    WaitForStop(signals, parent, freeRunning, log);

    // The link thread ends first, so no handler runs while the console's pieces go.
    das.Stop();
    log.Print();
    PrintCounts(das);
    return 0;
}
