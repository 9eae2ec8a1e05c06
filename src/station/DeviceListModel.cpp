#include "station/DeviceListModel.h"

#include <algorithm>

namespace {

const char* const kColumnCaptions[kDeviceColumnCount] = {
    "Device",    "Power", "Port", "Data",  "Capture", "Capture To", "Echo",
    "Echo Port", "PSeq",  "DSeq", "Port#", "Conn#",   "Chan#",
};

}  // namespace

QString DeviceColumnCaption(int column)
{
    if (column < 0 || column >= kDeviceColumnCount) {
        return QString();
    }
    return QLatin1String(kColumnCaptions[column]);
}

TDeviceListItem::TDeviceListItem(TDeviceListModel& model, const QString& caption)
    : model_(model), caption_(caption)
{
}

void TDeviceListItem::SetCaption(const QString& caption)
{
    if (caption_ != caption) {
        caption_ = caption;
        model_.ItemChanged(this, kColDevice);
    }
}

QString TDeviceListItem::SubItem(int index) const
{
    if (index < 0 || index >= SubItemCount()) {
        return QString();
    }
    return subItems_[static_cast<size_t>(index)];
}

void TDeviceListItem::SetSubItem(int index, const QString& text)
{
    if (index < 0 || index >= SubItemCount() || subItems_[static_cast<size_t>(index)] == text) {
        return;
    }
    subItems_[static_cast<size_t>(index)] = text;
    model_.ItemChanged(this, index + 1);
}

void TDeviceListItem::SetSubItems(const QStringList& texts)
{
    subItems_.assign(texts.begin(), texts.end());
    model_.ItemChanged(this, -1);
}

void TDeviceListItem::SetImageIndex(int index)
{
    if (imageIndex_ != index) {
        imageIndex_ = index;
        model_.ItemChanged(this, kColDevice);
    }
}

int TDeviceListItem::Index() const { return model_.IndexOf(this); }

bool TDeviceListItem::Selected() const
{
    const int row = Index();
    return row >= 0 && model_.SelectionModel()->isRowSelected(row, QModelIndex());
}

void TDeviceListItem::SetSelected(bool selected)
{
    const int row = Index();
    if (row < 0) {
        return;
    }
    const auto flags = (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                       QItemSelectionModel::Rows;
    model_.SelectionModel()->select(model_.index(row, 0), flags);
}

TDeviceListModel::TDeviceListModel(QObject* parent, IDeviceImageList* images)
    : QAbstractTableModel(parent), selection_(this), images_(images)
{
}

TDeviceListModel::~TDeviceListModel() = default;

TDeviceListItem* TDeviceListModel::AddItem(const QString& caption)
{
    const int row = ItemCount();
    beginInsertRows(QModelIndex(), row, row);
    items_.push_back(std::make_unique<TDeviceListItem>(*this, caption));
    endInsertRows();
    return items_.back().get();
}

void TDeviceListModel::DeleteItem(TDeviceListItem* item)
{
    const int row = IndexOf(item);
    if (row < 0) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    items_.erase(items_.begin() + row);
    endRemoveRows();
}

TDeviceListItem* TDeviceListModel::Item(int row) const
{
    if (row < 0 || row >= ItemCount()) {
        return nullptr;
    }
    return items_[static_cast<size_t>(row)].get();
}

int TDeviceListModel::IndexOf(const TDeviceListItem* item) const
{
    const auto it = std::find_if(items_.begin(), items_.end(),
                                 [item](const auto& p) { return p.get() == item; });
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TDeviceListItem* TDeviceListModel::FindCaption(const QString& caption, int start) const
{
    for (int row = std::max(start, 0); row < ItemCount(); ++row) {
        TDeviceListItem* item = Item(row);
        if (QString::compare(item->Caption(), caption, Qt::CaseInsensitive) == 0) {
            return item;
        }
    }
    return nullptr;
}

void TDeviceListModel::ItemChanged(const TDeviceListItem* item, int column)
{
    const int row = IndexOf(item);
    if (row < 0) {
        return;
    }
    const int first = column < 0 ? 0 : column;
    const int last = column < 0 ? kDeviceColumnCount - 1 : column;
    Q_EMIT dataChanged(index(row, first), index(row, last));
}

int TDeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ItemCount();
}

int TDeviceListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kDeviceColumnCount;
}

QVariant TDeviceListModel::data(const QModelIndex& index, int role) const
{
    const TDeviceListItem* item = Item(index.row());
    if (item == nullptr || index.column() < 0 || index.column() >= kDeviceColumnCount) {
        return QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == kColDevice ? item->Caption() : item->SubItem(index.column() - 1);
    case Qt::DecorationRole:
        if (index.column() == kColDevice && images_ != nullptr && item->ImageIndex() >= 0) {
            return images_->Icon(item->ImageIndex());
        }
        return QVariant();
    case kImageIndexRole:
        return item->ImageIndex();
    case kDeviceRole:
        return QVariant::fromValue(static_cast<void*>(item->Data()));
    default:
        return QVariant();
    }
}

bool TDeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TDeviceListItem* item = Item(index.row());
    if (item == nullptr || index.column() != kColDevice || role != Qt::EditRole) {
        return false;
    }
    item->SetCaption(value.toString());
    return true;
}

Qt::ItemFlags TDeviceListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == kColDevice) {
        f |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    }
    return f;
}

QVariant TDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return DeviceColumnCaption(section);
    }
    return QVariant();
}
