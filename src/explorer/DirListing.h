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
#include <array>
#include <functional>
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
    // Replaces every top-level row by `rows` (the model takes the items) in one reset.
    void ReplaceRows(const std::vector<QList<QStandardItem*>>& rows);

private:
    TImageSource images_;
};

// One cell of a list item; list items sort by the explorer's comparison of their column.
class TListCell final : public QStandardItem {
public:
    using QStandardItem::QStandardItem;
    bool operator<(const QStandardItem& other) const override;
    QStandardItem* clone() const override { return new TListCell(*this); }
};

// The comparisons of the list's columns: < 0, 0 or > 0.
// Text without regard to case, only ASCII letters folded.
int CompareAsciiNoCase(const QString& a, const QString& b);
// A size text with its thousands commas removed, read as a decimal integer; 0 when it is not
// one ("<DIR>" included).
qint64 SizeTextToNumber(const QString& text);
// A listing's date and time ("MM-DD-YY  HH:MM", month first, optional seconds and AM/PM) in
// whole seconds of a day count; 0 for a text that is not one, so such texts sort first.
qint64 DateTextToSeconds(const QString& text);

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
    QString Panel(int panel) const;

private:
    void ParseLine(const QString& line, QStandardItem*& current, int& dots);
    void AddEntry(const QString& line, QStandardItem* current);
    // The desktop's answer for a query path, made a placeholder first when asked to.
    TShellFileInfo Query(const QString& path, bool placeholder = false);
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
    QHash<QString, TShellFileInfo> answers_;
    // The list's rows of the listing being read.
    std::vector<QList<QStandardItem*>> rows_;
};
