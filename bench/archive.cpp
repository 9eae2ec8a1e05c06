// Archive playback figures, through the program's own windows: the main window with a station of
// four serial instruments, each with its terminal window shown (text and hex panes), and a
// 100 MB archive of their data (made at run time in a temporary folder) played back as fast as
// possible with the main window's Play DAS Archive, twice:
// - dispatch only: the link thread plays the file into the channel rings and a loop on the UI
//   thread empties the rings directly, as fast as it can, running nothing else;
// - the program's path: the link thread, the rings, the service passes on the UI thread (the
//   data timer's and the ones the link asks for) and the terminal windows, until the main
//   window has ended the playback and reconnected the DAS.
// MB per second of archive file for each, their ratio beside its goal, and the process's peak
// memory. Then the real-time pace of a small archive: packets recorded 1000 ms apart, and a gap
// of 40 s that is skipped. Prints figures only.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "BenchFigures.h"
#include "BenchStation.h"
#include "link/Archives.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "support/TestHome.h"
#include "support/das/DasFrames.h"
#include "support/das/DasStandIn.h"

namespace {

constexpr qint64 kArchiveBytes = 100LL * 1000 * 1000;
constexpr int kDevices = 4;
// One packet in this many is a host record of PC device port data.
constexpr int kHostRecordEvery = 16;
constexpr uint32_t kPacketSpacingMs = 10;
constexpr int kStartTimeoutMs = 20000;
constexpr int kPlaybackTimeoutMs = 120000;

QByteArray Header()
{
    return ArchiveTextField(QStringLiteral("PX000001"), kArchiveIdBytes) +
           ArchiveTextField(QStringLiteral("01/02/2024 10:11:12"), kArchiveTimeBytes);
}

// Full packets in turn on the channels, every kHostRecordEvery-th a host record. Returns the
// file's size; `payload` the payload bytes it carries.
qint64 WriteBigArchive(const QString& path, const std::vector<uint8_t>& channels, qint64& payload)
{
    QFile file(path);
    payload = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(Header());
    QByteArray bytes(kMaxPayload, Qt::Uninitialized);
    for (int i = 0; i < kMaxPayload; ++i) {
        // Printable text in lines, as an instrument sends.
        bytes[i] = i % 64 == 63 ? '\n' : static_cast<char>('0' + i % 64);
    }
    QByteArray chunk;
    DataPacket record{};
    uint32_t n = 0;
    while (file.size() + chunk.size() < kArchiveBytes) {
        const uint8_t channel = channels[n % channels.size()];
        const uint32_t time = 1000 + n * kPacketSpacingMs;
        if (n % kHostRecordEvery == kHostRecordEvery - 1) {
            const uint32_t length =
                MakeHostRecord(record, static_cast<uint8_t>(n / kHostRecordEvery), time, channel,
                               reinterpret_cast<const uint8_t*>(bytes.constData()), kMaxPayload);
            chunk.append(reinterpret_cast<const char*>(&record), length);
        } else {
            chunk += das::EncodeData(static_cast<uint8_t>(n), 0, time, {{channel, bytes}});
        }
        payload += kMaxPayload;
        ++n;
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.size();
}

// Empties every channel ring directly; returns the bytes taken.
qint64 DrainRings()
{
    qint64 taken = 0;
    for (int i = 0; i < MuxArray->Count(); ++i) {
        taken += MuxArray->Items(i)->ReadQueue();
    }
    return taken;
}

// Plays the archive the prompt names as fast as possible, from the main window's Play DAS
// Archive until every packet of the file is handed on (the data timer then ends the playback
// and connects the DAS again); returns the seconds that took, 0 when it did not start or end.
// Dispatch only: a loop empties the rings and the event loop does not run meanwhile.
// Otherwise the program runs as it does for the operator.
double PlayFast(TDASDesktopForm& desktop, TBenchPrompt& prompt, bool dispatchOnly)
{
    prompt.realTime = false;
    desktop.PlayDASArchiveExecute();
    if (!PlayingBack()) {
        std::printf("archive bench: the playback did not start\n");
        return 0;
    }
    QElapsedTimer timer;
    timer.start();
    if (dispatchOnly) {
        while (PlaybackFileOpen() && timer.elapsed() < kPlaybackTimeoutMs) {
            DrainRings();
            QThread::yieldCurrentThread();
        }
    } else {
        QEventLoop loop;
        QTimer end;
        // The data timer may end the playback before this looks.
        QObject::connect(&end, &QTimer::timeout, &loop, [&loop, &timer] {
            if (!PlaybackFileOpen() || !PlayingBack() || timer.elapsed() > kPlaybackTimeoutMs) {
                loop.quit();
            }
        });
        end.start(1);
        loop.exec();
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const bool ended = WaitUntil([] { return !PlayingBack(); }, kStartTimeoutMs);
    return ended && timer.elapsed() < kPlaybackTimeoutMs ? seconds : 0;
}

void PrintFigures(const char* title, double seconds, qint64 fileBytes, qint64 payload)
{
    if (seconds <= 0) {
        std::printf("%s: did not finish\n", title);
        return;
    }
    std::printf("%s: %.2f s\n", title, seconds);
    std::printf("  %.1f MB/s of archive file, %.1f MB/s of payload\n",
                static_cast<double>(fileBytes) / 1e6 / seconds,
                static_cast<double>(payload) / 1e6 / seconds);
}

void FastPlayback(TDASDesktopForm& desktop, TBenchPrompt& prompt, const QString& folder,
                  const std::vector<uint8_t>& channels)
{
    const long rssBefore = PeakResidentKb();
    prompt.file = folder + QStringLiteral("/big.dar");
    qint64 payload = 0;
    const qint64 size = WriteBigArchive(prompt.file, channels, payload);
    std::printf("archive: %.1f MB, %.1f MB of payload on %zu device channels\n",
                static_cast<double>(size) / 1e6, static_cast<double>(payload) / 1e6,
                channels.size());

    const double dispatch = PlayFast(desktop, prompt, true);
    PrintFigures("fast playback, dispatch only (rings emptied by a loop)", dispatch, size,
                 payload);
    const double program = PlayFast(desktop, prompt, false);
    PrintFigures("fast playback through the program (service passes, terminal windows)", program,
                 size, payload);
    if (dispatch > 0 && program > 0) {
        std::printf("  program / dispatch only: %.0f%% (goal: at least 50%%)\n",
                    100.0 * dispatch / program);
    }
    std::printf("  receive errors %u, duplicates dropped %u\n",
                PacketCounters().receiveErrors.load(), ProtocolCounters().duplicates.load());
    std::printf("  peak memory: %ld kB (before the playback %ld kB)\n", PeakResidentKb(),
                rssBefore);
}

void RealTimePlayback(TDASDesktopForm& desktop, TBenchPrompt& prompt, const QString& folder,
                      uint8_t channel)
{
    prompt.file = folder + QStringLiteral("/paced.dar");
    QByteArray file = Header();
    const uint32_t times[] = {1000, 2000, 3000, 3000 + 40000, 3000 + 40000 + 500};
    uint8_t sequence = 0;
    for (uint32_t time : times) {
        file += das::EncodeData(sequence++, 0, time, {{channel, "x"}});
    }
    QFile out(prompt.file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return;
    }
    out.write(file);
    out.close();

    prompt.realTime = true;
    desktop.PlayDASArchiveExecute();
    QElapsedTimer timer;
    timer.start();
    std::vector<double> arrivals;
    while (PlayingBack() && timer.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        while (arrivals.size() < Host.BytesReceived()) {
            arrivals.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        QThread::usleep(200);
    }
    std::printf("real-time playback (recorded at 1000, 2000, 3000, 43000, 43500 ms):\n");
    for (size_t i = 1; i < arrivals.size(); ++i) {
        std::printf("  packet %zu: %.0f ms after the one before (recorded %u ms)\n", i + 1,
                    arrivals[i] - arrivals[i - 1], times[i] - times[i - 1]);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TBenchPrompt prompt;
    SetPrompt(&prompt);

    TDasStandIn das;
    das.Start();
    TDASDesktopForm* desktop = StartBenchDesktop(das, kDevices);
    if (desktop == nullptr) {
        std::printf("archive bench: the station did not start\n");
        return 1;
    }
    std::vector<uint8_t> channels;
    for (const TBenchWindow& shown : ShowDeviceWindows(kDevices)) {
        channels.push_back(shown.channel);
    }

    FastPlayback(*desktop, prompt, home.path(), channels);
    RealTimePlayback(*desktop, prompt, home.path(), channels.front());

    desktop->close();
    DeleteToolForms();
    delete desktop;
    return 0;
}
