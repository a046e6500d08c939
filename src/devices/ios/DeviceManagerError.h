#pragma once

#include "engine/AppError.h"

#include <QString>

#include <exception>

namespace vantrel {

// The error values of the iPhone manager (domain "Vantrel") and their fixed texts.
class DeviceManagerError {
public:
    enum Code {
        notConnected = 1,
        sessionMissing = 2,
        screenshotUnreadable = 3,
        sourceUnreadable = 4,
        appiumMissing = 5,
        appiumStartFailed = 6,
        sessionFailed = 7,
        requestFailed = 8,
    };

    static inline const QString kDomain = QStringLiteral("Vantrel");

    static inline const QString kNotConnected = QStringLiteral("尚未连接 iPhone");
    static inline const QString kSessionMissing = QStringLiteral("WDA 会话不存在");
    static inline const QString kScreenshotUnreadable = QStringLiteral("无法解析 WDA 高清截图");
    static inline const QString kSourceUnreadable = QStringLiteral("无法解析 WDA 元素树");
    static inline const QString kAppiumMissing =
        QStringLiteral("未找到 Appium。请先运行 npm install -g appium，并安装 xcuitest 驱动。");
    static inline const QString kAppiumStartFailed = QStringLiteral("Appium 启动失败，请在环境诊断中查看详情");
    static inline const QString kSessionFailedPrefix = QStringLiteral("WDA 会话创建失败：");
    static inline const QString kUnknownReply = QStringLiteral("未知响应");
    static inline const QString kRequestFailed = QStringLiteral("HTTP 请求失败");

    static AppError make(Code code, const QString &description)
    {
        return AppError(kDomain, code, description);
    }

    // The user-facing description of any error the manager passes on (every error the system
    // raises carries it as its UTF-8 what()).
    static QString describe(const std::exception &error) { return QString::fromUtf8(error.what()); }

private:
    DeviceManagerError() = delete;
};

} // namespace vantrel
