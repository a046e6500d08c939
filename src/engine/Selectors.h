#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vantrel {

enum class AppPlatform { ios, android };
enum class ComparisonDisplayMode { sideBySide, overlay, heatmap };
enum class MainWorkspaceMode { capture, result };

QString rawValue(AppPlatform value);
QString rawValue(ComparisonDisplayMode value);
QString rawValue(MainWorkspaceMode value);
std::optional<AppPlatform> appPlatformFromRaw(const QString &raw);
std::optional<ComparisonDisplayMode> displayModeFromRaw(const QString &raw);
std::optional<MainWorkspaceMode> workspaceModeFromRaw(const QString &raw);

} // namespace vantrel
