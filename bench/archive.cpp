// Archive playback figures: a 100 MB archive (made at run time in a temporary folder) played
// back as fast as possible, twice: with the rings emptied directly by a loop (the dispatch
// alone), then through the program's own service path (the data timer's pass and the passes
// the link asks for, into terminal windows); MB per second of archive file for each, and the
// process's peak memory. Then the real-time pace of a small archive: packets recorded 1000 ms
// apart, and a gap of 40 s that is skipped. Prints figures only.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "BenchFigures.h"
#include "link/Archives.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "support/TerminalViews.h"
#include "support/TestHome.h"
#include "support/das/DasFrames.h"

namespace {

constexpr qint64 kArchiveBytes = 100LL * 1000 * 1000;
constexpr uint8_t kFirstChannel = 10;
constexpr int kChannels = 4;
// One packet in this many is a host record of PC device port data.
constexpr int kHostRecordEvery = 16;
constexpr uint32_t kPacketSpacingMs = 10;
// The main window's data timer.
constexpr int kDataTimerMs = 100;

// Answers the archive dialogs: the file, the pace, and the boxes.
class TBenchPrompt final : public IPrompt {
public:
    QString file;
    bool realTime = false;

    TMsgResult MessageBox(const QString&, const QString&, TMsgButtons buttons, TMsgIcon) override
    {
        if (buttons == TMsgButtons::YesNoCancel) {
            return realTime ? TMsgResult::Yes : TMsgResult::No;
        }
        return TMsgResult::Ok;
    }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    std::optional<QString> OpenFile(const TFileDialogOptions&) override { return file; }
    std::optional<QString> SaveFile(const TFileDialogOptions&) override { return file; }
    std::optional<QString> BrowseFolder(const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

QByteArray Header()
{
    return ArchiveTextField(QStringLiteral("PX000000"), kArchiveIdBytes) +
           ArchiveTextField(QStringLiteral("01/02/2024 10:11:12"), kArchiveTimeBytes);
}

// Full packets in turn on the channels, every kHostRecordEvery-th a host record.
qint64 WriteBigArchive(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(Header());
    QByteArray payload(kMaxPayload, Qt::Uninitialized);
    for (int i = 0; i < kMaxPayload; ++i) {
        payload[i] = static_cast<char>(i);
    }
    QByteArray chunk;
    DataPacket record{};
    uint32_t n = 0;
    while (file.size() + chunk.size() < kArchiveBytes) {
        const auto channel = static_cast<uint8_t>(kFirstChannel + n % kChannels);
        const uint32_t time = 1000 + n * kPacketSpacingMs;
        if (n % kHostRecordEvery == kHostRecordEvery - 1) {
            const uint32_t length =
                MakeHostRecord(record, static_cast<uint8_t>(n / kHostRecordEvery), time, channel,
                               reinterpret_cast<const uint8_t*>(payload.constData()), kMaxPayload);
            chunk.append(reinterpret_cast<const char*>(&record), length);
        } else {
            chunk += das::EncodeData(static_cast<uint8_t>(n), 0, time, {{channel, payload}});
        }
        ++n;
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.size();
}

// The dispatch alone: drains every channel ring directly; returns the bytes taken.
qint64 DrainRings()
{
    qint64 taken = 0;
    for (int i = 0; i < MuxArray->Count(); ++i) {
        taken += MuxArray->Items(i)->ReadQueue();
    }
    return taken;
}

// A terminal window that only counts what it is shown.
class TCountingView final : public TNullTerminalView {
public:
    void ShowData(const char*, int count) override { shown += count; }

    qint64 shown = 0;
};

struct TPlaybackFigures {
    double seconds = 0;
    uint32_t packets = 0;
    uint32_t payload = 0;
    qint64 taken = 0;  // payload the UI side took out of the rings
};

// The whole archive played as fast as possible. Dispatch only: a loop empties the rings
// directly, as fast as it can, and never runs a service pass. Service path: the program's own
// way, the data timer's pass every 100 ms plus the passes the link asks for, each channel's
// bytes going to its terminal window.
TPlaybackFigures PlayFast(TBenchPrompt& prompt, bool servicePath,
                          std::vector<TCountingView>& views)
{
    prompt.realTime = false;
    for (TCountingView& view : views) {
        view.shown = 0;
    }
    QTimer dataTimer;
    QObject::connect(&dataTimer, &QTimer::timeout, [] { MuxArray->Service(NowDateTime()); });
    Host.PlayArchive(true);
    QElapsedTimer timer;
    timer.start();
    TPlaybackFigures figures;
    if (servicePath) {
        dataTimer.start(kDataTimerMs);
        QEventLoop loop;
        QTimer end;
        QObject::connect(&end, &QTimer::timeout, [&loop] {
            if (!PlaybackFileOpen()) {
                loop.quit();
            }
        });
        end.start(5);
        loop.exec();
        dataTimer.stop();
    } else {
        while (PlaybackFileOpen()) {
            figures.taken += DrainRings();
            QThread::yieldCurrentThread();
        }
    }
    figures.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (servicePath) {
        MuxArray->Service(NowDateTime());
        for (const TCountingView& view : views) {
            figures.taken += view.shown;
        }
    } else {
        figures.taken += DrainRings();
    }
    figures.packets = PacketCounters().dataPacketsReceived.load();
    figures.payload = Host.BytesReceived();
    Host.PlayArchive(false);
    // What the link posted meanwhile (status, service requests) runs before the next run.
    QCoreApplication::processEvents();
    return figures;
}

void PrintFigures(const char* title, const TPlaybackFigures& f, qint64 fileBytes)
{
    std::printf("%s: %u packets, %.1f MB of payload in %.2f s\n", title, f.packets,
                static_cast<double>(f.payload) / 1e6, f.seconds);
    std::printf("  %.1f MB/s of archive file, %.0f packets/s, %.1f MB/s payload\n",
                static_cast<double>(fileBytes) / 1e6 / f.seconds, f.packets / f.seconds,
                static_cast<double>(f.payload) / 1e6 / f.seconds);
    std::printf("  payload taken out of the rings: %.1f MB (%.1f%%)\n",
                static_cast<double>(f.taken) / 1e6,
                f.payload > 0 ? 100.0 * static_cast<double>(f.taken) / f.payload : 0.0);
}

void FastPlayback(TBenchPrompt& prompt, const QString& folder, std::vector<TCountingView>& views)
{
    const long rssBefore = PeakResidentKb();
    QElapsedTimer timer;
    timer.start();
    prompt.file = folder + QStringLiteral("/big.dar");
    const qint64 size = WriteBigArchive(prompt.file);
    std::printf("archive: %.1f MB written in %.2f s (peak memory so far %ld kB)\n",
                static_cast<double>(size) / 1e6, static_cast<double>(timer.elapsed()) / 1000.0,
                rssBefore);

    const TPlaybackFigures dispatch = PlayFast(prompt, false, views);
    PrintFigures("fast playback, dispatch only (rings emptied directly)", dispatch, size);
    const TPlaybackFigures service = PlayFast(prompt, true, views);
    PrintFigures("fast playback through the service pass (100 ms data timer, passes on demand)",
                 service, size);
    const double dispatchRate = static_cast<double>(size) / dispatch.seconds;
    const double serviceRate = static_cast<double>(size) / service.seconds;
    std::printf("  service path / dispatch only: %.0f%% (goal: at least 50%%)\n",
                100.0 * serviceRate / dispatchRate);
    std::printf("  receive errors %u, duplicates dropped %u\n",
                PacketCounters().receiveErrors.load(), ProtocolCounters().duplicates.load());
    std::printf("  peak memory: %ld kB (before the playback %ld kB)\n", PeakResidentKb(), rssBefore);
}

void RealTimePlayback(TBenchPrompt& prompt, const QString& folder)
{
    prompt.file = folder + QStringLiteral("/paced.dar");
    QByteArray file = Header();
    const uint32_t times[] = {1000, 2000, 3000, 3000 + 40000, 3000 + 40000 + 500};
    uint8_t sequence = 0;
    for (uint32_t time : times) {
        file += das::EncodeData(sequence++, 0, time, {{kFirstChannel, "x"}});
    }
    QFile out(prompt.file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return;
    }
    out.write(file);
    out.close();

    prompt.realTime = true;
    Host.PlayArchive(true);
    QElapsedTimer timer;
    timer.start();
    std::vector<double> arrivals;
    while (PlaybackFileOpen() || Host.BytesReceived() > arrivals.size()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        while (arrivals.size() < Host.BytesReceived()) {
            arrivals.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        QThread::usleep(200);
        if (timer.elapsed() > 20000) {
            break;
        }
    }
    Host.PlayArchive(false);
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
    QCoreApplication app(argc, argv);

    TBenchPrompt prompt;
    SetPrompt(&prompt);
    SendQueue = new TDataList;
    TimedQueue = new TDataList;
    // Outlive the table, which lets go of them when it goes.
    std::vector<TCountingView> views(kChannels);
    MuxArray = new TMuxArray;
    for (int i = 0; i < kChannels; ++i) {
        MuxArray->AddChannel(static_cast<uint8_t>(kFirstChannel + i), &views[i]);
    }

    FastPlayback(prompt, home.path(), views);
    RealTimePlayback(prompt, home.path());

    Host.StopThread();
    delete MuxArray;
    MuxArray = nullptr;
    delete TimedQueue;
    TimedQueue = nullptr;
    delete SendQueue;
    SendQueue = nullptr;
    SetPrompt(nullptr);
    return 0;
}
