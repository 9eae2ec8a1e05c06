// The directory listing reader without a window: listings written in the DAS's fixed columns,
// read into the tree, the list, the panels and the placeholder files.
#include "explorer/DirListing.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include "explorer/ShellFileInfo.h"

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The listing of C:\A\B, every line ended by CR LF; the summaries keep their trailing blanks.
const char* const kListingAB =
    " Volume in drive C is DAS\r\n"
    " Volume Serial Number is 1234-ABCD\r\n"
    " Directory of C:\\A\\B\r\n"
    "\r\n"
    ".              <DIR>         01-15-24  12:34\r\n"
    "..             <DIR>         01-15-24  12:34\r\n"
    "DATA.TXT              1,234  01-15-24  12:34\r\n"
    "LOGS           <DIR>         01-16-24  08:00\r\n"
    "README                   10  01-17-24  09:00\r\n"
    "CFG.DAT              32,768  01-18-24  10:00\r\n"
    "         3 file(s)     12,345 bytes     \r\n"
    "         4 dir(s)      1,234,567 bytes free  \r\n"
    "Directory Complete\r\n";

// A listing of `path` with the given entry lines and summaries.
QByteArray Listing(const QByteArray& path, const QByteArray& entries,
                   const QByteArray& dirSummary = "         2 dir(s)      1,000 bytes free      ")
{
    return " Volume in drive C is DAS\r\n Directory of " + path + "\r\n\r\n" + entries +
           "         0 file(s)     0 bytes          \r\n" + dirSummary +
           "\r\nDirectory Complete\r\n";
}

QByteArray Folder(const QByteArray& name)
{
    return name.leftJustified(12, ' ') + "   <DIR>         01-16-24  08:00\r\n";
}

QByteArray File(const QByteArray& name, const QByteArray& size)
{
    return name.leftJustified(12, ' ') + "   " + size.rightJustified(12, ' ') +
           "  01-16-24  08:00\r\n";
}

// A desktop that knows no file type, except what a test tells it; it records the queries.
class TFakeShell final : public IShellFileInfo {
public:
    TShellFileInfo Query(const QString& path) override
    {
        queries << path;
        return {0, typeNames.value(QFileInfo(path).fileName())};
    }
    QIcon Icon(int) const override { return QIcon(); }

    QStringList queries;
    QHash<QString, QString> typeNames;
};

class DirListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(CacheDir()));
        listing.CacheDir = CacheDir() + QLatin1Char('/');
        listing.SetShellFileInfo(&shell);
        listing.hooks.caption = [this](const QString& text) { caption = text; };
        listing.hooks.error = [this](const QString& text) { errors << text; };
        list.setColumnCount(kListColumnCount);
    }

    QString CacheDir() const { return home.filePath(QStringLiteral("cache")); }

    int Feed(const QByteArray& bytes)
    {
        return listing.ReceiveListingData(bytes.constData(), static_cast<int>(bytes.size()));
    }

    // Each list row as "name|size|type|modified|image".
    QStringList Rows() const
    {
        QStringList rows;
        for (int r = 0; r < list.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < kListColumnCount; ++c) {
                cells << list.item(r, c)->text();
            }
            cells << QString::number(list.item(r, 0)->data(kImageRole).toInt());
            rows << cells.join(QLatin1Char('|'));
        }
        return rows;
    }

    QStringList Names() const
    {
        QStringList names;
        for (int r = 0; r < list.rowCount(); ++r) {
            names << list.item(r, 0)->text();
        }
        return names;
    }

    static QStringList Children(const QStandardItem* node)
    {
        QStringList names;
        for (int r = 0; node != nullptr && r < node->rowCount(); ++r) {
            names << node->child(r)->text();
        }
        return names;
    }

    QStandardItem* Node(const QStringList& path) const
    {
        QStandardItem* node = listing.Root(0);
        for (const QString& name : path) {
            const int row = TDirListing::FindChildNode(node, name);
            node = row >= 0 ? node->child(row) : nullptr;
            if (node == nullptr) {
                return nullptr;
            }
        }
        return node;
    }

    QList<int> SelectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex& index : listSelection.selectedRows()) {
            rows << index.row();
        }
        return rows;
    }

    QTemporaryDir home;
    TImageItemModel tree;
    QItemSelectionModel treeSelection{&tree};
    TImageItemModel list;
    QItemSelectionModel listSelection{&list};
    TFakeShell shell;
    TDirListing listing{tree, treeSelection, list, listSelection};
    QString caption;
    QStringList errors;
};

TEST_F(DirListingTest, AListingFillsTheTreeTheListAndThePanels)
{
    EXPECT_EQ(Feed(kListingAB), 1);

    EXPECT_EQ(caption, QStringLiteral("DASExplorer - C:\\A\\B"));
    ASSERT_EQ(tree.rowCount(), 1);
    QStandardItem* c = tree.item(0);
    EXPECT_EQ(c->text(), QStringLiteral("C"));
    EXPECT_EQ(c->data(kImageRole).toInt(), 2);
    QStandardItem* b = Node({QStringLiteral("A"), QStringLiteral("B")});
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->parent()->data(kImageRole).toInt(), 1);
    EXPECT_EQ(b->data(kImageRole).toInt(), 1);
    EXPECT_EQ(treeSelection.currentIndex(), b->index());
    EXPECT_TRUE(treeSelection.isSelected(b->index()));
    EXPECT_EQ(Children(b), QStringList{QStringLiteral("LOGS")});
    EXPECT_EQ(b->child(0)->data(kImageRole).toInt(), 1);
    EXPECT_EQ(b->child(0)->data(kSeenRole).toInt(), 1);
    EXPECT_TRUE(tree.hasChildren(b->child(0)->index()));

    EXPECT_EQ(Rows(), (QStringList{
                          QStringLiteral("CFG.DAT|32,768|DAT File|01-18-24  10:00|4"),
                          QStringLiteral("DATA.TXT|1,234|TXT File|01-15-24  12:34|4"),
                          QStringLiteral("LOGS|<DIR>||01-16-24  08:00|3"),
                          QStringLiteral("README|10| File|01-17-24  09:00|4"),
                      }));

    EXPECT_EQ(listing.Panel(0), QStringLiteral("  3 file(s)"));
    EXPECT_EQ(listing.Panel(1), QStringLiteral("2 dir(s)"));
    EXPECT_EQ(listing.Panel(2), QStringLiteral("12,345 bytes     "));
    EXPECT_EQ(listing.Panel(3), QStringLiteral("1,234,567 bytes free  "));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(listing.Queued(), 0);

    // One placeholder per extension, README and LOGS sharing "DAS".
    EXPECT_EQ(
        QDir(CacheDir()).entryList(QDir::Files, QDir::Name),
        (QStringList{QStringLiteral("DAS"), QStringLiteral("DAS.DAT"), QStringLiteral("DAS.TXT")}));
    EXPECT_EQ(QFileInfo(CacheDir() + QStringLiteral("/DAS.TXT")).size(), 0);
    EXPECT_TRUE(shell.queries.contains(listing.CacheDir + QStringLiteral("DAS.TXT")));
}

TEST_F(DirListingTest, ChunksAreParsedOnceTheirMarkerIsWholeEvenWhenItIsSplit)
{
    const QByteArray text(kListingAB);
    const qsizetype cut = text.indexOf("Directory Comp") + 14;
    EXPECT_EQ(Feed(text.left(100)), 0);
    EXPECT_EQ(Feed(text.mid(100, cut - 100)), 0);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(Feed(text.mid(cut)), 1);
    EXPECT_EQ(Names().size(), 4);

    // The marker cut inside its last letter, and a line end that comes on its own.
    EXPECT_EQ(Feed(Listing("C:\\", Folder("X")).chopped(3)), 0);
    EXPECT_EQ(Feed("e"), 1);
    EXPECT_EQ(Names(), QStringList{QStringLiteral("X")});
    EXPECT_EQ(Feed("\r\n"), 0);

    // Two listings in one chunk, and the start of a third: each is read on its own, the
    // third waits for its end.
    const QByteArray two = Listing("C:\\", Folder("ONE")) + Listing("C:\\A", File("TWO.TXT", "5")) +
                           " Volume in drive C is DAS\r\n";
    EXPECT_EQ(Feed(two), 2);
    EXPECT_EQ(Names(), QStringList{QStringLiteral("TWO.TXT")});
    // A was made by the path; only the listed folder's children are pruned.
    EXPECT_EQ(Children(listing.Root(0)), (QStringList{QStringLiteral("ONE"), QStringLiteral("A")}));
    EXPECT_GT(listing.Queued(), 0);
    EXPECT_EQ(Feed(" Directory of C:\\ONE\r\n" + File("THREE", "1") + "Directory Complete\r\n"), 1);
    EXPECT_EQ(Names(), QStringList{QStringLiteral("THREE")});
    EXPECT_EQ(caption, QStringLiteral("DASExplorer - C:\\ONE"));
}

TEST_F(DirListingTest, FolderNodesArePrunedToWhatTheListingNames)
{
    Feed(Listing("C:\\", Folder("A") + Folder("B") + Folder("C") + Folder("D")));
    EXPECT_EQ(Children(listing.Root(0)), (QStringList{QStringLiteral("A"), QStringLiteral("B"),
                                                      QStringLiteral("C"), QStringLiteral("D")}));
    QStandardItem* a = Node({QStringLiteral("A")});
    a->appendRow(new QStandardItem(QStringLiteral("KEPT")));

    // B and C vanish together; A keeps its subtree and its node.
    Feed(Listing("C:\\", Folder("A") + Folder("D") + File("X.TXT", "1")));
    EXPECT_EQ(Children(listing.Root(0)), (QStringList{QStringLiteral("A"), QStringLiteral("D")}));
    EXPECT_EQ(Node({QStringLiteral("A")}), a);
    EXPECT_EQ(Children(a), QStringList{QStringLiteral("KEPT")});

    // A listing without folders takes every folder node of the listed folder.
    Feed(Listing("C:\\", File("X.TXT", "1")));
    EXPECT_TRUE(Children(listing.Root(0)).isEmpty());
    EXPECT_FALSE(tree.hasChildren(listing.Root(0)->index()));
}

TEST_F(DirListingTest, AMarkerAloneKeepsTheItemsButPrunesDriveCAndRestoresTheSelection)
{
    Feed(Listing("C:\\", File("B.TXT", "2") + File("A.TXT", "1") + File("C.TXT", "3")));
    Feed(Listing("C:\\Q\\R", File("R1", "1") + File("R2", "2") + File("R3", "3")));
    ASSERT_NE(Node({QStringLiteral("Q")}), nullptr);
    listSelection.select(list.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    EXPECT_EQ(Feed("Directory Complete\r\n"), 1);
    EXPECT_EQ(Names(),
              (QStringList{QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3")}));
    // Q was made by the path and never named by a listing of C:\.
    EXPECT_TRUE(Children(listing.Root(0)).isEmpty());
    EXPECT_EQ(SelectedRows(), QList<int>{1});
}

TEST_F(DirListingTest, TheSelectedIndexIsSelectedAgainWhenTheNewListHasIt)
{
    Feed(Listing("C:\\", File("A", "1") + File("B", "1") + File("C", "1")));
    listSelection.select(list.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    listSelection.select(list.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    Feed(Listing("C:\\", File("D", "1") + File("E", "1")));
    EXPECT_EQ(SelectedRows(), QList<int>{1});
    EXPECT_EQ(Names()[1], QStringLiteral("E"));

    Feed(Listing("C:\\", File("F", "1")));
    EXPECT_TRUE(SelectedRows().isEmpty());
}

TEST_F(DirListingTest, DrivesBeyondTheHighestAreFiledUnderItAndRaisingItAddsRoots)
{
    Feed(Listing("E:\\", Folder("ON_E")));
    EXPECT_EQ(errors,
              QStringList{QStringLiteral(
                  "Error: Must Increase the Highest Drive Letter Under \"Manage Partitions\"")});
    EXPECT_EQ(tree.rowCount(), 1);
    EXPECT_EQ(Children(listing.Root(0)), QStringList{QStringLiteral("ON_E")});

    listing.SetHighestDrive(2);
    Feed(Listing("d:\\", Folder("ON_D")));
    ASSERT_EQ(tree.rowCount(), 3);
    EXPECT_EQ(listing.Root(1)->text(), QStringLiteral("D"));
    EXPECT_EQ(listing.Root(2)->text(), QStringLiteral("E"));
    EXPECT_EQ(listing.Root(2)->data(kImageRole).toInt(), 2);
    EXPECT_EQ(Children(listing.Root(1)), QStringList{QStringLiteral("ON_D")});
    EXPECT_EQ(Children(listing.Root(0)), QStringList{QStringLiteral("ON_E")});
    EXPECT_EQ(errors.size(), 1);

    // Drives below C, and bare drive letters, are drive C.
    Feed(Listing("A:\\", Folder("ON_A")));
    Feed(Listing("Z:", Folder("ON_Z")));
    EXPECT_EQ(Children(listing.Root(0)), QStringList{QStringLiteral("ON_Z")});
    EXPECT_EQ(errors.size(), 1);

    listing.SetHighestDrive(-4);
    EXPECT_EQ(listing.HighestDrive(), 0);
    listing.SetHighestDrive(40);
    EXPECT_EQ(listing.HighestDrive(), 23);
    listing.EnsureRoots();
    EXPECT_EQ(tree.rowCount(), 24);
    EXPECT_EQ(listing.Root(23)->text(), QStringLiteral("Z"));
}

TEST_F(DirListingTest, SummariesTypesAndPlaceholders)
{
    // A count that is not a number gives 0 directories whatever the dot lines.
    Feed(Listing("C:\\A", ".              <DIR>\r\n..             <DIR>\r\n",
                 "       xyz dir(s)      9 bytes free"));
    EXPECT_EQ(listing.Panel(1), QStringLiteral("0 dir(s)"));
    EXPECT_EQ(listing.Panel(3), QStringLiteral("9 bytes free"));

    // Counts of four digits and more reach left of the usual columns and are read whole.
    QByteArray wide =
        " Directory of C:\\A\r\n\r\n.              <DIR>\r\n"
        "..             <DIR>\r\n"
        "      9501 file(s)     12,345 bytes     \r\n"
        "     12034 dir(s)      1,000 bytes free      \r\n"
        "Directory Complete\r\n";
    Feed(wide);
    EXPECT_EQ(listing.Panel(0), QStringLiteral("9501 file(s)"));
    EXPECT_EQ(listing.Panel(1), QStringLiteral("12032 dir(s)"));
    Feed(wide.replace("      9501 file(s)", "1234567890 file(s)")
             .replace("     12034 dir(s)", "      1000 dir(s)"));
    EXPECT_EQ(listing.Panel(0), QStringLiteral("1234567890 file(s)"));
    EXPECT_EQ(listing.Panel(1), QStringLiteral("998 dir(s)"));

    const QString dasTxt = CacheDir() + QStringLiteral("/DAS.TXT");
    Feed(Listing("C:\\A", File("ONE.TXT", "1")));
    const QDateTime made = QFileInfo(dasTxt).lastModified();
    ASSERT_TRUE(made.isValid());
    QThread::msleep(20);
    shell.typeNames.insert(QStringLiteral("DAS.DAT"), QStringLiteral("Data"));
    shell.queries.clear();
    Feed(Listing("C:\\A", File("TWO.TXT", "1") + File("Q.DAT", "1") + File("X.EXT", "1")));
    EXPECT_EQ(QFileInfo(dasTxt).lastModified(), made);
    EXPECT_EQ(Rows(), (QStringList{QStringLiteral("Q.DAT|1|Data|01-16-24  08:00|4"),
                                   QStringLiteral("TWO.TXT|1|TXT File|01-16-24  08:00|4"),
                                   QStringLiteral("X.EXT|1|EXT File|01-16-24  08:00|4")}));
    // ".EXT" is asked about by the entry's own name, with no placeholder.
    EXPECT_TRUE(shell.queries.contains(QStringLiteral("X.EXT")));
    EXPECT_FALSE(QFileInfo::exists(CacheDir() + QStringLiteral("/DAS.EXT")));
}

TEST_F(DirListingTest, ColumnsSortByTheirOwnOrderBothWays)
{
    Feed(Listing("C:\\", File("b.txt", "1,000") + Folder("SUB") + File("A.LOG", "20") +
                             "C.DAT                     3  12-31-23  23:59\r\n"));
    EXPECT_EQ(Names(), (QStringList{QStringLiteral("A.LOG"), QStringLiteral("b.txt"),
                                    QStringLiteral("C.DAT"), QStringLiteral("SUB")}));
    listing.SortColumn = kColSize;
    listing.SortList();
    EXPECT_EQ(Names(), (QStringList{QStringLiteral("SUB"), QStringLiteral("C.DAT"),
                                    QStringLiteral("A.LOG"), QStringLiteral("b.txt")}));
    listing.SortDirection = -1;
    listing.SortList();
    EXPECT_EQ(Names(), (QStringList{QStringLiteral("b.txt"), QStringLiteral("A.LOG"),
                                    QStringLiteral("C.DAT"), QStringLiteral("SUB")}));
    listing.SortColumn = kColModified;
    listing.SortDirection = 1;
    listing.SortList();
    EXPECT_EQ(Names().first(), QStringLiteral("C.DAT"));

    // Dates read month first; two-digit years near today; what is no date sorts first.
    EXPECT_LT(DateTextToSeconds(QStringLiteral("12-31-23  23:59")),
              DateTextToSeconds(QStringLiteral("01-01-24  00:00")));
    EXPECT_EQ(DateTextToSeconds(QStringLiteral("01-02-24  00:00")) -
                  DateTextToSeconds(QStringLiteral("01-01-24  00:00")),
              86400);
    EXPECT_EQ(DateTextToSeconds(QStringLiteral("01-01-24  1:00p")) -
                  DateTextToSeconds(QStringLiteral("01-01-24  00:00")),
              13 * 3600);
    EXPECT_EQ(DateTextToSeconds(QStringLiteral("13-01-24  00:00")), 0);
    EXPECT_EQ(DateTextToSeconds(QStringLiteral("<DIR>")), 0);
    EXPECT_EQ(SizeTextToNumber(QStringLiteral("1,234,567")), 1234567);
    EXPECT_EQ(SizeTextToNumber(QStringLiteral("<DIR>")), 0);
    EXPECT_LT(CompareAsciiNoCase(QStringLiteral("abc"), QStringLiteral("ABD")), 0);
    EXPECT_EQ(CompareAsciiNoCase(QStringLiteral("readme"), QStringLiteral("README")), 0);
}

TEST_F(DirListingTest, AListingComesInTheOrderAColumnClickWouldGiveIt)
{
    // Ties in every column, small and capital letters, a folder among the files.
    const QByteArray entries = File("b.txt", "20") + Folder("SUB") + File("A.LOG", "20") +
                               File("a.log", "1,000") +
                               "C.DAT                     3  "
                               "12-31-23  23:59\r\n" +
                               File("Z.LOG", "3") + Folder("sub2");
    for (const int column : {kColName, kColSize, kColType, kColModified}) {
        for (const int direction : {1, -1}) {
            SCOPED_TRACE(testing::Message() << "column " << column << ", direction " << direction);
            listing.SortColumn = column;
            listing.SortDirection = direction;
            Feed(Listing("C:\\", entries));
            const QStringList listed = Names();
            listing.SortList();
            EXPECT_EQ(Names(), listed);
        }
    }
    listing.SortColumn = kColSize;
    listing.SortDirection = -1;
    Feed(Listing("C:\\", entries));
    EXPECT_EQ(Names(), (QStringList{QStringLiteral("a.log"), QStringLiteral("b.txt"),
                                    QStringLiteral("A.LOG"), QStringLiteral("C.DAT"),
                                    QStringLiteral("Z.LOG"), QStringLiteral("SUB"),
                                    QStringLiteral("sub2")}));
}

TEST_F(DirListingTest, ARowShowsNothingOfTheEntryItShowedBefore)
{
    shell.typeNames.insert(QStringLiteral("DAS.TXT"), QStringLiteral("Text"));
    Feed(Listing("C:\\", File("A.TXT", "1,234") + File("B.TXT", "5") + Folder("SUB")));
    // Fewer rows: a file's row now shows a folder, and the other way round.
    Feed(Listing("C:\\", Folder("ADIR") + File("B", "7")));
    EXPECT_EQ(Rows(), (QStringList{QStringLiteral("ADIR|<DIR>||01-16-24  08:00|3"),
                                   QStringLiteral("B|7| File|01-16-24  08:00|4")}));
    const auto cell = [this](int row, int column) { return list.item(row, column); };
    EXPECT_EQ(cell(0, kColSize)->data(kSortKeyRole).toLongLong(), 0);
    EXPECT_EQ(cell(1, kColSize)->data(kSortKeyRole).toLongLong(), 7);
    EXPECT_EQ(cell(1, kColSize)->textAlignment(), Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(cell(1, kColType)->textAlignment(), Qt::Alignment());
    EXPECT_FALSE(cell(1, kColType)->data(kSortKeyRole).isValid());
    EXPECT_FALSE(cell(1, kColModified)->data(kImageRole).isValid());
    // More rows again; only the names are edited in place.
    Feed(Listing("C:\\",
                 File("A.TXT", "1") + File("B.TXT", "2") + File("C.TXT", "3") + Folder("D")));
    EXPECT_EQ(Rows(), (QStringList{QStringLiteral("A.TXT|1|Text|01-16-24  08:00|4"),
                                   QStringLiteral("B.TXT|2|Text|01-16-24  08:00|4"),
                                   QStringLiteral("C.TXT|3|Text|01-16-24  08:00|4"),
                                   QStringLiteral("D|<DIR>||01-16-24  08:00|3")}));
    for (int row = 0; row < list.rowCount(); ++row) {
        for (int column = 0; column < kListColumnCount; ++column) {
            EXPECT_EQ(cell(row, column)->isEditable(), column == kColName) << row << column;
        }
    }

    // A cell changed through the model says so, as any item does.
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    list.setData(list.index(2, kColName), QStringLiteral("C2.TXT"));
    EXPECT_EQ(cell(2, kColName)->text(), QStringLiteral("C2.TXT"));
    list.setData(list.index(2, kColSize), 9, kSortKeyRole);
    EXPECT_EQ(cell(2, kColSize)->data(kSortKeyRole).toLongLong(), 9);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(DirListingTest, HostileListingsNeitherCrashNorReachOutsideTheCache)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.append(static_cast<char>((i * 37 + 11) % 256));
    }
    QByteArray deep = " Directory of C:";
    for (int i = 0; i < 60; ++i) {
        deep += "\\..\\X";
    }
    const QByteArray hostile =
        " Directory of C:\\\\..\\\r\n" + File("../../../EVIL.TXT", "1") + File("A./../../B", "1") +
        File("NAME.\\..\\..", "1") + File("X.\x01\x02", "1") +
        File(QByteArray(300, 'L'), QByteArray(200, '9')) + " ..          <DIR>\r\n" + garbage +
        "\r\n" + deep + "\r\n" + QByteArray("\0\0\0", 3) + "\r\nDirectory Complete\r\n";
    EXPECT_EQ(Feed(hostile), 1);
    EXPECT_GT(list.rowCount(), 0);

    // Only plain placeholders, and only in the cache folder.
    const QString parent = QFileInfo(CacheDir()).path();
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("cache")});
    for (const QString& name :
         QDir(CacheDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        EXPECT_TRUE(name.startsWith(QStringLiteral("DAS"))) << name.toStdString();
        EXPECT_TRUE(QFileInfo(CacheDir() + QLatin1Char('/') + name).isFile());
    }

    // Garbage with no marker is dropped once it grows past what a listing can be.
    for (int i = 0; i < 1100; ++i) {
        Feed(garbage.replace("Directory Complete", "x"));
    }
    EXPECT_LT(listing.Queued(), kMaxListingBytes + garbage.size());
}

}  // namespace
