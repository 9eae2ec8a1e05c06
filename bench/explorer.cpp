// The explorer at size, through the window's own path: a listing of 10,000 entries (9,500
// files of twenty kinds and 500 folders) put by a link thread into host channel 251 in the
// 254-byte pieces the link carries, as fast as the channel's ring takes them; the data timer's
// service passes and the passes the link asks for hand them to the shown explorer window,
// which reads the listing into its tree, list and panels and paints.
//
// Prints, for the report and the large icon style: the operator's wait from the moment the
// link stored the listing's last piece to the list painted with it (goal: under 100 ms), and
// the UI thread's CPU time for the whole listing, every piece served included (median of
// five listings of the same folder, after a first one that makes the placeholder files).
// Prints figures only.

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "explorer/Dasexplorer.h"
#include "explorer/ExplorerListView.h"
#include "link/MuxClasses.h"
#include "platform/Clocks.h"
#include "support/TestHome.h"

namespace {

constexpr int kEntries = 10000;
constexpr int kFolders = 500;
constexpr int kPiece = 254;
constexpr int kRepeats = 5;
// The main window's data timer.
constexpr int kDataTimerMs = 100;
constexpr double kGoalMs = 100.0;

QByteArray Entry(const QByteArray& name, const QByteArray& size)
{
    const bool folder = size == "<DIR>";
    return name.leftJustified(12, ' ') + "   " +
           (folder ? size.leftJustified(12, ' ') : size.rightJustified(12, ' ')) +
           "  03-14-24  15:09\r\n";
}

QByteArray BigListing()
{
    const char* const kinds[] = {"TXT", "DAT", "LOG", "PXS", "SCR", "CAP", "RAW",
                                 "BIN", "CSV", "INI", "BAT", "CMD", "HEX", "CFG",
                                 "OUT", "TMP", "BAK", "ASC", "SYS", "EXT"};
    QByteArray text =
        " Volume in drive C is DAS\r\n Volume Serial Number is 1234-ABCD\r\n"
        " Directory of C:\\DATA\\2024\r\n\r\n"
        ".              <DIR>         03-14-24  15:09\r\n"
        "..             <DIR>         03-14-24  15:09\r\n";
    for (int i = 0; i < kEntries; ++i) {
        if (i < kFolders) {
            text += Entry("DIR" + QByteArray::number(i).rightJustified(5, '0'), "<DIR>");
        } else {
            QByteArray size = QByteArray::number(static_cast<qint64>(i) * 7919 % 5000000);
            for (qsizetype at = size.size() - 3; at > 0; at -= 3) {
                size.insert(at, ',');
            }
            text += Entry("F" + QByteArray::number(i).rightJustified(7, '0') + '.' + kinds[i % 20],
                          size);
        }
    }
    return text +
           "      9500 file(s)  1,234,567,890 bytes  \r\n"
           "       502 dir(s)      64,000,000 bytes free  \r\nDirectory Complete\r\n";
}

// The main window's forwarding of channel 251 to the explorer.
class TListingReader final : public IFixedChannelReaders {
public:
    explicit TListingReader(TDASExplorerForm& form) : form_(form) {}
    void ReceiveListingData(const char* bytes, int count) override
    {
        form_.ReceiveListingData(bytes, count);
    }

private:
    TDASExplorerForm& form_;
};

// Notes when the list's view has painted a listing's rows: the first paint after the model
// was reset, once that paint is over.
class TPaintWatch final : public QObject {
public:
    explicit TPaintWatch(TDASExplorerForm& form) : form_(form)
    {
        connect(&form.ListModel(), &QAbstractItemModel::modelReset, this,
                [this] { reset_ = true; });
    }
    void Watch()
    {
        for (QAbstractItemView* view : form_.ListView1->Views()) {
            view->viewport()->installEventFilter(this);
        }
    }
    void Arm()
    {
        reset_ = false;
        painted_ = false;
    }
    bool Painted() const { return painted_; }
    std::chrono::steady_clock::time_point PaintedAt() const { return paintedAt_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && reset_ && !painted_ &&
            watched == form_.ListView1->CurrentView()->viewport()) {
            reset_ = false;
            // Runs once this paint is over.
            QTimer::singleShot(0, this, [this] {
                paintedAt_ = std::chrono::steady_clock::now();
                painted_ = true;
            });
        }
        return false;
    }

private:
    TDASExplorerForm& form_;
    bool reset_ = false;
    bool painted_ = false;
    std::chrono::steady_clock::time_point paintedAt_;
};

struct TListingFigures {
    double waitMs = 0;   // last piece stored -> list painted
    double uiCpuMs = 0;  // UI thread, the whole listing
};

// One listing through the channel: a link thread stores the pieces as the ring takes them
// (waiting for room as the link thread does, asking for a pass), the UI thread serves them.
TListingFigures RunListing(const QByteArray& listing, TPaintWatch& watch)
{
    watch.Arm();
    std::atomic<bool> stored{false};
    std::chrono::steady_clock::time_point lastStored;
    const double cpuBefore = ThreadCpuMs();
    std::thread link([&] {
        for (qsizetype at = 0; at < listing.size(); at += kPiece) {
            const int n = static_cast<int>(std::min<qsizetype>(kPiece, listing.size() - at));
            for (;;) {
                const TChannelHold mux = MuxArray->HoldChannel(kDirectoryChannel);
                if (mux->RingFree() >= static_cast<uint32_t>(n)) {
                    mux->PutData(listing.constData() + at, n);
                    break;
                }
                mux->Owner().RequestService();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        lastStored = std::chrono::steady_clock::now();
        stored = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (stored && watch.Painted()) {
            loop.quit();
        }
    });
    poll.start(1);
    loop.exec();
    link.join();
    TListingFigures figures;
    figures.uiCpuMs = ThreadCpuMs() - cpuBefore;
    figures.waitMs =
        std::chrono::duration<double, std::milli>(watch.PaintedAt() - lastStored).count();
    return figures;
}

struct TStyleFigures {
    double waitMs = 0;
    double uiCpuMs = 0;
};

TStyleFigures RunStyle(const QByteArray& listing, TPaintWatch& watch)
{
    std::vector<double> waits;
    std::vector<double> cpu;
    for (int i = 0; i < kRepeats; ++i) {
        const TListingFigures f = RunListing(listing, watch);
        waits.push_back(f.waitMs);
        cpu.push_back(f.uiCpuMs);
    }
    return {Percentile(waits, 0.5), Percentile(cpu, 0.5)};
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    MuxArray = new TMuxArray;
    MuxArray->AddChannel(kDirectoryChannel);
    auto* form = new TDASExplorerForm;
    TListingReader reader(*form);
    MuxArray->SetFixedChannelReaders(&reader);
    form->SetViewStyle(kExplorerDetails);
    form->show();
    QApplication::processEvents();
    TPaintWatch watch(*form);
    watch.Watch();
    QTimer dataTimer;
    QObject::connect(&dataTimer, &QTimer::timeout, [] { MuxArray->Service(NowDateTime()); });
    dataTimer.start(kDataTimerMs);

    const QByteArray listing = BigListing();
    const TListingFigures first = RunListing(listing, watch);
    const TStyleFigures report = RunStyle(listing, watch);
    form->SetViewStyle(kExplorerLargeIcons);
    QApplication::processEvents();
    const TStyleFigures icons = RunStyle(listing, watch);

    std::printf(
        "explorer bench: %d entries (%lld bytes) through host channel 251 in %d-byte pieces "
        "(%d rows, %d folder nodes)\n",
        kEntries, static_cast<long long>(listing.size()), kPiece, form->ListModel().rowCount(),
        form->TreeModel().item(0)->child(0)->child(0)->rowCount());
    const auto line = [](const char* what, double waitMs, double uiCpuMs) {
        std::printf(
            "  %s: last piece stored to list painted %.1f ms (goal under %.0f ms: %s), "
            "UI thread %.1f ms a listing\n",
            what, waitMs, kGoalMs, waitMs < kGoalMs ? "met" : "NOT met", uiCpuMs);
    };
    line("first listing, report", first.waitMs, first.uiCpuMs);
    line("report (median of 5)", report.waitMs, report.uiCpuMs);
    line("large icons (median of 5)", icons.waitMs, icons.uiCpuMs);

    dataTimer.stop();
    MuxArray->SetFixedChannelReaders(nullptr);
    delete form;
    delete MuxArray;
    MuxArray = nullptr;
    return 0;
}
