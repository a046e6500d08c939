// Image bytes (PNG, JPEG, WebP, anything else) through the guarded decoder: either a refusal or an
// image within the pixel limit. Where the fast PNG decoder and Qt's both decode, their pixels agree.
#include "FuzzCheck.h"

#include "engine/ImageFileReader.h"
#include "engine/PngDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    try {
        const QImage image = vantrel::ImageFileReader::readBytes(bytes);
        FUZZ_CHECK(!image.isNull());
        FUZZ_CHECK(qint64(image.width()) * image.height() <= vantrel::ImageFileReader::kMaxPixels);
    } catch (const vantrel::ImageReadError &) {
    }

    const vantrel::PngDecoder::Result png = vantrel::PngDecoder::decode(bytes, 1 << 22);
    if (png.outcome == vantrel::PngDecoder::Outcome::decoded) {
        const QImage qt = QImage::fromData(bytes, "PNG");
        if (!qt.isNull())
            FUZZ_CHECK(qt.convertToFormat(png.image.format()) == png.image);
    }
    return 0;
}
