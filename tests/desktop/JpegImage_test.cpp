// Decoding the About box picture, and refusing pictures that are cut short or corrupt.
#include "desktop/JpegImage.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "desktop/AboutBox.h"

namespace {

// The picture is a gradient with a pale disc, an orange square and a dark band of sea; a
// lossy picture is compared within a margin.
void ExpectNear(QRgb pixel, int r, int g, int b)
{
    EXPECT_NEAR(qRed(pixel), r, 12);
    EXPECT_NEAR(qGreen(pixel), g, 12);
    EXPECT_NEAR(qBlue(pixel), b, 12);
}

// Offset of the first marker `second` byte (0xFF, second) in a JPEG stream.
qsizetype MarkerOffset(const QByteArray& jpeg, char second)
{
    for (qsizetype i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == char(0xFF) && jpeg[i + 1] == second) {
            return i;
        }
    }
    return -1;
}

}  // namespace

TEST(JpegImage, DecodesTheBuiltInPicture)
{
    const QByteArray bytes = AboutPictureBytes();
    ASSERT_FALSE(bytes.isEmpty());
    const QImage image = DecodeJpeg(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 160);
    EXPECT_EQ(image.height(), 120);
    ExpectNear(image.pixel(40, 36), 240, 240, 225);  // disc
    ExpectNear(image.pixel(117, 37), 230, 140, 30);  // square
    ExpectNear(image.pixel(80, 110), 20, 50, 90);    // sea
    ExpectNear(image.pixel(150, 5), 41, 92, 198);    // sky at the top
}

TEST(JpegImage, LoadsAPictureFileAndRefusesAMissingOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(AboutPictureBytes());
    file.close();
    EXPECT_EQ(LoadJpegFile(path).size(), QSize(160, 120));
    EXPECT_TRUE(LoadJpegFile(dir.filePath(QStringLiteral("none.jpg"))).isNull());
}

TEST(JpegImage, EmptyOrForeignBytesGiveNoPicture)
{
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("\xFF\xD8", 2)).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("GIF89a not a jpeg at all")).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray(4096, '\0')).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray(4096, char(0xFF))).isNull());
}

TEST(JpegImage, PictureCutShortAnywhereGivesNoPicture)
{
    const QByteArray bytes = AboutPictureBytes();
    ASSERT_GT(bytes.size(), 100);
    // Within the headers, at the start of the scan, in the middle of the data, and with
    // only the end-of-image marker missing.
    const qsizetype scan = MarkerOffset(bytes, char(0xDA));
    ASSERT_GT(scan, 0);
    for (qsizetype length :
         {qsizetype(3), qsizetype(20), scan, scan + 20, bytes.size() / 2, bytes.size() - 2}) {
        SCOPED_TRACE(length);
        EXPECT_TRUE(DecodeJpeg(bytes.left(length)).isNull());
    }
}

TEST(JpegImage, CorruptPictureGivesNoPicture)
{
    const QByteArray bytes = AboutPictureBytes();
    const qsizetype scan = MarkerOffset(bytes, char(0xDA));
    ASSERT_GT(scan, 0);

    // A stray marker in the middle of the entropy-coded data.
    QByteArray stray = bytes;
    stray[scan + 200] = char(0xFF);
    stray[scan + 201] = char(0xD9);
    EXPECT_TRUE(DecodeJpeg(stray).isNull());

    // Huffman tables destroyed.
    QByteArray tables = bytes;
    const qsizetype dht = MarkerOffset(bytes, char(0xC4));
    ASSERT_GT(dht, 0);
    for (qsizetype i = dht + 5; i < dht + 40; ++i) {
        tables[i] = char(0xFF);
    }
    EXPECT_TRUE(DecodeJpeg(tables).isNull());

    // A frame header that claims no width.
    QByteArray frame = bytes;
    const qsizetype sof = MarkerOffset(bytes, char(0xC0));
    ASSERT_GT(sof, 0);
    frame[sof + 7] = 0;
    frame[sof + 8] = 0;
    EXPECT_TRUE(DecodeJpeg(frame).isNull());
}

TEST(JpegImage, RefusesAPictureClaimingAHugeSize)
{
    QByteArray bytes = AboutPictureBytes();
    const qsizetype sof = MarkerOffset(bytes, char(0xC0));
    ASSERT_GT(sof, 0);
    // Height and width fields of the frame header: 65000 x 65000.
    bytes[sof + 5] = char(0xFD);
    bytes[sof + 6] = char(0xE8);
    bytes[sof + 7] = char(0xFD);
    bytes[sof + 8] = char(0xE8);
    EXPECT_TRUE(DecodeJpeg(bytes).isNull());
}
