#pragma once

#include <QString>

namespace vantrel {

struct DeviceConnectionState {
    enum class Kind { idle, preparing, connected, failed };

    Kind kind = Kind::idle;
    QString message; // only for preparing and failed

    static DeviceConnectionState idle() { return {Kind::idle, {}}; }
    static DeviceConnectionState preparing(const QString &m) { return {Kind::preparing, m}; }
    static DeviceConnectionState connected() { return {Kind::connected, {}}; }
    static DeviceConnectionState failed(const QString &m) { return {Kind::failed, m}; }

    bool operator==(const DeviceConnectionState &) const = default;
};

} // namespace vantrel
