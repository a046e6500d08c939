#include "engine/Models.h"

#include "engine/PngEncoder.h"


#include <array>

namespace vantrel {

namespace {

template <typename E, std::size_t N>
QString labelOf(const std::array<const char16_t *, N> &labels, E value)
{
    return QString::fromUtf16(labels[static_cast<std::size_t>(value)]);
}

template <typename E, std::size_t N>
std::optional<E> valueOf(const std::array<const char16_t *, N> &labels, const QString &raw)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (raw == QString::fromUtf16(labels[i]))
            return static_cast<E>(i);
    }
    return std::nullopt;
}

constexpr std::array<const char16_t *, 7> kCategoryLabels = {u"视觉", u"文本", u"位置", u"尺寸",
                                                            u"颜色", u"缺失", u"多余"};
constexpr std::array<const char16_t *, 4> kSeverityLabels = {u"高", u"中", u"低", u"提示"};
constexpr std::array<const char16_t *, 5> kSourceKindLabels = {u"本地图片", u"图片链接", u"Figma",
                                                              u"CoDesign", u"网页"};
constexpr std::array<const char16_t *, 4> kAndroidStateLabels = {u"device", u"offline",
                                                                u"unauthorized", u"unknown"};
constexpr std::array<const char16_t *, 2> kPlatformLabels = {u"iOS", u"Android"};
constexpr std::array<const char16_t *, 3> kDisplayModeLabels = {u"并排", u"叠加", u"热力图"};
constexpr std::array<const char16_t *, 2> kWorkspaceLabels = {u"采集与设计稿", u"对比结果"};
constexpr std::array<const char16_t *, 3> kCheckLevelLabels = {u"正常", u"提示", u"失败"};

} // namespace

QString rawValue(IssueCategory v) { return labelOf(kCategoryLabels, v); }
QString rawValue(IssueSeverity v) { return labelOf(kSeverityLabels, v); }
QString rawValue(DesignSourceKind v) { return labelOf(kSourceKindLabels, v); }
QString rawValue(AndroidDevice::State v) { return labelOf(kAndroidStateLabels, v); }
QString rawValue(AppPlatform v) { return labelOf(kPlatformLabels, v); }
QString rawValue(ComparisonDisplayMode v) { return labelOf(kDisplayModeLabels, v); }
QString rawValue(MainWorkspaceMode v) { return labelOf(kWorkspaceLabels, v); }
QString levelLabel(EnvironmentCheck::Level v) { return labelOf(kCheckLevelLabels, v); }

std::optional<IssueCategory> issueCategoryFromRaw(const QString &raw)
{
    return valueOf<IssueCategory>(kCategoryLabels, raw);
}
std::optional<IssueSeverity> issueSeverityFromRaw(const QString &raw)
{
    return valueOf<IssueSeverity>(kSeverityLabels, raw);
}
std::optional<DesignSourceKind> designSourceKindFromRaw(const QString &raw)
{
    return valueOf<DesignSourceKind>(kSourceKindLabels, raw);
}
std::optional<AndroidDevice::State> androidStateFromRaw(const QString &raw)
{
    return valueOf<AndroidDevice::State>(kAndroidStateLabels, raw);
}
std::optional<AppPlatform> appPlatformFromRaw(const QString &raw)
{
    return valueOf<AppPlatform>(kPlatformLabels, raw);
}
std::optional<ComparisonDisplayMode> displayModeFromRaw(const QString &raw)
{
    return valueOf<ComparisonDisplayMode>(kDisplayModeLabels, raw);
}
std::optional<MainWorkspaceMode> workspaceModeFromRaw(const QString &raw)
{
    return valueOf<MainWorkspaceMode>(kWorkspaceLabels, raw);
}

QString DeviceElement::comparisonText() const
{
    const QString trimmed = label ? label->trimmed() : QString();
    if (!trimmed.isEmpty())
        return trimmed;
    return value.value_or(QString());
}

SizeValue pixelSizeValue(const QImage &image)
{
    return SizeValue{double(image.width()), double(image.height())};
}

std::optional<QByteArray> pngData(const QImage &image)
{
    return PngEncoder::encode(image);
}

} // namespace vantrel
