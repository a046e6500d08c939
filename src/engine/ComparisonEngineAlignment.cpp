#include "engine/ComparisonEngine.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantrel {

namespace {

constexpr int kSearchRadius = 8;
constexpr int kMargin = 8;
constexpr std::uint32_t kColourMask = 0x00FFFFFFu; // R, G, B bytes of a little-endian RGBA word

std::uint32_t colourWord(const std::uint8_t *pixel)
{
    return std::uint32_t(pixel[0]) | std::uint32_t(pixel[1]) << 8 | std::uint32_t(pixel[2]) << 16;
}

// Sum of |a - b| over n bytes.
std::uint64_t absoluteDifference(const std::uint8_t *a, const std::uint8_t *b, std::size_t n)
{
    std::uint64_t total = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    __m128i acc = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        acc = _mm_add_epi64(acc, _mm_sad_epu8(va, vb));
    }
    total = std::uint64_t(_mm_cvtsi128_si64(acc)) + std::uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(acc, acc)));
#endif
    for (; i < n; ++i)
        total += std::uint64_t(std::abs(int(a[i]) - int(b[i])));
    return total;
}

} // namespace

QPointF ComparisonEngine::estimateTranslation(const PixelImage &reference, const PixelImage &floating)
{
    const int wr = reference.width;
    const int hr = reference.height;
    const int wf = floating.width;
    const int hf = floating.height;
    const int step = std::max(wr / 180, 2);

    std::vector<int> xs;
    std::vector<int> ys;
    for (int x = kMargin; x < wr - kMargin; x += step)
        xs.push_back(x);
    for (int y = kMargin; y < hr - kMargin; y += step)
        ys.push_back(y);
    const std::size_t cols = xs.size();
    const std::size_t rows = ys.size();
    const std::size_t samples = cols * rows;

    // The sample grid is fixed for all candidates. Gather the reference samples once, and for each
    // horizontal displacement the floating samples of every row, as words with the alpha byte
    // cleared, so that one candidate is a run of byte-wise absolute differences.
    std::vector<std::uint32_t> ref(samples);
    for (std::size_t r = 0; r < rows; ++r) {
        const int y = std::min(ys[r], hr - 1);
        for (std::size_t c = 0; c < cols; ++c)
            ref[r * cols + c] = colourWord(reference.pixel(std::min(xs[c], wr - 1), y));
    }
    constexpr int kSpan = 2 * kSearchRadius + 1;
    std::vector<std::uint32_t> flo;
    if (samples > 0) {
        flo.resize(std::size_t(kSpan) * std::size_t(hf) * cols);
        for (int dx = -kSearchRadius; dx <= kSearchRadius; ++dx) {
            std::vector<int> fx(cols);
            for (std::size_t c = 0; c < cols; ++c)
                fx[c] = std::clamp(xs[c] + dx, 0, wf - 1);
            for (int fy = 0; fy < hf; ++fy) {
                std::uint32_t *row = flo.data() + (std::size_t(dx + kSearchRadius) * hf + fy) * cols;
                for (std::size_t c = 0; c < cols; ++c)
                    row[c] = colourWord(floating.pixel(fx[c], fy)) & kColourMask;
            }
        }
    }

    double bestScore = std::numeric_limits<double>::max();
    int bestLength = std::numeric_limits<int>::max();
    int bestDx = 0;
    int bestDy = 0;
    for (int dy = -kSearchRadius; dy <= kSearchRadius; ++dy) {
        for (int dx = -kSearchRadius; dx <= kSearchRadius; ++dx) {
            double score = std::numeric_limits<double>::max();
            if (samples > 0) {
                std::uint64_t total = 0;
                for (std::size_t r = 0; r < rows; ++r) {
                    const int fy = std::clamp(ys[r] + dy, 0, hf - 1);
                    const std::uint32_t *row = flo.data() + (std::size_t(dx + kSearchRadius) * hf + fy) * cols;
                    total += absoluteDifference(reinterpret_cast<const std::uint8_t *>(ref.data() + r * cols),
                                                reinterpret_cast<const std::uint8_t *>(row), cols * 4);
                }
                score = double(total) / double(samples);
            }
            const int length = std::abs(dx) + std::abs(dy);
            const bool clearlyBetter = score < bestScore - 0.001;
            const bool tieButCloser = std::abs(score - bestScore) <= 0.001 && length < bestLength;
            if (clearlyBetter || tieButCloser) {
                bestScore = score;
                bestLength = length;
                bestDx = dx;
                bestDy = dy;
            }
        }
    }
    return QPointF(double(-bestDx), double(-bestDy));
}

} // namespace vantrel
