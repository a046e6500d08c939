#include "devices/ios/DeviceManager.h"

#include "devices/tools/ProcessRunner.h"
#include "devices/tools/ToolPaths.h"
#include "engine/PreciseSleep.h"

#include <QOperatingSystemVersion>
#include <QRegularExpression>

namespace vantrel {

DeviceManager::DeviceManager(QObject *parent)
    : DeviceManagerBase(parent)
{
    attachStreamCallbacks();
    QObject::connect(&m_pollingPause, &QTimer::timeout, this, [this] {
        // The pause is over only when the whole interval has passed.
        if (PreciseSleep::armUntil(m_pollingPause, m_pollingDeadline))
            return;
        if (m_hierarchyLoop)
            pollOnce(QPointer<DeviceManager>(this), *m_hierarchyLoop);
    });
}

DeviceManager::~DeviceManager()
{
    // After stop() returns the stream reports nothing more; frames already queued for this object
    // are discarded with it. The polling loop holds only a weak reference and does not start
    // another turn. A server this object started is ended before it goes, its last output logged.
    m_stream.stop();
    stopHierarchyPolling();
    terminateAppiumServer();
    AppiumServerProcess::endAll(this);
}

// --- Observable fields ------------------------------------------------------------------------

void DeviceManager::setDevices(const QList<IOSDevice> &devices)
{
    if (m_devices == devices)
        return;
    m_devices = devices;
    emit devicesChanged();
}

// --- Device list ------------------------------------------------------------------------------

void DeviceManager::refreshDevices()
{
    listDevices();
}

QCoro::Task<void> DeviceManager::listDevices()
{
    QPointer<DeviceManager> self(this);
    setConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在查找 iPhone…")));
    const QStringList arguments{QStringLiteral("xctrace"), QStringLiteral("list"), QStringLiteral("devices")};
    const CommandOutput output = co_await ProcessRunner::run(ToolPaths::xcrun(), arguments, kToolTimeout);
    if (!self)
        co_return;
    setDevices(parseXctraceDevices(output.standardOutput));

    const bool selectionListed = m_selectedDeviceID
        && std::any_of(m_devices.cbegin(), m_devices.cend(),
                       [this](const IOSDevice &device) { return device.id == *m_selectedDeviceID; });
    if (!selectionListed) {
        const auto online = std::find_if(m_devices.cbegin(), m_devices.cend(),
                                         [](const IOSDevice &device) { return !device.isOffline; });
        setSelectedDeviceID(online == m_devices.cend() ? std::nullopt : std::optional<QString>(online->id));
    }

    if (m_devices.isEmpty())
        setConnectionState(DeviceConnectionState::failed(QStringLiteral("未发现已信任的 iPhone")));
    else
        setConnectionState(m_sessionID ? DeviceConnectionState::connected() : DeviceConnectionState::idle());
}

QList<IOSDevice> DeviceManager::parseXctraceDevices(const QString &listing)
{
    // Unicode white space (a trailing no-break space too) ends a line, as on the system the
    // listing comes from.
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(.+?) \(([^)]+)\) \(([0-9A-Fa-f-]{25,})\)\s*$)"),
        QRegularExpression::UseUnicodePropertiesOption);
    if (!pattern.isValid())
        return {};

    QList<IOSDevice> devices;
    QString section;
    static const QRegularExpression lineBreak(QStringLiteral("[\\n\\r\\x{2028}\\x{2029}\\x{85}\\x{0B}\\x{0C}]"));
    const QStringList lines = listing.split(lineBreak);
    for (const QString &rawLine : lines) {
        const QString line = trimSpacesAndTabs(rawLine);
        if (line.startsWith(QStringLiteral("== "))) {
            section = line;
            continue;
        }
        if (section != QStringLiteral("== Devices ==") && section != QStringLiteral("== Devices Offline =="))
            continue;
        if (line.contains(QStringLiteral("MacBook")) || line.contains(QStringLiteral("Simulator")))
            continue;
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch())
            continue;
        IOSDevice device;
        device.name = match.captured(1);
        device.osVersion = match.captured(2);
        device.id = match.captured(3);
        device.isOffline = section.contains(QStringLiteral("Offline"));
        devices.append(device);
    }
    return devices;
}

QString DeviceManager::trimSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin);
}

std::optional<int> DeviceManager::majorVersion(const QString &osVersion)
{
    const QStringList parts = osVersion.split(u'.', Qt::SkipEmptyParts);
    const QString first = parts.isEmpty() ? QStringLiteral("0") : parts.first();
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    if (!integer.match(first).hasMatch())
        return std::nullopt;
    bool ok = false;
    const int value = first.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<QVersionNumber> DeviceManager::runningMacOSVersion()
{
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    if (current.type() != QOperatingSystemVersion::MacOS)
        return std::nullopt;
    return QVersionNumber(qMax(0, current.majorVersion()), qMax(0, current.minorVersion()),
                          qMax(0, current.microVersion()));
}

} // namespace vantrel
