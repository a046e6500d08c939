#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel::png {

// Undoes one row's filter: out = filtered + prediction, `length` bytes of `bytesPerPixel`-byte
// pixels (3 or 4); `previous` is the row above, already unfiltered (zeros for the first row).
// Returns false for an unknown filter type.
bool unfilterRow(std::uint8_t filterType, const std::uint8_t *filtered, const std::uint8_t *previous,
                 std::uint8_t *out, std::size_t length, int bytesPerPixel);

// Packs R, G, B (and A) bytes into Qt's 32-bit words 0xAARRGGBB, alpha 0xFF for RGB.
void packRgb(const std::uint8_t *rgb, std::uint32_t *words, std::size_t pixels);
void packRgba(const std::uint8_t *rgba, std::uint32_t *words, std::size_t pixels);

} // namespace vantrel::png
