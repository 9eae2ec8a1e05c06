#include "desktop/JpegImage.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <memory>

// After <cstdio>: libjpeg's header uses FILE and size_t without including them.
#include <jpeglib.h>

namespace {

// libjpeg's error manager extended with the jump back into DecodeInto, so a fatal error
// ends the decode instead of the program.
struct TJpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// Everything the decode touches after setjmp lives here, on the heap, so none of it sits in
// a local variable whose value a longjmp leaves undefined.
struct TJpegDecode {
    jpeg_decompress_struct cinfo;
    TJpegErrorManager error;
    QImage image;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    std::longjmp(error->jump, 1);
}

// Counts warnings (corrupt data, premature end of data) without printing them; any warning
// makes the picture count as corrupt.
void EmitMessage(j_common_ptr cinfo, int msgLevel)
{
    if (msgLevel < 0) {
        ++cinfo->err->num_warnings;
    }
}

void OutputMessage(j_common_ptr) {}

// Stores one decoded scanline of `components` samples per pixel as RGB32.
void StoreScanline(QRgb* out, const JSAMPLE* in, JDIMENSION width, int components,
                   bool invertedCmyk)
{
    for (JDIMENSION x = 0; x < width; ++x) {
        if (components == 3) {
            out[x] = qRgb(in[0], in[1], in[2]);
        } else {
            int c = in[0], m = in[1], y = in[2], k = in[3];
            if (invertedCmyk) {
                out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
            } else {
                out[x] = qRgb((255 - c) * (255 - k) / 255, (255 - m) * (255 - k) / 255,
                              (255 - y) * (255 - k) / 255);
            }
        }
        in += components;
    }
}

// The libjpeg work. Holds no object with a destructor, so the jump from ErrorExit skips
// nothing that needs cleaning up; `d` is never reassigned after setjmp.
bool DecodeInto(TJpegDecode* d, const unsigned char* data, unsigned long size)
{
    d->cinfo.err = jpeg_std_error(&d->error.base);
    d->error.base.error_exit = ErrorExit;
    d->error.base.emit_message = EmitMessage;
    d->error.base.output_message = OutputMessage;
    if (setjmp(d->error.jump) != 0) {
        jpeg_destroy_decompress(&d->cinfo);
        return false;
    }
    jpeg_create_decompress(&d->cinfo);
    jpeg_mem_src(&d->cinfo, data, size);
    jpeg_read_header(&d->cinfo, TRUE);

    const bool cmyk =
        d->cinfo.jpeg_color_space == JCS_CMYK || d->cinfo.jpeg_color_space == JCS_YCCK;
    d->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    // Also keeps both sides far inside the int range QImage takes.
    const qint64 pixels = qint64(d->cinfo.image_width) * d->cinfo.image_height;
    if (pixels <= 0 || pixels > kJpegMaxPixels) {
        jpeg_destroy_decompress(&d->cinfo);
        return false;
    }
    jpeg_start_decompress(&d->cinfo);
    const int components = d->cinfo.output_components;
    if (components != 3 && components != 4) {
        jpeg_destroy_decompress(&d->cinfo);
        return false;
    }
    d->image =
        QImage(int(d->cinfo.output_width), int(d->cinfo.output_height), QImage::Format_RGB32);
    if (d->image.isNull()) {
        jpeg_destroy_decompress(&d->cinfo);
        return false;
    }
    // Adobe writes CMYK pictures with inverted samples.
    const bool invertedCmyk = cmyk && d->cinfo.saw_Adobe_marker;
    JSAMPARRAY row =
        (*d->cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d->cinfo), JPOOL_IMAGE,
                                      d->cinfo.output_width * JDIMENSION(components), 1);
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
        const int y = int(d->cinfo.output_scanline);
        if (jpeg_read_scanlines(&d->cinfo, row, 1) != 1) {
            break;
        }
        StoreScanline(reinterpret_cast<QRgb*>(d->image.scanLine(y)), row[0], d->cinfo.output_width,
                      components, invertedCmyk);
    }
    const bool complete = d->cinfo.output_scanline == d->cinfo.output_height;
    if (complete) {
        jpeg_finish_decompress(&d->cinfo);
    }
    const bool sound = complete && d->error.base.num_warnings == 0;
    jpeg_destroy_decompress(&d->cinfo);
    return sound;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        return {};
    }
    auto decode = std::make_unique<TJpegDecode>();
    if (!DecodeInto(decode.get(), reinterpret_cast<const unsigned char*>(bytes.constData()),
                    static_cast<unsigned long>(bytes.size()))) {
        return {};
    }
    return std::move(decode->image);
}

QImage LoadJpegFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return DecodeJpeg(file.readAll());
}
