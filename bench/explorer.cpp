// The explorer's listing reader at size: a listing of 10,000 entries (9,500 files of twenty
// kinds and 500 folders), handed to the shown explorer window in the 254-byte pieces the link
// carries, parsed into the tree, the list and the panels. Prints the time of the first listing
// (placeholder files made, the desktop asked about each kind) and the median of five more of
// the same folder, in the report and in the large icon style. Prints figures only.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "BenchFigures.h"
#include "explorer/Dasexplorer.h"
#include "support/TestHome.h"

namespace {

constexpr int kEntries = 10000;
constexpr int kFolders = 500;
constexpr int kPiece = 254;
constexpr int kRepeats = 5;

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

double Feed(TDASExplorerForm& form, const QByteArray& listing)
{
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < listing.size(); at += kPiece) {
        const QByteArray piece = listing.mid(at, kPiece);
        form.ReceiveListingData(piece.constData(), static_cast<int>(piece.size()));
    }
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    TDASExplorerForm form;
    form.SetViewStyle(kExplorerDetails);
    form.show();
    QApplication::processEvents();

    const QByteArray listing = BigListing();
    const double first = Feed(form, listing);
    std::vector<double> report;
    for (int i = 0; i < kRepeats; ++i) {
        report.push_back(Feed(form, listing));
    }
    form.SetViewStyle(kExplorerLargeIcons);
    std::vector<double> icons;
    for (int i = 0; i < kRepeats; ++i) {
        icons.push_back(Feed(form, listing));
    }
    std::printf(
        "explorer bench: %d entries (%lld bytes) in %d-byte pieces: first listing "
        "%.1f ms; again, report %.1f ms, large icons %.1f ms (median of %d); %d rows, "
        "%d folder nodes\n",
        kEntries, static_cast<long long>(listing.size()), kPiece, first, Percentile(report, 0.5),
        Percentile(icons, 0.5), kRepeats, form.ListModel().rowCount(),
        form.TreeModel().item(0)->child(0)->child(0)->rowCount());
    return 0;
}
