#include "engine/ComparisonEngine.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace vantrel {

namespace {

// Per-channel-sum lookups: the difference d of a pixel is (|dR| + |dG| + |dB|) / 3, so every
// quantity that depends on d alone is a function of the integer sum 0...765.
struct ChangedPaint {
    std::array<std::uint8_t, 766> green{};
    std::array<std::uint8_t, 766> alpha{};
    // The luma weights times each channel value, so the dimmed grey of an unchanged pixel is
    // (red[R] + green[G] + blue[B]) * 0.22 with exactly the products of the direct formula.
    std::array<double, 256> lumaRed{};
    std::array<double, 256> lumaGreen{};
    std::array<double, 256> lumaBlue{};
    ChangedPaint()
    {
        for (int sum = 0; sum <= 765; ++sum) {
            const double d = sum / 3.0;
            green[sum] = std::uint8_t(std::max(0.0, 180 - d));
            alpha[sum] = std::uint8_t(std::min(d + 80, 230.0));
        }
        for (int v = 0; v < 256; ++v) {
            lumaRed[v] = 0.299 * v;
            lumaGreen[v] = 0.587 * v;
            lumaBlue[v] = 0.114 * v;
        }
    }
};

const ChangedPaint &changedPaint()
{
    static const ChangedPaint paint;
    return paint;
}

// Which pixels of a row the ignored regions cover. Each region is tested with the same
// normalised half-open rule as a single point test, evaluated once per column and once per row.
class IgnoredMask {
public:
    IgnoredMask(const QList<RectValue> &regions, int width, int height)
        : m_regions(regions), m_width(width), m_height(height), m_columns(regions.size())
    {
        for (qsizetype i = 0; i < regions.size(); ++i) {
            const RectValue &r = regions[i];
            m_columns[i].resize(std::size_t(width));
            for (int x = 0; x < width; ++x) {
                const double px = double(x) / width;
                m_columns[i][x] = px >= r.x && px < r.x + r.width;
            }
        }
        m_row.assign(std::size_t(width), 0);
    }

    // The mask of row y, or null when no region covers any part of it.
    const std::uint8_t *row(int y)
    {
        const double py = double(y) / m_height;
        bool any = false;
        std::fill(m_row.begin(), m_row.end(), 0);
        for (qsizetype i = 0; i < m_regions.size(); ++i) {
            const RectValue &r = m_regions[i];
            if (!(py >= r.y && py < r.y + r.height))
                continue;
            for (int x = 0; x < m_width; ++x)
                m_row[x] |= m_columns[i][x];
            any = true;
        }
        return any ? m_row.data() : nullptr;
    }

private:
    const QList<RectValue> &m_regions;
    int m_width;
    int m_height;
    std::vector<std::vector<std::uint8_t>> m_columns;
    std::vector<std::uint8_t> m_row;
};

} // namespace

VisualOutput ComparisonEngine::visualDiff(const PixelImage &device, const PixelImage &design,
                                          double threshold, int minimumArea,
                                          const QList<RectValue> &ignoredRegions)
{
    const int w = device.width;
    const int h = device.height;
    const int tilesX = (w + kTileSize - 1) / kTileSize;
    const int tilesY = (h + kTileSize - 1) / kTileSize;

    VisualOutput out;
    out.heatmap.width = w;
    out.heatmap.height = h;
    out.heatmap.bytes = QByteArray(qsizetype(w) * h * 4, '\0');
    std::vector<int> tileCounts(std::size_t(tilesX) * tilesY, 0);

    // d >= threshold  <=>  sum >= 3 * threshold, decided exactly per integer sum.
    std::array<bool, 766> changed{};
    for (int sum = 0; sum <= 765; ++sum)
        changed[sum] = sum / 3.0 >= threshold;
    const ChangedPaint &paint = changedPaint();

    IgnoredMask ignored(ignoredRegions, w, h);
    std::uint64_t compared = 0;
    std::uint64_t changedCount = 0;
    std::uint64_t totalSum = 0;
    std::uint8_t *heat = out.heatmap.data();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t *skip = ignoredRegions.isEmpty() ? nullptr : ignored.row(y);
        const std::uint8_t *a = device.pixel(0, y);
        const std::uint8_t *b = design.pixel(0, y);
        std::uint8_t *out4 = heat + std::size_t(y) * w * 4;
        int *tileRow = tileCounts.data() + std::size_t(y / kTileSize) * tilesX;
        for (int x = 0; x < w; ++x, a += 4, b += 4, out4 += 4) {
            if (skip && skip[x]) {
                out4[3] = 45;
                continue;
            }
            const int sum = std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
            ++compared;
            totalSum += std::uint64_t(sum);
            if (changed[sum]) {
                ++changedCount;
                ++tileRow[x / kTileSize];
                out4[0] = 255;
                out4[1] = paint.green[sum];
                out4[2] = 28;
                out4[3] = paint.alpha[sum];
            } else {
                const auto g =
                    std::uint8_t((paint.lumaRed[a[0]] + paint.lumaGreen[a[1]] + paint.lumaBlue[a[2]]) * 0.22);
                out4[0] = g;
                out4[1] = g;
                out4[2] = g;
                out4[3] = 255;
            }
        }
    }

    const int needed = std::max(minimumArea / 6, 2);
    QList<bool> flags(qsizetype(tileCounts.size()));
    for (std::size_t i = 0; i < tileCounts.size(); ++i)
        flags[qsizetype(i)] = tileCounts[i] >= needed;
    out.regions = tileRegions(flags, tilesX, tilesY, kTileSize, w, h, minimumArea);

    if (compared > 0) {
        out.changedPixelRatio = double(changedCount) / double(compared);
        out.meanColorDelta = (double(totalSum) / 3.0) / double(compared);
    }
    std::stable_sort(out.regions.begin(), out.regions.end(), [](const RectValue &l, const RectValue &r) {
        return l.width * l.height > r.width * r.height;
    });
    return out;
}

QList<RectValue> ComparisonEngine::tileRegions(const QList<bool> &flags, int width, int height,
                                               int tileSize, int pixelWidth, int pixelHeight,
                                               int minimumArea)
{
    static constexpr std::array<std::array<int, 2>, 8> kNeighbours = {
        {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {1, 1}, {-1, 1}, {1, -1}}};

    QList<RectValue> regions;
    std::vector<bool> visited(std::size_t(width) * height, false);
    std::vector<int> work;
    for (int ty = 0; ty < height; ++ty) {
        for (int tx = 0; tx < width; ++tx) {
            const int start = ty * width + tx;
            if (!flags.value(start) || visited[start])
                continue;
            visited[start] = true;
            work.assign(1, start);
            int minX = tx, maxX = tx, minY = ty, maxY = ty;
            for (std::size_t next = 0; next < work.size(); ++next) {
                const int cx = work[next] % width;
                const int cy = work[next] / width;
                minX = std::min(minX, cx);
                maxX = std::max(maxX, cx);
                minY = std::min(minY, cy);
                maxY = std::max(maxY, cy);
                for (const auto &[dx, dy] : kNeighbours) {
                    const int nx = cx + dx;
                    const int ny = cy + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                        continue;
                    const int n = ny * width + nx;
                    if (flags.value(n) && !visited[n]) {
                        visited[n] = true;
                        work.push_back(n);
                    }
                }
            }
            const int x0 = minX * tileSize;
            const int y0 = minY * tileSize;
            const int spanW = (maxX - minX + 1) * tileSize;
            const int spanH = (maxY - minY + 1) * tileSize;
            if (qint64(spanW) * spanH < minimumArea)
                continue;
            regions.append(RectValue(double(x0) / pixelWidth, double(y0) / pixelHeight,
                                     double(std::min(pixelWidth - x0, spanW)) / pixelWidth,
                                     double(std::min(pixelHeight - y0, spanH)) / pixelHeight));
        }
    }
    return regions;
}

QList<ComparisonIssue> ComparisonEngine::visualIssues(const QList<RectValue> &regions)
{
    QList<ComparisonIssue> issues;
    const qsizetype count = std::min<qsizetype>(regions.size(), kMaxVisualIssues);
    for (qsizetype i = 0; i < count; ++i) {
        const RectValue &region = regions[i];
        ComparisonIssue issue;
        issue.category = IssueCategory::visual;
        issue.severity = region.width * region.height > 0.04 ? IssueSeverity::high : IssueSeverity::medium;
        issue.title = QStringLiteral("视觉区域差异 ") + QString::number(i + 1);
        issue.detail = QStringLiteral("该区域像素颜色或内容与设计稿不同");
        issue.deviceRect = region;
        issue.designRect = region;
        issues.append(issue);
    }
    return issues;
}

} // namespace vantrel
