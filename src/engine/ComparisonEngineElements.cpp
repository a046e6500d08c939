#include "engine/ComparisonEngine.h"

#include "engine/NumberText.h"

#include <QHash>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vantrel {

namespace {

// Numbers for user-perceived characters, shared by the texts of one run, so that character sets
// are sorted integer lists.
class CharacterTable {
public:
    int id(QStringView character)
    {
        const auto it = m_ids.constFind(character.toString());
        if (it != m_ids.constEnd())
            return *it;
        const int next = int(m_ids.size());
        m_ids.insert(character.toString(), next);
        return next;
    }

private:
    QHash<QString, int> m_ids;
};

// A text prepared once for the similarity measure: lower-cased, trimmed, and its distinct
// user-perceived characters.
struct PreparedText {
    QString text;
    std::vector<int> characters; // sorted, distinct

    PreparedText(const QString &raw, CharacterTable &table) : text(raw.toLower().trimmed())
    {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        qsizetype from = 0;
        while (finder.toNextBoundary() != -1) {
            const qsizetype to = finder.position();
            characters.push_back(table.id(QStringView(text).mid(from, to - from)));
            from = to;
        }
        std::sort(characters.begin(), characters.end());
        characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
    }
};

double similarity(const PreparedText &a, const PreparedText &b)
{
    if (a.text.isEmpty() || b.text.isEmpty())
        return 0;
    if (a.text == b.text)
        return 1.0;
    // Only the longer text can hold the shorter one; texts of equal length already differ.
    const bool contained = a.text.size() < b.text.size()   ? b.text.contains(a.text)
                           : b.text.size() < a.text.size() ? a.text.contains(b.text)
                                                           : false;
    if (contained)
        return 0.72;
    std::size_t shared = 0;
    auto i = a.characters.begin();
    auto j = b.characters.begin();
    while (i != a.characters.end() && j != b.characters.end()) {
        if (*i < *j) {
            ++i;
        } else if (*j < *i) {
            ++j;
        } else {
            ++shared;
            ++i;
            ++j;
        }
    }
    const std::size_t all = a.characters.size() + b.characters.size() - shared;
    return all == 0 ? 0 : 0.55 * double(shared) / double(all);
}

double area(const RectValue &r)
{
    return r.width * r.height;
}

double intersectionOverUnion(const RectValue &a, const RectValue &b)
{
    const double left = std::max(a.x, b.x);
    const double right = std::min(a.x + a.width, b.x + b.width);
    const double top = std::max(a.y, b.y);
    const double bottom = std::min(a.y + a.height, b.y + b.height);
    if (right <= left || bottom <= top)
        return 0;
    const double overlap = (right - left) * (bottom - top);
    const double united = area(a) + area(b) - overlap;
    return united > 0 ? overlap / united : 0;
}

bool isContainerType(const QString &type)
{
    return type == u"XCUIElementTypeApplication" || type == u"XCUIElementTypeWindow"
           || type == u"XCUIElementTypeOther";
}

bool isComparableNodeType(const QString &type)
{
    return type == u"TEXT" || type == u"RECTANGLE" || type == u"ELLIPSE" || type == u"INSTANCE"
           || type == u"COMPONENT";
}

struct Candidate {
    RectValue rect; // normalised
    QString text;   // comparisonText
    PreparedText prepared;
};

QString quoted(const QString &text)
{
    return QStringLiteral("“") + text + QStringLiteral("”");
}

} // namespace

double ComparisonEngine::stringSimilarity(const QString &a, const QString &b)
{
    CharacterTable table;
    return similarity(PreparedText(a, table), PreparedText(b, table));
}

std::optional<RgbColor> ComparisonEngine::rgb(const QString &hex)
{
    qsizetype begin = 0;
    qsizetype end = hex.size();
    while (begin < end && hex[begin] == u'#')
        ++begin;
    while (end > begin && hex[end - 1] == u'#')
        --end;
    if (end - begin < 6)
        return std::nullopt;
    const auto hexDigit = [](QChar c) -> int {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            return u - u'0';
        if (u >= u'a' && u <= u'f')
            return u - u'a' + 10;
        if (u >= u'A' && u <= u'F')
            return u - u'A' + 10;
        return -1;
    };
    unsigned value = 0;
    for (qsizetype i = begin; i < begin + 6; ++i) {
        const int digit = hexDigit(hex[i]);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + unsigned(digit);
    }
    return RgbColor{double((value >> 16) & 0xff), double((value >> 8) & 0xff), double(value & 0xff)};
}

RgbColor ComparisonEngine::sampledColor(const PixelImage &image, const RectValue &rect)
{
    const int cx = int((rect.x + rect.width / 2) * image.width);
    const int cy = int((rect.y + rect.height / 2) * image.height);
    double r = 0, g = 0, b = 0;
    for (int y = cy - 2; y <= cy + 2; ++y) {
        for (int x = cx - 2; x <= cx + 2; ++x) {
            const std::uint8_t *p = image.pixel(std::clamp(x, 0, image.width - 1), std::clamp(y, 0, image.height - 1));
            r += p[0];
            g += p[1];
            b += p[2];
        }
    }
    return RgbColor{r / 25, g / 25, b / 25};
}

QList<ComparisonIssue> ComparisonEngine::elementDiff(const QList<DeviceElement> &deviceElements,
                                                     const QList<DesignNode> &designNodes,
                                                     const SizeValue &deviceCanvas,
                                                     const SizeValue &designCanvas,
                                                     const PixelImage &screenshot,
                                                     const ComparisonSettings &s)
{
    constexpr qsizetype kMaxPerSide = 300;
    const double wf = 1 - s.designCropLeft - s.designCropRight;
    const double hf = 1 - s.designCropTop - s.designCropBottom;
    const double vw = std::max(1.0, wf * designCanvas.width);
    const double vh = std::max(1.0, hf * designCanvas.height);
    const bool designValid = designCanvas.width > 0 && designCanvas.height > 0;
    const bool deviceValid = deviceCanvas.width > 0 && deviceCanvas.height > 0;
    const bool cropUsable = hf > 0.1 && wf > 0.1;

    const auto normalisedDevice = [&](const RectValue &r) {
        if (!deviceValid)
            return r;
        return RectValue(r.x / deviceCanvas.width, r.y / deviceCanvas.height, r.width / deviceCanvas.width,
                         r.height / deviceCanvas.height);
    };
    const auto mappedDesign = [&](const RectValue &r) -> std::optional<RectValue> {
        RectValue n = r;
        if (designValid)
            n = RectValue(r.x / designCanvas.width, r.y / designCanvas.height, r.width / designCanvas.width,
                          r.height / designCanvas.height);
        RectValue m((n.x - s.designCropLeft) / wf + s.manualOffsetX / vw,
                    (n.y - s.designCropTop) / hf + s.manualOffsetY / vh, n.width / wf, n.height / hf);
        if (m.x + m.width <= 0 || m.y + m.height <= 0 || m.x >= 1 || m.y >= 1)
            return std::nullopt;
        return m;
    };

    CharacterTable characters;
    std::vector<Candidate> pool;
    for (const DeviceElement &e : deviceElements) {
        if (qsizetype(pool.size()) >= kMaxPerSide)
            break;
        if (!e.visible || e.rect.width <= 1 || e.rect.height <= 1 || isContainerType(e.type))
            continue;
        const QString text = e.comparisonText();
        if (e.type.startsWith(u"android.") && text.isEmpty())
            continue;
        pool.push_back(Candidate{normalisedDevice(e.rect), text, PreparedText(text, characters)});
    }

    QList<const DesignNode *> nodes;
    for (const DesignNode &n : designNodes) {
        if (nodes.size() >= kMaxPerSide)
            break;
        if (n.rect.width > 1 && n.rect.height > 1 && (n.text || isComparableNodeType(n.type)))
            nodes.append(&n);
    }

    QList<ComparisonIssue> issues;
    const auto add = [&](IssueCategory category, IssueSeverity severity, const QString &title,
                         const QString &detail, std::optional<RectValue> device, std::optional<RectValue> design) {
        ComparisonIssue issue;
        issue.category = category;
        issue.severity = severity;
        issue.title = title;
        issue.detail = detail;
        issue.deviceRect = device;
        issue.designRect = design;
        issues.append(issue);
    };

    for (const DesignNode *node : nodes) {
        if (!cropUsable)
            break;
        const std::optional<RectValue> mapped = mappedDesign(node->rect);
        if (!mapped)
            continue;
        const PreparedText designText(node->text.value_or(node->name), characters);

        std::size_t best = pool.size();
        double bestScore = 0;
        for (std::size_t i = 0; i < pool.size(); ++i) {
            const double score = 0.58 * intersectionOverUnion(*mapped, pool[i].rect)
                                 + 0.42 * similarity(designText, pool[i].prepared);
            if (score > bestScore) {
                bestScore = score;
                best = i;
            }
        }
        if (best == pool.size() || bestScore < 0.18) {
            if (node->text)
                add(IssueCategory::missing, IssueSeverity::high, QStringLiteral("缺少设计元素：") + node->name,
                    QStringLiteral("设计文本") + quoted(*node->text) + QStringLiteral("未在真机元素树中匹配到"),
                    std::nullopt, mapped);
            continue;
        }
        const Candidate match = pool[best];
        pool.erase(pool.begin() + std::ptrdiff_t(best));
        const RectValue &d = match.rect;
        const RectValue &m = *mapped;

        const QString nodeText = node->text.value_or(QString()).trimmed();
        const QString deviceText = match.text.trimmed();
        if (!nodeText.isEmpty() && !deviceText.isEmpty() && nodeText != deviceText)
            add(IssueCategory::text, IssueSeverity::high, QStringLiteral("文本不一致：") + node->name,
                QStringLiteral("设计稿") + quoted(nodeText) + QStringLiteral("，真机") + quoted(deviceText), d, m);

        const double distance = std::hypot(vw * (d.x - m.x), vh * (d.y - m.y));
        if (distance > s.positionTolerance)
            add(IssueCategory::position, distance <= 8 ? IssueSeverity::medium : IssueSeverity::high,
                QStringLiteral("位置偏差：") + node->name,
                QStringLiteral("偏移约 %1 pt，容差 %2 pt").arg(NumberText::fixed(distance, 1), NumberText::fixed(s.positionTolerance, 1)), d, m);

        const double dw = std::abs(vw * d.width - node->rect.width);
        const double dh = std::abs(vh * d.height - node->rect.height);
        const double dmax = std::max(dw, dh);
        if (dmax > s.sizeTolerance)
            add(IssueCategory::size, dmax <= 8 ? IssueSeverity::medium : IssueSeverity::high,
                QStringLiteral("尺寸偏差：") + node->name,
                QStringLiteral("宽度差 %1 pt，高度差 %2 pt，容差 %3 pt")
                    .arg(NumberText::fixed(dw, 1), NumberText::fixed(dh, 1), NumberText::fixed(s.sizeTolerance, 1)), d, m);

        if (node->fillHex) {
            if (const auto fill = rgb(*node->fillHex)) {
                const RgbColor sample = sampledColor(screenshot, d);
                const double delta =
                    (std::abs(sample.r - fill->r) + std::abs(sample.g - fill->g) + std::abs(sample.b - fill->b)) / 3;
                if (delta > std::max(18.0, s.pixelThreshold))
                    add(IssueCategory::color, delta <= 55 ? IssueSeverity::medium : IssueSeverity::high,
                        QStringLiteral("颜色可能不一致：") + node->name,
                        QStringLiteral("设计色 ") + *node->fillHex
                            + QStringLiteral("，截图区域采样差值 ") + NumberText::fixed(delta, 0),
                        d, m);
            }
        }
    }

    for (const Candidate &left : pool) {
        if (!left.text.isEmpty())
            add(IssueCategory::extra, IssueSeverity::low, QStringLiteral("真机存在额外元素"),
                quoted(left.text) + QStringLiteral("未在设计稿结构中匹配到"), left.rect, std::nullopt);
    }
    if (issues.size() > kMaxElementIssues)
        issues.resize(kMaxElementIssues);
    return issues;
}

} // namespace vantrel
