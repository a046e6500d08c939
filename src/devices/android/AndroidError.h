#pragma once

#include "engine/AppError.h"

#include <QString>

#include <exception>

namespace vantrel {

// The error values of the Android manager (domain "Vantrel.Android") and their fixed texts.
class AndroidError {
public:
    enum Code {
        adbMissing = 1,
        notAuthorized = 2,
        notConnected = 3,
        screenshotUnavailable = 4,
        screenshotFailed = 5,
        appiumSessionMissing = 8,
        appiumNoHierarchy = 9,
        appiumEmptyHierarchy = 10,
        appiumSessionFailed = 11,
        appiumMissing = 12,
        appiumStartFailed = 13,
        appiumRequestFailed = 14,
    };

    static AppError make(Code code, const QString &description);

    // The user-facing text of any error this subsystem passes on.
    static QString describe(const std::exception &error);

    static inline const QString kAdbMissing = QStringLiteral("未找到 ADB");
    static inline const QString kNotAuthorized = QStringLiteral("Android 设备未授权");
    static inline const QString kNotConnected = QStringLiteral("Android 设备尚未连接");
    static inline const QString kScreenshotUnavailable = QStringLiteral("ADB 或设备序列号不可用");
    static inline const QString kScreenshotFailed = QStringLiteral("Android 截图失败");
    static inline const QString kAppiumSessionMissing = QStringLiteral("Appium Android 会话未建立");
    static inline const QString kAppiumNoHierarchy = QStringLiteral("Appium 未返回 Android UI 层级");
    static inline const QString kAppiumEmptyHierarchy = QStringLiteral("Android UI 层级为空");
    static inline const QString kAppiumSessionFailedPrefix = QStringLiteral("Appium Android 会话创建失败：");
    static inline const QString kAppiumMissing = QStringLiteral(
        "当前页面持续刷新，需要安装 Appium 与 UiAutomator2：npm install -g appium && appium driver install uiautomator2");
    static inline const QString kAppiumStartFailed = QStringLiteral("Appium 启动失败，请查看 Android 环境诊断");

private:
    AndroidError() = delete;
};

} // namespace vantrel
