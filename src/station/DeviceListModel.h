#pragma once
// The model behind the main window's device list: one row per device with the name in column
// 0 and the twelve status columns after it, each row's icon number and the selection. The
// views of the main window show it and share its selection model; the pictures themselves
// come from an image list that the desktop supplies.
//
// Threads: UI thread only (rows are changed only there, also after host-side commands).

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <memory>
#include <vector>

class TDevice;
class TDeviceListModel;

// Columns of the device list; column 0 is the caption, 1..12 the sub-items.
enum TDeviceColumn {
    kColDevice,
    kColPower,
    kColPort,
    kColData,
    kColCapture,
    kColCaptureTo,
    kColEcho,
    kColEchoPort,
    kColPSeq,
    kColDSeq,
    kColPortNo,
    kColConnNo,
    kColChanNo,
    kDeviceColumnCount
};
constexpr int kDeviceSubItemCount = kDeviceColumnCount - 1;

// The pictures of the device list (desktop side): each device has its icon at its image
// index and the busy variant at index + 1, in a large and a small size.
class IDeviceImageList {
public:
    virtual ~IDeviceImageList() = default;
    struct TResult {
        int imageIndex = -1;
        bool pictureRead = false;    // false: the picture file could not be read (empty picture)
        bool overlayLoaded = false;  // false: the busy overlay could not be loaded
    };
    // Builds the two images of a device from the picture file: replaces them at `imageIndex`
    // and imageIndex + 1 when imageIndex >= 0, else adds them; returns the icon's index.
    virtual TResult PutDeviceImages(int imageIndex, const QString& picturePath) = 0;
    // What the views show for an image index (a QIcon held in a QVariant); invalid for none.
    virtual QVariant Icon(int imageIndex) const = 0;
};

// One row of the device list: caption, twelve sub-item texts, icon number, state image and the
// device it stands for. Owned by the model; its address stays fixed while it lives.
class TDeviceListItem {
public:
    TDeviceListItem(TDeviceListModel& model, const QString& caption);

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // The number of sub-items (12 once the device has set them up, 0 before).
    int SubItemCount() const { return static_cast<int>(subItems_.size()); }
    // Sub-item 0..11 (column 1..12); "" when there is no such sub-item.
    QString SubItem(int index) const;
    // Changes the text only when it differs and the item has that many sub-items.
    void SetSubItem(int index, const QString& text);
    void SetSubItems(const QStringList& texts);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    int StateIndex() const { return stateIndex_; }
    void SetStateIndex(int index) { stateIndex_ = index; }
    TDevice* Data() const { return device_; }
    void SetData(TDevice* device) { device_ = device; }
    // The row of the item in the list view.
    int Index() const;
    bool Selected() const;
    void SetSelected(bool selected);

private:
    TDeviceListModel& model_;
    QString caption_;
    std::vector<QString> subItems_;
    int imageIndex_ = -1;
    int stateIndex_ = -1;
    TDevice* device_ = nullptr;
};

// The Qt item model of the device list: rows in the order they were added; the caption is
// editable in place. Owns the rows and a selection model for the views to share.
class TDeviceListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // UI thread. `images` (not owned, may be null) supplies the icons.
    explicit TDeviceListModel(QObject* parent = nullptr, IDeviceImageList* images = nullptr);
    ~TDeviceListModel() override;

    // UI thread. A new last row with that caption; owned by the model.
    TDeviceListItem* AddItem(const QString& caption);
    // UI thread. Removes and deletes the row.
    void DeleteItem(TDeviceListItem* item);
    TDeviceListItem* Item(int row) const;
    int ItemCount() const { return static_cast<int>(items_.size()); }
    int IndexOf(const TDeviceListItem* item) const;
    // The first row whose whole caption equals `caption` ignoring case, searching from row
    // `start`; null when none.
    TDeviceListItem* FindCaption(const QString& caption, int start = 0) const;

    QItemSelectionModel* SelectionModel() { return &selection_; }
    IDeviceImageList* Images() const { return images_; }
    void SetImages(IDeviceImageList* images) { images_ = images; }

    // Row, icon or column text changed: tells the views.
    void ItemChanged(const TDeviceListItem* item, int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Custom data roles: the image index and the device pointer of a row.
    static constexpr int kImageIndexRole = Qt::UserRole + 1;
    static constexpr int kDeviceRole = Qt::UserRole + 2;

private:
    std::vector<std::unique_ptr<TDeviceListItem>> items_;
    QItemSelectionModel selection_;
    IDeviceImageList* images_ = nullptr;
};

// The captions of the device list columns.
QString DeviceColumnCaption(int column);
