#pragma once

#include "devices/appium/AppiumClient.h"
#include "devices/appium/AppiumServerProcess.h"
#include "devices/DeviceManagerBase.h"
#include "devices/android/LoopPause.h"
#include "engine/CapturedDeviceState.h"
#include "engine/DeviceConnectionState.h"
#include "engine/DeviceElement.h"
#include "engine/DeviceRecords.h"
#include "engine/EnvironmentCheck.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <exception>
#include <optional>

namespace vantrel {

// Android phones through adb: the device list and selection, the diagnostics lines, connecting,
// the live screenshot loop, the element tree (system uiautomator, with an Appium UiAutomator2
// session as the fallback for pages that never become idle) and the capture for a comparison.
//
// Every observable field has a getter and a change signal. Everything runs on the thread the
// object lives in (the main thread); tools run as child processes on background threads and are
// awaited. Fire-and-forget operations (refreshDevices, runDiagnostics, connect) report only
// through the fields; their awaitable forms are for callers that need to wait (the CLI, tests).
//
// The methods are spread over files by topic: AndroidDeviceManager.cpp (its own fields, adb and the
// device list), ...Capture.cpp (screenshots, live frames, connect, disconnect, comparison capture),
// ...Hierarchy.cpp (element tree and its loop), ...Appium.cpp (the Appium fallback),
// ...Diagnostics.cpp.
class AndroidDeviceManager : public DeviceManagerBase {
    Q_OBJECT
public:
    static inline const QString kErrorDomain = QStringLiteral("Vantrel.Android");

    // Time limits of the tool commands, in seconds.
    static constexpr double kAdbCommandTimeout = 45;  // devices -l, get-state, version, lookups
    static constexpr double kDumpTimeout = 25;        // uiautomator dump
    static constexpr double kProcessToolTimeout = 5;  // lsof and kill
    // Time limits of the Appium requests.
    static constexpr std::chrono::seconds kAppiumStatusLimit{15};
    static constexpr std::chrono::seconds kAppiumSessionLimit{180};
    static constexpr std::chrono::seconds kAppiumSourceLimit{15};
    static constexpr std::chrono::seconds kAppiumDeleteLimit{15};
    static constexpr int kAppiumStartChecks = 60;
    static constexpr int kUiautomatorSystemPort = 8231;
    static inline const QString kDumpPath = QStringLiteral("/sdcard/vantrel-window.xml");

    // The pauses, waits and limits in use. Tests shorten them; the application keeps the defaults.
    struct Timing {
        double adbCommandLimit = kAdbCommandTimeout;
        double dumpLimit = kDumpTimeout;
        std::chrono::milliseconds appiumSourceLimit = kAppiumSourceLimit;
        std::chrono::milliseconds framePause{550};
        std::chrono::milliseconds hierarchyInterval{3000};
        std::chrono::milliseconds hierarchyCooldown{60'000};
        std::chrono::milliseconds appiumStartPoll{250};
        std::chrono::milliseconds staleServerSettle{600};
    };

    explicit AndroidDeviceManager(QObject *parent = nullptr);
    ~AndroidDeviceManager() override;

    // --- Observable fields (the common ones are in DeviceManagerBase) ------------------------
    const QList<AndroidDevice> &devices() const { return m_devices; }
    // The XML text `elements` was read from (a uiautomator dump or an Appium page source); empty
    // when `elements` is empty. Not observable: it changes together with `elements`.
    const QString &elementTreeSource() const { return elementSource(); }
    const std::optional<QString> &lastCaptureWarning() const { return m_lastCaptureWarning; }

    // --- Operations ---------------------------------------------------------------------------
    // Lists the phones (returns at once; see listDevices).
    void refreshDevices();
    QCoro::Task<void> listDevices();
    // Builds the diagnostics lines (returns at once; see diagnose).
    void runDiagnostics();
    QCoro::Task<void> diagnose();
    // Connects the selected phone: checks the selection at once, then connects in a task.
    void connect();
    // The same, awaitable: true when the phone ended up connected.
    QCoro::Task<bool> connectAndWait();
    // Stops the loops, ends the Appium session and the server this object started.
    void disconnect();
    // A full screenshot with an element tree and the screen size; throws AppError.
    QCoro::Task<CapturedDeviceState> captureForComparison();

    // --- Building blocks (used across the files of this class, and by tests) ------------------
    QCoro::Task<std::optional<QString>> resolveADBPath();
    static QList<AndroidDevice> parseADBDevices(const QString &output);
    // The explanation shown for a phone that is not online.
    static QString stateMessage(AndroidDevice::State state);

    QCoro::Task<QImage> captureScreenshot();
    void startFrameLoop();
    QCoro::Task<void> refreshHierarchy();
    QCoro::Task<void> performHierarchyRefresh();
    void startHierarchyLoop();
    static bool isTimeout(const std::exception &error);

    QCoro::Task<void> refreshHierarchyViaAppium();
    QCoro::Task<void> ensureAppiumSession();
    QCoro::Task<void> ensureAppiumRunning();
    QCoro::Task<std::optional<QString>> resolveAppiumPath();
    QCoro::Task<void> stopStaleAppiumServer();
    // The process ids in lsof's answer that may be sent SIGTERM.
    static QStringList killTargets(const QString &lsofOutput);
    QCoro::Task<QByteArray> appiumRequest(QString path, QByteArray method, std::optional<QJsonObject> body,
                                          std::chrono::milliseconds limit);
    static QString appiumErrorMessage(const QByteArray &body);
    static QStringList appiumCandidatePaths();
    // The "alwaysMatch" capabilities of the UiAutomator2 session for a phone.
    static QJsonObject sessionCapabilities(const QString &serial, int systemPort = kUiautomatorSystemPort);
    // The largest element's size, else the image's pixel size.
    static SizeValue screenSize(const QList<DeviceElement> &elements, const QImage &image);

    // --- Internal state, readable for diagnostics and tests -----------------------------------
    const std::optional<QString> &adbPath() const { return m_adbPath; }
    bool isFrameLoopRunning() const { return m_frameLoop.has_value(); }
    // Loops, tree reads or a session ending still under way (also after they were cancelled: a
    // command already running is let finish). The command line waits for this before it exits.
    bool hasBackgroundWork() const { return m_backgroundWork > 0; }
    bool isHierarchyLoopRunning() const { return m_hierarchyLoop.has_value(); }
    bool prefersAppiumHierarchy() const { return m_preferAppiumHierarchy; }
    const std::optional<QString> &appiumSessionID() const { return m_appiumSessionID; }
    bool startedAppium() const { return m_startedAppium; }
    bool didPrepareAppiumServer() const { return m_didPrepareAppiumServer; }
    bool isHierarchyRefreshInProgress() const { return m_hierarchyRefreshInProgress; }
    const std::optional<QDateTime> &hierarchyCooldownUntil() const { return m_hierarchyCooldownUntil; }
    QProcess *appiumProcess() const { return m_appiumServer ? m_appiumServer->process() : nullptr; }

    // --- Seams ----------------------------------------------------------------------------------
    int appiumPort() const { return m_appium.port(); }
    void setAppiumPort(int port) { m_appium.setPort(port); }
    const Timing &timing() const { return m_timing; }
    void setTiming(const Timing &timing) { m_timing = timing; }

signals:
    void lastCaptureWarningChanged();

private:
    void setDevices(const QList<AndroidDevice> &devices);
    // The source text is kept only with a non-empty tree.
    void setElements(const QList<DeviceElement> &elements, const QString &source = {});
    void setLastCaptureWarning(const std::optional<QString> &warning);

    // Counts one piece of background work for as long as it lives (if the manager does).
    class BackgroundWork {
    public:
        explicit BackgroundWork(AndroidDeviceManager *manager) : m_manager(manager) { ++manager->m_backgroundWork; }
        ~BackgroundWork()
        {
            if (m_manager)
                --m_manager->m_backgroundWork;
        }
        BackgroundWork(const BackgroundWork &) = delete;
        BackgroundWork &operator=(const BackgroundWork &) = delete;

    private:
        QPointer<AndroidDeviceManager> m_manager;
    };

    QCoro::Task<void> connectTask(AndroidDevice device, quint64 connection);
    void failConnection(const QString &description);
    static QCoro::Task<void> frameLoop(QPointer<AndroidDeviceManager> self, quint64 generation);
    static QCoro::Task<void> hierarchyLoop(QPointer<AndroidDeviceManager> self, quint64 generation);
    void stopLoops();
    void restartLoops(bool frame, bool hierarchy);
    void startAppiumServer(const QString &appiumPath);
    void terminateAppiumServer();
    static void terminateServerProcess(QPointer<AppiumServerProcess> server);
    QCoro::Task<void> endSessionThenStop(QString sessionID, QPointer<AppiumServerProcess> server);
    QCoro::Task<EnvironmentCheck> adbCheck();
    QCoro::Task<EnvironmentCheck> appiumCheck();

    QList<AndroidDevice> m_devices;
    std::optional<QString> m_lastCaptureWarning;

    std::optional<QString> m_adbPath;
    std::optional<quint64> m_frameLoop;     // generation of the running live-frame loop
    std::optional<quint64> m_hierarchyLoop; // generation of the running element-tree loop
    quint64 m_nextGeneration = 1;
    quint64 m_connection = 0;               // bumped by disconnect: a connect in flight then stops
    bool m_preferAppiumHierarchy = false;
    std::optional<QString> m_appiumSessionID;
    QPointer<AppiumServerProcess> m_appiumServer;
    bool m_startedAppium = false;
    bool m_didPrepareAppiumServer = false;
    bool m_hierarchyRefreshInProgress = false;
    std::optional<QDateTime> m_hierarchyCooldownUntil;

    int m_backgroundWork = 0;
    LoopPause m_framePause;
    LoopPause m_hierarchyPause;

    AppiumClient m_appium{AppiumClient::kAndroidServerPort};
    Timing m_timing;
};

} // namespace vantrel
