// The main and settings windows over a real application state (fake adb, temporary home): labels
// that follow the state, the history menu, drops, drawn ignored regions, the result's zoom limits
// and issue selection; edits that reach the stored preferences, changes made elsewhere shown
// without echo, and the diagnostics of the current platform.
#include "support/AppFixture.h"
#include "support/FindControl.h"

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
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QSettings preferences() { return QSettings(QStringLiteral("halvenro"), QStringLiteral("Vantrel")); }

// A stored preference; "comparisonSettings/KEY" reads one key of the stored settings.
QVariant stored(const QString &key)
{
    const QStringList path = key.split(u'/');
    const QVariant value = preferences().value(path[0]);
    return path.size() == 1 ? value : QJsonDocument::fromJson(value.toByteArray()).object().value(path[1]).toVariant();
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

    void settingsReachStateAndPreferences_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QString>("shown");
        QTest::newRow("platform") << "Android" << QVariant() << "devicePlatform" << QVariant("Android") << "";
        QTest::newRow("team") << "Apple Team ID" << QVariant("T3AM") << "appleTeamID" << QVariant("T3AM") << "";
        QTest::newRow("bundle") << "WDA Bundle ID" << QVariant("b.wda") << "wdaBundleID" << QVariant("b.wda") << "";
        QTest::newRow("threshold") << "像素差阈值" << QVariant(40) << "comparisonSettings/pixelThreshold"
                                   << QVariant(40.0) << "40";
        QTest::newRow("position") << "位置容差" << QVariant(3.5) << "comparisonSettings/positionTolerance"
                                  << QVariant(3.5) << "3.5 pt";
        QTest::newRow("size") << "尺寸容差" << QVariant(0.5) << "comparisonSettings/sizeTolerance" << QVariant(0.5)
                              << "0.5 pt";
        QTest::newRow("offset") << "垂直偏移" << QVariant(-12.5) << "comparisonSettings/manualOffsetY"
                                << QVariant(-12.5) << "-12.5 pt";
        QTest::newRow("crop") << "左侧裁剪" << QVariant(25) << "comparisonSettings/designCropLeft" << QVariant(0.125)
                              << "12.5%";
        QTest::newRow("crop at its end") << "底部裁剪" << QVariant(1000) << "comparisonSettings/designCropBottom"
                                         << QVariant(0.45) << "45.0%";
        QTest::newRow("status bar") << "忽略顶部状态栏" << QVariant(true) << "comparisonSettings/ignoreStatusBar"
                                    << QVariant(true) << "";
    }
    void settingsReachStateAndPreferences()
    {
        QFETCH(QString, control);
        QFETCH(QVariant, input);
        QFETCH(QString, key);
        QFETCH(QString, shown);
        QWidget *w = setting<QWidget>(control);
        if (auto *slider = qobject_cast<QSlider *>(w)) {
            slider->setValue(input.toInt());
            QVERIFY2(shown.isEmpty() || labels(*slider->parentWidget()).contains(shown), qPrintable(shown));
        } else if (auto *stepper = qobject_cast<QDoubleSpinBox *>(w)) {
            stepper->setValue(input.toDouble());
            QCOMPARE(stepper->text(), shown);
        } else if (auto *field = qobject_cast<QLineEdit *>(w)) {
            field->selectAll();
            QTest::keyClicks(field, input.toString());
        } else {
            qobject_cast<QAbstractButton *>(w)->click();
        }
        QTEST(stored(key), "expected");
    }

    void settingsFollowChangesMadeElsewhereWithoutEcho()
    {
        QSignalSpy settingsSpy(&state(), &AppState::settingsChanged);
        ComparisonSettings settings = state().settings();
        settings.pixelThreshold = 60;
        settings.designCropTop = 0.2;
        settings.manualOffsetX = 7.5;
        state().setSettings(settings);
        state().setPlatform(AppPlatform::android);
        state().setAppleTeamID(QStringLiteral("ELSEWHERE"));

        QCOMPARE(setting<QSlider>("像素差阈值")->value(), 60);
        QCOMPARE(setting<QSlider>("顶部裁剪")->value(), 40);
        QVERIFY(labels(*m_settings).contains("20.0%"));
        QCOMPARE(setting<QDoubleSpinBox>("水平偏移")->value(), 7.5);
        QVERIFY(setting("Android")->isChecked());
        QCOMPARE(setting<QLineEdit>("Apple Team ID")->text(), "ELSEWHERE");
        // Showing a value neither writes it back nor saves it.
        QCOMPARE(settingsSpy.count(), 1);
        QCOMPARE(state().settings(), settings);
        QVERIFY(!preferences().contains("devicePlatform") && !preferences().contains("comparisonSettings"));
    }

    void settingsListIgnoredRegions()
    {
        QVERIFY(labels(*m_settings).contains("尚未框选忽略区域"));
        state().addIgnoredRegion(RectValue(0.1, 0.4, 0.3, 0.1));
        state().addIgnoredRegion(RectValue(0, 0, 1, 0.0625));
        QVERIFY(labels(*m_settings).contains("x 10.0% · y 40.0% · 30.0% × 10.0%"));
        QVERIFY(labels(*m_settings).contains("x 0.0% · y 0.0% · 100.0% × 6.2%"));
        QVERIFY(!labels(*m_settings).contains("尚未框选忽略区域"));

        const QUuid kept = state().settings().ignoredRegions[1].id;
        setting("删除")->click(); // the first row's
        QCOMPARE(state().settings().ignoredRegions.size(), 1);
        QCOMPARE(state().settings().ignoredRegions[0].id, kept);
        QCOMPARE(stored("comparisonSettings/ignoredRegions").toList().size(), 1);
        setting("清空全部")->click();
        QVERIFY(state().settings().ignoredRegions.isEmpty());
        QCOMPARE(stored("comparisonSettings/ignoredRegions").toList().size(), 0);
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
