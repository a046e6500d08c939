#include "engine/PngEncoder.h"

#include <png.h>

#include <csetjmp>

namespace vantrel {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<QByteArray *>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp) {}

// libpng reports failures by jumping back to the setjmp below; nothing with a destructor lives
// in this function, so the jump skips no clean-up.
bool writeRows(png_structp png, png_infop info, const QImage &image, int colourType)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(image.constScanLine(y)));
    png_write_end(png, info);
    return true;
}

} // namespace

std::optional<QByteArray> PngEncoder::encode(const QImage &source)
{
    if (source.isNull())
        return std::nullopt;
    const bool opaque = !source.hasAlphaChannel();
    const QImage image = source.convertToFormat(opaque ? QImage::Format_RGB888 : QImage::Format_RGBA8888);
    if (image.isNull())
        return std::nullopt;

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return std::nullopt;
    png_infop info = png_create_info_struct(png);
    QByteArray out;
    out.reserve(qsizetype(image.width()) * image.height() / 2);
    bool written = false;
    if (info) {
        png_set_write_fn(png, &out, appendBytes, flushNothing);
        written = writeRows(png, info, image, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA);
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!written)
        return std::nullopt;
    return out;
}

} // namespace vantrel
