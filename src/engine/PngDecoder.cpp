#include "engine/PngDecoder.h"

#include "engine/PngRows.h"

#include <libdeflate.h>

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace vantrel {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChunkOverhead = 12; // length, type, CRC

std::uint32_t bigEndian(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool isType(const std::uint8_t *type, const char (&name)[5])
{
    return std::memcmp(type, name, 4) == 0;
}

PngDecoder::Result outcome(PngDecoder::Outcome outcome, QSize size = {})
{
    return {outcome, QImage(), size};
}

// The chunks of a file as far as this decoder reads them.
struct Chunks {
    QSize size;
    int bytesPerPixel = 0;
    std::vector<std::pair<const std::uint8_t *, std::size_t>> data; // the IDAT payloads, in order
    std::size_t dataLength = 0;
    int dotsPerMeterX = 0;
    int dotsPerMeterY = 0;
};

void freeBuffer(void *buffer)
{
    std::free(buffer);
}

// The image's memory: aligned so that the kernel can back its whole large pages with large
// pages, which saves thousands of page faults on a screenshot-sized buffer. The tail that does
// not fill a large page stays on ordinary pages, so no more memory is touched than is written.
std::uint8_t *allocateImage(std::size_t bytes)
{
    constexpr std::size_t kLargePage = std::size_t(2) << 20;
    if (bytes < kLargePage)
        return static_cast<std::uint8_t *>(std::malloc(bytes));
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void *buffer = std::aligned_alloc(kLargePage, rounded);
#ifdef MADV_HUGEPAGE
    if (buffer)
        madvise(buffer, bytes / kLargePage * kLargePage, MADV_HUGEPAGE);
#endif
    return static_cast<std::uint8_t *>(buffer);
}

// Inflates the image data into the tail of `buffer` and unfilters it row by row into 32-bit
// words from the front. Row y's words end no later than row y + 1's filtered bytes begin
// (4 × width ≥ 1 + bytes a row), so writing never overtakes reading.
PngDecoder::Outcome decodeInto(const Chunks &chunks, std::uint8_t *buffer, std::size_t bufferSize)
{
    const std::size_t width = std::size_t(chunks.size.width());
    const std::size_t height = std::size_t(chunks.size.height());
    const std::size_t rowBytes = width * std::size_t(chunks.bytesPerPixel);
    const std::size_t filteredSize = height * (rowBytes + 1);
    std::uint8_t *filtered = buffer + (bufferSize - filteredSize);

    std::vector<std::uint8_t> joined;
    const std::uint8_t *compressed = chunks.data.front().first;
    if (chunks.data.size() > 1) {
        joined.reserve(chunks.dataLength);
        for (const auto &[data, length] : chunks.data)
            joined.insert(joined.end(), data, data + length);
        compressed = joined.data();
    }
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor *)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!inflater)
        return PngDecoder::Outcome::tooLarge;
    std::size_t inflated = 0;
    const libdeflate_result inflating =
        libdeflate_zlib_decompress(inflater.get(), compressed, chunks.dataLength, filtered, filteredSize, &inflated);
    // More data than the rows need is a fault libpng (and so Qt) lets pass; Qt decides on it.
    if (inflating == LIBDEFLATE_INSUFFICIENT_SPACE)
        return PngDecoder::Outcome::notHandled;
    if (inflating != LIBDEFLATE_SUCCESS || inflated != filteredSize)
        return PngDecoder::Outcome::unreadable;

    std::vector<std::uint8_t> rows(2 * rowBytes, 0);
    std::uint8_t *previous = rows.data(); // zeros above the first row
    std::uint8_t *current = rows.data() + rowBytes;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t *in = filtered + y * (rowBytes + 1);
        if (!png::unfilterRow(in[0], in + 1, previous, current, rowBytes, chunks.bytesPerPixel))
            return PngDecoder::Outcome::unreadable;
        auto *words = reinterpret_cast<std::uint32_t *>(buffer + y * width * 4);
        if (chunks.bytesPerPixel == 3)
            png::packRgb(current, words, width);
        else
            png::packRgba(current, words, width);
        std::swap(previous, current);
    }
    return PngDecoder::Outcome::decoded;
}

} // namespace

bool PngDecoder::hasSignature(QByteArrayView bytes)
{
    return bytes.size() >= qsizetype(sizeof kSignature) && std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

PngDecoder::Result PngDecoder::decode(QByteArrayView bytes, qint64 maxPixels)
{
    if (!hasSignature(bytes))
        return outcome(Outcome::notHandled);
    const auto *begin = reinterpret_cast<const std::uint8_t *>(bytes.data());
    const std::size_t total = std::size_t(bytes.size());
    Chunks chunks;
    bool ended = false;
    bool dataClosed = false; // a chunk followed the image data
    for (std::size_t at = sizeof kSignature; !ended;) {
        if (total - at < kChunkOverhead)
            return outcome(Outcome::unreadable, chunks.size);
        const std::uint32_t length = bigEndian(begin + at);
        if (length > total - at - kChunkOverhead)
            return outcome(Outcome::unreadable, chunks.size);
        const std::uint8_t *type = begin + at + 4;
        const std::uint8_t *data = type + 4;
        const bool crcMatches = libdeflate_crc32(0, type, length + 4) == bigEndian(data + length);
        const bool first = at == sizeof kSignature;
        at += kChunkOverhead + length;

        if (first != isType(type, "IHDR"))
            return outcome(Outcome::notHandled); // Qt's decoder names the fault
        if (!crcMatches) {
            // A damaged chunk the decoder needs makes the file unreadable; any other is Qt's to judge.
            const bool critical = (type[0] & 0x20) == 0;
            return outcome(critical ? Outcome::unreadable : Outcome::notHandled, chunks.size);
        }
        if (first) {
            if (length != 13)
                return outcome(Outcome::notHandled);
            const std::uint32_t width = bigEndian(data);
            const std::uint32_t height = bigEndian(data + 4);
            const int depth = data[8];
            const int colourType = data[9];
            if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
                return outcome(Outcome::notHandled);
            chunks.size = QSize(int(width), int(height));
            if (qint64(width) * qint64(height) > maxPixels)
                return outcome(Outcome::tooLarge, chunks.size);
            // Other depths, grey and palette images, and interlacing are Qt's.
            if (depth != 8 || (colourType != 2 && colourType != 6) || data[10] != 0 || data[11] != 0 || data[12] != 0)
                return outcome(Outcome::notHandled, chunks.size);
            chunks.bytesPerPixel = colourType == 2 ? 3 : 4;
        } else if (isType(type, "IDAT")) {
            if (dataClosed)
                return outcome(Outcome::unreadable, chunks.size);
            if (length > 0)
                chunks.data.emplace_back(data, length);
            chunks.dataLength += length;
        } else if (isType(type, "IEND")) {
            ended = true;
        } else if (isType(type, "pHYs") && length == 9) {
            if (data[8] == 1) { // the unit is the metre
                chunks.dotsPerMeterX = int(std::min<std::uint32_t>(bigEndian(data), 0x7FFFFFFF));
                chunks.dotsPerMeterY = int(std::min<std::uint32_t>(bigEndian(data + 4), 0x7FFFFFFF));
            }
        } else {
            // Colour profiles, gamma, transparency, text and anything unknown change what Qt's
            // image carries; those files are Qt's to decode.
            return outcome(Outcome::notHandled, chunks.size);
        }
        if (!chunks.data.empty() && !isType(type, "IDAT"))
            dataClosed = true;
    }
    if (chunks.data.empty())
        return outcome(Outcome::unreadable, chunks.size);

    const std::size_t width = std::size_t(chunks.size.width());
    const std::size_t height = std::size_t(chunks.size.height());
    const std::size_t bufferSize = std::max(width * height * 4, height * (width * std::size_t(chunks.bytesPerPixel) + 1));
    std::unique_ptr<std::uint8_t, void (*)(void *)> buffer(allocateImage(bufferSize), freeBuffer);
    if (!buffer)
        return outcome(Outcome::tooLarge, chunks.size);
    if (const Outcome decoded = decodeInto(chunks, buffer.get(), bufferSize); decoded != Outcome::decoded)
        return outcome(decoded, chunks.size);
    QImage image(buffer.get(), int(width), int(height), qsizetype(width * 4),
                 chunks.bytesPerPixel == 3 ? QImage::Format_RGB32 : QImage::Format_ARGB32, freeBuffer, buffer.get());
    if (image.isNull())
        return outcome(Outcome::tooLarge, chunks.size);
    buffer.release(); // the image frees it
    // As Qt's decoder: a zero resolution leaves the default.
    if (chunks.dotsPerMeterX > 0)
        image.setDotsPerMeterX(chunks.dotsPerMeterX);
    if (chunks.dotsPerMeterY > 0)
        image.setDotsPerMeterY(chunks.dotsPerMeterY);
    return {Outcome::decoded, image, chunks.size};
}

} // namespace vantrel
