// The list's items and their order: the item models of the tree and the list, the list's
// cells, and the comparisons of its columns.
#include <QDate>
#include <QSignalBlocker>
#include <algorithm>

#include "explorer/DirListing.h"
#include "platform/DateTimeText.h"

namespace {

constexpr qint64 kSecondsPerDay = 86400;

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

}  // namespace

QVariant TImageItemModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DecorationRole && index.column() == 0 && images_) {
        const QVariant image = QStandardItemModel::data(index, kImageRole);
        return image.isValid() ? QVariant(images_(image.toInt())) : QVariant();
    }
    return QStandardItemModel::data(index, role);
}

void TImageItemModel::ResetRows(int rows, int columns, const TCellMaker& cell)
{
    // One reset instead of a signal per row: the views and the selection start afresh.
    beginResetModel();
    {
        const QSignalBlocker quiet(this);
        if (rowCount() > rows) {
            removeRows(rows, rowCount() - rows);
        }
        if (columnCount() < columns) {
            setColumnCount(columns);
        }
        QStandardItem* root = invisibleRootItem();
        const auto place = [root, &cell](int row, int column, QStandardItem* kept) {
            QStandardItem* made = cell(row, column, kept);
            if (made != kept) {
                root->setChild(row, column, made);
            }
        };
        const int kept = rowCount();
        for (int row = 0; row < kept; ++row) {
            for (int column = 0; column < columns; ++column) {
                place(row, column, root->child(row, column));
            }
        }
        if (rows > kept) {
            // The new rows go in at once by their first cells; the others fill the places made.
            QList<QStandardItem*> first;
            first.reserve(rows - kept);
            for (int row = kept; row < rows; ++row) {
                QStandardItem* made = cell(row, 0, nullptr);
                first << (made != nullptr ? made : new QStandardItem);
            }
            root->insertRows(kept, first);
            for (int row = kept; row < rows; ++row) {
                for (int column = 1; column < columns; ++column) {
                    place(row, column, nullptr);
                }
            }
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
    return DateTextToSeconds(text, QDate::currentDate().year());
}

qint64 DateTextToSeconds(const QString& text, int thisYear)
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
        year = WidenTwoDigitYear(year, thisYear);
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

// The flags a QStandardItem has until it is given others.
constexpr Qt::ItemFlags kItemFlags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                                     Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
// The role under which a QStandardItem keeps its flags.
constexpr int kFlagsRole = Qt::UserRole - 1;

TListCell::TListCell(const QString& text) : text_(text), flags_(kItemFlags) {}

void TListCell::Assign(const QString& text, std::optional<int> image, std::optional<qint64> sortKey,
                       Qt::Alignment alignment, bool editable)
{
    text_ = text;
    image_ = image;
    sortKey_ = sortKey;
    alignment_ = alignment;
    flags_ = editable ? kItemFlags : kItemFlags & ~Qt::ItemIsEditable;
}

QVariant TListCell::data(int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text_;
    case kImageRole:
        return image_ ? QVariant(*image_) : QVariant();
    case kSortKeyRole:
        return sortKey_ ? QVariant(*sortKey_) : QVariant();
    case Qt::TextAlignmentRole:
        return alignment_ != Qt::Alignment() ? QVariant(alignment_.toInt()) : QVariant();
    case kFlagsRole:
        return QVariant(flags_.toInt());
    default:
        return QStandardItem::data(role);
    }
}

void TListCell::setData(const QVariant& value, int role)
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        text_ = value.toString();
        break;
    case kImageRole:
        image_ = value.isValid() ? std::optional<int>(value.toInt()) : std::nullopt;
        break;
    case kSortKeyRole:
        sortKey_ = value.isValid() ? std::optional<qint64>(value.toLongLong()) : std::nullopt;
        break;
    case Qt::TextAlignmentRole:
        alignment_ = Qt::Alignment(value.toInt());
        break;
    case kFlagsRole:
        flags_ = value.isValid() ? Qt::ItemFlags(value.toInt()) : kItemFlags;
        break;
    default:
        QStandardItem::setData(value, role);
        return;
    }
    emitDataChanged();
}

void TListCell::multiData(QModelRoleDataSpan roleDataSpan) const
{
    for (QModelRoleData& roleData : roleDataSpan) {
        roleData.setData(data(roleData.role()));
    }
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

QString FoldedAscii(const QString& text)
{
    QString folded = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != FoldAscii(text[i])) {
            folded[i] = FoldAscii(text[i]);
        }
    }
    return folded;
}
