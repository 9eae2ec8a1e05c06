#include "explorer/DirListing.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <algorithm>
#include <numeric>

#include "explorer/ShellFileInfo.h"
#include "station/CommandBlocks.h"

namespace {

// The line kinds, tested in this order.
const QString kVolumeLabel = QStringLiteral(" Volume in");
const QString kVolumeSerial = QStringLiteral(" Volume Se");
const QString kDirectoryOf = QStringLiteral(" Directory of ");
const QString kFolderSize = QStringLiteral("<DIR>");

// Columns a to b (from 1) of a line; shorter or empty when the line is shorter.
QStringView Columns(QStringView line, int a, int b) { return line.mid(a - 1, b - a + 1); }

// The first column of a summary's count that the DAS writes right-aligned to column 10: `from`,
// or further left where a count of more digits than the columns from `from` hold begins, so
// that the count is read whole.
int CountStart(QStringView line, int from)
{
    if (line.size() < from || !line[from - 1].isDigit()) {
        return from;
    }
    while (from > 1 && line[from - 2].isDigit()) {
        --from;
    }
    return from;
}

bool IsBlankOrControl(QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; }

// The text without blanks and control characters at either end.
QStringView TrimControls(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && IsBlankOrControl(text[first])) {
        ++first;
    }
    while (last > first && IsBlankOrControl(text[last - 1])) {
        --last;
    }
    return text.mid(first, last - first);
}

// An extension that names a placeholder file inside the cache folder and nothing else: no
// separator, no control character, no drive colon, not too long.
bool IsPlainExtension(const QString& ext)
{
    if (ext.size() > kMaxPlaceholderExtChars) {
        return false;
    }
    return std::none_of(ext.begin(), ext.end(), [](QChar c) {
        return IsBlankOrControl(c) || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
               c == QLatin1Char(':');
    });
}

QStandardItem* NewNode(const QString& text, int image)
{
    auto* node = new QStandardItem(text);
    node->setEditable(false);
    node->setData(image, kImageRole);
    node->setData(true, kHasChildrenRole);
    return node;
}

}  // namespace

// --- The listing ---

TDirListing::TDirListing(TImageItemModel& tree, QItemSelectionModel& treeSelection,
                         TImageItemModel& list, QItemSelectionModel& listSelection)
    : tree_(tree), treeSelection_(treeSelection), list_(list), listSelection_(listSelection)
{
}

void TDirListing::SetHighestDrive(int drive)
{
    highestDrive_ = std::clamp(drive, 0, kHighestDriveLimit);
}

int TDirListing::ReceiveListingData(const char* data, int length)
{
    if (data == nullptr || length <= 0) {
        return 0;
    }
    // The marker may have begun in the bytes already queued.
    qsizetype from = std::max<qsizetype>(0, queue_.size() - (kListingEndMarker.size() - 1));
    queue_.append(data, length);
    int parsed = 0;
    for (;;) {
        const qsizetype at = queue_.indexOf(kListingEndMarker, from);
        if (at < 0) {
            break;
        }
        // The listing takes the marker's line with its line end, when that has come.
        qsizetype end = at + kListingEndMarker.size();
        const qsizetype lineEnd = queue_.indexOf('\n', end);
        const qsizetype crEnd = queue_.indexOf('\r', end);
        if (crEnd >= 0 && (lineEnd < 0 || crEnd < lineEnd)) {
            end = crEnd + (crEnd + 1 < queue_.size() && queue_[crEnd + 1] == '\n' ? 2 : 1);
        } else if (lineEnd >= 0) {
            end = lineEnd + 1;
        }
        const QByteArray listing = queue_.left(end);
        queue_.remove(0, end);
        from = 0;
        ParseListing(listing);
        ++parsed;
    }
    if (queue_.size() > kMaxListingBytes) {
        queue_.clear();
    }
    return parsed;
}

void TDirListing::ParseListing(const QByteArray& listing)
{
    if (hooks.reading) {
        hooks.reading(true);
    }
    const QStringList lines = SplitBlockLines(QString::fromLatin1(listing));
    answers_.clear();
    nameAnswers_.clear();
    thisYear_ = QDate::currentDate().year();
    EnsureRoots();
    QStandardItem* current = Root(0);
    int dots = 0;

    int remembered = -1;
    for (const QModelIndex& row : listSelection_.selectedIndexes()) {
        remembered = remembered < 0 ? row.row() : std::min(remembered, row.row());
    }
    const bool replaced = lines.size() >= 3;
    if (replaced) {
        rows_.clear();
        rows_.reserve(static_cast<size_t>(lines.size()));
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            ParseLine(lines[i], current, dots);
        }
        FillList();
    } else {
        listTexts_.clear();
    }
    indexedNode_ = nullptr;
    childRows_.clear();
    // Folders of the listed folder that the listing no longer names go, with their subtrees;
    // from the last child backwards, so that no neighbour is skipped.
    if (current != nullptr) {
        for (int row = current->rowCount() - 1; row >= 0; --row) {
            if (current->child(row)->data(kSeenRole).toInt() == 0) {
                current->removeRow(row);
            }
        }
        current->setData(current->rowCount() > 0, kHasChildrenRole);
    }
    if (!replaced) {
        SortList();
    }
    if (remembered >= 0 && remembered < list_.rowCount()) {
        const QModelIndex index = list_.index(remembered, 0);
        listSelection_.select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        listSelection_.setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    if (hooks.reading) {
        hooks.reading(false);
    }
}

void TDirListing::FillList()
{
    // Sorted before they go in, each key made once.
    const std::vector<int> order = SortedRows();
    listTexts_.assign(kListColumnCount, QStringList());
    for (size_t c = 0; c < listTexts_.size(); ++c) {
        listTexts_[c].reserve(static_cast<qsizetype>(rows_.size()));
        for (const int r : order) {
            listTexts_[c] << rows_[static_cast<size_t>(r)].texts[c];
        }
    }
    // The cells of the rows the list had are filled anew: a listing of a large folder would
    // otherwise free and make as many items again.
    list_.ResetRows(static_cast<int>(rows_.size()), kListColumnCount,
                    [this, &order](int r, int column, QStandardItem* kept) -> QStandardItem* {
                        auto* cell = dynamic_cast<TListCell*>(kept);
                        if (cell == nullptr) {
                            cell = new TListCell;
                        }
                        const TListRow& row =
                            rows_[static_cast<size_t>(order[static_cast<size_t>(r)])];
                        const QString& text = row.texts[static_cast<size_t>(column)];
                        switch (column) {
                        case kColName:
                            cell->Assign(text, row.image, std::nullopt, {}, true);
                            break;
                        case kColSize:
                            cell->Assign(text, std::nullopt, row.size,
                                         Qt::AlignRight | Qt::AlignVCenter, false);
                            break;
                        case kColModified:
                            cell->Assign(text, std::nullopt, row.modified, {}, false);
                            break;
                        default:
                            cell->Assign(text, std::nullopt, std::nullopt, {}, false);
                            break;
                        }
                        return cell;
                    });
    rows_.clear();
}

void TDirListing::ParseLine(QStringView line, QStandardItem*& current, int& dots)
{
    const QStringView head = Columns(line, 1, 10);
    if (head == kVolumeLabel || head == kVolumeSerial) {
        return;
    }
    if (line.startsWith(QLatin1Char('.'))) {
        ++dots;
        return;
    }
    if (Columns(line, 1, 14) == kDirectoryOf) {
        current = FindOrCreatePathNode(Columns(line, 15, 113).toString());
        indexedNode_ = nullptr;  // the path may have added children anywhere
        for (int row = 0; current != nullptr && row < current->rowCount(); ++row) {
            current->child(row)->setData(0, kSeenRole);
        }
        return;
    }
    if (Columns(line, 12, 15) == QLatin1String("file")) {
        SetPanel(0, Columns(line, CountStart(line, 8), 18).toString());
        SetPanel(2, Columns(line, 24, 40).toString());
        return;
    }
    if (Columns(line, 12, 14) == QLatin1String("dir")) {
        bool ok = false;
        qint64 n = Columns(line, CountStart(line, 8), 10).trimmed().toLongLong(&ok);
        if (!ok) {
            n = dots;
        }
        SetPanel(1, QString::number(n - dots) + QStringLiteral(" dir(s)"));
        SetPanel(3, Columns(line, 24, 45).toString());
        return;
    }
    AddEntry(line, current);
}

void TDirListing::AddEntry(QStringView line, QStandardItem* current)
{
    TListRow* added = nullptr;
    const QString name = TrimControls(Columns(line, 1, 12)).toString();
    if (!TrimControls(line).isEmpty()) {
        const QString size = TrimControls(Columns(line, 16, 27)).toString();
        const QString modified = TrimControls(Columns(line, 30, 51)).toString();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString ext = dot >= 0 ? name.mid(dot) : QString();

        const TEntryType& type = TypeOf(name, ext);
        const bool folder = size == kFolderSize;
        TListRow row;
        row.texts = {name, size, folder ? type.folderType : type.fileType, modified};
        row.image = type.image;
        row.name = FoldedAscii(name);
        row.type = folder ? type.folderKey : type.fileKey;
        row.size = SizeTextToNumber(size);
        row.modified = DateTextToSeconds(modified, thisYear_);
        rows_.push_back(std::move(row));
        added = &rows_.back();
    }
    if (Columns(line, 16, 20) != kFolderSize || current == nullptr || name.isEmpty()) {
        return;
    }
    // A folder of many folders: its children are looked up by name, not one by one.
    if (indexedNode_ != current) {
        indexedNode_ = current;
        childRows_.clear();
        for (int r = current->rowCount() - 1; r >= 0; --r) {
            childRows_.insert(current->child(r)->text(), r);
        }
    }
    const int row = childRows_.value(name, -1);
    QStandardItem* node = row >= 0 ? current->child(row) : nullptr;
    if (node == nullptr) {
        node = NewNode(name, kTreeFolderImage);
        current->appendRow(node);
        childRows_.insert(name, current->rowCount() - 1);
    }
    node->setData(1, kSeenRole);
    if (added != nullptr) {
        added->image = kListFolderImage;
    }
}

const TDirListing::TEntryType& TDirListing::TypeOf(const QString& name, const QString& ext)
{
    // ".EXT" is asked about by the entry's own name, and no placeholder stands for it.
    const bool byName = ext == QLatin1String(".EXT");
    // The entries of a folder share few extensions: one question each per listing.
    QHash<QString, TEntryType>& answers = byName ? nameAnswers_ : answers_;
    const QString& key = byName ? name : ext;
    const auto known = answers.constFind(key);
    if (known != answers.constEnd()) {
        return known.value();
    }
    TShellFileInfo info;
    if (byName) {
        info = Query(name, false);
    } else if (IsPlainExtension(ext)) {
        info = Query(CacheDir + QStringLiteral("DAS") + ext, true);
    }
    TEntryType type;
    type.image = info.iconIndex == kIconUnknown || info.iconIndex == kIconFolder ? kListFileImage
                                                                                 : info.iconIndex;
    type.folderType = info.typeName;
    type.fileType =
        info.typeName.isEmpty() ? ext.mid(1, 3) + QStringLiteral(" File") : info.typeName;
    type.folderKey = FoldedAscii(type.folderType);
    type.fileKey = FoldedAscii(type.fileType);
    return *answers.insert(key, type);
}

TShellFileInfo TDirListing::Query(const QString& path, bool placeholder)
{
    if (placeholder && !QFileInfo::exists(path)) {
        CreatePlaceholderFile(path);
    }
    return shell_ != nullptr ? shell_->Query(path) : TShellFileInfo();
}

QStandardItem* TDirListing::FindOrCreatePathNode(const QString& path)
{
    if (hooks.caption) {
        hooks.caption(kExplorerCaption + QStringLiteral(" - ") + path);
    }
    EnsureRoots();
    QStandardItem* node = Root(0);
    const QString trimmed = TrimControls(path).toString();
    if (trimmed.size() > 2 && node != nullptr) {
        int drive = trimmed[0].toUpper().unicode() - 'C';
        if (drive > highestDrive_) {
            Error(kRaiseHighestDrive);
            drive = highestDrive_;
        }
        node = Root(std::max(drive, 0));
        for (const QString& name : trimmed.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
            const int row = FindChildNode(node, name);
            QStandardItem* child = row >= 0 ? node->child(row) : nullptr;
            if (child == nullptr) {
                child = NewNode(name, kTreeFolderImage);
                node->appendRow(child);
            }
            node = child;
            if (hooks.expandRecursively) {
                hooks.expandRecursively(node->index());
            }
        }
    }
    if (node != nullptr) {
        treeSelection_.setCurrentIndex(node->index(), QItemSelectionModel::ClearAndSelect);
        node->setData(node->rowCount() > 0, kHasChildrenRole);
    }
    return node;
}

int TDirListing::FindChildNode(const QStandardItem* node, const QString& name)
{
    for (int row = 0; node != nullptr && row < node->rowCount(); ++row) {
        if (node->child(row)->text() == name) {
            return row;
        }
    }
    return -1;
}

bool TDirListing::CreatePlaceholderFile(const QString& path)
{
    const QString folder = QFileInfo(path).path();
    if (!folder.isEmpty() && !QDir().mkpath(folder)) {
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void TDirListing::EnsureRoots()
{
    for (int drive = 0; drive <= highestDrive_; ++drive) {
        if (tree_.rowCount() < drive + 1) {
            tree_.appendRow(NewNode(QString(QChar('C' + drive)), kTreeDriveImage));
        }
    }
}

QStandardItem* TDirListing::Root(int drive) const { return tree_.item(drive); }

std::vector<int> TDirListing::SortedRows() const
{
    const int column = std::clamp(SortColumn, 0, kListColumnCount - 1);
    const auto less = [this, column](int x, int y) {
        const TListRow& a = rows_[static_cast<size_t>(x)];
        const TListRow& b = rows_[static_cast<size_t>(y)];
        switch (column) {
        case kColSize:
            return a.size < b.size;
        case kColModified:
            return a.modified < b.modified;
        case kColType:
            return a.type < b.type;
        default:
            return a.name < b.name;
        }
    };
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    // As the model's own sort orders them: stable both ways.
    if (SortDirection < 0) {
        std::stable_sort(order.begin(), order.end(), [&less](int x, int y) { return less(y, x); });
    } else {
        std::stable_sort(order.begin(), order.end(), less);
    }
    return order;
}

void TDirListing::SortList()
{
    listTexts_.clear();
    list_.sort(std::clamp(SortColumn, 0, kListColumnCount - 1),
               SortDirection < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QString TDirListing::Panel(int panel) const
{
    return panel >= 0 && panel < kExplorerPanelCount ? panels_[static_cast<size_t>(panel)]
                                                     : QString();
}

void TDirListing::SetPanel(int panel, const QString& text)
{
    panels_[static_cast<size_t>(panel)] = text;
    if (hooks.panel) {
        hooks.panel(panel, text);
    }
}

void TDirListing::Error(const QString& text)
{
    if (hooks.error) {
        hooks.error(text);
    }
}
