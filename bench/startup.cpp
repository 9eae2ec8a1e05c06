// Start-up figures with the sample station against the DAS stand-in: the time from the start
// of the process to the main window shown, to its first show's work done (configuration
// loaded, channels made, link connected), to the first exchange with the DAS and to the first
// status line in the status bar; then the shutdown's time and the peak resident memory.
// Prints figures only.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unistd.h>

#include "BenchFigures.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/Serial.h"
#include "platform/Registry.h"
#include "station/ConfigFiles.h"
#include "support/QtHelpers.h"
#include "support/TestHome.h"
#include "support/das/DasConsole.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStandIn.h"
#include "support/das/DasStatus.h"

namespace {

constexpr int kTimeoutMs = 20000;

// Milliseconds since the process started (its CPU clock starts with it, the wall clock is
// taken from the kernel's start time of the process).
double MsSinceProcessStart()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    FILE* stat = std::fopen("/proc/self/stat", "r");
    if (stat == nullptr) {
        return -1;
    }
    unsigned long long startTicks = 0;
    // Field 22 is the start time in clock ticks after boot; fields 2 (comm) has no blanks here.
    const int read = std::fscanf(stat,
                                 "%*d %*s %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u "
                                 "%*d %*d %*d %*d %*d %*d %llu",
                                 &startTicks);
    std::fclose(stat);
    if (read != 1) {
        return -1;
    }
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const double bootMs = boot.tv_sec * 1000.0 + boot.tv_nsec / 1e6;
    const double startMs = 1000.0 * static_cast<double>(startTicks) /
                           static_cast<double>(sysconf(_SC_CLK_TCK));
    return bootMs - startMs;
}


}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    TDasStandIn das;
    TDasConsole console(das);
    TDasInstruments instruments(das, console);
    TDasStatus status(console, &instruments);
    das.SetBaudRate(115200);
    das.Start();
    SetComPortDevicePath(1, das.SlavePath());
    const QString sample = InstallSampleStation();
    {
        TRegistry reg;
        reg.OpenKey(VersionedKeyPath(kRegistryVersionKey / 100.0, QStringLiteral("DasDesktop")),
                    true);
        reg.WriteString(QStringLiteral("INIFile"), MakeDataRelativePath(sample));
    }
    bool ended = false;
    TDASDesktopForm::SetTerminateHandler([&ended] { ended = true; });

    const double beforeWindows = MsSinceProcessStart();
    auto* desktop = new TDASDesktopForm;
    CreateToolForms();
    desktop->show();
    const double shown = MsSinceProcessStart();
    const bool firstShow = WaitUntil([&] { return desktop->FirstShowDone(); }, kTimeoutMs);
    const double loaded = MsSinceProcessStart();
    const bool linked = WaitUntil([] { return !Host.Thread().LinkLost(); }, kTimeoutMs);
    const double linkUp = MsSinceProcessStart();
    const bool statusShown =
        WaitUntil([&] { return !desktop->PanelText(5).isEmpty(); }, kTimeoutMs);
    const double firstStatus = MsSinceProcessStart();

    QElapsedTimer shutdown;
    shutdown.start();
    desktop->close();
    const qint64 shutdownMs = shutdown.elapsed();
    DeleteToolForms();
    delete desktop;

    std::printf("startup with the sample station (%s)\n",
                firstShow && linked && statusShown ? "complete"
                                                                        : "INCOMPLETE");
    std::printf("  process start to windows made:     %8.1f ms\n", beforeWindows);
    std::printf("  process start to main window shown: %7.1f ms\n", shown);
    std::printf("  process start to station loaded:    %7.1f ms\n", loaded);
    std::printf("  process start to link up:           %7.1f ms\n", linkUp);
    std::printf("  process start to first status line: %7.1f ms\n", firstStatus);
    std::printf("  shutdown:                           %7lld ms\n",
                static_cast<long long>(shutdownMs));
    std::printf("  status requests answered:           %7d\n", status.Requests());
    std::printf("  peak resident memory:               %7.1f MB\n", PeakResidentKb() / 1024.0);
    return ended ? 0 : 1;
}
