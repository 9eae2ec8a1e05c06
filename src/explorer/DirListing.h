#pragma once
// The directory listing the DAS sends on host channel 251 in answer to "DIR", read into the
// explorer's drive and folder tree, its file list and its four status panels.
//
// A listing is plain text in fixed columns, one line per CR, LF or CR LF, closed by a line that
// holds "Directory Complete":
//
//      Volume in drive C is DAS                       (skipped)
//      Volume Serial Number is 1234-ABCD              (skipped)
//      Directory of C:\A\B                            (the folder listed: cols 15-113)
//     .              <DIR>         01-15-24  12:34    ("." and ".." are counted, not listed)
//     DATA.TXT              1,234  01-15-24  12:34    (name 1-12, size 16-27, date 30-51)
//     LOGS           <DIR>         01-16-24  08:00    ("<DIR>" in cols 16-20: a folder)
//              3 file(s)     12,345 bytes             (panels 0 and 2: cols 8-18, 24-40)
//              4 dir(s)      1,234,567 bytes free     (panel 1: the count less the dot
//     Directory Complete                               entries; panel 3: cols 24-45)
//
// The counts end in column 10; one of four digits or more begins left of column 8 and is read
// whole from its first digit.
//
// The tree keeps one top-level node per drive, "C" to the highest drive, and the folders met
// so far; a listing replaces the list's items and prunes the listed folder's children to the
// folders it names. Listing text is Latin-1. Names from the DAS only ever become item texts
// here: the one local file made is a placeholder named "DAS" plus a plain extension in the
// cache folder, so that the desktop's icon and type name of that extension can be asked for.
//
// UI thread only. Needs no window: it works on item models and selection models, and tells
// the window what else changes through hooks.

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "explorer/ExplorerConstants.h"
#include "explorer/ShellFileInfo.h"

class QItemSelectionModel;

// The tree's and the list's items: each holds an image index rather than an icon, which the
// model's image source turns into the icon; a tree node's has-children mark shows its expand
// button before its children are known.
class TImageItemModel final : public QStandardItemModel {
public:
    using QStandardItemModel::QStandardItemModel;
    using TImageSource = std::function<QIcon(int index)>;
    void SetImages(TImageSource images) { images_ = std::move(images); }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    // Gives the cell of (row, column), or null: `kept` is the item there now (null in a new
    // row), which the maker may fill anew and give back instead of a new item.
    using TCellMaker = std::function<QStandardItem*(int row, int column, QStandardItem* kept)>;
    // Makes the top-level rows `rows` rows of `columns` cells in one reset, every cell from
    // `cell`: rows beyond go, new rows go in in one step.
    void ResetRows(int rows, int columns, const TCellMaker& cell);

private:
    TImageSource images_;
};

// One cell of a list item; list items sort by the explorer's comparison of their column. A
// listing makes tens of thousands: the text, image, sort key, alignment and flags are plain
// fields rather than a list of item data.
class TListCell final : public QStandardItem {
public:
    explicit TListCell(const QString& text = QString());
    // The cell's values all anew, told to no one (for a cell being put into a model anew).
    void Assign(const QString& text, std::optional<int> image, std::optional<qint64> sortKey,
                Qt::Alignment alignment, bool editable);

    QVariant data(int role = Qt::UserRole + 1) const override;
    void setData(const QVariant& value, int role = Qt::UserRole + 1) override;
    void multiData(QModelRoleDataSpan roleDataSpan) const override;
    bool operator<(const QStandardItem& other) const override;
    QStandardItem* clone() const override { return new TListCell(*this); }

private:
    QString text_;
    std::optional<int> image_;
    std::optional<qint64> sortKey_;
    Qt::Alignment alignment_;
    Qt::ItemFlags flags_;
};

// The comparisons of the list's columns: < 0, 0 or > 0.
// Text without regard to case, only ASCII letters folded.
int CompareAsciiNoCase(const QString& a, const QString& b);
// The text with its ASCII letters folded: such texts compare as CompareAsciiNoCase compares
// the texts themselves. A text without small letters is shared, not copied.
QString FoldedAscii(const QString& text);
// A size text with its thousands commas removed, read as a decimal integer; 0 when it is not
// one ("<DIR>" included).
qint64 SizeTextToNumber(const QString& text);
// A listing's date and time ("MM-DD-YY  HH:MM", month first, optional seconds and AM/PM) in
// whole seconds of a day count; 0 for a text that is not one, so such texts sort first.
// Two-digit years are taken near `thisYear` (by default the year of today).
qint64 DateTextToSeconds(const QString& text);
qint64 DateTextToSeconds(const QString& text, int thisYear);

// What a listing changes besides the models; any hook may be empty.
struct TListingHooks {
    // The window's caption: "DASExplorer - " and the folder listed.
    std::function<void(const QString&)> caption;
    // Expand a tree node and everything below it.
    std::function<void(const QModelIndex&)> expandRecursively;
    // A status panel's new text.
    std::function<void(int panel, const QString&)> panel;
    // A message for the operator; the window shows it after the channel's service is over.
    std::function<void(const QString&)> error;
    // A whole listing is about to be read (true), or has been read (false): the views need
    // not show the models meanwhile. Pieces of a listing still arriving change nothing.
    std::function<void(bool reading)> reading;
};

// The listing reader of one explorer window.
class TDirListing {
public:
    TDirListing(TImageItemModel& tree, QItemSelectionModel& treeSelection, TImageItemModel& list,
                QItemSelectionModel& listSelection);

    // The desktop's file information (not owned; none: no icons or type names).
    void SetShellFileInfo(IShellFileInfo* shell) { shell_ = shell; }
    // The highest drive shown, 0 (C) to 23 (Z); other values are brought into that range.
    int HighestDrive() const { return highestDrive_; }
    void SetHighestDrive(int drive);
    // The local folder of the placeholder files (ends in "/").
    QString CacheDir;
    // The list's sort column (TExplorerColumn) and direction (+1 or -1).
    int SortColumn = kColName;
    int SortDirection = 1;
    TListingHooks hooks;

    // A chunk of channel 251. Every listing whose end marker is complete, also one split
    // across chunks, is parsed on its own; what follows the marker's line waits for the next.
    // Returns the number of listings parsed.
    int ReceiveListingData(const char* data, int length);
    // Bytes waiting for their end marker.
    qsizetype Queued() const { return queue_.size(); }
    // Reads one whole listing into the tree, the list and the panels.
    void ParseListing(const QByteArray& listing);

    // The tree node of a DAS path ("C:\A\B"), made with its missing parents and expanded,
    // selected; the caption names the path. A drive above the highest gives the message and
    // the highest drive's root; a drive letter below C gives drive C's root.
    QStandardItem* FindOrCreatePathNode(const QString& path);
    // The row of the first child whose text is exactly `name`, or -1.
    static int FindChildNode(const QStandardItem* node, const QString& name);
    // Creates (or empties) the file at a native path, with its missing folders.
    static bool CreatePlaceholderFile(const QString& path);
    // The drive roots 0 to the highest drive, appended where missing.
    void EnsureRoots();
    QStandardItem* Root(int drive) const;
    // Sorts the list by SortColumn and SortDirection; the selection stays with its items.
    void SortList();
    // The texts of the list's columns, each in row order, as the last listing put them in;
    // empty when that listing left the list's rows as they were, and once the list was
    // sorted again.
    const std::vector<QStringList>& ListTexts() const { return listTexts_; }
    QString Panel(int panel) const;

private:
    // A list row of the listing being read, with its sort keys.
    struct TListRow {
        std::array<QString, kListColumnCount> texts;
        int image = 0;
        QString name;  // ASCII letters folded
        QString type;  // ASCII letters folded
        qint64 size = 0;
        qint64 modified = 0;
    };

    void ParseLine(QStringView line, QStandardItem*& current, int& dots);
    // Adds the list row of an entry line, and its folder to the tree.
    void AddEntry(QStringView line, QStandardItem* current);
    // What an entry's extension (with its dot) gives its list row: the image, and the type
    // texts with their sort keys, for a file and for a folder.
    struct TEntryType {
        int image = 0;
        QString fileType;    // the desktop's type name, or the extension's letters and " File"
        QString folderType;  // the desktop's type name or nothing
        QString fileKey;     // ASCII letters folded
        QString folderKey;
    };
    // The desktop is asked once per extension and listing; a placeholder file stands for a
    // plain extension. The answer holds until the next call.
    const TEntryType& TypeOf(const QString& name, const QString& ext);
    // The desktop's answer for a query path, made a placeholder first when asked to.
    TShellFileInfo Query(const QString& path, bool placeholder);
    // The indexes of rows_ in the order of SortColumn and SortDirection, equal rows as listed.
    std::vector<int> SortedRows() const;
    // Puts rows_, sorted, into the list in place of its rows.
    void FillList();
    void SetPanel(int panel, const QString& text);
    void Error(const QString& text);

    TImageItemModel& tree_;
    QItemSelectionModel& treeSelection_;
    TImageItemModel& list_;
    QItemSelectionModel& listSelection_;
    IShellFileInfo* shell_ = nullptr;
    int highestDrive_ = 0;
    QByteArray queue_;
    std::array<QString, kExplorerPanelCount> panels_;
    // The answers of the listing being read: by extension, and by name for ".EXT".
    QHash<QString, TEntryType> answers_;
    QHash<QString, TEntryType> nameAnswers_;
    // The year two-digit years of the listing being read are taken near.
    int thisYear_ = 0;
    std::vector<TListRow> rows_;
    std::vector<QStringList> listTexts_;
    // The children of the folder node being listed, by name (the first of equal names).
    const QStandardItem* indexedNode_ = nullptr;
    QHash<QString, int> childRows_;
};
