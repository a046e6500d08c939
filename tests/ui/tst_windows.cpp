// The main and settings windows over a real application state (fake adb, temporary home): labels
// that follow the state, the history menu, drops, drawn ignored regions, the result's zoom limits
// and issue selection; edits that reach the stored preferences, changes made elsewhere shown
// without echo, and the diagnostics of the current platform.
#include "support/AppFixture.h"
#include "support/FindControl.h"
#include "support/Golden.h"
#include "support/UiWidgetTexts.h"

#include "ui/CaptureWorkspace.h"
#include "ui/ImageCanvas.h"
#include "ui/IssueListView.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowTexts.h"
#include "ui/ResultCanvasView.h"
#include "ui/ResultWorkspace.h"
#include "ui/SettingsWindow.h"
#include "ui/TopBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QSettings preferences() { return QSettings(QStringLiteral("halvenro"), QStringLiteral("Vantrel")); }

// The stored preferences, one "key=value" a line, identifiers made constant.
QString storedPreferences()
{
    const QSettings stored = preferences();
    QString text;
    for (const QString &key : stored.allKeys())
        text += key + u'=' + stored.value(key).toString() + u'\n';
    static const QRegularExpression uuid(QStringLiteral("[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}"));
    return text.replace(uuid, QStringLiteral("#"));
}

// The texts of the labels not hidden themselves (whichever tab they are on).
QStringList labels(QWidget &root)
{
    QStringList texts;
    for (QLabel *label : root.findChildren<QLabel *>())
        if (!label->isHidden())
            texts << label->text();
    return texts;
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<SettingsWindow> m_settings;
    AppState &state() { return *m_fixture->state; }
    template<typename T = QAbstractButton>
    T *setting(const QString &name) { return control<T>(*m_settings, name); }

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_settings = std::make_unique<SettingsWindow>(m_fixture->start());
        m_settings->show();
    }
    void cleanup()
    {
        m_settings.reset();
        m_fixture.reset();
    }

    void connectLabelFollowsTheState_data()
    {
        QTest::addColumn<DeviceConnectionState>("state");
        QTest::addColumn<QString>("label");
        QTest::newRow("idle") << DeviceConnectionState::idle() << QStringLiteral("连接");
        QTest::newRow("preparing") << DeviceConnectionState::preparing(QStringLiteral("…")) << QStringLiteral("连接中…");
        QTest::newRow("connected") << DeviceConnectionState::connected() << QStringLiteral("断开");
        QTest::newRow("failed") << DeviceConnectionState::failed(QStringLiteral("x")) << QStringLiteral("重试连接");
    }
    void connectLabelFollowsTheState()
    {
        QFETCH(DeviceConnectionState, state);
        QTEST(texts::connectLabel(state), "label");
    }

    void mainWindowFromDropToResultAndHistory()
    {
        MainWindow window(state());
        window.show();
        // No iPhone was found: the button offers another try; nothing to compare yet.
        QCOMPARE(window.topBar()->connectButton()->text(), QStringLiteral("重试连接"));
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
        QCOMPARE(state().design()->name, QStringLiteral("首页"));
        QCOMPARE(state().statusMessage(), QStringLiteral("已导入设计稿：首页"));
        QCOMPARE(window.captureWorkspace()->designCanvas()->image().size(), QSize(30, 60));

        // A region drawn on the device card becomes an ignored region, counted in the status bar.
        state().loadDeviceScreenshot(m_fixture->imageFile(QStringLiteral("shot.png"), Qt::black, 30, 60));
        control<QCheckBox>(window, QStringLiteral("拖拽框选忽略区域"))->click();
        ImageCanvas *canvas = window.captureWorkspace()->deviceCanvas();
        const QRectF image = canvas->displayedImageRect();
        QTest::mousePress(canvas, Qt::LeftButton, {}, image.topLeft().toPoint() + QPoint(2, 2));
        QTest::mouseMove(canvas, image.center().toPoint());
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, image.center().toPoint());
        QCOMPARE(state().settings().ignoredRegions.size(), 1);
        QCOMPARE(state().statusMessage(), QStringLiteral("已添加忽略区域，重新对比后生效"));
        QVERIFY(labels(window).contains(QStringLiteral("忽略区域 1")));
        QCOMPARE(canvas->ignoredRegions(), state().settings().ignoredRegions);

        window.topBar()->startButton()->click();
        QCOMPARE(window.topBar()->startButton()->text(), QStringLiteral("处理中"));
        QVERIFY(AppFixture::waitFor([&] { return !state().isBusy(); }));
        // The history menu lists the new entry, which opens the stored result.
        QMenu *history = window.topBar()->historyMenu();
        QCOMPARE(history->actions().size(), 1);
        QVERIFY(history->actions()[0]->text().startsWith(QStringLiteral("首页 · ")));
        QVERIFY(history->actions()[0]->text().endsWith(u'%'));
        history->actions()[0]->trigger();
        QVERIFY(state().isShowingHistory());

        // Zoom buttons stop at their limits.
        for (int i = 0; i < 20; ++i)
            control(window, QStringLiteral("放大"))->click();
        QCOMPARE(state().resultZoom(), ResultWorkspace::kMaximumZoom);
        for (int i = 0; i < 20; ++i)
            control(window, QStringLiteral("缩小"))->click();
        QCOMPARE(state().resultZoom(), ResultWorkspace::kMinimumZoom);

        // Choosing an issue selects it and outlines its rectangle on the picture.
        QListWidget *list = window.resultWorkspace()->issues()->list();
        QVERIFY(list->count() > 0);
        list->setCurrentRow(0);
        const ComparisonIssue &first = state().result()->issues[0];
        QCOMPARE(state().selectedIssueID(), std::optional<QUuid>(first.id));
        QCOMPARE(window.resultWorkspace()->canvas()->primaryCanvas()->highlightedRegions().value(0).id, first.deviceRect->id);
    }

    void settingsFollowEditsAndChangesMadeElsewhere()
    {
        QVERIFY(labels(*m_settings).contains("尚未框选忽略区域"));
        // Edits through the controls reach the state and the stored preferences.
        setting("Android")->click();
        for (const auto &[name, text] : {std::pair{"Apple Team ID", "T3AM"}, {"WDA Bundle ID", "b.wda"}}) {
            setting<QLineEdit>(name)->selectAll();
            QTest::keyClicks(setting<QLineEdit>(name), text);
        }
        setting<QSlider>("像素差阈值")->setValue(40);
        setting<QSlider>("左侧裁剪")->setValue(25);
        setting<QSlider>("底部裁剪")->setValue(1000); // held at its end
        setting<QDoubleSpinBox>("位置容差")->setValue(3.5);
        setting<QDoubleSpinBox>("尺寸容差")->setValue(0.5);
        setting<QDoubleSpinBox>("垂直偏移")->setValue(-12.5);
        setting("忽略顶部状态栏")->click();
        state().addIgnoredRegion(RectValue(0.1, 0.4, 0.3, 0.1));
        state().addIgnoredRegion(RectValue(0, 0, 1, 0.0625));
        state().addIgnoredRegion(RectValue(0.5, 0.5, 0.1, 0.1));
        setting("删除")->click(); // the first row's
        QVERIFY(compareWithGolden(QStringLiteral("ui-settings-edited.txt"), widgetTexts(*m_settings) + storedPreferences()));

        // Changes made elsewhere are shown, neither written back nor saved.
        const QString saved = storedPreferences();
        QSignalSpy settingsSpy(&state(), &AppState::settingsChanged);
        ComparisonSettings settings = state().settings();
        settings.pixelThreshold = 60;
        settings.designCropTop = 0.2;
        settings.manualOffsetX = 7.5;
        state().setSettings(settings);
        state().setPlatform(AppPlatform::ios);
        state().setAppleTeamID(QStringLiteral("ELSEWHERE"));
        QVERIFY(compareWithGolden(QStringLiteral("ui-settings-elsewhere.txt"), widgetTexts(*m_settings)));
        QCOMPARE(settingsSpy.count(), 1);
        QCOMPARE(state().settings(), settings);
        QCOMPARE(storedPreferences(), saved);
        setting("清空全部")->click();
        QVERIFY(state().settings().ignoredRegions.isEmpty());
        QVERIFY(storedPreferences().contains("\"ignoredRegions\":[]"));
        QVERIFY(labels(*m_settings).contains("尚未框选忽略区域"));
    }

    void settingsShowDiagnosticsOfTheCurrentPlatform()
    {
        m_settings->tabs()->setCurrentIndex(2);
        auto *checks = m_settings->findChild<QListWidget *>();
        auto *log = m_settings->findChild<QPlainTextEdit *>();
        for (const AppPlatform platform : {AppPlatform::ios, AppPlatform::android}) {
            state().setPlatform(platform);
            const DeviceManagerBase &manager = state().currentManager();
            QVERIFY(AppFixture::waitFor([&] { return !manager.diagnostics().isEmpty(); }));
            QVERIFY(labels(*m_settings).contains(state().platformName() + " 运行环境"));
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
};

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
