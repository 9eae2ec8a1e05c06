#pragma once
// JPEG pictures decoded with libjpeg into QImage values. A picture that is corrupt, cut
// short or unreasonably large decodes to a null image; decoding never aborts the program.
//
// UI thread (the functions keep no state, so any thread may call them).

#include <QByteArray>
#include <QImage>
#include <QString>

// The largest picture decoded, in pixels; a header that claims more is refused.
constexpr qint64 kJpegMaxPixels = qint64(8192) * 8192;

// The picture held in `bytes` (grey, RGB or YCbCr; CMYK is converted) as a 32-bit RGB
// image, or a null image when the bytes are not a sound JPEG picture.
QImage DecodeJpeg(const QByteArray& bytes);

// The picture in the file or Qt resource at `path`; a null image when it cannot be read or
// decoded.
QImage LoadJpegFile(const QString& path);
