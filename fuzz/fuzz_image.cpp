// Image bytes (PNG, JPEG, WebP, anything else) through the guarded decoder: either a refusal or an
// image within the pixel limit. Where the fast PNG decoder and Qt's both decode, their pixels agree.
#include "FuzzCheck.h"

#include "engine/ImageFileReader.h"
#include "engine/PngDecoder.h"

#include <libdeflate.h>

namespace {

// The same bytes with every PNG chunk's checksum made right, so that mutations reach the decoding
// behind the checksum test.
QByteArray withValidChecksums(QByteArray png)
{
    auto *bytes = reinterpret_cast<uint8_t *>(png.data());
    const auto read32 = [&](qsizetype at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    for (qsizetype at = 8; png.size() - at >= 12;) {
        const uint32_t length = read32(at);
        if (length > uint32_t(png.size() - at - 12))
            break;
        const uint32_t crc = libdeflate_crc32(0, bytes + at + 4, length + 4);
        for (int i = 0; i < 4; ++i)
            bytes[at + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
        at += 12 + qsizetype(length);
    }
    return png;
}

void decode(const QByteArray &bytes)
{
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    decode(bytes);
    if (vantrel::PngDecoder::hasSignature(bytes))
        decode(withValidChecksums(bytes));
    return 0;
}
