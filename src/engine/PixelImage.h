#pragma once

#include <QByteArray>

#include <cstdint>

namespace vantrel {

// A packed RGBA buffer (R, G, B, A per pixel, premultiplied, sRGB), rows from the top.
struct PixelImage {
    int width = 0;
    int height = 0;
    QByteArray bytes; // width * height * 4

    const std::uint8_t *data() const { return reinterpret_cast<const std::uint8_t *>(bytes.constData()); }
    std::uint8_t *data() { return reinterpret_cast<std::uint8_t *>(bytes.data()); }
    const std::uint8_t *pixel(int x, int y) const { return data() + (std::size_t(y) * width + x) * 4; }
};

} // namespace vantrel
