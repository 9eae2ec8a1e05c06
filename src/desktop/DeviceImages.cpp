#include "desktop/DeviceImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPixmap>

#include "link/Global.h"

// The pictures are built into the library, which the linker may otherwise leave out.
static void InitDeviceImageResources() { Q_INIT_RESOURCE(desktop); }

namespace {

// The picture with its transparent colour taken out: a picture without an alpha channel is
// transparent wherever it has the colour of its bottom-left pixel, as bitmaps drawn for image
// lists expect.
QImage Masked(const QImage& picture)
{
    QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull() || picture.hasAlphaChannel()) {
        return argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const QRgb key = argb.pixel(0, argb.height() - 1) & RGB_MASK;
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((line[x] & RGB_MASK) == key) {
                line[x] = 0;
            }
        }
    }
    return argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The picture stretched to a square of `px` pixels; an empty picture gives a transparent one.
QImage Stretched(const QImage& picture, int px)
{
    if (picture.isNull()) {
        QImage empty(px, px, QImage::Format_ARGB32_Premultiplied);
        empty.fill(Qt::transparent);
        return empty;
    }
    return picture.scaled(px, px, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The picture with the overlay drawn over its centre at the overlay's own size.
QImage WithOverlay(const QImage& picture, const QImage& overlay)
{
    QImage busy = picture;
    if (!overlay.isNull()) {
        QPainter painter(&busy);
        painter.drawImage((busy.width() - overlay.width()) / 2,
                          (busy.height() - overlay.height()) / 2, overlay);
    }
    return busy;
}

}  // namespace

TDeviceImages::TDeviceImages(QObject* parent, const QString& overlayPath) : QObject(parent)
{
    InitDeviceImageResources();
    QImage overlay;
    if (overlay.load(overlayPath)) {
        overlay_ = Masked(overlay);
    }
}

namespace {

// The picture in the file with its transparent colour taken out; a null image when the file
// cannot be read as a picture.
QImage ReadPicture(const QString& picturePath)
{
    QImage picture;
    if (picturePath.isEmpty() || !picture.load(picturePath)) {
        return QImage();
    }
    return Masked(picture);
}

}  // namespace

QImage DevicePicture(const QString& picturePath, int px, bool* read)
{
    const QImage picture = ReadPicture(picturePath);
    if (read != nullptr) {
        *read = !picture.isNull();
    }
    return Stretched(picture, px);
}

IDeviceImageList::TResult TDeviceImages::PutDeviceImages(int imageIndex, const QString& picturePath)
{
    TResult result;
    const QImage picture = ReadPicture(picturePath);
    result.pictureRead = !picture.isNull();
    const QImage large = Stretched(picture, kLargeDeviceIconPx);
    const QImage small = Stretched(picture, kSmallDeviceIconPx);
    const int index = Put(imageIndex, large, small);
    result.imageIndex = index;

    result.overlayLoaded = OverlayLoaded();
    const QImage largeBusy = WithOverlay(large, overlay_);
    const QImage smallBusy = WithOverlay(small, overlay_);
    Put(index == Count() - 1 ? -1 : index + 1, largeBusy, smallBusy);
    return result;
}

int TDeviceImages::Put(int index, const QImage& large, const QImage& small)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(large));
    icon.addPixmap(QPixmap::fromImage(small));
    TEntry entry{large, small, icon};
    if (index >= 0 && index < Count()) {
        entries_[static_cast<size_t>(index)] = std::move(entry);
        return index;
    }
    // An index the lists do not hold yet is added, like a new device's.
    entries_.push_back(std::move(entry));
    return Count() - 1;
}

QVariant TDeviceImages::Icon(int imageIndex) const
{
    if (imageIndex < 0 || imageIndex >= Count()) {
        return QVariant();
    }
    return QVariant(entries_[static_cast<size_t>(imageIndex)].icon);
}

QImage TDeviceImages::LargeImage(int index) const
{
    return index >= 0 && index < Count() ? entries_[static_cast<size_t>(index)].large : QImage();
}

QImage TDeviceImages::SmallImage(int index) const
{
    return index >= 0 && index < Count() ? entries_[static_cast<size_t>(index)].small : QImage();
}

bool InstallDefaultDevicePicture()
{
    InitDeviceImageResources();
    return InstallFileIfMissing(kDefaultDevicePictureResource, NativePath(kDefaultDevicePicture));
}
