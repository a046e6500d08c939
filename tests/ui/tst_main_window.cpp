// The main window over a real application state (fake adb, temporary home): the connect label,
// the start button, the history menu, alerts, drops, the result's zoom limits and issue selection.
#include "support/AppFixture.h"
#include "support/FindControl.h"

#include "ui/CaptureWorkspace.h"
#include "ui/ImageCanvas.h"
#include "ui/IssueListView.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowTexts.h"
#include "ui/ResultCanvasView.h"
#include "ui/ResultWorkspace.h"
#include "ui/TopBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void connectLabelFollowsTheState_data();
    void connectLabelFollowsTheState();
    void fromEmptyWindowToResultAndHistory();
    void alertsAndDrops();
};

void MainWindowTest::connectLabelFollowsTheState_data()
{
    QTest::addColumn<DeviceConnectionState>("state");
    QTest::addColumn<QString>("label");
    QTest::newRow("idle") << DeviceConnectionState::idle() << QStringLiteral("连接");
    QTest::newRow("preparing") << DeviceConnectionState::preparing(QStringLiteral("…")) << QStringLiteral("连接中…");
    QTest::newRow("connected") << DeviceConnectionState::connected() << QStringLiteral("断开");
    QTest::newRow("failed") << DeviceConnectionState::failed(QStringLiteral("x")) << QStringLiteral("重试连接");
}

void MainWindowTest::connectLabelFollowsTheState()
{
    QFETCH(DeviceConnectionState, state);
    QTEST(texts::connectLabel(state), "label");
}

void MainWindowTest::fromEmptyWindowToResultAndHistory()
{
    AppFixture f;
    AppState &state = f.start();
    MainWindow window(state);
    window.show();
    // No iPhone was found: the button offers another try; nothing to compare yet.
    QCOMPARE(window.topBar()->connectButton()->text(), QStringLiteral("重试连接"));
    QCOMPARE(window.topBar()->connectButton()->accessibleName(), QStringLiteral("重试连接"));
    QVERIFY(!window.topBar()->startButton()->isEnabled());
    QCOMPARE(window.topBar()->historyMenu()->actions().value(0)->text(), QStringLiteral("暂无历史记录"));
    // Every control can be found by what the user reads.
    for (QWidget *control : window.findChildren<QWidget *>()) {
        const bool named = !control->accessibleName().isEmpty();
        if (auto *button = qobject_cast<QAbstractButton *>(control); button && !button->text().isEmpty())
            QVERIFY2(control->accessibleName() == button->text(), qPrintable(button->text()));
        else if (qobject_cast<QAbstractButton *>(control) || qobject_cast<QComboBox *>(control) ||
                 qobject_cast<QAbstractSlider *>(control) || qobject_cast<QLineEdit *>(control))
            QVERIFY2(named || !control->isVisibleTo(&window), control->metaObject()->className());
    }
    state.setPlatform(AppPlatform::android);
    QCOMPARE(window.topBar()->connectButton()->text(), QStringLiteral("连接"));
    QCOMPARE(window.topBar()->devicePicker()->currentText(), state.currentDeviceName());

    state.loadLocalDesign(f.imageFile(QStringLiteral("登录页.png"), Qt::white));
    state.loadDeviceScreenshot(f.imageFile(QStringLiteral("shot.png"), Qt::black));
    QVERIFY(window.topBar()->startButton()->isEnabled());
    window.topBar()->startButton()->click();
    QCOMPARE(window.topBar()->startButton()->text(), QStringLiteral("处理中"));
    QVERIFY(!window.topBar()->startButton()->isEnabled());
    QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
    QCOMPARE(window.statusText()->text(), state.statusMessage());
    QVERIFY(window.resultWorkspace()->isVisible());

    // The history menu lists the new entry, which opens the stored result.
    QMenu *history = window.topBar()->historyMenu();
    QCOMPARE(history->actions().size(), 1);
    QVERIFY(history->actions()[0]->text().startsWith(QStringLiteral("登录页 · ")));
    QVERIFY(history->actions()[0]->text().endsWith(u'%'));
    history->actions()[0]->trigger();
    QVERIFY(state.isShowingHistory());

    // Zoom buttons stop at their limits.
    for (int i = 0; i < 20; ++i)
        control(window, QStringLiteral("放大"))->click();
    QCOMPARE(state.resultZoom(), ResultWorkspace::kMaximumZoom);
    for (int i = 0; i < 20; ++i)
        control(window, QStringLiteral("缩小"))->click();
    QCOMPARE(state.resultZoom(), ResultWorkspace::kMinimumZoom);

    // Choosing an issue selects it and outlines its rectangle on the picture.
    QListWidget *list = window.resultWorkspace()->issues()->list();
    QVERIFY(list->count() > 0);
    list->setCurrentRow(0);
    const ComparisonIssue &first = state.result()->issues[0];
    QCOMPARE(state.selectedIssueID(), std::optional<QUuid>(first.id));
    QCOMPARE(window.resultWorkspace()->canvas()->primaryCanvas()->highlightedRegions().value(0).id, first.deviceRect->id);
}

void MainWindowTest::alertsAndDrops()
{
    AppFixture f;
    AppState &state = f.start();
    MainWindow window(state);
    window.show();
    state.setAlertMessage(QStringLiteral("请先导入设计稿"));
    QVERIFY(window.alert()->isVisible());
    QCOMPARE(window.alert()->windowTitle(), QStringLiteral("提示"));
    QCOMPARE(window.alert()->text(), QStringLiteral("请先导入设计稿"));
    control<QPushButton>(*window.alert(), QStringLiteral("知道了"))->click();
    QVERIFY(!state.alertMessage());
    QVERIFY(AppFixture::waitFor([&] { return !window.alert()->isVisible(); }));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(f.imageFile(QStringLiteral("首页.png"), Qt::white, 30, 60))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QCOMPARE(state.design()->name, QStringLiteral("首页"));
    QCOMPARE(window.captureWorkspace()->designCanvas()->image().size(), QSize(30, 60));

    // A region drawn on the device card becomes an ignored region, counted in the status bar.
    state.loadDeviceScreenshot(f.imageFile(QStringLiteral("shot.png"), Qt::black, 30, 60));
    control<QCheckBox>(window, QStringLiteral("拖拽框选忽略区域"))->click();
    ImageCanvas *canvas = window.captureWorkspace()->deviceCanvas();
    QVERIFY(canvas->isDrawingEnabled());
    const QRectF image = canvas->displayedImageRect();
    QTest::mousePress(canvas, Qt::LeftButton, {}, image.topLeft().toPoint() + QPoint(2, 2));
    QTest::mouseMove(canvas, image.center().toPoint());
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, image.center().toPoint());
    QCOMPARE(state.settings().ignoredRegions.size(), 1);
    QCOMPARE(state.statusMessage(), QStringLiteral("已添加忽略区域，重新对比后生效"));
    const QList<QLabel *> labels = window.findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](QLabel *l) { return l->text() == QStringLiteral("忽略区域 1"); }));
    QCOMPARE(canvas->ignoredRegions(), state.settings().ignoredRegions);
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
