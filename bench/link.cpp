// Link figures against the DAS stand-in paced at 115200 baud, streaming on one channel:
// delivered payload as a share of what the protocol allows at that line rate, the host's
// turnaround (last byte of a DAS packet to the first byte of the answer) and the link
// thread's CPU time idle and streaming; and the delivered payload again with both protocol trace
// files written. Then streams from a stand-in that answers at once (no post-transmit pause), for
// a given time each (first argument, seconds; default 10): at 115200 and at 921600 baud paced at
// the line's rate, with a payload of letters and one of text lines, and at 921600 on an unpaced
// pseudo-terminal; each into a channel served as the program serves it (the data timer's passes
// and the ones the link asks for): the statistics window's error counts and the packets the DAS
// had to send again after waiting for an answer in vain, and the program's processor time. Last,
// the same while it streams with a post-transmit pause of 20 ms from a DAS that answers 30 ms
// after the host. Prints figures only.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "link/Host.h"
#include "link/LinkFakes.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "support/TerminalViews.h"
#include "support/TestHome.h"
#include "support/das/DasStandIn.h"

namespace {

constexpr uint32_t kBaud = 115200;
constexpr uint8_t kStreamChannel = 20;
constexpr uint16_t kBenchPort = 7;
constexpr int kIdleMs = 3000;
constexpr int kStreamBytes = 60000;
constexpr uint32_t kFastBaud = 921600;
constexpr uint8_t kFastChannel = 21;
// How long the stand-in waits for the host's answer before it sends a packet again, as a DAS does.
constexpr auto kDasAnswerTime = std::chrono::milliseconds(250);
// The main window's data timer.
constexpr int kDataTimerMs = 100;

// A terminal window that only counts what it is shown.
class TCountingView final : public TNullTerminalView {
public:
    void ShowData(const char*, int count) override { shown += count; }

    qint64 shown = 0;
};

// Runs the event loop for `ms`, draining the stream channel's ring as the data timer would.
qsizetype RunFor(int ms, TMux& mux, qsizetype received)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        received += mux.ReadQueue();
        QThread::msleep(5);
    }
    return received;
}

// Streams kStreamBytes from the DAS on the stream channel and reads them as the data timer
// would; returns the seconds it took, `received` the bytes read.
double Stream(TDasStandIn& das, TMux& mux, qsizetype& received)
{
    for (int sent = 0; sent < kStreamBytes; sent += 254) {
        das.SendChannelData(kStreamChannel, QByteArray(std::min(254, kStreamBytes - sent), 'd'));
    }
    QElapsedTimer timer;
    timer.start();
    received = 0;
    while (received < kStreamBytes && timer.elapsed() < 60000) {
        received = RunFor(10, mux, received);
    }
    return static_cast<double>(timer.elapsed()) / 1000.0;
}

// What the DAS streams: letters, or text lines as an instrument sends them.
enum class TPayload { Letters, TextLines };

QByteArray StreamBlock(TPayload payload)
{
    QByteArray block;
    if (payload == TPayload::Letters) {
        return QByteArray(8 * kMaxPayload, 'f');
    }
    for (int i = 0; block.size() < 8 * kMaxPayload; ++i) {
        block += QByteArray::number(21.5 + i % 97 / 1000.0, 'f', 3) + ",8.20" +
                 QByteArray::number(10 + i % 90) + "\r\n";
    }
    return block;
}

int64_t ThisThreadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// How the DAS answers and how long the host keeps the line after each of its answers.
struct TAnswering {
    std::chrono::microseconds turnaround{0};
    std::chrono::milliseconds postXmitPause{0};
};

// Streams full packets at `baud` for `seconds` from a stand-in that answers as `answering`
// says (by default at once, with no post-transmit pause on the host), paced at the line's rate
// or on an unpaced pseudo-terminal, on a channel with a window, served by the data timer and on
// demand; prints the statistics window's counts of the run and the program's processor time
// (the UI thread and the link thread) as a share of one core.
void FastStream(int seconds, uint32_t baud, bool paced, TPayload payload, TAnswering answering = {})
{
    TCountingView view;
    MuxArray->AddChannel(kFastChannel, &view);
    TDasStandIn das;
    das.SetProtocol(1);
    das.SetTurnaround(answering.turnaround);
    das.SetBaudRate(paced ? baud : 0);
    das.SetAnswerTimes(kDasAnswerTime, std::chrono::milliseconds(10));
    das.Start();
    SetComPortDevicePath(kBenchPort, das.SlavePath());
    Host.SetDasBaud(baud);
    // Another DAS on another line: what the last one left half sent is not this link's.
    ClearReceiveBuffer();
    if (!Host.Connect()) {
        std::fprintf(stderr, "could not connect to the stand-in\n");
        MuxArray->RemoveChannel(kFastChannel);
        return;
    }
    SetPostXmitPause(answering.postXmitPause.count() * kPerfFrequency / 1000);
    ResetPacketCounters();
    ResetLinkCounters();
    const QByteArray block = StreamBlock(payload);
    // The feeder keeps the DAS busy: whenever it has sent everything it gets more to send.
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        while (feeding.load()) {
            if (das.AllSent()) {
                das.SendChannelData(kFastChannel, block);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    QTimer dataTimer;
    QObject::connect(&dataTimer, &QTimer::timeout, [] { MuxArray->Service(NowDateTime()); });
    dataTimer.start(kDataTimerMs);
    const uint32_t dasResendsBefore = das.resends.load();
    const uint32_t dasSentBefore = das.dataPacketsSent.load();
    const int64_t linkCpuStart = Host.Thread().CpuTimeNs();
    const int64_t uiCpuStart = ThisThreadCpuNs();
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = static_cast<double>(timer.elapsed()) / 1000.0;
    const double cpuNs = static_cast<double>(Host.Thread().CpuTimeNs() - linkCpuStart +
                                             ThisThreadCpuNs() - uiCpuStart);
    const TProtocolCounters& protocol = ProtocolCounters();
    const TPacketCounters& packets = PacketCounters();
    std::printf("stream of %s at %u baud, %s, ",
                payload == TPayload::Letters ? "letters" : "text lines", baud,
                paced ? "paced at the line's rate" : "unpaced pseudo-terminal");
    if (answering.turnaround.count() == 0 && answering.postXmitPause.count() == 0) {
        std::printf("DAS answering at once, %.0f s:\n", elapsed);
    } else {
        std::printf("DAS answering %lld ms after the host, post-transmit pause %lld ms, %.0f s:\n",
                    static_cast<long long>(answering.turnaround.count() / 1000),
                    static_cast<long long>(answering.postXmitPause.count()), elapsed);
    }
    const auto row = [](const char* label, uint32_t count, const char* goal) {
        std::printf("  %-34s %8u%s\n", label, count, goal);
    };
    row("packets sent by the DAS", das.dataPacketsSent.load() - dasSentBefore, "");
    row("Data Pkts Rcvd", packets.dataPacketsReceived.load(), "");
    std::printf("  %-34s %8.0f\n", "bytes/s shown", static_cast<double>(view.shown) / elapsed);
    row("Data Error(2) (NAKs sent)", protocol.naksSent.load(), " (goal: 0)");
    row("Data Error(1) (purges)", protocol.purges.load(), "");
    row("Checksum Errors", packets.receiveErrors.load(), "");
    row("Sequence Errors", protocol.duplicates.load(), "");
    row("NAK Received", protocol.naksReceived.load(), "");
    row("DAS resends (250 ms time-outs)", das.resends.load() - dasResendsBefore, " (goal: 0)");
    std::printf("  %-34s %8.2f %% of a core%s\n", "program CPU (UI + link threads)",
                100.0 * cpuNs / (elapsed * 1e9),
                answering.postXmitPause.count() > 0 ? " (goal: < 10 %)" : "");
    feeding = false;
    feeder.join();
    dataTimer.stop();
    SetPostXmitPause(0);
    Host.Disconnect();
    das.Stop();
    MuxArray->RemoveChannel(kFastChannel);
}

}  // namespace

int main(int argc, char** argv)
{
    const int fastSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir home;
    UseTestHome(home);
    QCoreApplication app(argc, argv);

    NewLinkGlobals();
    MuxArray->AddChannel(kCommandChannel);
    TMux* mux = MuxArray->AddChannel(kStreamChannel);

    TDasStandIn das;
    das.SetBaudRate(kBaud);
    das.SetProtocol(1);
    das.Start();
    SetComPortDevicePath(kBenchPort, das.SlavePath());
    Host.SetDasPort(kBenchPort);
    Host.SetDasBaud(kBaud);
    if (!Host.Connect()) {
        std::fprintf(stderr, "could not connect to the stand-in\n");
        return 1;
    }

    // Idle: the DAS polls, nothing flows.
    RunFor(500, *mux, 0);
    const int64_t idleCpuStart = Host.Thread().CpuTimeNs();
    RunFor(kIdleMs, *mux, 0);
    const double idleCpu = static_cast<double>(Host.Thread().CpuTimeNs() - idleCpuStart) /
                           (kIdleMs * 1e6);

    // Streaming.
    const size_t turnaroundsBefore = das.TurnaroundTimes().size();
    const int64_t streamCpuStart = Host.Thread().CpuTimeNs();
    qsizetype received = 0;
    const double seconds = Stream(das, *mux, received);
    const double streamCpu =
        static_cast<double>(Host.Thread().CpuTimeNs() - streamCpuStart) / (seconds * 1e9);
    std::vector<double> turnarounds = das.TurnaroundTimes();
    turnarounds.erase(turnarounds.begin(),
                      turnarounds.begin() + static_cast<std::ptrdiff_t>(turnaroundsBefore));

    // The same stream with both protocol trace files written.
    QTemporaryDir traceDir;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(traceDir.path());
    const bool tracing = OpenProtocolLogs();
    qsizetype tracedReceived = 0;
    const double tracedSeconds = Stream(das, *mux, tracedReceived);
    CloseProtocolLogs();
    QDir::setCurrent(previousDir);

    const double lineBytesPerSecond = kBaud / 10.0;
    const double limit = lineBytesPerSecond * 254.0 / (272.0 + 6.0);
    const double rate = static_cast<double>(received) / seconds;
    std::printf("payload delivered      %8.0f bytes/s (%lld bytes in %.2f s)\n", rate,
                static_cast<long long>(received), seconds);
    std::printf("protocol limit         %8.0f bytes/s at %u baud\n", limit, kBaud);
    std::printf("share of the limit     %8.1f %% (target >= 90 %%)\n", 100.0 * rate / limit);
    if (tracing) {
        const double tracedRate = static_cast<double>(tracedReceived) / tracedSeconds;
        std::printf("with both traces on    %8.0f bytes/s (%.1f %% of the limit)\n", tracedRate,
                    100.0 * tracedRate / limit);
    } else {
        std::printf("with both traces on    (the trace files could not be opened)\n");
    }
    std::printf("turnaround median      %8.3f ms (target < 1 ms)\n",
                Percentile(turnarounds, 0.5) / 1000.0);
    std::printf("turnaround p99         %8.3f ms (%zu answers)\n",
                Percentile(turnarounds, 0.99) / 1000.0, turnarounds.size());
    std::printf("link thread CPU idle   %8.2f %% of a core (target < 1 %%)\n", 100.0 * idleCpu);
    std::printf("link thread CPU stream %8.2f %% of a core\n", 100.0 * streamCpu);

    Host.Disconnect();
    das.Stop();

    for (const uint32_t baud : {kBaud, kFastBaud}) {
        for (const TPayload payload : {TPayload::Letters, TPayload::TextLines}) {
            FastStream(fastSeconds, baud, true, payload);
        }
    }
    FastStream(fastSeconds, kFastBaud, false, TPayload::Letters);
    // A DAS that answers 30 ms after the host's write, and the host keeping the line 20 ms.
    FastStream(fastSeconds, kBaud, true, TPayload::Letters,
               {std::chrono::milliseconds(30), std::chrono::milliseconds(20)});

    Host.StopThread();
    DeleteLinkGlobals();
    return 0;
}
