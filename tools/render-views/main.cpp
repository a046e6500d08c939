// Renders the inspector and the image canvas in each of their states to PNG files, so that the
// layout, the Chinese texts and the heat map colours can be looked at without a display:
//
//   QT_QPA_PLATFORM=offscreen render-views DEVICE.png DESIGN.png OUT_DIR
//
// It also renders the three tabs of the settings window, with the device tools pointed at
// nowhere so that the diagnostics show their failures and no adb server is started.

#include "app/AppState.h"
#include "engine/ComparisonEngine.h"
#include "engine/ImageFileReader.h"
#include "ui/ImageCanvas.h"
#include "ui/ResultInspectorView.h"
#include "ui/ResultInspectorWindow.h"
#include "ui/SettingsWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <exception>

using namespace vantrel;

namespace {

ComparisonResult compare(const QImage &device, const QImage &designImage)
{
    ImportedDesign design;
    design.image = designImage;
    design.name = QStringLiteral("design");
    design.pixelSize = pixelSizeValue(designImage);
    design.canvasSize = design.pixelSize;
    return ComparisonEngine().compare(CapturedDeviceState{device, {}, pixelSizeValue(device)}, design, {});
}

void save(QWidget &widget, const QString &path)
{
    widget.show();
    QApplication::processEvents();
    if (!widget.grab().save(path))
        throw std::runtime_error("cannot write " + path.toStdString());
    QTextStream(stdout) << path << '\n';
}

void renderInspector(const ComparisonResult &result, const QString &name, const QString &outDir)
{
    ResultInspectorWindow window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setResult(result);
    ResultInspectorView *view = window.view();
    if (!result.issues.isEmpty())
        view->selectIssue(result.issues.first().id);
    for (const QSize size : {ResultInspectorWindow::kInitialSize, ResultInspectorWindow::kMinimumSize}) {
        window.resize(size);
        for (const auto mode :
             {ComparisonDisplayMode::sideBySide, ComparisonDisplayMode::overlay, ComparisonDisplayMode::heatmap}) {
            view->setMode(mode);
            view->zoomToFit();
            save(window, QStringLiteral("%1/%2-%3-%4x%5.png")
                             .arg(outDir, name, QString::number(int(mode)), QString::number(size.width()),
                                  QString::number(size.height())));
        }
    }
    view->setMode(ComparisonDisplayMode::overlay);
    view->setBlinkEnabled(true);
    view->blinkTick();
    save(window, QStringLiteral("%1/%2-overlay-blink.png").arg(outDir, name));
    view->setBlinkEnabled(false);
    view->setZoom(2.5);
    save(window, QStringLiteral("%1/%2-overlay-zoomed.png").arg(outDir, name));
}

void renderCanvas(const QImage &device, const QString &outDir)
{
    ImageCanvas canvas;
    canvas.resize(420, 640);
    canvas.setPlaceholder(QStringLiteral("等待真机画面"), QStringLiteral("连接 Android 设备，或导入一张真机截图离线对比"));
    save(canvas, outDir + QStringLiteral("/canvas-placeholder.png"));
    canvas.setImage(device);
    canvas.setIgnoredRegions({RectValue(0, 0, 1, 0.06), RectValue(0.1, 0.4, 0.3, 0.1)});
    canvas.setHighlightedRegions({RectValue(0.5, 0.6, 0.4, 0.1)});
    save(canvas, outDir + QStringLiteral("/canvas-regions.png"));
}

void renderSettings(const QString &outDir)
{
    for (const char *tool : {"VANTREL_ADB", "VANTREL_XCRUN", "VANTREL_XCODEBUILD", "VANTREL_APPIUM"})
        qputenv(tool, "/nonexistent/tool");
    qputenv("VANTREL_SHELL", "/bin/false");
    const QTemporaryDir history;
    AppState state(nullptr, AppState::Options{history.path(), false});
    const QDeadlineTimer deadline(10'000);
    while (!deadline.hasExpired() &&
           (state.device().diagnostics().isEmpty() || state.android().diagnostics().isEmpty()))
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    state.addIgnoredRegion(RectValue(0.1, 0.4, 0.3, 0.1));
    state.addIgnoredRegion(RectValue(0, 0, 1, 0.0625));

    SettingsWindow window(state);
    for (const AppPlatform platform : {AppPlatform::ios, AppPlatform::android}) {
        state.setPlatform(platform);
        for (int tab = 0; tab < window.tabs()->count(); ++tab) {
            window.tabs()->setCurrentIndex(tab);
            save(window, QStringLiteral("%1/settings-%2-%3.png").arg(outDir, state.platformName()).arg(tab));
        }
    }
    for (int i = 0; i < 400; ++i)
        state.android().appendLog(QStringLiteral("adb -s R58N12 exec-out screencap -p · 第 %1 行\n").arg(i));
    save(window, outDir + QStringLiteral("/settings-Android-log.png"));
    window.resize(SettingsWindow::kMinimumSize);
    window.tabs()->setCurrentIndex(1);
    save(window, outDir + QStringLiteral("/settings-minimum.png"));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        QTextStream(stderr) << "usage: render-views DEVICE.png DESIGN.png OUT_DIR\n";
        return 2;
    }
    try {
        const QImage device = ImageFileReader::readFile(args[1]);
        const QImage design = ImageFileReader::readFile(args[2]);
        QDir().mkpath(args[3]);
        renderInspector(compare(device, design), QStringLiteral("inspector"), args[3]);
        renderInspector(compare(device, device), QStringLiteral("inspector-consistent"), args[3]);
        renderCanvas(device, args[3]);
        renderSettings(args[3]);
    } catch (const std::exception &error) {
        QTextStream(stderr) << error.what() << '\n';
        return 2;
    }
    return 0;
}
