// The element tree: the guarded read with its cooldown, the uiautomator dump and the loop.
#include "devices/android/AndroidDeviceManager.h"

#include "devices/android/AndroidElementXMLParser.h"
#include "devices/android/AndroidError.h"
#include "devices/tools/BinaryProcessRunner.h"
#include "devices/appium/HttpTransportError.h"
#include "devices/tools/ProcessRunner.h"
#include "devices/tools/StrictUtf8.h"

namespace vantrel {

bool AndroidDeviceManager::isTimeout(const std::exception &error)
{
    if (const auto *transport = dynamic_cast<const HttpTransportError *>(&error)) {
        if (transport->timedOut || transport->code == QNetworkReply::TimeoutError)
            return true;
    }
    const QString description = AndroidError::describe(error).toLower();
    return description.contains(QStringLiteral("timed out")) || description.contains(QStringLiteral("超时"));
}

QCoro::Task<void> AndroidDeviceManager::refreshHierarchy()
{
    if (m_hierarchyRefreshInProgress)
        co_return;
    if (m_hierarchyCooldownUntil && *m_hierarchyCooldownUntil > QDateTime::currentDateTimeUtc())
        co_return;

    QPointer<AndroidDeviceManager> self(this);
    m_hierarchyRefreshInProgress = true;
    std::exception_ptr failure;
    bool timedOut = false;
    try {
        co_await performHierarchyRefresh();
    } catch (const std::exception &error) {
        failure = std::current_exception();
        timedOut = isTimeout(error);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        if (failure)
            std::rethrow_exception(failure);
        co_return;
    }
    m_hierarchyRefreshInProgress = false;
    if (failure) {
        if (timedOut) {
            m_hierarchyCooldownUntil = QDateTime::currentDateTimeUtc().addMSecs(m_timing.hierarchyCooldown.count());
            appendLog(QStringLiteral("元素树请求超时，暂停后台层级读取 60 秒，防止 Appium 请求排队\n"));
        }
        std::rethrow_exception(failure);
    }
}

QCoro::Task<void> AndroidDeviceManager::performHierarchyRefresh()
{
    if (m_preferAppiumHierarchy) {
        co_await refreshHierarchyViaAppium();
        co_return;
    }
    if (!m_adbPath || !m_selectedDeviceID)
        co_return;

    QPointer<AndroidDeviceManager> self(this);
    const QString adb = *m_adbPath;
    const QString serial = *m_selectedDeviceID;
    const QStringList dumpArguments{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("uiautomator"),
                                    QStringLiteral("dump"), kDumpPath};
    // The file of an earlier dump goes first: a dump that fails to write must not read back the
    // tree of a screen shown before.
    const QStringList removeArguments{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("rm"),
                                      QStringLiteral("-f"), kDumpPath};
    co_await ProcessRunner::run(adb, removeArguments, m_timing.adbCommandLimit);
    if (!self)
        co_return;
    const CommandOutput dump = co_await ProcessRunner::run(adb, dumpArguments, m_timing.dumpLimit);
    if (!self)
        co_return;
    if (dump.status != 0) {
        appendLog(QStringLiteral("系统 uiautomator 不可用，切换到 Appium 无等待模式：") + dump.standardOutput
                  + dump.standardError + u'\n');
        m_preferAppiumHierarchy = true;
        co_await refreshHierarchyViaAppium();
        co_return;
    }

    const QStringList readArguments{QStringLiteral("-s"), serial, QStringLiteral("exec-out"), QStringLiteral("cat"),
                                    kDumpPath};
    const BinaryCommandOutput file = co_await BinaryProcessRunner::run(adb, readArguments, m_timing.adbCommandLimit);
    if (!self)
        co_return;
    const QString xml = strictUtf8OrEmpty(file.data);
    if (file.status == 0 && xml.contains(QStringLiteral("<hierarchy"))) {
        setElements(AndroidElementXMLParser::parse(xml), xml);
        co_return;
    }
    appendLog(QStringLiteral("系统 UI 层级文件不可读，切换到 Appium 无等待模式\n"));
    m_preferAppiumHierarchy = true;
    co_await refreshHierarchyViaAppium();
}

void AndroidDeviceManager::startHierarchyLoop()
{
    const quint64 generation = m_nextGeneration++;
    m_hierarchyLoop = generation;
    m_hierarchyPause.cancel(); // a replaced loop waiting in its pause ends now
    hierarchyLoop(QPointer<AndroidDeviceManager>(this), generation);
}

QCoro::Task<void> AndroidDeviceManager::hierarchyLoop(QPointer<AndroidDeviceManager> self, quint64 generation)
{
    const BackgroundWork work(self);
    const auto running = [&] { return self && self->m_hierarchyLoop == generation; };
    while (running()) {
        co_await self->m_hierarchyPause.wait(self->m_timing.hierarchyInterval);
        if (!running())
            co_return;
        try {
            co_await self->refreshHierarchy();
        } catch (const std::exception &error) {
            if (!self)
                co_return;
            self->appendLog(QStringLiteral("元素树刷新失败：") + AndroidError::describe(error) + u'\n');
        }
    }
}

} // namespace vantrel
