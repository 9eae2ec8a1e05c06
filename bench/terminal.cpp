// Terminal windows at full line rate: the DAS stand-in streams on four device channels as fast
// as the serial line carries (115200 baud) into four device windows shown side by side, each
// with its text and hex panes, for a given time (first argument, seconds; default 10). Then,
// in the same run, a plain serial terminal written here for comparison (one text pane in the
// default style that appends whatever each read of its line brings and keeps about 20000
// characters) shows one of those streams at the same rate for the same time, in a window of
// the same size. Its line is paced as the stand-in paces the program's: a byte at a time at
// 115200 baud, a line whenever one of the streams has one.
//
// Prints the CPU the program uses (all its threads: the UI thread, the link thread and Qt's
// painting helpers, not the stand-in) and each one's share, the CPU of the plain terminal
// and the ratio of the two (goal: below 1), the delay from the stand-in handing a line to the
// link until the window's text pane shows it (median and 99th percentile; the stand-in holds at
// most one packet per channel, so this is the delay from arrival at the port plus at most one
// packet's time on the wire), how often the panes' scroll bars were painted, and the
// program's resident memory at the end. Prints figures only.

#include <fcntl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "BenchStation.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "desktop/Terminal.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/Serial.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "support/QtHelpers.h"
#include "support/TestHome.h"
#include "support/das/DasConsole.h"
#include "support/das/DasStandIn.h"
#include "support/das/DasStatus.h"

namespace {

constexpr int kDevices = 4;
constexpr int kStartTimeoutMs = 20000;
// Each stamped line, padded to a full segment, with its CR LF.
constexpr int kLineBytes = 242;
// The speed of the DAS's line, and of the plain terminal's.
constexpr int kLineBaud = 115200;
// Where and how large each window is.
constexpr int kWindowWidthPx = 290;
constexpr int kWindowHeightPx = 400;
// What the plain terminal keeps, and how much goes when it is full.
constexpr int kPlainKeepChars = 20000;
constexpr int kPlainTrimChars = 5000;

using TClock = std::chrono::steady_clock;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch())
        .count();
}

// The threads of this process.
std::set<long> TaskIds()
{
    std::set<long> ids;
    for (const QString& name : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs)) {
        bool ok = false;
        const long id = name.toLong(&ok);
        if (ok) {
            ids.insert(id);
        }
    }
    return ids;
}

// CPU time one thread of this process has used, in ms (0 once it has ended).
double TaskCpuMs(long id)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/schedstat").arg(id));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0.0;
    }
    return stat.readAll().split(' ').value(0).toDouble() / 1e6;
}

// CPU time all threads of this process have used, those that ended included, in ms.
double ProcessCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// CPU time the threads of Qt's pools (the raster engine's painting helpers among them) have
// used so far, in ms.
double PooledThreadsCpuMs()
{
    double cpu = 0.0;
    for (long id : TaskIds()) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(id));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("Thread (pooled)")) {
            cpu += TaskCpuMs(id);
        }
    }
    return cpu;
}

long ThisThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

// CPU the process uses while it runs, less what some of its threads (the stand-in's side)
// use.
class TCpuMeter {
public:
    explicit TCpuMeter(std::set<long> excluded) : excluded_(std::move(excluded)) {}
    void Start()
    {
        start_ = Now();
        wall_.start();
    }
    // CPU used since Start, as a share of one core (%).
    double Share() const
    {
        const auto wallMs = static_cast<double>(std::max<qint64>(wall_.elapsed(), 1));
        return 100.0 * (Now() - start_) / wallMs;
    }

private:
    double Now() const
    {
        double cpu = ProcessCpuMs();
        for (long id : excluded_) {
            cpu -= TaskCpuMs(id);
        }
        return cpu;
    }
    std::set<long> excluded_;
    double start_ = 0;
    QElapsedTimer wall_;
};

// Counts the paintings of the scroll bars of every text pane.
class TScrollBarPaints final : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* bar = qobject_cast<QScrollBar*>(watched);
            if (bar != nullptr && bar->parentWidget() != nullptr &&
                qobject_cast<QPlainTextEdit*>(bar->parentWidget()->parentWidget()) != nullptr) {
                ++count;
            }
        }
        return false;
    }
};

// A stamped line: "T<ns since the clock's epoch> " padded with x to kLineBytes with CR LF.
QByteArray StampedLine()
{
    QByteArray line = "T" + QByteArray::number(static_cast<qint64>(NowNs())) + " ";
    line += QByteArray(kLineBytes - 2 - line.size(), 'x') + "\r\n";
    return line;
}

// The plain serial terminal the windows are compared with: one text pane in the default style
// that takes each read of its line as it comes, CR LF as one line break, and keeps about
// kPlainKeepChars characters by dropping kPlainTrimChars of the oldest at a time.
class TPlainTerminal {
public:
    explicit TPlainTerminal(int line) : line_(line), notifier_(line, QSocketNotifier::Read)
    {
        pane_.setWindowTitle(QStringLiteral("Plain terminal"));
        pane_.setReadOnly(true);
        pane_.setUndoRedoEnabled(false);
        pane_.setGeometry(20, 20, kWindowWidthPx, kWindowHeightPx);
        pane_.show();
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { Read(); });
    }

private:
    void Read()
    {
        char buffer[4096];
        const ssize_t n = ::read(line_, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        QString text = QString::fromLatin1(buffer, n);
        text.remove(QLatin1Char('\r'));
        QTextDocument* document = pane_.document();
        if (document->characterCount() + text.size() > kPlainKeepChars) {
            QTextCursor head(document);
            head.setPosition(kPlainTrimChars, QTextCursor::KeepAnchor);
            head.removeSelectedText();
        }
        QTextCursor end(document);
        end.movePosition(QTextCursor::End);
        end.insertText(text);
        pane_.moveCursor(QTextCursor::End);
        pane_.ensureCursorVisible();
    }

    int line_;
    QPlainTextEdit pane_;
    QSocketNotifier notifier_;
};

// Runs the plain terminal for `seconds` with a line written every `lineMs`; the process's CPU
// meanwhile (the writer's excluded) as a share of one core (%), or a negative value when no
// pseudo-terminal could be opened.
double PlainTerminalCpu(int seconds, double lineMs)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return -1.0;
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        ::close(master);
        return -1.0;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);

    double result = -1.0;
    {
        TPlainTerminal terminal(slave);
        std::atomic<bool> writing{true};
        std::atomic<long> writerId{0};
        std::thread writer([&] {
            writerId = ThisThreadId();
            // Each line goes out a byte at a time at the line's speed, as the stand-in sends the
            // program's, and a new line starts every lineMs.
            const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / kLineBaud);
            const auto spacing = std::chrono::duration_cast<TClock::duration>(
                std::chrono::duration<double, std::milli>(lineMs));
            auto lineDue = TClock::now();
            while (writing.load()) {
                lineDue += spacing;
                std::this_thread::sleep_until(lineDue);
                const QByteArray line = StampedLine();
                auto byteDue = TClock::now();
                for (char c : line) {
                    if (::write(master, &c, 1) < 0) {
                        return;
                    }
                    byteDue += byteTime;
                    std::this_thread::sleep_until(byteDue);
                }
            }
        });
        while (writerId.load() == 0) {
            std::this_thread::yield();
        }
        TCpuMeter meter({writerId.load()});
        meter.Start();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        result = meter.Share();
        writing = false;
        writer.join();
    }
    ::close(slave);
    ::close(master);
    return result;
}

// Collects the delays of the stamped lines a window shows.
struct TDelays {
    std::vector<double> ms;
    QByteArray partial;

    void Take(const char* bytes, int count)
    {
        const int64_t now = NowNs();
        partial.append(bytes, count);
        qsizetype end = 0;
        while ((end = partial.indexOf('\n')) >= 0) {
            const QByteArray line = partial.left(end).trimmed();
            partial.remove(0, end + 1);
            bool ok = false;
            const qint64 sent = line.mid(1, line.indexOf(' ') - 1).toLongLong(&ok);
            if (ok && line.startsWith('T')) {
                ms.push_back(static_cast<double>(now - sent) / 1e6);
            }
        }
    }
};

// Notes when each stamped line reaches the text pane of `window`.
void WatchTextPane(TTerminalForm& window, TDelays& delays)
{
    QTextDocument* document = window.TextPane()->document();
    QObject::connect(document, &QTextDocument::contentsChange, document,
                     [document, &delays](int position, int, int added) {
                         if (added <= 0) {
                             return;
                         }
                         QTextCursor cursor(document);
                         cursor.setPosition(position);
                         cursor.setPosition(position + added, QTextCursor::KeepAnchor);
                         // Paragraph breaks come back as U+2029.
                         const QByteArray text = cursor.selectedText()
                                                     .replace(QChar(0x2029), QLatin1Char('\n'))
                                                     .toLatin1();
                         delays.Take(text.constData(), static_cast<int>(text.size()));
                     });
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    // Without a display the windows are painted all the same, off screen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TBenchPrompt prompt;
    SetPrompt(&prompt);
    TScrollBarPaints scrollBarPaints;
    app.installEventFilter(&scrollBarPaints);

    // The stand-in and the feeder stand for the DAS: their threads do not count as the
    // program's.
    const std::set<long> before = TaskIds();
    TDasStandIn das;
    TDasConsole console(das);
    TDasStatus status(console);
    das.SetBaudRate(kLineBaud);
    das.Start();
    std::set<long> dasThreads;
    for (long id : TaskIds()) {
        if (before.count(id) == 0) {
            dasThreads.insert(id);
        }
    }
    TDASDesktopForm* desktop = StartBenchDesktop(das, kDevices, kStartTimeoutMs);
    if (desktop == nullptr) {
        std::printf("terminal bench: the station did not start\n");
        return 1;
    }

    // Each device gets a timed window, shown text and hex side by side.
    std::vector<TDelays> delays(kDevices);
    std::vector<uint8_t> channels;
    for (const TBenchWindow& shown : ShowDeviceWindows(kDevices)) {
        WatchTextPane(*shown.window, delays[channels.size()]);
        channels.push_back(shown.channel);
    }

    // The feeder keeps the line busy: whenever the stand-in has sent everything it hands on
    // one more stamped line per channel.
    std::atomic<bool> feeding{true};
    std::atomic<int64_t> bytesFed{0};
    std::atomic<long> feederId{0};
    std::thread feeder([&] {
        feederId = ThisThreadId();
        while (feeding.load()) {
            if (!das.AllSent()) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            for (uint8_t channel : channels) {
                const QByteArray line = StampedLine();
                das.SendChannelData(channel, line);
                bytesFed += line.size();
            }
        }
    });
    while (feederId.load() == 0) {
        std::this_thread::yield();
    }
    dasThreads.insert(feederId.load());

    // The UI thread runs its own event loop, as in the program, so it is busy only when there
    // is something to do.
    TCpuMeter programCpu(dasThreads);
    programCpu.Start();
    scrollBarPaints.count = 0;
    const double uiCpuStart = ThreadCpuMs();
    const double pooledCpuStart = PooledThreadsCpuMs();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double programShare = programCpu.Share();
    const double uiCpuMs = ThreadCpuMs() - uiCpuStart;
    const double pooledCpuMs = PooledThreadsCpuMs() - pooledCpuStart;
    const double wallMs = static_cast<double>(wall.elapsed());
    const int barPaints = scrollBarPaints.count;
    feeding = false;
    feeder.join();
    const double residentMb = ResidentMb();

    std::vector<double> all;
    for (const TDelays& d : delays) {
        all.insert(all.end(), d.ms.begin(), d.ms.end());
    }
    desktop->close();
    DeleteToolForms();
    delete desktop;
    das.Stop();

    // The plain terminal shows one of the streams at the rate each window got it.
    const double streamBytesPerSecond = static_cast<double>(bytesFed.load()) /
                                        static_cast<double>(std::max<size_t>(channels.size(), 1)) /
                                        (wallMs / 1000.0);
    const double plainShare =
        streamBytesPerSecond > 0
            ? PlainTerminalCpu(seconds, 1000.0 * kLineBytes / streamBytesPerSecond)
            : -1.0;

    std::printf("terminal windows at full line rate (115200 baud), %d device windows, %d s\n",
                static_cast<int>(channels.size()), seconds);
    std::printf("  bytes handed to the link:          %10lld\n",
                static_cast<long long>(bytesFed.load()));
    std::printf("  line rate reached:                 %10.0f bytes/s\n",
                static_cast<double>(bytesFed.load()) / (wallMs / 1000.0));
    std::printf("  lines shown:                       %10zu\n", all.size());
    std::printf("  program CPU, four windows:         %10.1f %% of a core\n", programShare);
    std::printf("    of which the UI thread:          %10.1f %%\n", 100.0 * uiCpuMs / wallMs);
    std::printf("    of which Qt's pooled threads:    %10.1f %%\n", 100.0 * pooledCpuMs / wallMs);
    std::printf("    of which the link thread:        %10.1f %%\n",
                programShare - 100.0 * (uiCpuMs + pooledCpuMs) / wallMs);
    std::printf("  plain terminal CPU, one stream:    %10.1f %% of a core (%.0f bytes/s)\n",
                plainShare, streamBytesPerSecond);
    std::printf("  four windows / plain terminal:     %10.2f (goal: below 1)\n",
                plainShare > 0 ? programShare / plainShare : 0.0);
    std::printf("  pane scroll bar paintings:         %10.1f per second\n",
                1000.0 * barPaints / wallMs);
    std::printf("  delay to display, median:          %10.1f ms\n", Percentile(all, 0.5));
    std::printf("  delay to display, 99th percentile: %10.1f ms\n", Percentile(all, 0.99));
    std::printf("  resident memory at the end:        %10.1f MB\n", residentMb);
    return 0;
}
