// Fields, derived values, preferences and connection states.
#include "app/AppState.h"

#include "app/AppPreferences.h"
#include "app/FigmaTokenStore.h"
#include "app/LocalInputs.h"

#include <QSettings>

namespace vantrel {

const QString AppState::kInitialStatus = QStringLiteral("连接手机并导入设计稿后即可开始");

namespace {

QSettings preferenceStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halvenro"),
                     QStringLiteral("Vantrel"));
}

} // namespace

AppState::AppState(UserInterfaceServices *ui, Options options, QObject *parent)
    : QObject(parent),
      m_historyStore(options.historyRoot ? ComparisonHistoryStore(*options.historyRoot) : ComparisonHistoryStore()),
      m_ui(ui)
{
    const AppPreferences preferences = AppPreferences::read(preferenceStore());
    m_platform = preferences.platform;
    m_appleTeamID = preferences.appleTeamID;
    m_wdaBundleID = preferences.wdaBundleID;
    m_settings = preferences.settings;
    if (options.readTokenAtStart)
        readToken(QPointer<AppState>(this));
    else
        m_storedToken = QString();

    m_histories = m_historyStore.entries();

    subscribe(m_device, AppPlatform::ios);
    subscribe(m_android, AppPlatform::android);
    startDiscovery(AppPlatform::ios);
    startDiscovery(AppPlatform::android);
}

AppState::~AppState()
{
    // The managers are destroyed after this body and may still signal (a disconnect): by then
    // nothing of this object may react.
    QObject::disconnect(&m_device, nullptr, this, nullptr);
    QObject::disconnect(&m_android, nullptr, this, nullptr);
    if (m_inspectorWindow)
        delete m_inspectorWindow.data();
}

void AppState::subscribe(DeviceManagerBase &manager, AppPlatform platform)
{
    const auto forCurrent = [this, platform](void (AppState::*signal)()) {
        return [this, platform, signal] {
            if (m_platform == platform)
                emit(this->*signal)();
        };
    };
    const auto signals_ = {&DeviceManagerBase::devicesChanged,    &DeviceManagerBase::selectedDeviceIDChanged,
                           &DeviceManagerBase::connectionStateChanged, &DeviceManagerBase::liveImageChanged,
                           &DeviceManagerBase::elementsChanged,   &DeviceManagerBase::diagnosticsChanged,
                           &DeviceManagerBase::logTextChanged};
    for (const auto signal : signals_)
        QObject::connect(&manager, signal, this, &AppState::stateChanged);
    QObject::connect(&manager, &DeviceManagerBase::liveImageChanged, this,
                     forCurrent(&AppState::currentDeviceImageChanged));
    QObject::connect(&manager, &DeviceManagerBase::devicesChanged, this,
                     forCurrent(&AppState::currentDevicesChanged));
    QObject::connect(&manager, &DeviceManagerBase::selectedDeviceIDChanged, this,
                     forCurrent(&AppState::currentDevicesChanged));
    QObject::connect(&manager, &DeviceManagerBase::connectionStateChanged, this,
                     forCurrent(&AppState::currentConnectionStateChanged));
    QObject::connect(&manager, &DeviceManagerBase::connectionStateChanged, this, [this, &manager, platform] {
        handleConnectionState(manager.connectionState(), platform);
    });
}

void AppState::startDiscovery(AppPlatform platform)
{
    if (platform == AppPlatform::android) {
        m_android.refreshDevices();
        m_android.runDiagnostics();
    } else {
        m_device.refreshDevices();
        m_device.runDiagnostics();
    }
}

// --- Fields ---------------------------------------------------------------------------------------

template<typename T>
bool AppState::assign(T &field, const T &value, void (AppState::*signal)())
{
    if (field == value)
        return false;
    field = value;
    emit(this->*signal)();
    emit stateChanged();
    return true;
}

void AppState::setPlatform(AppPlatform platform)
{
    if (assign(m_platform, platform, &AppState::platformChanged)) {
        emit currentDeviceImageChanged();
        emit currentDevicesChanged();
        emit currentConnectionStateChanged();
    }
}

void AppState::setDesign(const std::optional<ImportedDesign> &design)
{
    m_design = design; // always a change: comparing two designs' images would cost more than it saves
    emit designChanged();
    emit stateChanged();
}

void AppState::setManualDeviceImage(const std::optional<QImage> &image)
{
    m_manualDeviceImage = image;
    emit manualDeviceImageChanged();
    emit currentDeviceImageChanged();
    emit stateChanged();
}

void AppState::setResult(const std::optional<ComparisonResult> &result)
{
    m_result = result;
    if (m_selectedIssueID && !(m_result && std::any_of(m_result->issues.cbegin(), m_result->issues.cend(),
                                                       [this](const auto &i) { return i.id == *m_selectedIssueID; })))
        setSelectedIssueID(std::nullopt);
    emit resultChanged();
    emit currentDeviceImageChanged();
    emit stateChanged();
}

void AppState::setDesignURLText(const QString &text) { assign(m_designURLText, text, &AppState::designURLTextChanged); }
void AppState::setAppleTeamID(const QString &teamID) { assign(m_appleTeamID, teamID, &AppState::appleTeamIDChanged); }
void AppState::setWdaBundleID(const QString &id) { assign(m_wdaBundleID, id, &AppState::wdaBundleIDChanged); }
void AppState::setSettings(const ComparisonSettings &settings) { assign(m_settings, settings, &AppState::settingsChanged); }
void AppState::setHistories(const QList<ComparisonHistoryEntry> &list) { assign(m_histories, list, &AppState::historiesChanged); }
void AppState::setDisplayMode(ComparisonDisplayMode mode) { assign(m_displayMode, mode, &AppState::displayModeChanged); }
void AppState::setWorkspaceMode(MainWorkspaceMode mode) { assign(m_workspaceMode, mode, &AppState::workspaceModeChanged); }
void AppState::setResultZoom(double zoom) { assign(m_resultZoom, zoom, &AppState::resultZoomChanged); }
void AppState::setBusy(bool busy) { assign(m_isBusy, busy, &AppState::isBusyChanged); }
void AppState::setStatusMessage(const QString &text) { assign(m_statusMessage, text, &AppState::statusMessageChanged); }
void AppState::setAlertMessage(const std::optional<QString> &text) { assign(m_alertMessage, text, &AppState::alertMessageChanged); }
void AppState::setDrawingIgnoreRegion(bool on) { assign(m_isDrawingIgnoreRegion, on, &AppState::isDrawingIgnoreRegionChanged); }
void AppState::setShowingHistory(bool on) { assign(m_isShowingHistory, on, &AppState::isShowingHistoryChanged); }

void AppState::setResultOverlayOpacity(double opacity)
{
    assign(m_resultOverlayOpacity, opacity, &AppState::resultOverlayOpacityChanged);
}

void AppState::setSelectedIssueID(const std::optional<QUuid> &issueID)
{
    assign(m_selectedIssueID, issueID, &AppState::selectedIssueIDChanged);
}

void AppState::setFigmaToken(const QString &token)
{
    if (assign(m_figmaToken, token, &AppState::figmaTokenChanged))
        m_tokenEdited = true;
}

// --- Derived values -------------------------------------------------------------------------------

DeviceManagerBase &AppState::currentManager()
{
    return m_platform == AppPlatform::android ? static_cast<DeviceManagerBase &>(m_android) : m_device;
}

const DeviceManagerBase &AppState::currentManager() const
{
    return m_platform == AppPlatform::android ? static_cast<const DeviceManagerBase &>(m_android) : m_device;
}

DeviceConnectionState AppState::currentConnectionState() const
{
    return currentManager().connectionState();
}

std::optional<QImage> AppState::currentDeviceImage() const
{
    if (m_isShowingHistory)
        return m_result ? std::optional<QImage>(m_result->deviceImage) : std::nullopt;
    if (const auto &live = currentManager().liveImage())
        return live;
    if (m_manualDeviceImage)
        return m_manualDeviceImage;
    if (m_result)
        return m_result->deviceImage;
    return std::nullopt;
}

std::optional<QImage> AppState::currentDesignImage() const
{
    if (m_isShowingHistory)
        return m_result ? std::optional<QImage>(m_result->designImage) : std::nullopt;
    if (m_design)
        return m_design->image;
    if (m_result)
        return m_result->designImage;
    return std::nullopt;
}

bool AppState::canCompare() const
{
    return m_design.has_value() && currentDeviceImage().has_value() && !m_isBusy;
}

QString AppState::currentDeviceName() const
{
    const auto nameOf = [](const auto &devices, const std::optional<QString> &selected, const QString &fallback) {
        for (const auto &device : devices) {
            if (selected && device.id == *selected)
                return device.name;
        }
        return fallback;
    };
    if (m_platform == AppPlatform::android)
        return nameOf(m_android.devices(), m_android.selectedDeviceID(), QStringLiteral("Android"));
    return nameOf(m_device.devices(), m_device.selectedDeviceID(), QStringLiteral("iPhone"));
}

QString AppState::platformName() const
{
    return rawValue(m_platform);
}

QString AppState::resultDeviceName() const
{
    return currentConnectionState().kind == DeviceConnectionState::Kind::connected ? currentDeviceName()
                                                                                   : kOfflineDeviceName;
}

// --- Preferences ----------------------------------------------------------------------------------

void AppState::savePreferences()
{
    saveToken(QPointer<AppState>(this));
    AppPreferences preferences;
    preferences.platform = m_platform;
    preferences.appleTeamID = m_appleTeamID;
    preferences.wdaBundleID = m_wdaBundleID;
    preferences.settings = m_settings;
    QSettings store = preferenceStore();
    preferences.write(store);
}

QString AppState::preferencesPath()
{
    return preferenceStore().fileName();
}

QCoro::Task<void> AppState::readToken(QPointer<AppState> self)
{
    const TaskScope scope(self);
    const QString token = co_await FigmaTokenStore::readToken();
    if (!self)
        co_return;
    self->m_storedToken = token;
    // A token typed while the keychain was being read wins.
    if (!self->m_tokenEdited)
        self->assign(self->m_figmaToken, token, &AppState::figmaTokenChanged);
    else
        co_await saveToken(self);
}

// One keychain write at a time, always of the latest token; nothing while the first read runs (it
// writes afterwards if the token was edited meanwhile) or when the keychain already holds it.
QCoro::Task<void> AppState::saveToken(QPointer<AppState> self)
{
    if (!self || self->m_tokenWriteRunning || !self->m_storedToken)
        co_return;
    const TaskScope scope(self);
    self->m_tokenWriteRunning = true;
    while (self && self->m_storedToken != self->m_figmaToken) {
        const QString token = self->m_figmaToken;
        const bool saved = co_await FigmaTokenStore::saveToken(token);
        if (!self)
            co_return;
        if (!saved)
            break; // failures are not reported; the next save tries again
        self->m_storedToken = token;
    }
    if (self)
        self->m_tokenWriteRunning = false;
}

// --- Connection states ----------------------------------------------------------------------------

void AppState::handleConnectionState(const DeviceConnectionState &state, AppPlatform platform)
{
    if (platform != m_platform)
        return;
    switch (state.kind) {
    case DeviceConnectionState::Kind::preparing:
        setStatusMessage(state.message);
        break;
    case DeviceConnectionState::Kind::failed:
        setStatusMessage(QStringLiteral("连接失败"));
        setAlertMessage(state.message);
        break;
    case DeviceConnectionState::Kind::idle:
        setStatusMessage(QStringLiteral("设备已断开"));
        break;
    case DeviceConnectionState::Kind::connected:
        setStatusMessage(platformName() + QStringLiteral(" 设备已连接，正在接收实时画面"));
        break;
    }
}

} // namespace vantrel
