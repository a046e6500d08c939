#pragma once

#include "devices/appium/AppiumClient.h"
#include "devices/appium/AppiumServerProcess.h"
#include "devices/DeviceManagerBase.h"
#include "devices/ios/MJPEGStreamClient.h"
#include "engine/CapturedDeviceState.h"
#include "engine/DeviceConnectionState.h"
#include "engine/DeviceElement.h"
#include "engine/DeviceRecords.h"
#include "engine/EnvironmentCheck.h"
#include "engine/PreciseSleep.h"

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <QVersionNumber>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace vantrel {

// iPhones through Xcode's tools, Appium's XCUITest driver and WebDriverAgent: the device list and
// selection, the tool-chain diagnostics, the WebDriverAgent session with its live MJPEG stream
// and element-tree polling, and the capture for a comparison.
//
// Every observable field has a getter and a change signal. Everything runs on the thread the
// object lives in (the main thread); tools run as child processes on background threads and HTTP
// calls are awaited. The fire-and-forget operations (refreshDevices, runDiagnostics, connect)
// report only through the fields; their awaitable forms are for callers that need to wait (the
// command line, tests).
//
// The methods are spread over files by topic: DeviceManager.cpp (its own fields, device list),
// ...Diagnostics.cpp, ...Session.cpp (Appium server, session, connect, disconnect),
// ...Capture.cpp (screenshots, element tree, polling, live stream, comparison capture).
class DeviceManager : public DeviceManagerBase {
    Q_OBJECT
public:
    static constexpr int kDefaultWdaPort = 8100;
    static constexpr int kDefaultMjpegPort = 9100;

    // Time limits of the tool commands, in seconds.
    static constexpr double kToolTimeout = 45;
    // Time limits of the HTTP calls.
    static constexpr std::chrono::seconds kStatusLimit{15};
    static constexpr std::chrono::seconds kSessionLimit{300};
    static constexpr std::chrono::seconds kScreenshotLimit{15};
    static constexpr std::chrono::seconds kSourceLimit{15};
    static constexpr std::chrono::seconds kPollingSourceLimit{20};
    static constexpr std::chrono::seconds kDeleteLimit{15};
    static constexpr int kReadinessProbes = 60;
    static constexpr qsizetype kFriendlyLimit = 160;   // user-perceived characters

    // The pauses of the loops. Tests shorten them; the application keeps the defaults.
    struct Timing {
        std::chrono::milliseconds hierarchyInterval{1200};
        std::chrono::milliseconds readinessPause{250};
    };

    explicit DeviceManager(QObject *parent = nullptr);
    ~DeviceManager() override;

    // --- Observable fields (the common ones are in DeviceManagerBase) ------------------------
    const QList<IOSDevice> &devices() const { return m_devices; }
    // The page source that `elements` was parsed from (not observed; for saving the tree).
    const QString &pageSource() const { return elementSource(); }

    // --- Operations ---------------------------------------------------------------------------
    // Lists the iPhones (returns at once; see listDevices).
    void refreshDevices();
    QCoro::Task<void> listDevices();
    // Checks the tool chain (returns at once; see diagnose).
    void runDiagnostics();
    QCoro::Task<void> diagnose();
    // Connects the selected iPhone: checks the selection at once, then connects in a task.
    void connect(const QString &teamID, const QString &wdaBundleID);
    // The same, awaitable: true when the phone ended up connected.
    QCoro::Task<bool> connectAndWait(QString teamID, QString wdaBundleID);
    // A full screenshot with the element tree and the screen size; throws AppError and the
    // transport's errors.
    QCoro::Task<CapturedDeviceState> captureForComparison();
    // Stops the stream and the polling, ends the session and the server this object started.
    void disconnect();

    // --- Building blocks (used across the files of this class, and by tests) ------------------
    static QList<IOSDevice> parseXctraceDevices(const QString &listing);
    static QString friendlyError(const QString &description);
    // The "alwaysMatch" capabilities of the XCUITest session for a device.
    static QJsonObject sessionCapabilities(const IOSDevice &device, const QString &teamID, const QString &wdaBundleID,
                                           int wdaPort = kDefaultWdaPort, int mjpegPort = kDefaultMjpegPort);
    // The first part of an iOS version as an integer ("18.0.1" -> 18, "" -> 0); none when that
    // part is not an integer.
    static std::optional<int> majorVersion(const QString &osVersion);
    // Spaces and tabs removed at both ends; line breaks and other white space stay.
    static QString trimSpacesAndTabs(const QString &text);

    QCoro::Task<void> ensureAppiumRunning();
    QCoro::Task<std::optional<QString>> resolveAppiumPath();
    QCoro::Task<QString> createSession(IOSDevice device, QString teamID, QString wdaBundleID);
    // Fails with code 8 for a reply outside 200-299; transport errors pass through.
    QCoro::Task<QByteArray> request(QString path, QByteArray method, std::optional<QJsonObject> json,
                                    std::chrono::milliseconds timeout);
    QCoro::Task<CapturedDeviceState> refreshHighQualityState(bool updateImage);
    QCoro::Task<void> refreshElements();
    void startLiveStream();
    void startHierarchyPolling();

    // --- Internal state, readable for tests -----------------------------------------------------
    const std::optional<QString> &sessionID() const { return m_sessionID; }
    bool startedAppium() const { return m_startedAppium; }
    QProcess *appiumProcess() const { return m_appiumServer ? m_appiumServer->process() : nullptr; }
    bool isHierarchyPolling() const { return m_hierarchyLoop.has_value(); }
    // HTTP requests of this object still waiting for their reply.
    int requestsInFlight() const { return m_requestsInFlight; }
    MJPEGStreamClient &streamClient() { return m_stream; }

    // --- Seams ----------------------------------------------------------------------------------
    int appiumPort() const { return m_appium.port(); }
    void setAppiumPort(int port) { m_appium.setPort(port); }
    int wdaPort() const { return m_wdaPort; }
    void setWdaPort(int port) { m_wdaPort = port; }
    int mjpegPort() const { return m_mjpegPort; }
    void setMjpegPort(int port) { m_mjpegPort = port; }
    const Timing &timing() const { return m_timing; }
    void setTiming(const Timing &timing) { m_timing = timing; }
    // The running macOS version (major, minor, patch); none on other systems.
    static std::optional<QVersionNumber> runningMacOSVersion();
    const std::optional<QVersionNumber> &systemVersion() const { return m_systemVersion; }
    void setSystemVersion(const std::optional<QVersionNumber> &version) { m_systemVersion = version; }

private:
    void setDevices(const QList<IOSDevice> &devices);

    QCoro::Task<void> connectTask(IOSDevice device, QString teamID, QString wdaBundleID, quint64 connection);
    static QCoro::Task<void> pollOnce(QPointer<DeviceManager> self, quint64 generation);
    QCoro::Task<void> endSession(QString sessionID);
    void stopHierarchyPolling();
    void pauseBeforeNextPoll();
    void startAppiumServer(const QString &appiumPath);
    void terminateAppiumServer();
    void attachStreamCallbacks();
    bool hasIOS26Device() const;
    QCoro::Task<EnvironmentCheck> xcodeCheck();

    QList<IOSDevice> m_devices;

    int m_wdaPort = kDefaultWdaPort;
    int m_mjpegPort = kDefaultMjpegPort;
    QPointer<AppiumServerProcess> m_appiumServer;
    bool m_startedAppium = false;
    std::optional<QString> m_sessionID;
    std::optional<quint64> m_hierarchyLoop; // generation of the running polling loop
    QTimer m_pollingPause;                  // the pause before the loop's next refresh
    PreciseSleep::Clock::time_point m_pollingDeadline; // when that pause is over
    int m_requestsInFlight = 0;
    quint64 m_nextGeneration = 1;
    quint64 m_connection = 0;               // bumped by disconnect: a connect in flight then stops
    std::optional<QVersionNumber> m_systemVersion = runningMacOSVersion();
    Timing m_timing;

    AppiumClient m_appium{AppiumClient::kIOSServerPort};
    MJPEGStreamClient m_stream;
};

} // namespace vantrel
