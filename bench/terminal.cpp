// Terminal windows at full line rate: the DAS stand-in streams on four device channels as fast
// as the serial line carries (115200 baud) into four device windows shown side by side, each
// with its text and hex panes, for a given time (first argument, seconds; default 10). Prints
// the UI thread's share of one CPU, the delay from the stand-in handing a line to the link
// until the window's text pane shows it (median and 99th percentile; the stand-in holds at
// most one packet per channel, so this is the delay from arrival at the port plus at most one
// packet's time on the wire), and the program's resident memory at the end. Prints figures
// only.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
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

using TClock = std::chrono::steady_clock;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch())
        .count();
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
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TBenchPrompt prompt;
    SetPrompt(&prompt);

    TDasStandIn das;
    TDasConsole console(das);
    TDasStatus status(console);
    das.SetBaudRate(115200);
    das.Start();
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
    // one more stamped line per channel, padded to a full segment.
    std::atomic<bool> feeding{true};
    std::atomic<int64_t> bytesFed{0};
    std::thread feeder([&] {
        while (feeding.load()) {
            if (!das.AllSent()) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            for (uint8_t channel : channels) {
                QByteArray line = "T" + QByteArray::number(static_cast<qint64>(NowNs())) + " ";
                line += QByteArray(240 - line.size(), 'x') + "\r\n";
                das.SendChannelData(channel, line);
                bytesFed += line.size();
            }
        }
    });

    // The UI thread runs its own event loop, as in the program, so it is busy only when there
    // is something to do.
    const double cpuStart = ThreadCpuMs();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuMs = ThreadCpuMs() - cpuStart;
    const double wallMs = static_cast<double>(wall.elapsed());
    feeding = false;
    feeder.join();

    std::vector<double> all;
    for (const TDelays& d : delays) {
        all.insert(all.end(), d.ms.begin(), d.ms.end());
    }
    std::printf("terminal windows at full line rate (115200 baud), %d device windows, %d s\n",
                static_cast<int>(channels.size()), seconds);
    std::printf("  bytes handed to the link:          %10lld\n",
                static_cast<long long>(bytesFed.load()));
    std::printf("  line rate reached:                 %10.0f bytes/s\n",
                static_cast<double>(bytesFed.load()) / (wallMs / 1000.0));
    std::printf("  lines shown:                       %10zu\n", all.size());
    std::printf("  UI thread CPU share:               %10.1f %%\n", 100.0 * cpuMs / wallMs);
    std::printf("  delay to display, median:          %10.1f ms\n", Percentile(all, 0.5));
    std::printf("  delay to display, 99th percentile: %10.1f ms\n", Percentile(all, 0.99));
    std::printf("  resident memory at the end:        %10.1f MB\n", ResidentMb());

    desktop->close();
    DeleteToolForms();
    delete desktop;
    return 0;
}
