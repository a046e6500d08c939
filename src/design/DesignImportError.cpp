#include "design/DesignImportError.h"

#include "engine/ImageFileReader.h"

namespace vantrel {

namespace {

// Each word (delimited by white space) with its first letter upper case and the rest lower case.
QString capitalizedWords(const QString &text)
{
    QString result = text;
    bool wordStart = true;
    for (QChar &c : result) {
        if (c.isSpace()) {
            wordStart = true;
            continue;
        }
        c = wordStart ? c.toUpper() : c.toLower();
        wordStart = false;
    }
    return result;
}

QString rateLimitMessage(std::optional<qint64> seconds, const std::optional<QString> &planTier,
                         const std::optional<QString> &rateType)
{
    if (!seconds)
        return QStringLiteral("Figma API 请求过于频繁，请稍后重试");
    if (*seconds <= 300)
        return QStringLiteral("Figma API 请求过于频繁，请等待约 ") + readableDuration(*seconds) + QStringLiteral(" 后重试");
    const QString plan = planTier ? capitalizedWords(*planTier) : QStringLiteral("当前");
    const QString rate = rateType ? *rateType : QStringLiteral("当前");
    return QStringLiteral("Figma ") + plan + QStringLiteral(" 套餐的 API ") + rate + QStringLiteral("额度已耗尽，预计 ")
        + readableDuration(*seconds)
        + QStringLiteral(" 后恢复。可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。");
}

} // namespace

QString readableDuration(qint64 s)
{
    if (s < 60)
        return QString::number(s) + QStringLiteral(" 秒");
    if (s < 3600)
        return QString::number(s / 60) + QStringLiteral(" 分钟");
    if (s < 86400)
        return QString::number(s / 3600) + QStringLiteral(" 小时 ") + QString::number(s / 60 % 60) + QStringLiteral(" 分钟");
    return QString::number(s / 86400) + QStringLiteral(" 天 ") + QString::number(s / 3600 % 24) + QStringLiteral(" 小时");
}

DesignImportError::DesignImportError(Kind kind, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_kind(kind)
    , m_description(description)
{
}

DesignImportError DesignImportError::http(int statusCode)
{
    DesignImportError error(Kind::http, QStringLiteral("下载失败，HTTP 状态码 ") + QString::number(statusCode));
    error.m_statusCode = statusCode;
    return error;
}

DesignImportError DesignImportError::figmaRateLimited(std::optional<qint64> seconds, std::optional<QString> planTier,
                                                      std::optional<QString> rateType)
{
    DesignImportError error(Kind::figmaRateLimited, rateLimitMessage(seconds, planTier, rateType));
    error.m_seconds = seconds;
    error.m_planTier = std::move(planTier);
    error.m_rateType = std::move(rateType);
    return error;
}

DesignImportError DesignImportError::network(const QString &text)
{
    DesignImportError error(Kind::network, QStringLiteral("网络请求失败：") + text);
    error.m_text = text;
    return error;
}

DesignImportError DesignImportError::invalidResponse(const QString &text)
{
    DesignImportError error(Kind::invalidResponse, QStringLiteral("设计稿响应无法解析：") + text);
    error.m_text = text;
    return error;
}

DesignImportError DesignImportError::invalidURL()
{
    return DesignImportError(Kind::invalidURL, QStringLiteral("链接格式不正确"));
}

DesignImportError DesignImportError::unsupportedImage()
{
    return DesignImportError(Kind::unsupportedImage, kUnsupportedImageMessage);
}

DesignImportError DesignImportError::missingFigmaToken()
{
    return DesignImportError(Kind::missingFigmaToken, QStringLiteral("请先在设置中填写 Figma 只读 Token"));
}

DesignImportError DesignImportError::figmaNodeNotFound()
{
    return DesignImportError(Kind::figmaNodeNotFound, QStringLiteral("Figma 链接中未找到可导出的画板"));
}

DesignImportError DesignImportError::webpageImageNotFound()
{
    return DesignImportError(Kind::webpageImageNotFound,
                             QStringLiteral("网页中未找到可下载的设计图，请改为上传导出的图片"));
}

} // namespace vantrel
