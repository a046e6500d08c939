#pragma once

#include <QString>

#include <optional>
#include <stdexcept>

namespace vantrel {

// Texts carried by DesignImportError::invalidResponse.
inline const QString kNoHttpResponseText = QStringLiteral("没有 HTTP 响应");
inline const QString kEmptyImageResponseText = QStringLiteral("图片响应为空");
inline const QString kFigmaTokenRefusedText =
    QStringLiteral("Figma Token 无权访问该文件，请检查 file_content:read 权限和文件共享权限");
inline const QString kFigmaNotObjectText = QStringLiteral("Figma 返回内容不是 JSON 对象");
inline const QString kFigmaJsonParseFailedText = QStringLiteral("Figma JSON 解析失败：");
inline const QString kFigmaBinaryExcerptText = QStringLiteral("二进制数据");
inline const QString kFigmaNoRenderingText = QStringLiteral("Figma 未返回画板图片");
inline const QString kMissingDocumentText = QStringLiteral("缺少 document");

// "45 秒", "3 分钟", "1 小时 1 分钟", "2 天 3 小时".
QString readableDuration(qint64 seconds);

// The one error type of design import. what() is the UTF-8 form of errorDescription().
class DesignImportError : public std::runtime_error {
public:
    enum class Kind {
        http,
        figmaRateLimited,
        network,
        invalidResponse,
        invalidURL,
        unsupportedImage,
        missingFigmaToken,
        figmaNodeNotFound,
        webpageImageNotFound,
    };

    static DesignImportError http(int statusCode);
    static DesignImportError figmaRateLimited(std::optional<qint64> seconds, std::optional<QString> planTier,
                                              std::optional<QString> rateType);
    static DesignImportError network(const QString &text);
    static DesignImportError invalidResponse(const QString &text);
    static DesignImportError invalidURL();
    static DesignImportError unsupportedImage();
    static DesignImportError missingFigmaToken();
    static DesignImportError figmaNodeNotFound();
    static DesignImportError webpageImageNotFound();

    Kind kind() const { return m_kind; }
    const QString &errorDescription() const { return m_description; }

    // Payloads; each is set only for the kinds that carry it.
    int statusCode() const { return m_statusCode; }                         // http
    std::optional<qint64> seconds() const { return m_seconds; }             // figmaRateLimited
    std::optional<QString> planTier() const { return m_planTier; }          // figmaRateLimited
    std::optional<QString> rateType() const { return m_rateType; }          // figmaRateLimited
    const QString &text() const { return m_text; }                          // network, invalidResponse

private:
    DesignImportError(Kind kind, const QString &description);

    Kind m_kind;
    QString m_description;
    int m_statusCode = 0;
    std::optional<qint64> m_seconds;
    std::optional<QString> m_planTier;
    std::optional<QString> m_rateType;
    QString m_text;
};

} // namespace vantrel
