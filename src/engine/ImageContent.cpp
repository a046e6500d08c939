#include "engine/ImageContent.h"

#include <libdeflate.h>

#include <cstdint>
#include <cstring>

namespace vantrel {

namespace {

const std::uint8_t *unsignedBytes(QByteArrayView bytes)
{
    return reinterpret_cast<const std::uint8_t *>(bytes.data());
}

bool startsWith(QByteArrayView bytes, qsizetype at, const char *magic)
{
    const auto length = qsizetype(std::strlen(magic));
    return bytes.size() >= at + length && std::memcmp(bytes.data() + at, magic, std::size_t(length)) == 0;
}

std::uint32_t bigEndian32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// The header chunk comes first, every chunk's length stays inside the data, every critical chunk
// (upper-case first letter) matches its checksum, and an IEND chunk is reached.
bool pngComplete(QByteArrayView bytes)
{
    constexpr std::size_t kSignatureBytes = 8;
    constexpr std::size_t kChunkOverhead = 12; // length, type, checksum
    const std::uint8_t *data = unsignedBytes(bytes);
    const std::size_t total = std::size_t(bytes.size());
    for (std::size_t at = kSignatureBytes; total - at >= kChunkOverhead;) {
        const std::size_t length = bigEndian32(data + at);
        if (length > total - at - kChunkOverhead)
            return false;
        const std::uint8_t *type = data + at + 4;
        if (at == kSignatureBytes && std::memcmp(type, "IHDR", 4) != 0)
            return false;
        const bool critical = (type[0] & 0x20) == 0;
        if (critical && libdeflate_crc32(0, type, length + 4) != bigEndian32(type + 4 + length))
            return false;
        if (std::memcmp(type, "IEND", 4) == 0)
            return true;
        at += kChunkOverhead + length;
    }
    return false;
}

// Walks the marker segments, skipping each by its length (so that a thumbnail inside an APP
// segment is never taken for the image's end), and the entropy-coded data after each scan
// header, where a 0xFF byte is followed by 0x00 (stuffing) or a restart marker unless a new
// marker begins. Stray bytes between segments are passed over, as the decoder does.
bool jpegComplete(QByteArrayView bytes)
{
    const std::uint8_t *data = unsignedBytes(bytes);
    const std::size_t total = std::size_t(bytes.size());
    std::size_t at = 2; // past the start-of-image marker
    while (at < total) {
        const auto *marker = static_cast<const std::uint8_t *>(std::memchr(data + at, 0xFF, total - at));
        if (!marker)
            return false;
        at = std::size_t(marker - data) + 1;
        while (at < total && data[at] == 0xFF)
            ++at; // fill bytes
        if (at >= total)
            return false;
        const std::uint8_t code = data[at++];
        if (code == 0xD9)
            return true;
        const bool standalone = code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD8);
        if (standalone)
            continue;
        if (total - at < 2)
            return false;
        const std::size_t length = std::size_t(data[at]) << 8 | data[at + 1];
        if (length < 2 || length > total - at)
            return false;
        at += length;
    }
    return false;
}

bool webpComplete(QByteArrayView bytes)
{
    const std::uint8_t *p = unsignedBytes(bytes) + 4;
    const std::uint64_t declared = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
                                   | std::uint32_t(p[3]) << 24;
    return std::uint64_t(bytes.size()) >= declared + 8;
}

} // namespace

ImageFormat ImageContent::formatOf(QByteArrayView bytes)
{
    if (startsWith(bytes, 0, "\x89PNG\r\n\x1a\n"))
        return ImageFormat::png;
    if (startsWith(bytes, 0, "\xFF\xD8\xFF"))
        return ImageFormat::jpeg;
    if (startsWith(bytes, 0, "RIFF") && startsWith(bytes, 8, "WEBP"))
        return ImageFormat::webp;
    return ImageFormat::unknown;
}

const char *ImageContent::readerFormat(ImageFormat format)
{
    switch (format) {
    case ImageFormat::png:
        return "png";
    case ImageFormat::jpeg:
        return "jpeg";
    case ImageFormat::webp:
        return "webp";
    case ImageFormat::unknown:
        break;
    }
    return "";
}

bool ImageContent::isComplete(ImageFormat format, QByteArrayView bytes)
{
    if (format != formatOf(bytes))
        return false;
    switch (format) {
    case ImageFormat::png:
        return pngComplete(bytes);
    case ImageFormat::jpeg:
        return jpegComplete(bytes);
    case ImageFormat::webp:
        return webpComplete(bytes);
    case ImageFormat::unknown:
        break;
    }
    return false;
}

} // namespace vantrel
