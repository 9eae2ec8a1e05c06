#include "desktop/DeviceImages.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QIcon>
#include <QListView>
#include <QTemporaryDir>
#include <QTreeView>
#include <memory>

#include "desktop/Dasdesktop.h"
#include "link/Global.h"
#include "link/Serial.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WindowPlacement.h"
#include "station/ConfigFiles.h"
#include "station/StationFixture.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"
#include "support/das/DasStandIn.h"

namespace {

// A square picture of `inside` in a one-pixel white frame, written as a BMP; the frame's colour
// is the bottom-left pixel's, so it is the picture's transparent colour.
QString WritePicture(const QString& path, const QColor& inside, int size = 16)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 1; y < size - 1; ++y) {
        for (int x = 1; x < size - 1; ++x) {
            image.setPixelColor(x, y, inside);
        }
    }
    EXPECT_TRUE(image.save(path, "BMP")) << path.toStdString();
    return path;
}

qint64 IconKey(const QVariant& icon) { return icon.value<QIcon>().cacheKey(); }

bool FullyTransparent(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() != 0) {
                return false;
            }
        }
    }
    return true;
}

class DeviceImagesTest : public ::testing::Test {
protected:
    QString Picture(const char* name, const QColor& colour)
    {
        return WritePicture(dir.filePath(QString::fromLatin1(name)), colour);
    }

    QTemporaryDir dir;
    TDeviceImages images;
};

}  // namespace

TEST_F(DeviceImagesTest, ReadablePictureGivesTheIconAndItsBusyVariantInBothSizes)
{
    const QColor blue(0, 0, 255);
    const IDeviceImageList::TResult r = images.PutDeviceImages(-1, Picture("a.bmp", blue));
    EXPECT_EQ(r.imageIndex, 0);
    EXPECT_TRUE(r.pictureRead);
    EXPECT_TRUE(r.overlayLoaded);
    ASSERT_EQ(images.Count(), 2);

    const QImage large = images.LargeImage(0);
    const QImage small = images.SmallImage(0);
    EXPECT_EQ(large.size(), QSize(64, 64));
    EXPECT_EQ(small.size(), QSize(32, 32));
    EXPECT_EQ(large.pixelColor(32, 32), blue);
    EXPECT_EQ(small.pixelColor(16, 16), blue);
    // The picture's transparent colour lets the list's background show.
    EXPECT_EQ(large.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(small.pixelColor(31, 31).alpha(), 0);

    // The busy variant has the overlay over its centre and the picture around it, also within
    // the overlay's own square where the overlay is transparent.
    const QImage largeBusy = images.LargeImage(1);
    const QImage smallBusy = images.SmallImage(1);
    EXPECT_NE(largeBusy.pixelColor(32, 32), blue);
    EXPECT_EQ(largeBusy.pixelColor(8, 32), blue);
    EXPECT_EQ(largeBusy.pixelColor(17, 17), blue);
    EXPECT_NE(smallBusy.pixelColor(16, 16), blue);
    EXPECT_EQ(smallBusy.pixelColor(3, 3), blue);

    const QVariant icon = images.Icon(0);
    ASSERT_TRUE(icon.canConvert<QIcon>());
    const QList<QSize> sizes = icon.value<QIcon>().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(64, 64)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_EQ(icon.value<QIcon>().pixmap(QSize(32, 32)).toImage().pixelColor(16, 16), blue);
    EXPECT_NE(IconKey(images.Icon(1)), IconKey(icon));
    EXPECT_FALSE(images.Icon(2).isValid());
    EXPECT_FALSE(images.Icon(-1).isValid());
}

TEST_F(DeviceImagesTest, UnreadablePictureGivesAnEmptyPictureThatStillShowsBusy)
{
    const QString text = WriteFile(dir.filePath(QStringLiteral("notes.bmp")), "not a picture");
    const QString cut = WriteFile(dir.filePath(QStringLiteral("cut.bmp")), "BM\x10\x00");
    for (const QString& path :
         {text, cut, dir.filePath(QStringLiteral("missing.bmp")), QString()}) {
        SCOPED_TRACE(path.toStdString());
        const int before = images.Count();
        const IDeviceImageList::TResult r = images.PutDeviceImages(-1, path);
        EXPECT_FALSE(r.pictureRead);
        EXPECT_TRUE(r.overlayLoaded);
        EXPECT_EQ(r.imageIndex, before);
        ASSERT_EQ(images.Count(), before + 2);
        EXPECT_TRUE(FullyTransparent(images.LargeImage(r.imageIndex)));
        EXPECT_TRUE(FullyTransparent(images.SmallImage(r.imageIndex)));
        EXPECT_GT(images.LargeImage(r.imageIndex + 1).pixelColor(32, 32).alpha(), 0);
        EXPECT_TRUE(images.Icon(r.imageIndex).isValid());
    }
}

TEST_F(DeviceImagesTest, ReplacingAtAnIndexKeepsTheCount)
{
    const QColor red(255, 0, 0);
    const QColor green(0, 255, 0);
    const QColor blue(0, 0, 255);
    EXPECT_EQ(images.PutDeviceImages(-1, Picture("r.bmp", red)).imageIndex, 0);
    EXPECT_EQ(images.PutDeviceImages(-1, Picture("g.bmp", green)).imageIndex, 2);
    ASSERT_EQ(images.Count(), 4);

    const qint64 keyBefore = IconKey(images.Icon(0));
    EXPECT_EQ(images.PutDeviceImages(0, Picture("b.bmp", blue)).imageIndex, 0);
    EXPECT_EQ(images.Count(), 4);
    EXPECT_EQ(images.LargeImage(0).pixelColor(32, 32), blue);
    EXPECT_EQ(images.LargeImage(1).pixelColor(8, 32), blue);
    EXPECT_NE(IconKey(images.Icon(0)), keyBefore);
    // The other device's pair is untouched.
    EXPECT_EQ(images.LargeImage(2).pixelColor(32, 32), green);
    EXPECT_EQ(images.LargeImage(3).pixelColor(8, 32), green);

    // The last pair is replaced in place too, busy variant included.
    EXPECT_EQ(images.PutDeviceImages(2, Picture("r2.bmp", red)).imageIndex, 2);
    EXPECT_EQ(images.Count(), 4);
    EXPECT_EQ(images.LargeImage(3).pixelColor(8, 32), red);

    // An index the lists do not hold is added at the end rather than lost.
    EXPECT_EQ(images.PutDeviceImages(9, Picture("g2.bmp", green)).imageIndex, 4);
    EXPECT_EQ(images.Count(), 6);
}

TEST(DeviceImagesOverlay, MissingOverlayLeavesTheBusyVariantPlain)
{
    QTemporaryDir dir;
    TDeviceImages images(nullptr, dir.filePath(QStringLiteral("none.bmp")));
    EXPECT_FALSE(images.OverlayLoaded());
    const IDeviceImageList::TResult r = images.PutDeviceImages(
        -1, WritePicture(dir.filePath(QStringLiteral("a.bmp")), QColor(0, 0, 255)));
    EXPECT_TRUE(r.pictureRead);
    EXPECT_FALSE(r.overlayLoaded);
    ASSERT_EQ(images.Count(), 2);
    EXPECT_EQ(images.LargeImage(1), images.LargeImage(0));
}

TEST(DeviceImagesDefault, DefaultPictureIsInstalledWhenMissingAndNeverReplaced)
{
    const QString target = NativePath(kDefaultDevicePicture);
    EXPECT_TRUE(target.endsWith(QStringLiteral("/Wendrok/Icons/Tavo.bmp"))) << target.toStdString();
    QFile::remove(target);
    ASSERT_TRUE(InstallDefaultDevicePicture());
    QImage picture;
    ASSERT_TRUE(picture.load(target));
    EXPECT_FALSE(picture.isNull());
    TDeviceImages images;
    EXPECT_TRUE(images.PutDeviceImages(-1, target).pictureRead);

    WriteFile(target, "the operator's own");
    EXPECT_TRUE(InstallDefaultDevicePicture());
    EXPECT_EQ(ReadAll(target), QByteArray("the operator's own"));
    QFile::remove(target);
}

// The device list's pictures as a device reaches them: its icon, its busy variant and the
// messages of a picture or overlay that cannot be read.
class DeviceImagesStation : public StationTest {
protected:
    void SetUp() override
    {
        StationTest::SetUp();
        model.SetImages(&real);
        AddPort(QStringLiteral("P1"), 1, 1);
        AddPort(QStringLiteral("P2"), 2, 1);
    }
    void TearDown() override
    {
        StationTest::TearDown();
        model.SetImages(&images);
    }

    // A device loaded from a configuration section with this picture.
    TDevice* Load(const QString& name, const QString& picture)
    {
        TDevice* d = devices.Add(name);
        TMemIniFile ini;
        ini.WriteString(name, QStringLiteral("Image"), picture);
        ini.WriteString(name, QStringLiteral("Port"), QStringLiteral("P1"));
        EXPECT_TRUE(d->LoadSettings(ini, false));
        return d;
    }

    QVariant Decoration(const TDevice* d) const
    {
        return model.data(model.index(d->GetListItem()->Index(), kColDevice), Qt::DecorationRole);
    }

    QTemporaryDir dir;
    TDeviceImages real;
};

TEST_F(DeviceImagesStation, BusyDeviceShowsTheOverlayImage)
{
    TDevice* d = Load(QStringLiteral("CTD"),
                      WritePicture(dir.filePath(QStringLiteral("ctd.bmp")), QColor(0, 0, 255)));
    EXPECT_TRUE(prompt.shown.empty());
    ASSERT_EQ(d->GetImageIndex(), 0);
    EXPECT_EQ(IconKey(Decoration(d)), IconKey(real.Icon(0)));

    d->SetBusy(true);
    EXPECT_EQ(IconKey(Decoration(d)), IconKey(real.Icon(1)));
    EXPECT_NE(Decoration(d).value<QIcon>().pixmap(QSize(64, 64)).toImage().pixelColor(32, 32),
              QColor(0, 0, 255));
    d->ClearBusy();
    EXPECT_EQ(IconKey(Decoration(d)), IconKey(real.Icon(0)));

    // A new picture while busy replaces the pair in place; the row keeps showing busy.
    d->SetBusy(true);
    d->SetImage(WritePicture(dir.filePath(QStringLiteral("red.bmp")), QColor(255, 0, 0)));
    EXPECT_EQ(d->LoadIcon(), 0);
    EXPECT_EQ(real.Count(), 2);
    EXPECT_EQ(IconKey(Decoration(d)), IconKey(real.Icon(1)));
    EXPECT_EQ(real.LargeImage(1).pixelColor(8, 32), QColor(255, 0, 0));
}

TEST_F(DeviceImagesStation, UnreadablePictureIsReportedAndTheDeviceStillGetsItsImages)
{
    const QString text = WriteFile(dir.filePath(QStringLiteral("icon.bmp")), "not a picture");
    TDevice* d = Load(QStringLiteral("Pump"), text);
    ASSERT_EQ(prompt.Messages().size(), 1);
    EXPECT_TRUE(prompt.Messages().at(0).endsWith(QStringLiteral("Invalid Graphic File (") + text +
                                                 QStringLiteral(") Specified for device: Pump")))
        << prompt.Messages().at(0).toStdString();
    EXPECT_EQ(d->GetImageIndex(), 0);
    EXPECT_EQ(real.Count(), 2);
    EXPECT_TRUE(FullyTransparent(real.LargeImage(0)));
    EXPECT_TRUE(Decoration(d).isValid());
}

TEST_F(DeviceImagesStation, MissingOverlayIsReported)
{
    TDeviceImages noOverlay(nullptr, dir.filePath(QStringLiteral("none.bmp")));
    model.SetImages(&noOverlay);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    d->SetImage(WritePicture(dir.filePath(QStringLiteral("ctd.bmp")), QColor(0, 0, 255)));
    EXPECT_EQ(d->LoadIcon(), 0);
    ASSERT_EQ(prompt.Messages().size(), 1);
    EXPECT_TRUE(prompt.Messages().at(0).endsWith(
        QStringLiteral("Can not load busy overlay bitmap resource")));
    EXPECT_EQ(noOverlay.Count(), 2);
    devices.Clear();
    model.SetImages(&real);
}

// The main window on the sample station: the default picture is written out and every device
// shows it, small in the report and the list, large in the icon style.
TEST(DeviceImagesWindow, MainWindowShowsEachDevicesPicture)
{
    QTemporaryDir settingsDir;
    TFakePrompt prompt;
    TDasStandIn das;
    SetSettingsFilePath(settingsDir.filePath(QStringLiteral("Wendrok.ini")));
    SetPlacementScreenSize(QSize(800, 600));
    das.Start();
    SetComPortDevicePath(1, das.SlavePath());
    TDASDesktopForm::SetTerminateHandler([] {});
    ASSERT_FALSE(InstallSampleStation().isEmpty());
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(VersionedKeyPath(1.26, QStringLiteral("DasDesktop")), true));
        reg.WriteString(QStringLiteral("INIFile"), QStringLiteral("Config\\Demo.das"));
    }
    const QString picture = NativePath(kDefaultDevicePicture);
    QFile::remove(picture);

    auto form = std::make_unique<TDASDesktopForm>();
    form->show();
    ASSERT_TRUE(WaitUntil([&form] { return form->FirstShowDone(); }));
    ASSERT_TRUE(form->IsConfigurationLoaded());
    EXPECT_TRUE(QFileInfo::exists(picture));
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Messages().join('|').toStdString();

    auto* images = dynamic_cast<TDeviceImages*>(form->DeviceModel()->Images());
    ASSERT_NE(images, nullptr);
    TDeviceListModel& model = *form->DeviceModel();
    ASSERT_GT(model.ItemCount(), 0);
    EXPECT_EQ(images->Count(), 2 * model.ItemCount());
    for (int row = 0; row < model.ItemCount(); ++row) {
        const QVariant icon = model.data(model.index(row, kColDevice), Qt::DecorationRole);
        EXPECT_EQ(IconKey(icon), IconKey(images->Icon(model.Item(row)->ImageIndex())));
    }

    form->SetViewStyle(kViewDetails);
    EXPECT_EQ(form->DeviceView->iconSize(), QSize(32, 32));
    form->SetViewStyle(kViewList);
    EXPECT_EQ(form->DeviceIcons->iconSize(), QSize(32, 32));
    form->SetViewStyle(kViewLargeIcons);
    EXPECT_EQ(form->DeviceIcons->iconSize(), QSize(64, 64));

    // A device marked busy by its sequence shows the busy variant until it goes on.
    TDevice* device = Devices->DeviceOfItem(model.Item(0));
    ASSERT_NE(device, nullptr);
    device->SetBusy(true);
    EXPECT_EQ(model.Item(0)->ImageIndex(), device->GetImageIndex() + 1);
    device->ClearBusy();
    EXPECT_EQ(model.Item(0)->ImageIndex(), device->GetImageIndex());

    form.reset();
    TDASDesktopForm::SetTerminateHandler({});
    SetSettingsFilePath(QString());
    SetPlacementScreenSize(QSize());
}
