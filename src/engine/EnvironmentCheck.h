#pragma once

#include <QString>
#include <QUuid>

namespace vantrel {

// One line of a diagnostics list.
struct EnvironmentCheck {
    enum class Level { success, warning, failure };

    QUuid id = QUuid::createUuid();
    QString name;
    QString detail;
    Level level = Level::success;

    bool operator==(const EnvironmentCheck &) const = default;
};

// A level as the user reads it: "正常", "提示" or "失败".
QString levelLabel(EnvironmentCheck::Level level);

} // namespace vantrel
