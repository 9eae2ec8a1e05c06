// Archive playback figures: a 100 MB archive (made at run time in a temporary folder) played
// back as fast as possible, with packets per second and MB per second handed into the channel
// rings while a UI loop drains them as the data timer would, and the process's peak memory;
// then the real-time pace of a small archive: packets recorded 1000 ms apart, and a gap of
// 40 s that is skipped. Prints figures only.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <vector>

#include "link/Archives.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "platform/Prompt.h"
#include "support/TestHome.h"
#include "support/das/DasFrames.h"

namespace {

constexpr qint64 kArchiveBytes = 100LL * 1000 * 1000;
constexpr uint8_t kFirstChannel = 10;
constexpr int kChannels = 4;
// One packet in this many is a host record of PC device port data.
constexpr int kHostRecordEvery = 16;
constexpr uint32_t kPacketSpacingMs = 10;

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

long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

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

// The data timer's part: drains every channel ring; returns the bytes taken.
qint64 DrainRings()
{
    qint64 taken = 0;
    for (int i = 0; i < MuxArray->Count(); ++i) {
        taken += MuxArray->Items(i)->ReadQueue();
    }
    return taken;
}

void FastPlayback(TBenchPrompt& prompt, const QString& folder)
{
    const long rssBefore = PeakRssKb();
    QElapsedTimer timer;
    timer.start();
    prompt.file = folder + QStringLiteral("/big.dar");
    const qint64 size = WriteBigArchive(prompt.file);
    std::printf("archive: %.1f MB written in %.2f s (peak memory so far %ld kB)\n",
                static_cast<double>(size) / 1e6, static_cast<double>(timer.elapsed()) / 1000.0,
                rssBefore);

    prompt.realTime = false;
    Host.PlayArchive(true);
    timer.restart();
    qint64 readByUi = 0;
    while (PlaybackFileOpen()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        readByUi += DrainRings();
        QThread::usleep(500);
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    readByUi += DrainRings();
    const uint32_t packets = PacketCounters().dataPacketsReceived.load();
    const uint32_t bytes = Host.BytesReceived();
    Host.PlayArchive(false);

    std::printf("fast playback: %u packets, %.1f MB of payload in %.2f s\n", packets,
                static_cast<double>(bytes) / 1e6, seconds);
    std::printf("  %.0f packets/s, %.1f MB/s payload into the channel rings, %.1f MB/s of file\n",
                packets / seconds, static_cast<double>(bytes) / 1e6 / seconds,
                static_cast<double>(size) / 1e6 / seconds);
    std::printf("  payload taken by the UI loop: %.1f MB (%.1f%%; playback waits for each ring to be read)\n",
                static_cast<double>(readByUi) / 1e6,
                bytes > 0 ? 100.0 * static_cast<double>(readByUi) / bytes : 0.0);
    std::printf("  receive errors %u, duplicates dropped %u\n",
                PacketCounters().receiveErrors.load(), ProtocolCounters().duplicates.load());
    std::printf("  peak memory: %ld kB (before the playback %ld kB)\n", PeakRssKb(), rssBefore);
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
    MuxArray = new TMuxArray;
    for (int i = 0; i < kChannels; ++i) {
        MuxArray->AddChannel(static_cast<uint8_t>(kFirstChannel + i));
    }

    FastPlayback(prompt, home.path());
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
