#pragma once
// The pictures of the main window's device list: every device has its icon at its image index
// and the busy variant (the icon with the busy overlay drawn over its centre) at index + 1,
// each in a large size for the icon style and a small one for the list and report styles.
//
// UI thread only.

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>
#include <QVariant>
#include <vector>

#include "station/DeviceListModel.h"

// Sizes of the large and the small device pictures.
constexpr int kLargeDeviceIconPx = 64;
constexpr int kSmallDeviceIconPx = 32;

// The built-in busy overlay and default device picture.
inline const QString kBusyOverlayResource = QStringLiteral(":/desktop/BusyOverlay.bmp");
inline const QString kDefaultDevicePictureResource = QStringLiteral(":/desktop/DefaultDevice.bmp");
// Where the default device picture lives, relative to the program data folder (stored form).
inline const QString kDefaultDevicePicture = QStringLiteral("Icons\\Tavo.bmp");

// The device list's image lists (large and small) with their busy variants, and the icons the
// views show for an image index.
class TDeviceImages final : public QObject, public IDeviceImageList {
public:
    // `overlayPath` names the busy overlay picture (the built-in one unless a test says
    // otherwise); it is read once, here.
    explicit TDeviceImages(QObject* parent = nullptr,
                           const QString& overlayPath = kBusyOverlayResource);

    // Reads the picture (an empty one when the file cannot be read), stretches it to both
    // sizes and puts it at `imageIndex` (replaced) or at the end (added, when the index is
    // negative or past the end); the busy variant goes to the index after it.
    TResult PutDeviceImages(int imageIndex, const QString& picturePath) override;
    // The icon at `imageIndex` with its large and small picture; invalid for no such image.
    QVariant Icon(int imageIndex) const override;

    // The number of images in each list.
    int Count() const { return static_cast<int>(entries_.size()); }
    // The large or small picture at `index`; a null image for no such image.
    QImage LargeImage(int index) const;
    QImage SmallImage(int index) const;
    bool OverlayLoaded() const { return !overlay_.isNull(); }

private:
    struct TEntry {
        QImage large;
        QImage small;
        QIcon icon;
    };
    // Replaces the images at `index`, or adds them when `index` is not in the lists; returns
    // where they went.
    int Put(int index, const QImage& large, const QImage& small);

    QImage overlay_;
    std::vector<TEntry> entries_;
};

// UI thread. The picture of the file as the device list shows it (its transparent colour taken
// out), stretched to a square of `px` pixels; a transparent square when the file cannot be read
// as a picture. `read`, when given, tells which.
QImage DevicePicture(const QString& picturePath, int px, bool* read = nullptr);

// UI thread. Writes the built-in device picture to the program data folder's "Icons\Tavo.bmp"
// when no file is there (an operator's own picture is never replaced); true when the file
// exists afterwards.
bool InstallDefaultDevicePicture();
