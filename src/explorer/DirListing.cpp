#include "explorer/DirListing.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSignalBlocker>
#include <algorithm>

#include "explorer/ShellFileInfo.h"
#include "platform/DateTimeText.h"
#include "station/CommandBlocks.h"

namespace {

// The line kinds, tested in this order.
const QString kVolumeLabel = QStringLiteral(" Volume in");
const QString kVolumeSerial = QStringLiteral(" Volume Se");
const QString kDirectoryOf = QStringLiteral(" Directory of ");
const QString kFolderSize = QStringLiteral("<DIR>");
constexpr qint64 kSecondsPerDay = 86400;

// Columns a to b (from 1) of a line; shorter or empty when the line is shorter.
QString Columns(const QString& line, int a, int b) { return line.mid(a - 1, b - a + 1); }

// The first column of a summary's count that the DAS writes right-aligned to column 10: `from`,
// or further left where a count of more digits than the columns from `from` hold begins, so
// that the count is read whole.
int CountStart(const QString& line, int from)
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
QString TrimControls(const QString& text)
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

QChar FoldAscii(QChar c)
{
    return c >= QLatin1Char('a') && c <= QLatin1Char('z') ? QChar(c.unicode() - 'a' + 'A') : c;
}

int Sign(qint64 n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

// Reads a date text from left to right.
struct TTextCursor {
    const QString& text;
    qsizetype pos = 0;

    bool AtEnd() const { return pos >= text.size(); }
    int SkipBlanks()
    {
        int n = 0;
        for (; !AtEnd() && text[pos].isSpace(); ++pos) {
            ++n;
        }
        return n;
    }
    bool Take(QChar c)
    {
        if (AtEnd() || text[pos] != c) {
            return false;
        }
        ++pos;
        return true;
    }
    // The date separators as the listing writes them ("-") or as dates are typed ("/").
    bool Separator() { return Take(QLatin1Char('-')) || Take(QLatin1Char('/')); }
    // One to `digits` decimal digits; -1 when there is none.
    int Number(int digits)
    {
        int n = -1;
        for (int i = 0; i < digits && !AtEnd() && text[pos].isDigit(); ++i, ++pos) {
            n = (n < 0 ? 0 : n * 10) + text[pos].digitValue();
        }
        return n;
    }
};

QStandardItem* NewNode(const QString& text, int image)
{
    auto* node = new QStandardItem(text);
    node->setEditable(false);
    node->setData(image, kImageRole);
    node->setData(true, kHasChildrenRole);
    return node;
}

}  // namespace

// --- Models and comparisons ---

QVariant TImageItemModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DecorationRole && index.column() == 0 && images_) {
        const QVariant image = QStandardItemModel::data(index, kImageRole);
        return image.isValid() ? QVariant(images_(image.toInt())) : QVariant();
    }
    return QStandardItemModel::data(index, role);
}

void TImageItemModel::ReplaceRows(const std::vector<QList<QStandardItem*>>& rows)
{
    // One reset instead of a signal per row: the views and the selection start afresh.
    beginResetModel();
    {
        const QSignalBlocker quiet(this);
        removeRows(0, rowCount());
        for (const QList<QStandardItem*>& row : rows) {
            appendRow(row);
        }
    }
    endResetModel();
}

bool TImageItemModel::hasChildren(const QModelIndex& parent) const
{
    if (QStandardItemModel::hasChildren(parent)) {
        return true;
    }
    return parent.isValid() && QStandardItemModel::data(parent, kHasChildrenRole).toBool();
}

int CompareAsciiNoCase(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QChar x = FoldAscii(a[i]);
        const QChar y = FoldAscii(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return Sign(a.size() - b.size());
}

qint64 SizeTextToNumber(const QString& text)
{
    bool ok = false;
    const qint64 n = QString(text).remove(QLatin1Char(',')).trimmed().toLongLong(&ok);
    return ok ? n : 0;
}

qint64 DateTextToSeconds(const QString& text)
{
    TTextCursor at{text};
    at.SkipBlanks();
    const int month = at.Number(2);
    const bool dateSeparators = at.Separator() && month >= 0;
    const int day = at.Number(2);
    const bool secondSeparator = at.Separator();
    const qsizetype yearFrom = at.pos;
    int year = at.Number(4);
    if (!dateSeparators || !secondSeparator || day < 0 || year < 0) {
        return 0;
    }
    if (at.pos - yearFrom <= 2) {
        year = WidenTwoDigitYear(year);
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (at.SkipBlanks() > 0 && !at.AtEnd()) {
        hour = at.Number(2);
        minute = at.Take(QLatin1Char(':')) ? at.Number(2) : -1;
        if (hour < 0 || minute < 0) {
            return 0;
        }
        if (at.Take(QLatin1Char(':'))) {
            second = at.Number(2);
        }
        at.SkipBlanks();
        const QChar half = at.AtEnd() ? QChar() : at.text[at.pos].toUpper();
        if (half == QLatin1Char('A') || half == QLatin1Char('P')) {
            ++at.pos;
            if (!at.Take(QLatin1Char('M'))) {
                at.Take(QLatin1Char('m'));
            }
            if (hour < 1 || hour > 12) {
                return 0;
            }
            hour = hour % 12 + (half == QLatin1Char('P') ? 12 : 0);
        }
    }
    at.SkipBlanks();
    const QDate date(year, month, day);
    if (!at.AtEnd() || !date.isValid() || hour > 23 || minute > 59 || second < 0 || second > 59) {
        return 0;
    }
    return date.toJulianDay() * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

bool TListCell::operator<(const QStandardItem& other) const
{
    switch (column()) {
    case kColSize:
    case kColModified:
        return data(kSortKeyRole).toLongLong() < other.data(kSortKeyRole).toLongLong();
    default:
        return CompareAsciiNoCase(text(), other.text()) < 0;
    }
}

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
    const QStringList lines = SplitBlockLines(QString::fromLatin1(listing));
    answers_.clear();
    EnsureRoots();
    QStandardItem* current = Root(0);
    int dots = 0;

    int remembered = -1;
    for (const QModelIndex& row : listSelection_.selectedIndexes()) {
        remembered = remembered < 0 ? row.row() : std::min(remembered, row.row());
    }
    if (lines.size() >= 3) {
        rows_.clear();
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            ParseLine(lines[i], current, dots);
        }
        list_.ReplaceRows(rows_);
        rows_.clear();
    }
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
    SortList();
    if (remembered >= 0 && remembered < list_.rowCount()) {
        const QModelIndex index = list_.index(remembered, 0);
        listSelection_.select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        listSelection_.setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
}

void TDirListing::ParseLine(const QString& line, QStandardItem*& current, int& dots)
{
    const QString head = Columns(line, 1, 10);
    if (head == kVolumeLabel || head == kVolumeSerial) {
        return;
    }
    if (line.startsWith(QLatin1Char('.'))) {
        ++dots;
        return;
    }
    if (Columns(line, 1, 14) == kDirectoryOf) {
        current = FindOrCreatePathNode(Columns(line, 15, 113));
        for (int row = 0; current != nullptr && row < current->rowCount(); ++row) {
            current->child(row)->setData(0, kSeenRole);
        }
        return;
    }
    if (Columns(line, 12, 15) == QLatin1String("file")) {
        SetPanel(0, Columns(line, CountStart(line, 8), 18));
        SetPanel(2, Columns(line, 24, 40));
        return;
    }
    if (Columns(line, 12, 14) == QLatin1String("dir")) {
        bool ok = false;
        qint64 n = Columns(line, CountStart(line, 8), 10).trimmed().toLongLong(&ok);
        if (!ok) {
            n = dots;
        }
        SetPanel(1, QString::number(n - dots) + QStringLiteral(" dir(s)"));
        SetPanel(3, Columns(line, 24, 45));
        return;
    }
    AddEntry(line, current);
}

void TDirListing::AddEntry(const QString& line, QStandardItem* current)
{
    QStandardItem* added = nullptr;
    const QString name = TrimControls(Columns(line, 1, 12));
    if (!TrimControls(line).isEmpty()) {
        const QString size = TrimControls(Columns(line, 16, 27));
        const QString modified = TrimControls(Columns(line, 30, 51));
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString ext = dot >= 0 ? name.mid(dot) : QString();

        TShellFileInfo info;
        if (ext == QLatin1String(".EXT")) {
            info = Query(name);
        } else if (IsPlainExtension(ext)) {
            info = Query(CacheDir + QStringLiteral("DAS") + ext, true);
        }
        if (info.iconIndex == kIconUnknown || info.iconIndex == kIconFolder) {
            info.iconIndex = kListFileImage;
        }
        QString type = info.typeName;
        if (type.isEmpty() && size != kFolderSize) {
            type = ext.mid(1, 3) + QStringLiteral(" File");
        }

        auto* nameCell = new TListCell(name);
        nameCell->setData(info.iconIndex, kImageRole);
        auto* sizeCell = new TListCell(size);
        sizeCell->setData(SizeTextToNumber(size), kSortKeyRole);
        sizeCell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* dateCell = new TListCell(modified);
        dateCell->setData(DateTextToSeconds(modified), kSortKeyRole);
        QList<QStandardItem*> cells = {nameCell, sizeCell, new TListCell(type), dateCell};
        for (QStandardItem* cell : cells) {
            cell->setEditable(cell == nameCell);
        }
        rows_.push_back(cells);
        added = nameCell;
    }
    if (Columns(line, 16, 20) != kFolderSize || current == nullptr || name.isEmpty()) {
        return;
    }
    const int row = FindChildNode(current, name);
    QStandardItem* node = row >= 0 ? current->child(row) : nullptr;
    if (node == nullptr) {
        node = NewNode(name, kTreeFolderImage);
        current->appendRow(node);
    }
    node->setData(1, kSeenRole);
    if (added != nullptr) {
        added->setData(kListFolderImage, kImageRole);
    }
}

TShellFileInfo TDirListing::Query(const QString& path, bool placeholder)
{
    // One question per path and listing: the entries of a folder share few extensions.
    const auto known = answers_.constFind(path);
    if (known != answers_.constEnd()) {
        return known.value();
    }
    if (placeholder && !QFileInfo::exists(path)) {
        CreatePlaceholderFile(path);
    }
    const TShellFileInfo info = shell_ != nullptr ? shell_->Query(path) : TShellFileInfo();
    answers_.insert(path, info);
    return info;
}

QStandardItem* TDirListing::FindOrCreatePathNode(const QString& path)
{
    if (hooks.caption) {
        hooks.caption(kExplorerCaption + QStringLiteral(" - ") + path);
    }
    EnsureRoots();
    QStandardItem* node = Root(0);
    const QString trimmed = TrimControls(path);
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

void TDirListing::SortList()
{
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
