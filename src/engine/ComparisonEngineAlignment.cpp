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

// The R, G and B bytes of a pixel in memory order, with a zero in place of alpha.
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

    // The sample grid is fixed for all candidates. The reference samples are gathered once. A
    // candidate's floating samples sit at x = 8 + c*s + dx; writing dx = q*s + k (0 <= k < s), that
    // is column c + q of the grid 8 + k + j*s. So one gathered plane per residue k serves every
    // horizontal displacement, and a candidate is a run of byte-wise absolute differences between
    // a reference row and a slice of a plane row (colour bytes only; alpha is zero in both).
    std::vector<std::uint32_t> ref(samples);
    for (std::size_t r = 0; r < rows; ++r) {
        const int y = std::min(ys[r], hr - 1);
        for (std::size_t c = 0; c < cols; ++c)
            ref[r * cols + c] = colourWord(reference.pixel(std::min(xs[c], wr - 1), y));
    }
    const auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const int qMin = floorDiv(-kSearchRadius, step);
    const int qMax = floorDiv(kSearchRadius, step);
    const std::size_t planeCols = cols + std::size_t(qMax - qMin);
    // Plane index of each residue that some displacement uses (all of them unless s > 17).
    std::vector<int> planeOf(std::size_t(step), -1);
    int residues = 0;
    for (int dx = -kSearchRadius; dx <= kSearchRadius; ++dx) {
        const int k = dx - floorDiv(dx, step) * step;
        if (planeOf[std::size_t(k)] < 0)
            planeOf[std::size_t(k)] = residues++;
    }
    std::vector<std::uint32_t> planes;
    if (samples > 0) {
        planes.resize(std::size_t(residues) * std::size_t(hf) * planeCols);
        std::vector<int> fx(planeCols);
        for (int k = 0; k < step; ++k) {
            if (planeOf[std::size_t(k)] < 0)
                continue;
            const std::size_t plane = std::size_t(planeOf[std::size_t(k)]);
            for (std::size_t j = 0; j < planeCols; ++j)
                fx[j] = std::clamp(kMargin + k + (int(j) + qMin) * step, 0, wf - 1);
            for (int fy = 0; fy < hf; ++fy) {
                std::uint32_t *row = planes.data() + (plane * hf + fy) * planeCols;
                for (std::size_t j = 0; j < planeCols; ++j)
                    row[j] = colourWord(floating.pixel(fx[j], fy));
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
                const int q = floorDiv(dx, step);
                const std::size_t plane = std::size_t(planeOf[std::size_t(dx - q * step)]);
                std::uint64_t total = 0;
                for (std::size_t r = 0; r < rows; ++r) {
                    const int fy = std::clamp(ys[r] + dy, 0, hf - 1);
                    const std::uint32_t *slice =
                        planes.data() + (plane * hf + fy) * planeCols + std::size_t(q - qMin);
                    total += absoluteDifference(reinterpret_cast<const std::uint8_t *>(ref.data() + r * cols),
                                                reinterpret_cast<const std::uint8_t *>(slice), cols * 4);
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
