// The actions of the comparison workflow: connecting, platforms, designs, screenshots, the
// comparison itself, the history and the ignored regions.
#include "app/AppState.h"

#include "app/BackgroundCall.h"
#include "app/DroppedDesign.h"
#include "app/ErrorText.h"
#include "app/LocalInputs.h"
#include "engine/ImageFileReader.h"

#include <QMetaObject>

namespace vantrel {

void AppState::endTask(const std::exception_ptr &failure, const QString &failureStatus)
{
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception &error) {
            setAlertMessage(errorText(error));
        } catch (...) {
            setAlertMessage(failureStatus);
        }
        setStatusMessage(failureStatus);
    }
    setBusy(false);
}

// --- Devices ----------------------------------------------------------------------------------------

void AppState::connectDevice()
{
    savePreferences();
    const bool connected = currentConnectionState().kind == DeviceConnectionState::Kind::connected;
    if (m_platform == AppPlatform::android) {
        if (connected)
            m_android.disconnect();
        else
            m_android.connect();
    } else {
        if (connected)
            m_device.disconnect();
        else
            m_device.connect(m_appleTeamID, m_wdaBundleID);
    }
}

void AppState::platformDidChange()
{
    savePreferences();
    setSelectedIssueID(std::nullopt);
    const DeviceConnectionState state = currentConnectionState();
    QString word;
    switch (state.kind) {
    case DeviceConnectionState::Kind::preparing:
    case DeviceConnectionState::Kind::failed:
        word = state.message;
        break;
    case DeviceConnectionState::Kind::idle:
        word = QStringLiteral("未连接");
        break;
    case DeviceConnectionState::Kind::connected:
        word = QStringLiteral("已连接");
        break;
    }
    setStatusMessage(platformName() + QStringLiteral(" 模式 · ") + word);
    startDiscovery(m_platform);
}

void AppState::refreshCurrentDevices()
{
    startDiscovery(m_platform);
}

// --- Designs ----------------------------------------------------------------------------------------

void AppState::showImportedDesign(const ImportedDesign &design, const QString &status)
{
    setDesign(design);
    setResult(std::nullopt);
    setShowingHistory(false);
    setWorkspaceMode(MainWorkspaceMode::capture);
    setStatusMessage(status);
}

void AppState::chooseLocalDesign()
{
    if (!m_ui)
        return;
    if (const auto path = m_ui->chooseFileToOpen(QStringLiteral("选择设计稿图片"), UserInterfaceServices::FileType::image))
        loadLocalDesign(*path);
}

void AppState::loadLocalDesign(const QString &path)
{
    try {
        const ImportedDesign design = LocalInputs::readDesignFile(path);
        showImportedDesign(design, QStringLiteral("已导入设计稿：") + design.name);
    } catch (const ImageReadError &error) {
        setAlertMessage(error.message);
    }
}

bool AppState::handleDrop(const QMimeData *data)
{
    const std::optional<DroppedDesign> dropped = DroppedDesign::from(data);
    if (!dropped)
        return false;
    switch (dropped->kind) {
    case DroppedDesign::Kind::file:
        loadLocalDesign(dropped->location);
        break;
    case DroppedDesign::Kind::imageData:
        try {
            const ImportedDesign design =
                LocalInputs::localDesign(ImageFileReader::readBytes(dropped->bytes), dropped->location);
            showImportedDesign(design, QStringLiteral("已导入设计稿：") + design.name);
        } catch (const ImageReadError &error) {
            setAlertMessage(error.message);
        }
        break;
    case DroppedDesign::Kind::link:
        setDesignURLText(dropped->location);
        importDesignURL();
        break;
    }
    return true;
}

ProgressCallback AppState::progressToStatus()
{
    return [self = QPointer<AppState>(this)](const QString &text) {
        if (self)
            QMetaObject::invokeMethod(self, [self, text] {
                if (self)
                    self->setStatusMessage(text);
            });
    };
}

void AppState::importDesignURL()
{
    const QString link = m_designURLText.trimmed();
    if (link.isEmpty()) {
        setAlertMessage(QStringLiteral("请输入设计稿链接"));
        return;
    }
    if (m_isBusy)
        return;
    setBusy(true);
    setStatusMessage(QStringLiteral("正在导入设计稿…"));
    importTask(QPointer<AppState>(this), link, m_figmaToken);
}

QCoro::Task<void> AppState::importTask(QPointer<AppState> self, QString link, QString token)
{
    const TaskScope scope(self);
    std::exception_ptr failure;
    try {
        ProgressCallback progress = self->progressToStatus();
        const ImportedDesign design = co_await self->m_importer.importURL(link, token, std::nullopt, progress);
        if (!self)
            co_return;
        self->showImportedDesign(design, design.isVisualOnly ? QStringLiteral("设计稿已导入（仅视觉对比）")
                                                             : QStringLiteral("Figma 画板与参数已导入"));
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
        self->endTask(failure, QStringLiteral("设计稿导入失败"));
}

void AppState::selectFigmaFrame(const QString &frameID)
{
    if (m_isBusy || !m_design || m_design->kind != DesignSourceKind::figma)
        return;
    const std::optional<FigmaReference> reference = m_importer.parseFigmaReference(QUrl(m_design->source));
    if (!reference)
        return;
    setBusy(true);
    setStatusMessage(QStringLiteral("正在切换 Figma 画板…"));
    frameTask(QPointer<AppState>(this), *reference, m_figmaToken, frameID);
}

QCoro::Task<void> AppState::frameTask(QPointer<AppState> self, FigmaReference reference, QString token,
                                      QString frameID)
{
    const TaskScope scope(self);
    std::exception_ptr failure;
    try {
        ProgressCallback progress = self->progressToStatus();
        ImportedDesign design = co_await self->m_importer.importFigma(reference, token, frameID, progress);
        if (!self)
            co_return;
        // The import of one frame lists no frames; the file's list stays, so the user can switch on.
        if (design.availableFrames.isEmpty() && self->m_design)
            design.availableFrames = self->m_design->availableFrames;
        self->showImportedDesign(design, QStringLiteral("画板已切换"));
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
        self->endTask(failure, QStringLiteral("画板切换失败"));
}

// --- Offline screenshot -----------------------------------------------------------------------------

void AppState::chooseDeviceScreenshot()
{
    if (!m_ui)
        return;
    if (const auto path = m_ui->chooseFileToOpen(QStringLiteral("选择真机截图"), UserInterfaceServices::FileType::image))
        loadDeviceScreenshot(*path);
}

void AppState::loadDeviceScreenshot(const QString &path)
{
    try {
        setManualDeviceImage(LocalInputs::readScreenshotFile(path).image);
    } catch (const ImageReadError &error) {
        setAlertMessage(error.message);
        return;
    }
    setResult(std::nullopt);
    setShowingHistory(false);
    setWorkspaceMode(MainWorkspaceMode::capture);
    setStatusMessage(QStringLiteral("已载入真机截图，可离线对比"));
}

// --- Comparison -------------------------------------------------------------------------------------

void AppState::runComparison()
{
    if (m_isBusy)
        return;
    if (!m_design) {
        setAlertMessage(QStringLiteral("请先导入设计稿"));
        return;
    }
    if (!currentDeviceImage()) {
        setAlertMessage(QStringLiteral("请先连接 ") + platformName() + QStringLiteral(" 设备或载入真机截图"));
        return;
    }
    setBusy(true);
    setStatusMessage(QStringLiteral("正在获取高清截图与元素树…"));
    savePreferences();
    comparisonTask(QPointer<AppState>(this), *m_design);
}

QCoro::Task<void> AppState::comparisonTask(QPointer<AppState> self, ImportedDesign design)
{
    const TaskScope scope(self);
    const AppPlatform platform = self->m_platform;
    const auto connected = [](const DeviceManagerBase &manager) {
        return manager.connectionState().kind == DeviceConnectionState::Kind::connected;
    };
    std::exception_ptr failure;
    try {
        CapturedDeviceState capture;
        if (platform == AppPlatform::ios && connected(self->m_device))
            capture = co_await self->m_device.captureForComparison();
        else if (platform == AppPlatform::android && connected(self->m_android))
            capture = co_await self->m_android.captureForComparison();
        else if (self->m_manualDeviceImage)
            capture = LocalInputs::offlineCapture(*self->m_manualDeviceImage);
        else
            throw AppError(QStringLiteral("Vantrel"), 40, QStringLiteral("没有可用的真机画面"));
        if (!self)
            co_return;

        self->setStatusMessage(QStringLiteral("正在对齐画面并分析差异…"));
        // GCC 12 destroys lambda temporaries inside a co_await expression twice: named locals.
        auto comparison = [engine = self->m_engine, capture, design, settings = self->m_settings] {
            return engine.compare(capture, design, settings);
        };
        const ComparisonResult result = co_await runInBackground(std::move(comparison));
        if (!self)
            co_return;
        self->setResult(result);
        self->setShowingHistory(false);
        self->setDisplayMode(ComparisonDisplayMode::overlay);
        self->setWorkspaceMode(MainWorkspaceMode::result);
        QString status = result.status == kStatusConsistent
                             ? QStringLiteral("对比完成：界面与设计稿一致")
                             : QStringLiteral("对比完成：发现 %1 项差异").arg(result.issues.size());
        if (platform == AppPlatform::android && self->m_android.lastCaptureWarning())
            status += QStringLiteral("；") + *self->m_android.lastCaptureWarning();
        self->setStatusMessage(status);

        auto save = [store = self->m_historyStore, result, designName = design.name,
                     deviceName = self->resultDeviceName()] { return store.save(result, designName, deviceName); };
        const ComparisonHistoryEntry entry = co_await runInBackground(std::move(save));
        if (!self)
            co_return;
        QList<ComparisonHistoryEntry> histories = self->m_histories;
        histories.removeIf([&entry](const ComparisonHistoryEntry &e) { return e.id == entry.id; });
        histories.prepend(entry);
        self->setHistories(histories);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
        self->endTask(failure, QStringLiteral("对比失败"));
}

// --- History and ignored regions --------------------------------------------------------------------

void AppState::openHistory(const ComparisonHistoryEntry &entry)
{
    const std::optional<ComparisonResult> result = m_historyStore.load(entry);
    if (!result) {
        setAlertMessage(QStringLiteral("历史记录文件不完整"));
        return;
    }
    setResult(result);
    setDesign(std::nullopt);
    setShowingHistory(true);
    setDisplayMode(ComparisonDisplayMode::overlay);
    setWorkspaceMode(MainWorkspaceMode::result);
    setStatusMessage(QStringLiteral("已打开 ") + entry.createdAt.toLocalTime().toString(QStringLiteral("MM-dd HH:mm")) +
                     QStringLiteral(" 的历史对比"));
}

void AppState::addIgnoredRegion(const RectValue &region)
{
    ComparisonSettings settings = m_settings;
    settings.ignoredRegions.append(region);
    setSettings(settings);
    setStatusMessage(QStringLiteral("已添加忽略区域，重新对比后生效"));
}

void AppState::removeIgnoredRegion(const QUuid &regionID)
{
    ComparisonSettings settings = m_settings;
    settings.ignoredRegions.removeIf([&regionID](const RectValue &region) { return region.id == regionID; });
    setSettings(settings);
}

void AppState::clearIgnoredRegions()
{
    ComparisonSettings settings = m_settings;
    settings.ignoredRegions.clear();
    setSettings(settings);
}

} // namespace vantrel
