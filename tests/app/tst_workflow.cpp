// The comparison workflow end to end through the real managers and stores: an Android phone on the
// fake adb, offline screenshots, the history, the exports and the inspector, and closing mid-task.
#include "support/AppFixture.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The state with a design loaded, connected to the fixture's Android phone (check that it is).
AppState &connectedToAndroid(AppFixture &f, const QString &designFile)
{
    AppState &state = f.start();
    state.setPlatform(AppPlatform::android);
    state.loadLocalDesign(f.imageFile(designFile, Qt::white));
    AppFixture::waitFor([&] { return !state.android().devices().isEmpty(); });
    state.connectDevice();
    AppFixture::waitFor([&] { return state.currentConnectionState().kind == DeviceConnectionState::Kind::connected; });
    return state;
}

} // namespace

class AppWorkflowTest : public QObject {
    Q_OBJECT
private slots:
    void androidComparisonIsStoredWithTheCaptureWarning()
    {
        AppFixture f;
        AppState &state = connectedToAndroid(f, QStringLiteral("登录页.png"));
        QCOMPARE(state.statusMessage(), QStringLiteral("Android 设备已连接，正在接收实时画面"));

        // The tree is empty and the dump now fails: the capture goes on visually, with a warning.
        f.adb.on(FakeAdb::dump(AppFixture::kSerial), {FakeAdb::reply(QStringLiteral("ERROR: could not get idle state.\n"), {}, 1)});
        state.runComparison();
        state.runComparison(); // busy: ignored
        QVERIFY(!state.canCompare());
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QVERIFY2(!state.alertMessage(), qPrintable(state.alertMessage().value_or(QString())));
        QVERIFY(state.result() && !state.result()->issues.isEmpty());
        QCOMPARE(state.statusMessage(), QStringLiteral("对比完成：发现 %1 项差异；Android UI 层级暂时不可用，已自动改用截图视觉对比")
                                            .arg(state.result()->issues.size()));
        QCOMPARE(state.workspaceMode(), MainWorkspaceMode::result);
        QCOMPARE(state.displayMode(), ComparisonDisplayMode::overlay);
        QCOMPARE(state.histories().size(), 1);
        QCOMPARE(state.historyStore().entries().value(0).id, state.histories()[0].id);
        QCOMPARE(state.histories()[0].designName, QStringLiteral("登录页"));
        QCOMPARE(state.histories()[0].deviceName, state.currentDeviceName());
        QVERIFY(state.currentDeviceName() != QStringLiteral("Android"));
        state.connectDevice(); // disconnects
        QVERIFY(AppFixture::waitFor([&] { return state.statusMessage() == QStringLiteral("设备已断开"); }));
    }

    void offlineComparisonPreconditionsAndHistoryFailure()
    {
        AppFixture f;
        // The history root is a file: every save fails.
        QFile blocker(f.home.filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        AppState &state = f.start(blocker.fileName() + QStringLiteral("/History"));

        state.runComparison();
        QCOMPARE(state.alertMessage(), std::optional<QString>(QStringLiteral("请先导入设计稿")));
        state.loadLocalDesign(f.imageFile(QStringLiteral("design.png"), Qt::white));
        state.runComparison();
        QCOMPARE(state.alertMessage(), std::optional<QString>(QStringLiteral("请先连接 iOS 设备或载入真机截图")));
        state.setAlertMessage(std::nullopt);
        state.loadDeviceScreenshot(f.home.filePath(QStringLiteral("design.png")).replace(QStringLiteral(".png"), QStringLiteral(".txt")));
        QVERIFY(state.alertMessage() && !state.manualDeviceImage());

        state.loadDeviceScreenshot(f.imageFile(QStringLiteral("shot.png"), Qt::white));
        state.setAlertMessage(std::nullopt);
        QVERIFY(f.compare());
        // The result is shown; the failed write is alerted and the status says the comparison failed.
        QVERIFY(state.result());
        QCOMPARE(state.result()->status, QStringLiteral("一致"));
        QCOMPARE(state.workspaceMode(), MainWorkspaceMode::result);
        QVERIFY(state.alertMessage() && state.alertMessage()->contains(f.home.path()));
        QCOMPARE(state.statusMessage(), QStringLiteral("对比失败"));
        QVERIFY(state.histories().isEmpty());
        QVERIFY(state.canCompare());
    }

    void exportsHistoryAndInspector()
    {
        AppFixture f;
        AppState &state = f.start();
        const QString out = f.home.filePath(QStringLiteral("report.html"));
        f.windows.nextPath = out;
        state.exportReport();
        state.exportPDFReport();
        state.openResultInspector();
        QVERIFY(f.windows.calls.isEmpty()); // nothing to export or inspect yet

        state.loadLocalDesign(f.imageFile(QStringLiteral("design.png"), Qt::white));
        state.loadDeviceScreenshot(f.imageFile(QStringLiteral("shot.png"), Qt::black));
        QVERIFY(f.compare());
        QCOMPARE(state.statusMessage(), QStringLiteral("对比完成：发现 %1 项差异").arg(state.result()->issues.size()));
        QCOMPARE(state.histories()[0].deviceName, QStringLiteral("导入截图"));

        state.exportReport();
        QVERIFY(QRegularExpression(QStringLiteral("^save:导出界面对比报告:界面对比报告-\\d{8}-\\d{6}\\.html$"))
                    .match(f.windows.calls[0]).hasMatch());
        QCOMPARE(f.windows.calls[1], QStringLiteral("reveal:") + out);
        QCOMPARE(state.statusMessage(), QStringLiteral("报告已导出：report.html"));
        f.windows.nextPath = f.home.filePath(QStringLiteral("missing/dir/report.pdf"));
        state.exportPDFReport();
        QVERIFY(state.alertMessage() && state.alertMessage()->startsWith(QStringLiteral("PDF 导出失败：")));
        QCOMPARE(state.statusMessage(), QStringLiteral("报告已导出：report.html"));

        // Reopened from the history, the result has no design (a report then names the history).
        state.openHistory(state.histories()[0]);
        QVERIFY(state.isShowingHistory() && !state.design());
        QCOMPARE(state.currentDeviceImage()->size(), state.result()->deviceImage.size());
        QVERIFY(state.statusMessage().startsWith(QStringLiteral("已打开 ")));
        ComparisonHistoryEntry broken = state.histories()[0];
        broken.directoryName = QStringLiteral("gone");
        state.openHistory(broken);
        QCOMPARE(state.alertMessage(), std::optional<QString>(QStringLiteral("历史记录文件不完整")));

        // The inspector opens once and is raised afterwards, until it is closed.
        f.windows.calls.clear();
        state.openResultInspector();
        state.openResultInspector();
        QCOMPARE(f.windows.calls, QStringList({QStringLiteral("inspector"), QStringLiteral("raise")}));
        delete state.inspectorWindow();
        state.openResultInspector();
        QCOMPARE(f.windows.calls.last(), QStringLiteral("inspector"));
    }

    void closingDuringACaptureLeavesNothingBehind()
    {
        AppFixture f;
        AppState &state = connectedToAndroid(f, QStringLiteral("design.png"));
        QCOMPARE(state.currentConnectionState().kind, DeviceConnectionState::Kind::connected);
        f.adb.on(FakeAdb::screencap(AppFixture::kSerial), {FakeAdb::reply(QString(), {}, 0, 1500)});
        state.runComparison();
        QVERIFY(state.isBusy());
        f.state.reset();
        spinEventLoop(std::chrono::milliseconds(2500));
        QProcess children;
        children.start(QStringLiteral("pgrep"), {QStringLiteral("-P"), QString::number(getpid())});
        QVERIFY(children.waitForFinished());
        QCOMPARE(children.readAllStandardOutput(), QByteArray());
    }
};

QTEST_MAIN(AppWorkflowTest)
#include "tst_workflow.moc"
