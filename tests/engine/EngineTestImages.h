#pragma once

#include "engine/PixelImage.h"
#include "support/TestImages.h"

#include <QImage>

#include <cstdint>
#include <functional>

namespace vantrel::test {

// An opaque image filled by a function of (x, y) -> 0xRRGGBB.
inline QImage qimage(int w, int h, const std::function<std::uint32_t(int, int)> &colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, 0xFF000000u | colour(x, y));
    return image;
}

// The same as a packed RGBA buffer.
inline PixelImage pixelImage(int w, int h, const std::function<std::uint32_t(int, int)> &colour)
{
    const QImage rgba = qimage(w, h, colour).convertToFormat(QImage::Format_RGBA8888);
    return PixelImage{w, h, QByteArray(reinterpret_cast<const char *>(rgba.constBits()), rgba.sizeInBytes())};
}

inline PixelImage solid(int w, int h, std::uint32_t colour)
{
    return pixelImage(w, h, [colour](int, int) { return colour; });
}

inline void setPixel(PixelImage &p, int x, int y, std::uint32_t c)
{
    auto *px = p.data() + (std::size_t(y) * p.width + x) * 4;
    px[0] = std::uint8_t(c >> 16);
    px[1] = std::uint8_t(c >> 8);
    px[2] = std::uint8_t(c);
    px[3] = 255;
}

// A textured pattern with no repetition within +-8 pixels, for alignment tests.
inline std::uint32_t texture(int x, int y)
{
    const std::uint32_t h = std::uint32_t(x) * 2654435761u ^ std::uint32_t(y) * 40503u * 2246822519u;
    return (h >> 8) & 0xFFFFFF;
}

} // namespace vantrel::test
