#include "engine/PngRows.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel::png {

namespace {

enum Filter : std::uint8_t { none = 0, sub = 1, up = 2, average = 3, paeth = 4 };

#if defined(__SSE2__)

// One pixel of B bytes into the low lanes of a register, and back; never touches a byte
// beyond the pixel (the last pixel of the image data ends its buffer).
template <int B>
__m128i loadPixel(const std::uint8_t *p)
{
    std::uint32_t v = 0;
    if constexpr (B == 4) {
        std::memcpy(&v, p, 4);
    } else {
        // Assembled in a register: a three-byte copy through memory would stall the next load.
        std::uint16_t low = 0;
        std::memcpy(&low, p, 2);
        v = low | std::uint32_t(p[2]) << 16;
    }
    return _mm_cvtsi32_si128(int(v));
}

template <int B>
void storePixel(std::uint8_t *p, __m128i v)
{
    const auto word = std::uint32_t(_mm_cvtsi128_si32(v));
    if constexpr (B == 4) {
        std::memcpy(p, &word, 4);
    } else {
        const auto low = std::uint16_t(word);
        std::memcpy(p, &low, 2);
        p[2] = std::uint8_t(word >> 16);
    }
}

// The filters whose prediction depends on the pixel just decoded go one pixel at a time, with
// all its channels side by side in one register.
template <int B>
void unfilterSub(const std::uint8_t *in, std::uint8_t *out, std::size_t length)
{
    __m128i a = _mm_setzero_si128();
    for (std::size_t i = 0; i < length; i += B) {
        a = _mm_add_epi8(loadPixel<B>(in + i), a);
        storePixel<B>(out + i, a);
    }
}

template <int B>
void unfilterAverage(const std::uint8_t *in, const std::uint8_t *previous, std::uint8_t *out, std::size_t length)
{
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    for (std::size_t i = 0; i < length; i += B) {
        const __m128i b = loadPixel<B>(previous + i);
        // The rounding-up average corrected to the truncating one the format wants.
        const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(loadPixel<B>(in + i), mean);
        storePixel<B>(out + i, a);
    }
}

__m128i absolute(__m128i v)
{
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

__m128i select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int B>
void unfilterPaeth(const std::uint8_t *in, const std::uint8_t *previous, std::uint8_t *out, std::size_t length)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero; // left, 16 bits a channel
    __m128i c = zero; // upper left
    for (std::size_t i = 0; i < length; i += B) {
        const __m128i b = _mm_unpacklo_epi8(loadPixel<B>(previous + i), zero);
        const __m128i d = _mm_unpacklo_epi8(loadPixel<B>(in + i), zero);
        __m128i pa = _mm_sub_epi16(b, c); // |p - a| with p = a + b - c
        __m128i pb = _mm_sub_epi16(a, c); // |p - b|
        __m128i pc = _mm_add_epi16(pa, pb); // |p - c|
        pa = absolute(pa);
        pb = absolute(pb);
        pc = absolute(pc);
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i nearest =
            select(_mm_cmpeq_epi16(smallest, pa), a, select(_mm_cmpeq_epi16(smallest, pb), b, c));
        // Adding bytewise wraps each channel modulo 256; the high byte of every lane stays 0.
        a = _mm_add_epi8(d, nearest);
        storePixel<B>(out + i, _mm_packus_epi16(a, a));
        c = b;
    }
}

#else

template <int B>
void unfilterSub(const std::uint8_t *in, std::uint8_t *out, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        out[i] = std::uint8_t(in[i] + (i >= B ? out[i - B] : 0));
}

template <int B>
void unfilterAverage(const std::uint8_t *in, const std::uint8_t *previous, std::uint8_t *out, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        out[i] = std::uint8_t(in[i] + ((i >= B ? out[i - B] : 0) + previous[i]) / 2);
}

template <int B>
void unfilterPaeth(const std::uint8_t *in, const std::uint8_t *previous, std::uint8_t *out, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const int a = i >= B ? out[i - B] : 0;
        const int b = previous[i];
        const int c = i >= B ? previous[i - B] : 0;
        const int pa = std::abs(b - c);
        const int pb = std::abs(a - c);
        const int pc = std::abs(a + b - 2 * c);
        const int nearest = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        out[i] = std::uint8_t(in[i] + nearest);
    }
}

#endif

template <int B>
bool unfilter(std::uint8_t type, const std::uint8_t *in, const std::uint8_t *previous, std::uint8_t *out,
              std::size_t length)
{
    switch (type) {
    case none:
        std::memcpy(out, in, length);
        return true;
    case sub:
        unfilterSub<B>(in, out, length);
        return true;
    case up:
        for (std::size_t i = 0; i < length; ++i)
            out[i] = std::uint8_t(in[i] + previous[i]);
        return true;
    case average:
        unfilterAverage<B>(in, previous, out, length);
        return true;
    case paeth:
        unfilterPaeth<B>(in, previous, out, length);
        return true;
    default:
        return false;
    }
}

} // namespace

bool unfilterRow(std::uint8_t filterType, const std::uint8_t *filtered, const std::uint8_t *previous,
                 std::uint8_t *out, std::size_t length, int bytesPerPixel)
{
    return bytesPerPixel == 3 ? unfilter<3>(filterType, filtered, previous, out, length)
                              : unfilter<4>(filterType, filtered, previous, out, length);
}

void packRgb(const std::uint8_t *rgb, std::uint32_t *words, std::size_t pixels)
{
    for (std::size_t x = 0; x < pixels; ++x, rgb += 3)
        words[x] = 0xFF000000u | std::uint32_t(rgb[0]) << 16 | std::uint32_t(rgb[1]) << 8 | rgb[2];
}

void packRgba(const std::uint8_t *rgba, std::uint32_t *words, std::size_t pixels)
{
    for (std::size_t x = 0; x < pixels; ++x, rgba += 4)
        words[x] = std::uint32_t(rgba[3]) << 24 | std::uint32_t(rgba[0]) << 16 | std::uint32_t(rgba[1]) << 8 | rgba[2];
}

} // namespace vantrel::png
