#pragma once

#include "engine/Models.h"

#include <QString>

namespace vantrel::texts {

// The texts the main window derives from the state, one rule each.

// "连接中…", "连接", "断开" or "重试连接".
QString connectLabel(const DeviceConnectionState &state);
// "iPhone 15 · iOS 18.1", plus "（离线）" when offline.
QString deviceEntry(const IOSDevice &device);
// The phone's name, plus its adb state in "（" "）" when it is not online.
QString deviceEntry(const AndroidDevice &device);
// "登录页 · 97.3%"
QString historyEntry(const ComparisonHistoryEntry &entry);
// "首页  375×812"
QString frameEntry(const DesignFrameOption &frame);
// The design card's subtitle: the design's name and pixel size, or what it accepts.
QString designSubtitle(const std::optional<ImportedDesign> &design, bool showingHistory);
// "%.2f%%" of a value already in percent.
QString percent(double value);

} // namespace vantrel::texts
