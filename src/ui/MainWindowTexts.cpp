#include "ui/MainWindowTexts.h"

#include "engine/NumberText.h"

namespace vantrel::texts {

QString connectLabel(const DeviceConnectionState &state)
{
    switch (state.kind) {
    case DeviceConnectionState::Kind::preparing:
        return QStringLiteral("连接中…");
    case DeviceConnectionState::Kind::connected:
        return QStringLiteral("断开");
    case DeviceConnectionState::Kind::failed:
        return QStringLiteral("重试连接");
    case DeviceConnectionState::Kind::idle:
        break;
    }
    return QStringLiteral("连接");
}

QString deviceEntry(const IOSDevice &device)
{
    return device.name + QStringLiteral(" · iOS ") + device.osVersion +
           (device.isOffline ? QStringLiteral("（离线）") : QString());
}

QString deviceEntry(const AndroidDevice &device)
{
    if (device.state == AndroidDevice::State::online)
        return device.name;
    return device.name + QStringLiteral("（") + rawValue(device.state) + QStringLiteral("）");
}

QString historyEntry(const ComparisonHistoryEntry &entry)
{
    return entry.designName + QStringLiteral(" · ") + NumberText::fixed(entry.score, 1) + u'%';
}

QString frameEntry(const DesignFrameOption &frame)
{
    return frame.name + QStringLiteral("  ") + QString::number(qint64(frame.size.width)) + u'×' +
           QString::number(qint64(frame.size.height));
}

QString designSubtitle(const std::optional<ImportedDesign> &design, bool showingHistory)
{
    if (showingHistory)
        return QStringLiteral("历史对比中的设计稿");
    if (!design)
        return QStringLiteral("PNG / JPG / WebP / Figma / CoDesign");
    return design->name + QStringLiteral(" · ") + QString::number(qint64(design->pixelSize.width)) + u'×' +
           QString::number(qint64(design->pixelSize.height));
}

QString percent(double value)
{
    return NumberText::fixed(value, 2) + u'%';
}

} // namespace vantrel::texts
