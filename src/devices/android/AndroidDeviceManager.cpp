#include "devices/android/AndroidDeviceManager.h"

#include "devices/ElementTreeSize.h"
#include "devices/tools/LoginShellLookup.h"
#include "devices/tools/ProcessRunner.h"
#include "devices/tools/ToolPaths.h"
#include "engine/ImageHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace vantrel {

AndroidDeviceManager::AndroidDeviceManager(QObject *parent)
    : DeviceManagerBase(parent)
{
}

AndroidDeviceManager::~AndroidDeviceManager()
{
    // Loops hold only a weak reference and stop on their own; the server child (if any) is ended
    // with this object.
    stopLoops();
    terminateAppiumServer();
    // Servers still being ended go with this object: wait for them so none is left behind.
    AppiumServerProcess::endAll(this);
}

// --- Observable fields ------------------------------------------------------------------------

void AndroidDeviceManager::setDevices(const QList<AndroidDevice> &devices)
{
    if (m_devices == devices)
        return;
    m_devices = devices;
    emit devicesChanged();
}

void AndroidDeviceManager::setElements(const QList<DeviceElement> &elements, const QString &source)
{
    DeviceManagerBase::setElements(elements, elements.isEmpty() ? QString() : source);
}

void AndroidDeviceManager::setLastCaptureWarning(const std::optional<QString> &warning)
{
    if (m_lastCaptureWarning == warning)
        return;
    m_lastCaptureWarning = warning;
    emit lastCaptureWarningChanged();
}

QString AndroidDeviceManager::stateMessage(AndroidDevice::State state)
{
    switch (state) {
    case AndroidDevice::State::online:
        return {};
    case AndroidDevice::State::offline:
        return QStringLiteral("Android 设备离线，请重新插拔 USB");
    case AndroidDevice::State::unauthorized:
        return QStringLiteral("请在 Android 手机上允许此电脑进行 USB 调试");
    case AndroidDevice::State::unknown:
        break;
    }
    return QStringLiteral("Android 设备状态异常");
}

// --- adb and the device list ------------------------------------------------------------------

QCoro::Task<std::optional<QString>> AndroidDeviceManager::resolveADBPath()
{
    // An explicit override is used alone: a wrong one shows up as "no adb", not as another adb.
    if (auto path = ToolPaths::adbOverride())
        co_return ToolPaths::isExecutableFile(*path) ? path : std::nullopt;
    const QString sdkAdb = QDir::homePath() + QStringLiteral("/Library/Android/sdk/platform-tools/adb");
    if (ToolPaths::isExecutableFile(sdkAdb))
        co_return sdkAdb;
    co_return co_await LoginShellLookup::find(QStringLiteral("adb"));
}

QList<AndroidDevice> AndroidDeviceManager::parseADBDevices(const QString &output)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\\n\\r\\x{0B}\\x{0C}\\x{85}\\x{2028}\\x{2029}]"));
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    const QStringList lines = output.split(lineBreaks);
    QList<AndroidDevice> devices;
    if (lines.size() < 2)
        return devices;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList tokens = lines[i].split(whiteSpace, Qt::SkipEmptyParts);
        if (tokens.size() < 2)
            continue;
        QHash<QString, QString> properties;
        for (qsizetype t = 2; t < tokens.size(); ++t) {
            const qsizetype colon = tokens[t].indexOf(u':');
            if (colon < 0)
                continue;
            // adb prints each key once; on a repeat the first value is kept.
            const QString key = tokens[t].left(colon);
            if (!properties.contains(key))
                properties.insert(key, tokens[t].mid(colon + 1));
        }
        QString display = properties.contains(QStringLiteral("model")) ? properties.value(QStringLiteral("model"))
                          : properties.contains(QStringLiteral("device")) ? properties.value(QStringLiteral("device"))
                                                                          : QStringLiteral("Android");
        display.replace(u'_', u' ');
        AndroidDevice device;
        device.id = tokens[0];
        device.name = display;
        device.model = display;
        device.state = androidStateFromRaw(tokens[1]).value_or(AndroidDevice::State::unknown);
        devices.append(device);
    }
    return devices;
}

void AndroidDeviceManager::refreshDevices()
{
    listDevices();
}

QCoro::Task<void> AndroidDeviceManager::listDevices()
{
    QPointer<AndroidDeviceManager> self(this);
    setConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在查找 Android 设备…")));
    const std::optional<QString> adb = co_await resolveADBPath();
    if (!self)
        co_return;
    if (!adb) {
        setDevices({});
        setConnectionState(DeviceConnectionState::failed(QStringLiteral("未找到 ADB，请安装 Android SDK Platform Tools")));
        co_return;
    }
    m_adbPath = adb;

    const QStringList arguments{QStringLiteral("devices"), QStringLiteral("-l")};
    const CommandOutput output = co_await ProcessRunner::run(*adb, arguments, m_timing.adbCommandLimit);
    if (!self)
        co_return;
    const QList<AndroidDevice> listed = parseADBDevices(output.standardOutput);
    setDevices(listed);

    const auto isListed = [&](const QString &serial) {
        return std::any_of(listed.begin(), listed.end(), [&](const AndroidDevice &d) { return d.id == serial; });
    };
    if (!m_selectedDeviceID || !isListed(*m_selectedDeviceID)) {
        const auto online = std::find_if(listed.begin(), listed.end(),
                                         [](const AndroidDevice &d) { return d.state == AndroidDevice::State::online; });
        if (online != listed.end())
            setSelectedDeviceID(online->id);
        else if (!listed.isEmpty())
            setSelectedDeviceID(listed.first().id);
        else
            setSelectedDeviceID(std::nullopt);
    }

    if (listed.isEmpty()) {
        setConnectionState(DeviceConnectionState::failed(QStringLiteral("未发现 Android 设备，请连接 USB 并开启 USB 调试")));
    } else if (std::any_of(listed.begin(), listed.end(),
                           [](const AndroidDevice &d) { return d.state == AndroidDevice::State::online; })) {
        setConnectionState(m_frameLoop ? DeviceConnectionState::connected() : DeviceConnectionState::idle());
    } else {
        setConnectionState(DeviceConnectionState::failed(stateMessage(listed.first().state)));
    }
}

SizeValue AndroidDeviceManager::screenSize(const QList<DeviceElement> &elements, const QImage &image)
{
    if (auto largest = ElementTreeSize::largest(elements))
        return *largest;
    return pixelSizeValue(image);
}

} // namespace vantrel
