#pragma once

#include <QString>

#include <optional>

namespace vantrel {

struct AndroidDevice {
    enum class State { online, offline, unauthorized, unknown };

    QString id;
    QString name;
    QString model;
    State state = State::unknown;

    bool operator==(const AndroidDevice &) const = default;
};

// adb's own words: "device", "offline", "unauthorized", "unknown".
QString rawValue(AndroidDevice::State state);
std::optional<AndroidDevice::State> androidStateFromRaw(const QString &raw);

struct IOSDevice {
    QString id;
    QString name;
    QString osVersion;
    bool isOffline = false;

    bool operator==(const IOSDevice &) const = default;
};

} // namespace vantrel
