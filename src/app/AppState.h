#pragma once

#include "app/UserInterfaceServices.h"
#include "design/DesignImporter.h"
#include "devices/android/AndroidDeviceManager.h"
#include "devices/ios/DeviceManager.h"
#include "engine/ComparisonEngine.h"
#include "engine/Models.h"
#include "reports/ComparisonHistoryStore.h"
#include "reports/ReportExporter.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <exception>
#include <optional>

class QMimeData;

namespace vantrel {

// The single observable state of the application: it owns both device managers, the design
// importer, the comparison engine, the report exporter and the history store, holds everything the
// windows show, keeps the preferences, and carries out the user's actions.
//
// Every field has a getter, a change signal and, where the windows edit it, a setter; any change,
// also of a manager, emits stateChanged() as well. Fields are read and written on the main thread
// only. Slow work (captures, imports, the comparison, the history write) runs in coroutines whose
// continuations come back to the main thread; the comparison and the history write run on the
// thread pool so the window keeps serving events.
//
// The methods are spread over files by topic: AppState.cpp (fields, derived values, preferences,
// connection states), AppStateWorkflow.cpp (the actions of the comparison workflow),
// AppStateExport.cpp (reports and the inspector).
class AppState : public QObject {
    Q_OBJECT
public:
    static const QString kInitialStatus;

    struct Options {
        // The history root; the per-user default when none.
        std::optional<QString> historyRoot;
        // Read the Figma token from the keychain at start (tests without a secret service skip it).
        bool readTokenAtStart = true;
    };

    explicit AppState(UserInterfaceServices *ui, Options options, QObject *parent = nullptr);
    explicit AppState(UserInterfaceServices *ui, QObject *parent = nullptr) : AppState(ui, Options{}, parent) {}
    ~AppState() override;

    // --- Collaborators ---------------------------------------------------------------------------
    DeviceManager &device() { return m_device; }
    AndroidDeviceManager &android() { return m_android; }
    DesignImporter &importer() { return m_importer; }
    const ComparisonHistoryStore &historyStore() const { return m_historyStore; }
    // The manager of the current platform.
    DeviceManagerBase &currentManager();
    const DeviceManagerBase &currentManager() const;

    // --- Observable fields --------------------------------------------------------------------------
    AppPlatform platform() const { return m_platform; }
    void setPlatform(AppPlatform platform);
    const std::optional<ImportedDesign> &design() const { return m_design; }
    const std::optional<QImage> &manualDeviceImage() const { return m_manualDeviceImage; }
    const QString &designURLText() const { return m_designURLText; }
    void setDesignURLText(const QString &text);
    const QString &figmaToken() const { return m_figmaToken; }
    void setFigmaToken(const QString &token);
    const QString &appleTeamID() const { return m_appleTeamID; }
    void setAppleTeamID(const QString &teamID);
    const QString &wdaBundleID() const { return m_wdaBundleID; }
    void setWdaBundleID(const QString &bundleID);
    const ComparisonSettings &settings() const { return m_settings; }
    void setSettings(const ComparisonSettings &settings);
    const std::optional<ComparisonResult> &result() const { return m_result; }
    const QList<ComparisonHistoryEntry> &histories() const { return m_histories; }
    ComparisonDisplayMode displayMode() const { return m_displayMode; }
    void setDisplayMode(ComparisonDisplayMode mode);
    MainWorkspaceMode workspaceMode() const { return m_workspaceMode; }
    void setWorkspaceMode(MainWorkspaceMode mode);
    double resultZoom() const { return m_resultZoom; }
    void setResultZoom(double zoom);
    double resultOverlayOpacity() const { return m_resultOverlayOpacity; }
    void setResultOverlayOpacity(double opacity);
    const std::optional<QUuid> &selectedIssueID() const { return m_selectedIssueID; }
    void setSelectedIssueID(const std::optional<QUuid> &issueID);
    bool isBusy() const { return m_isBusy; }
    const QString &statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const QString &message);
    const std::optional<QString> &alertMessage() const { return m_alertMessage; }
    // The window clears the alert when it is dismissed.
    void setAlertMessage(const std::optional<QString> &message);
    bool isDrawingIgnoreRegion() const { return m_isDrawingIgnoreRegion; }
    void setDrawingIgnoreRegion(bool drawing);
    bool isShowingHistory() const { return m_isShowingHistory; }

    // --- Derived values (computed on every read) ------------------------------------------------
    DeviceConnectionState currentConnectionState() const;
    std::optional<QImage> currentDeviceImage() const;
    std::optional<QImage> currentDesignImage() const;
    bool canCompare() const;
    QString currentDeviceName() const;
    // "iOS" or "Android".
    QString platformName() const;

    // --- Preferences ------------------------------------------------------------------------------
    // Writes the token (to the keychain) and the preferences, in that order.
    void savePreferences();
    // Where the preferences live.
    static QString preferencesPath();

    // --- Actions ----------------------------------------------------------------------------------
    void connectDevice();
    void platformDidChange();
    void refreshCurrentDevices();
    void chooseLocalDesign();
    void loadLocalDesign(const QString &path);
    // A dropped image: a local file, image bytes, or a link to an image. True when accepted.
    bool handleDrop(const QMimeData *data);
    void importDesignURL();
    void selectFigmaFrame(const QString &frameID);
    void chooseDeviceScreenshot();
    void loadDeviceScreenshot(const QString &path);
    void runComparison();
    void openHistory(const ComparisonHistoryEntry &entry);
    // Appends a region drawn on the device canvas.
    void addIgnoredRegion(const RectValue &region);
    void removeIgnoredRegion(const QUuid &regionID);
    void clearIgnoredRegions();
    void exportReport();
    void exportPDFReport();
    void openResultInspector();

    // Reacts to a manager's connection state; only the current platform's manager counts.
    void handleConnectionState(const DeviceConnectionState &state, AppPlatform platform);

    // Tasks of this object still running (a capture, an import, a comparison, a history write).
    int tasksInFlight() const { return m_tasksInFlight; }
    QObject *inspectorWindow() const { return m_inspectorWindow; }

signals:
    // Any change of any field or of a manager.
    void stateChanged();
    void platformChanged();
    void designChanged();
    void manualDeviceImageChanged();
    void designURLTextChanged();
    void figmaTokenChanged();
    void appleTeamIDChanged();
    void wdaBundleIDChanged();
    void settingsChanged();
    void resultChanged();
    void historiesChanged();
    void displayModeChanged();
    void workspaceModeChanged();
    void resultZoomChanged();
    void resultOverlayOpacityChanged();
    void selectedIssueIDChanged();
    void isBusyChanged();
    void statusMessageChanged();
    void alertMessageChanged();
    void isDrawingIgnoreRegionChanged();
    void isShowingHistoryChanged();
    // The current platform's live image, its device list or its connection state changed.
    void currentDeviceImageChanged();
    void currentDevicesChanged();
    void currentConnectionStateChanged();

private:
    // Counts one running task for as long as it lives (if the state does).
    class TaskScope {
    public:
        explicit TaskScope(AppState *state) : m_state(state) { ++state->m_tasksInFlight; }
        ~TaskScope()
        {
            if (m_state)
                --m_state->m_tasksInFlight;
        }
        TaskScope(const TaskScope &) = delete;
        TaskScope &operator=(const TaskScope &) = delete;

    private:
        QPointer<AppState> m_state;
    };

    template<typename T>
    bool assign(T &field, const T &value, void (AppState::*signal)());
    void setDesign(const std::optional<ImportedDesign> &design);
    void setManualDeviceImage(const std::optional<QImage> &image);
    void setResult(const std::optional<ComparisonResult> &result);
    void setHistories(const QList<ComparisonHistoryEntry> &histories);
    void setBusy(bool busy);
    void setShowingHistory(bool showing);
    void subscribe(DeviceManagerBase &manager, AppPlatform platform);
    void startDiscovery(AppPlatform platform);
    // The device name recorded with a result: the phone's when connected, else "导入截图".
    QString resultDeviceName() const;
    // A new design on screen: the result goes, the workspace returns to the capture.
    void showImportedDesign(const ImportedDesign &design, const QString &status);

    static QCoro::Task<void> readToken(QPointer<AppState> self);
    static QCoro::Task<void> saveToken(QPointer<AppState> self);
    static QCoro::Task<void> importTask(QPointer<AppState> self, QString link, QString token);
    static QCoro::Task<void> frameTask(QPointer<AppState> self, FigmaReference reference, QString token,
                                       QString frameID);
    static QCoro::Task<void> comparisonTask(QPointer<AppState> self, ImportedDesign design);
    ProgressCallback progressToStatus();
    // The end of a task: its failure, if any, alerted with the status given; isBusy cleared.
    void endTask(const std::exception_ptr &failure, const QString &failureStatus);
    void exportTo(bool pdf);

    // Collaborators, created in this order.
    DeviceManager m_device;
    AndroidDeviceManager m_android;
    DesignImporter m_importer;
    ComparisonEngine m_engine;
    ReportExporter m_exporter;
    ComparisonHistoryStore m_historyStore;
    UserInterfaceServices *m_ui;

    AppPlatform m_platform = AppPlatform::ios;
    std::optional<ImportedDesign> m_design;
    std::optional<QImage> m_manualDeviceImage;
    QString m_designURLText;
    QString m_figmaToken;
    QString m_appleTeamID;
    QString m_wdaBundleID;
    ComparisonSettings m_settings;
    std::optional<ComparisonResult> m_result;
    QList<ComparisonHistoryEntry> m_histories;
    ComparisonDisplayMode m_displayMode = ComparisonDisplayMode::sideBySide;
    MainWorkspaceMode m_workspaceMode = MainWorkspaceMode::capture;
    double m_resultZoom = 0.7;
    double m_resultOverlayOpacity = 0.5;
    std::optional<QUuid> m_selectedIssueID;
    bool m_isBusy = false;
    QString m_statusMessage = kInitialStatus;
    std::optional<QString> m_alertMessage;
    bool m_isDrawingIgnoreRegion = false;
    bool m_isShowingHistory = false;

    QPointer<QObject> m_inspectorWindow;
    int m_tasksInFlight = 0;
    // The keychain: the token as last read or written there (none while the first read runs,
    // so that an early save cannot wipe a stored token), and whether a write is under way.
    std::optional<QString> m_storedToken;
    bool m_tokenEdited = false;
    bool m_tokenWriteRunning = false;
};

} // namespace vantrel
