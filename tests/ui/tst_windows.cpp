// The windows. The main and settings windows over a real application state (fake adb, temporary
// home): labels that follow the state, the history menu, drops, drawn ignored regions, the result's
// zoom limits and issue selection; edits that reach the stored preferences, changes made elsewhere
// shown without echo, and the diagnostics of the current platform. The picture canvas and the
// result inspector built on it: drawing regions, zoom and pan limits, fitting per mode, blinking and
// issue selection.
#include "engine/ComparisonEngine.h"
#include "support/AppFixture.h"
#include "support/Golden.h"

#include "ui/CaptureWorkspace.h"
#include "ui/ImageCanvas.h"
#include "ui/IssueListView.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowTexts.h"
#include "ui/ResultCanvasView.h"
#include "ui/ResultInspectorView.h"
#include "ui/ResultInspectorWindow.h"
#include "ui/ResultWorkspace.h"
#include "ui/SettingsWindow.h"
#include "ui/TopBar.h"

#include <QtTest>
#include <QtWidgets>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The child of `root` of type T whose accessible name is `name`, as a screen reader finds it.
template<typename T = QAbstractButton>
T *control(QWidget &root, const QString &name)
{
    for (T *widget : root.findChildren<T *>())
        if (widget->accessibleName() == name)
            return widget;
    qFatal("no control named %s", qPrintable(name));
}


// What a person reads below `root`, one line per label, button, field, slider and stepper not
// hidden itself (whichever tab it is on), in creation order: labels as their text, fields, sliders
// and steppers as "name: value", buttons as "[x] text" when checked and "[ ] text" otherwise.
QStringList shownTexts(QWidget &root)
{
    QStringList lines;
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        const QString name = widget->accessibleName() + QStringLiteral(": ");
        if (widget->isHidden() || qobject_cast<QAbstractSpinBox *>(widget->parentWidget()))
            continue;
        const bool named = !widget->accessibleName().isEmpty(); // scroll bars have no name
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty())
            lines << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget); button && !button->text().isEmpty())
            lines << (button->isChecked() ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + button->text();
        else if (auto *field = qobject_cast<QLineEdit *>(widget); field && named)
            lines << name + field->text();
        else if (auto *slider = qobject_cast<QAbstractSlider *>(widget); slider && named)
            lines << name + QString::number(slider->value());
        else if (auto *stepper = qobject_cast<QAbstractSpinBox *>(widget); stepper && named)
            lines << name + stepper->text();
    }
    return lines;
}

// The stored preferences, one "key=value" a line, identifiers made constant.
QString storedPreferences()
{
    const QSettings stored(QStringLiteral("halvenro"), QStringLiteral("Vantrel"));
    QString text;
    for (const QString &key : stored.allKeys())
        text += key + u'=' + stored.value(key).toString() + u'\n';
    static const QRegularExpression uuid(QStringLiteral("[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}"));
    return text.replace(uuid, QStringLiteral("#"));
}

// A white screen whose design has a black block in the middle: one clear difference.
ComparisonResult blockResult()
{
    QImage device(90, 180, QImage::Format_RGB32);
    device.fill(Qt::white);
    ImportedDesign design;
    design.image = device.copy();
    QPainter(&design.image).fillRect(30, 60, 30, 60, Qt::black);
    design.pixelSize = pixelSizeValue(design.image);
    design.canvasSize = design.pixelSize;
    return ComparisonEngine().compare(CapturedDeviceState{device, {}, pixelSizeValue(device)}, design, {});
}

void drag(QWidget *target, QPoint from, QPoint to)
{
    QTest::mousePress(target, Qt::LeftButton, {}, from);
    QTest::mouseMove(target, (from + to) / 2);
    QTest::mouseMove(target, to);
    QTest::mouseRelease(target, Qt::LeftButton, {}, to);
}

void pinch(QWidget *target, Qt::NativeGestureType type, double value)
{
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(10, 10), QPointF(10, 10),
                              QPointF(10, 10), value, QPointF());
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<SettingsWindow> m_settings;
    ComparisonResult m_result = blockResult();

    AppState &state()
    {
        if (!m_fixture)
            m_fixture = std::make_unique<AppFixture>();
        return m_fixture->state ? *m_fixture->state : m_fixture->start();
    }
    SettingsWindow &settings()
    {
        if (!m_settings) {
            m_settings = std::make_unique<SettingsWindow>(state());
            m_settings->show();
        }
        return *m_settings;
    }
    template<typename T = QAbstractButton>
    T *setting(const QString &name) { return control<T>(settings(), name); }

private slots:
    void cleanup()
    {
        m_settings.reset();
        m_fixture.reset();
    }

    void mainWindowFromDropToResultAndHistory()
    {
        MainWindow window(state());
        window.show();
        // No iPhone was found: the button offers another try; nothing to compare yet.
        QCOMPARE(window.topBar()->connectButton()->text(), QStringLiteral("重试连接"));
        QCOMPARE(texts::connectLabel(DeviceConnectionState::idle()) + texts::connectLabel(DeviceConnectionState::preparing("…")) +
                     texts::connectLabel(DeviceConnectionState::connected()), QStringLiteral("连接连接中…断开"));
        QCOMPARE(window.topBar()->historyMenu()->actions().value(0)->text(), QStringLiteral("暂无历史记录"));
        state().setPlatform(AppPlatform::android);
        QCOMPARE(window.topBar()->devicePicker()->currentText(), state().currentDeviceName());

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_fixture->imageFile(QStringLiteral("首页.png"), Qt::white, 30, 60))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
        QCOMPARE(state().statusMessage(), QStringLiteral("已导入设计稿：首页"));
        QCOMPARE(window.captureWorkspace()->designCanvas()->image().size(), QSize(30, 60));

        // A region drawn on the device card becomes an ignored region, counted in the status bar.
        state().loadDeviceScreenshot(m_fixture->imageFile(QStringLiteral("shot.png"), Qt::black, 30, 60));
        control<QCheckBox>(window, QStringLiteral("拖拽框选忽略区域"))->click();
        ImageCanvas *canvas = window.captureWorkspace()->deviceCanvas();
        const QRectF image = canvas->displayedImageRect();
        drag(canvas, image.topLeft().toPoint() + QPoint(2, 2), image.center().toPoint());
        QCOMPARE(state().settings().ignoredRegions.size(), 1);
        QCOMPARE(state().statusMessage(), QStringLiteral("已添加忽略区域，重新对比后生效"));
        QVERIFY(shownTexts(window).contains(QStringLiteral("忽略区域 1")));
        QCOMPARE(canvas->ignoredRegions(), state().settings().ignoredRegions);

        window.topBar()->startButton()->click();
        QCOMPARE(window.topBar()->startButton()->text(), QStringLiteral("处理中"));
        QVERIFY(AppFixture::waitFor([&] { return !state().isBusy(); }));
        // The history menu lists the new entry, which opens the stored result.
        QMenu *history = window.topBar()->historyMenu();
        QCOMPARE(history->actions().size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^首页 · .+%$")).match(history->actions()[0]->text()).hasMatch());
        history->actions()[0]->trigger();
        QVERIFY(state().isShowingHistory());

        // Zoom buttons stop at their limits.
        for (const auto &[button, limit] : {std::pair{"放大", 2.5}, {"缩小", 0.25}}) {
            for (int i = 0; i < 20; ++i)
                control(window, QString::fromUtf8(button))->click();
            QCOMPARE(state().resultZoom(), limit);
        }

        // Choosing an issue selects it and outlines its rectangle on the picture.
        QListWidget *list = window.resultWorkspace()->issues()->list();
        QVERIFY(list->count() > 0);
        list->setCurrentRow(0);
        const ComparisonIssue &first = state().result()->issues[0];
        QCOMPARE(state().selectedIssueID(), std::optional<QUuid>(first.id));
        QCOMPARE(window.resultWorkspace()->canvas()->primaryCanvas()->highlightedRegions().value(0).id, first.deviceRect->id);
    }

    void settingsEditsChangesMadeElsewhereAndDiagnostics()
    {
        QVERIFY(shownTexts(settings()).contains("尚未框选忽略区域"));
        // Edits through the controls reach the state and the stored preferences.
        setting("Android")->click();
        for (const auto &[name, text] : {std::pair{"Apple Team ID", "T3AM"}, {"WDA Bundle ID", "b.wda"}}) {
            setting<QLineEdit>(name)->selectAll();
            QTest::keyClicks(setting<QLineEdit>(name), text);
        }
        for (const auto &[name, value] : {std::pair{"像素差阈值", 40}, {"左侧裁剪", 25}, {"底部裁剪", 1000 /* held at its end */}})
            setting<QSlider>(name)->setValue(value);
        for (const auto &[name, value] : {std::pair{"位置容差", 3.5}, {"尺寸容差", 0.5}, {"垂直偏移", -12.5}})
            setting<QDoubleSpinBox>(name)->setValue(value);
        setting("忽略顶部状态栏")->click();
        state().addIgnoredRegion(RectValue(0.5, 0.5, 0.1, 0.1));
        state().addIgnoredRegion(RectValue(0.1, 0.4, 0.3, 0.1));
        state().addIgnoredRegion(RectValue(0, 0, 1, 0.0625));
        setting("删除")->click(); // the first row's
        QVERIFY(compareWithGolden(QStringLiteral("ui-settings-edited.txt"), (shownTexts(settings()) << storedPreferences()).join(u'\n')));

        // Changes made elsewhere are shown, neither written back nor saved.
        const QString saved = storedPreferences();
        QSignalSpy settingsSpy(&state(), &AppState::settingsChanged);
        ComparisonSettings elsewhere = state().settings();
        elsewhere.pixelThreshold = 60;
        elsewhere.designCropTop = 0.2;
        elsewhere.manualOffsetX = 7.5;
        state().setSettings(elsewhere);
        state().setPlatform(AppPlatform::ios);
        state().setAppleTeamID(QStringLiteral("ELSEWHERE"));
        QVERIFY(compareWithGolden(QStringLiteral("ui-settings-elsewhere.txt"), shownTexts(settings()).join(u'\n')));
        QCOMPARE(settingsSpy.count(), 1);
        QCOMPARE(state().settings(), elsewhere);
        QCOMPARE(storedPreferences(), saved);
        setting("清空全部")->click();
        QVERIFY(state().settings().ignoredRegions.isEmpty());
        QVERIFY(storedPreferences().contains("\"ignoredRegions\":[]"));
        QVERIFY(shownTexts(settings()).contains("尚未框选忽略区域"));

        // The diagnostics of the current platform.
        settings().tabs()->setCurrentIndex(2);
        auto *checks = settings().findChild<QListWidget *>();
        auto *log = settings().findChild<QPlainTextEdit *>();
        for (const AppPlatform platform : {AppPlatform::ios, AppPlatform::android}) {
            state().setPlatform(platform);
            const DeviceManagerBase &manager = state().currentManager();
            QVERIFY(AppFixture::waitFor([&] { return !manager.diagnostics().isEmpty(); }));
            QVERIFY(shownTexts(settings()).contains(state().platformName() + " 运行环境"));
            QCOMPARE(checks->count(), manager.diagnostics().size());
            for (int row = 0; row < checks->count(); ++row) {
                QVERIFY(checks->item(row)->text().startsWith(manager.diagnostics()[row].name));
                QCOMPARE(checks->item(row)->data(Qt::AccessibleDescriptionRole).toString(),
                         levelLabel(manager.diagnostics()[row].level));
            }
            QCOMPARE(log->accessibleName(), platform == AppPlatform::android ? "ADB 日志" : "Appium 日志");
            QCOMPARE(log->toPlainText(), manager.logText());
        }
        // The log follows appends, also past its limit.
        AndroidDeviceManager &android = state().android();
        for (const QString &more : {QString(DeviceManagerBase::kLogLimit - 100, u'x') + u'\n', QStringLiteral("1\n2\n")}) {
            android.appendLog(more);
            QCOMPARE(log->toPlainText(), android.logText());
        }
        // Checks run again on request.
        QSignalSpy rerun(&android, &DeviceManagerBase::diagnosticsChanged);
        setting("重新检查")->click();
        QVERIFY(rerun.wait(20'000));
    }
    void canvasDrawsRegionsPansAndOutlines()
    {
        // A 400 × 400 canvas showing a 200 × 400 image: displayed at x 100 … 300, y 0 … 400.
        ImageCanvas canvas;
        canvas.resize(400, 400);
        QImage blue(200, 400, QImage::Format_RGB32);
        blue.fill(QColor(20, 40, 200));
        canvas.setImage(blue);
        // One line per drag on the canvas: the normalised region drawn, if any, then the pan and
        // where the image shows (at first x 100 … 300).
        QSignalSpy drawn(&canvas, &ImageCanvas::ignoredRegionDrawn);
        QStringList log;
        const auto dragged = [&](const char *what, QPoint from, QPoint to) {
            drag(&canvas, from, to);
            QString region = QStringLiteral("none");
            for (const QList<QVariant> &signal : std::as_const(drawn)) {
                const QRectF r = signal.first().value<RectValue>().toRectF();
                region = QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
            }
            const QRectF shown = canvas.displayedImageRect();
            log << QStringLiteral("%1: %2 (%3 signals), pan %4 %5, shown %6 %7 %8 %9")
                       .arg(QString::fromUtf8(what), region).arg(drawn.size()).arg(canvas.pan().x()).arg(canvas.pan().y())
                       .arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height());
            drawn.clear();
        };
        dragged("drawing off, fitted", QPoint(150, 100), QPoint(190, 140));
        canvas.setDrawingEnabled(true);
        dragged("5 x 40", QPoint(150, 100), QPoint(155, 140));
        dragged("40 x 5", QPoint(150, 100), QPoint(190, 105));
        dragged("6 x 6", QPoint(150, 100), QPoint(156, 106));
        dragged("6 x 6 up and left", QPoint(156, 106), QPoint(150, 100));
        dragged("from outside, clipped to 6 wide", QPoint(40, 100), QPoint(106, 140));
        dragged("from outside, clipped to 5 wide", QPoint(40, 100), QPoint(105, 140));
        dragged("beyond the far corner", QPoint(280, 380), QPoint(390, 399));
        canvas.setDrawingEnabled(false);
        canvas.setZoom(2); // 400 × 800: overhangs 200 above and below, not at the sides
        dragged("zoom 2, by 100 150", QPoint(200, 100), QPoint(300, 250));
        dragged("zoom 2, by 100 150 again", QPoint(200, 100), QPoint(300, 250));
        canvas.setZoom(1); // zooming back re-centres
        dragged("zoom 1, by 0 0", QPoint(200, 200), QPoint(200, 200));
        QVERIFY(compareWithGolden(QStringLiteral("ui-canvas-regions.txt"), log.join(u'\n')));

        canvas.setHighlightedRegions({RectValue(0.5, 0.5, 0.25, 0.25)}); // view 200 … 250, 200 … 300
        const QImage shot = canvas.grab().toImage();
        const auto isImage = [&](int x, int y) { return shot.pixelColor(x, y) == QColor(20, 40, 200); };
        QVERIFY(isImage(180, 180) && isImage(260, 250) && isImage(225, 310));
        // The outline's left and bottom edges, and the canvas background outside the image.
        QVERIFY(!isImage(201, 250) && !isImage(225, 299) && !isImage(50, 50));
    }

    void inspectorZoomBlinkPanesSelectionAndWindow()
    {
        ResultInspectorView view;
        view.resize(1280, 840);
        view.show();
        view.setResult(m_result);
        const auto label = [&](const char *name) { return view.findChild<QLabel *>(QLatin1String(name))->text(); };
        // One line per step: the zoom shown, the view's and the picture's zoom, the blink phase.
        QStringList log{label("resultHeader")};
        ImageCanvas *canvas = view.canvasView()->primaryCanvas();
        const auto step = [&](const QString &what, const std::function<void()> &action, int times = 1) {
            for (int i = 0; i < times; ++i)
                action();
            log << QStringLiteral("%1: %2 %3 %4 blink %5")
                       .arg(what, label("zoomLabel")).arg(view.zoom()).arg(canvas->zoom()).arg(view.blinkPhase());
        };
        const auto press = [&](const char *name) { control(view, QString::fromUtf8(name))->click(); };
        const auto key = [&](Qt::Key key) { QTest::keyClick(&view, key, Qt::ControlModifier); };
        step("放大 × 20", [&] { press("放大"); }, 20);
        step("缩小", [&] { press("缩小"); });
        step("缩小 × 20", [&] { press("缩小"); }, 20);
        QVERIFY(QTest::qWaitForWindowActive(&view));
        step("Ctrl+=", [&] { key(Qt::Key_Equal); });
        for (const char *mode : {"并排", "热力图", "叠加"}) // fitting depends on the mode
            step(QString::fromUtf8(mode) + QStringLiteral(", Ctrl+0"), [&] { press(mode), key(Qt::Key_0); });
        // Touchpad pinch: each event carries the change since the last one; a new gesture starts
        // from magnification 1 again.
        view.setZoom(1);
        pinch(canvas, Qt::BeginNativeGesture, 0);
        for (const double change : {1.0, 0.5, 1.0})
            step(QStringLiteral("pinch %1").arg(change), [&] { pinch(canvas, Qt::ZoomNativeGesture, change); });
        pinch(canvas, Qt::EndNativeGesture, 0);
        step("magnification 0.01", [&] { view.magnificationChanged(0.01); });
        view.magnificationEnded();
        step("Ctrl+wheel", [&] {
            QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(canvas, &wheel);
        });
        // Blinking flips the picture only while switched on.
        QCOMPARE(view.findChild<QTimer *>()->interval(), 650);
        step("tick", [&] { view.blinkTick(); });
        step("闪烁, tick", [&] { press("闪烁"), view.blinkTick(); });
        step("闪烁, tick", [&] { press("闪烁"), view.blinkTick(); });
        QVERIFY(compareWithGolden(QStringLiteral("ui-inspector.txt"), log.join(u'\n')));

        // Side by side, the panes pan together; a chosen issue is outlined on both.
        ComparisonResult result = m_result;
        result.issues.append(result.issues.first());
        result.issues[1].id = QUuid::createUuid();
        result.issues[1].deviceRect = RectValue(0.1, 0.2, 0.3, 0.1);
        result.issues[1].designRect = RectValue(0.5, 0.6, 0.2, 0.2);
        view.setResult(result);
        press("并排");
        ImageCanvas *device = view.canvasView()->primaryCanvas();
        ImageCanvas *design = view.canvasView()->secondaryCanvas();
        view.setZoom(3);
        drag(device, QPoint(100, 100), QPoint(130, 40));
        QVERIFY(device->pan() != QPointF());
        QCOMPARE(design->pan(), device->pan());

        QVERIFY(device->highlightedRegions().isEmpty());
        auto *list = view.findChild<IssueListView *>()->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QCOMPARE(view.selectedIssueID(), result.issues[1].id);
        QCOMPARE(device->highlightedRegions(), QList<RectValue>{*result.issues[1].deviceRect});
        QCOMPARE(design->highlightedRegions(), QList<RectValue>{*result.issues[1].designRect});

        // The heat map shows the changed block red-orange and the rest grey, still outlined.
        press("热力图");
        view.setZoom(1);
        QCOMPARE(device->highlightedRegions(), QList<RectValue>{*result.issues[1].deviceRect});
        const QRectF shown = device->displayedImageRect();
        const QImage shot = device->grab().toImage();
        const QColor changed = shot.pixelColor(shown.center().toPoint());
        QVERIFY2(changed.red() > 200 && changed.green() < 150 && changed.blue() < 100, qPrintable(changed.name()));
        const QColor unchanged = shot.pixelColor((shown.topLeft() + QPointF(5, 5)).toPoint());
        QVERIFY2(qAbs(unchanged.red() - unchanged.blue()) < 10, qPrintable(unchanged.name()));

        // A result without that issue drops the selection and its outline; none shows the empty page.
        result.issues.removeLast();
        view.setResult(result);
        QCOMPARE(view.selectedIssueID(), std::nullopt);
        QVERIFY(device->highlightedRegions().isEmpty());
        QCOMPARE(label("issueCount"), QStringLiteral("1"));
        result.issues.clear();
        view.setResult(result);
        QCOMPARE(view.findChild<QStackedWidget *>()->currentWidget(),
                 view.findChild<QLabel *>(QStringLiteral("emptyTitle"))->parentWidget());

        // The window tells its owner once when closed, and goes away.
        QPointer<ResultInspectorWindow> window = new ResultInspectorWindow;
        QCOMPARE(window->size(), QSize(1280, 840));
        QSignalSpy closed(window.data(), &ResultInspectorWindow::closed);
        window->present();
        window->present();
        QVERIFY(window->close());
        QCOMPARE(closed.size(), 1);
        QTRY_VERIFY(window.isNull());
    }
};

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
