// The application state over the real managers and stores (fake adb, fake Figma API, temporary
// home): preferences, connection states, the ways a design comes in, comparisons offline and on an
// Android phone, the history, the exports, the inspector and closing mid-task. The status and alert
// texts of each scenario are compared as one transcript.
#include "design/DesignTestSupport.h"
#include "support/AppFixture.h"
#include "support/Golden.h"

#include <QDir>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <algorithm>

#include <unistd.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QJsonObject frame(const QString &id, const QString &name)
{
    return figmaNode(id, "FRAME", box(0, 0, 375, 812), {figmaNode(id + ":1", "TEXT", box(20, 40, 80, 24))}, name);
}

} // namespace

class AppStateTest : public QObject {
    Q_OBJECT
private slots:
    void preferencesConnectionStatesAndDesigns()
    {
        resetThrottle();
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        EnvironmentOverride environment;
        environment.set("VANTREL_FIGMA_API_BASE", server.baseUrl().toString().toUtf8());
        const QJsonObject file{{"document", QJsonObject{{"id", "0:0"}, {"type", "DOCUMENT"}, {"children", QJsonArray{
            QJsonObject{{"id", "0:1"}, {"type", "CANVAS"}, {"children", QJsonArray{frame("A", "首页"), frame("B", "详情")}}}}}}}};
        serve(server, {FakeHttpServer::route("GET", "/v1/files/KEY", {withHeaders(FakeHttpServer::json(429, QJsonObject{}), {{"Retry-After", "1"}}),
                                                                       FakeHttpServer::json(200, file)}),
                       FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {nodeAnswer("A", frame("A", "首页")), nodeAnswer("B", frame("B", "详情"))}),
                       FakeHttpServer::route("GET", "/v1/images/KEY", {renderingAnswer("A"), renderingAnswer("B")}),
                       FakeHttpServer::route("GET", "/render.png", {png(750, 1624)})});
        AppFixture f;
        {
            // A platform in the wrong case is not one; stored settings missing keys are not read.
            QSettings stored(QStringLiteral("halvenro"), QStringLiteral("Vantrel"));
            stored.setValue("devicePlatform", "android");
            stored.setValue("comparisonSettings", QByteArray("{\"pixelThreshold\": 40}"));
        }
        AppState &state = f.start();
        QCOMPARE(state.platform(), AppPlatform::ios);
        QCOMPARE(state.settings(), ComparisonSettings());
        QCOMPARE(state.wdaBundleID(), QStringLiteral("com.halvenro.Vantrel.WebDriverAgentRunner"));
        ComparisonSettings settings;
        settings.positionTolerance = 3.5;
        settings.ignoredRegions = {RectValue(0.1, 0.2, 0.3, 0.4)};
        state.setSettings(settings);
        state.setFigmaToken(QStringLiteral("figd_token"));
        state.setPlatform(AppPlatform::android);
        state.platformDidChange(); // then the new platform's devices are listed again
        QVERIFY(AppFixture::waitFor([&] { return state.android().connectionState().kind == DeviceConnectionState::Kind::idle; }));
        // Connection states of the platform not shown leave no trace.
        state.handleConnectionState(DeviceConnectionState::failed(QStringLiteral("WDA 构建失败")), AppPlatform::ios);
        state.handleConnectionState(DeviceConnectionState::failed(QStringLiteral("adb 不可用")), AppPlatform::android);
        state.handleConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在连接…")), AppPlatform::android);

        // A link: blank first, then a Figma file (one rate-limited answer), a frame switch and a
        // link that fails, which keeps the design.
        state.setDesignURLText(QStringLiteral(" \n "));
        state.importDesignURL();
        state.setDesignURLText(QStringLiteral("  https://www.figma.com/design/KEY/App\n"));
        state.importDesignURL();
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QCOMPARE(state.design()->availableFrames.size(), 2);
        state.selectFigmaFrame(QStringLiteral("B"));
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QCOMPARE(state.design()->name, QStringLiteral("详情"));
        QCOMPARE(state.design()->availableFrames.size(), 2);
        state.setDesignURLText(server.url("/missing.png").toString());
        state.importDesignURL();
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QCOMPARE(state.design()->name, QStringLiteral("详情"));

        // Drops: an image dragged out of a browser comes as bytes; text is refused.
        QMimeData bytes;
        bytes.setUrls({QUrl(QStringLiteral("https://example.com/shots/card.png"))});
        bytes.setData(QStringLiteral("image/png"), pngBytes(30, 40));
        QVERIFY(state.handleDrop(&bytes));
        QCOMPARE(state.design()->pixelSize, (SizeValue{30, 40}));
        QMimeData text;
        text.setText(QStringLiteral("not an image"));
        QVERIFY(!state.handleDrop(&text));
        // A local design has no Figma frames to switch to; a file that is no image changes nothing.
        state.selectFigmaFrame(QStringLiteral("B"));
        state.loadLocalDesign(f.home.filePath(QStringLiteral("nothing.png")));
        QCOMPARE(state.design()->name, QStringLiteral("card"));
        QVERIFY(compareWithGolden(QStringLiteral("ui-app-designs.txt"), f.transcript()));

        // A value JSON cannot hold leaves the stored settings as they were; the token is never stored.
        settings.sizeTolerance = qInf();
        state.setSettings(settings);
        state.setAppleTeamID(QStringLiteral("TEAM2"));
        state.setWdaBundleID(QString());
        state.savePreferences();
        QFile stored(AppState::preferencesPath());
        QVERIFY(stored.open(QIODevice::ReadOnly) && !stored.readAll().contains("figd_token"));
        f.state.reset();
        AppState &again = f.start();
        QCOMPARE(again.platform(), AppPlatform::android);
        QCOMPARE(again.appleTeamID(), QStringLiteral("TEAM2"));
        QCOMPARE(again.wdaBundleID(), QString()); // stored empty, not replaced by the default
        settings.sizeTolerance = 2;
        QCOMPARE(again.settings(), settings);
    }

    void offlineThenAndroidComparisonsHistoryExportsAndClosingMidCapture()
    {
        AppFixture f;
        // The history root lies below a file at first: the save fails.
        const QString blocker = writeFile(f.home.filePath(QStringLiteral("blocked")), "x");
        AppState &state = f.start(blocker + QStringLiteral("/History"));
        f.windows.nextPath = f.home.filePath(QStringLiteral("report.html"));
        state.exportReport();
        state.exportPDFReport();
        state.openResultInspector();

        state.runComparison();
        state.loadLocalDesign(f.imageFile(QStringLiteral("design.png"), Qt::white));
        state.runComparison();
        state.loadDeviceScreenshot(f.home.filePath(QStringLiteral("design.txt")));
        QVERIFY(!state.manualDeviceImage());
        state.loadDeviceScreenshot(f.imageFile(QStringLiteral("shot.png"), Qt::black));
        QVERIFY(f.compare());
        // The result is shown although it could not be stored.
        QCOMPARE(state.workspaceMode(), MainWorkspaceMode::result);
        QVERIFY(state.histories().isEmpty());
        QVERIFY(state.canCompare());

        QVERIFY(QFile::remove(blocker));
        QVERIFY(f.compare());
        QCOMPARE(state.histories()[0].deviceName, QStringLiteral("导入截图"));
        state.exportReport();
        f.windows.nextPath = f.home.filePath(QStringLiteral("missing/dir/report.pdf"));
        state.exportPDFReport();

        // Reopened from the history, the result has no design (a report then names the history).
        state.openHistory(state.histories()[0]);
        QVERIFY(state.isShowingHistory() && !state.design());
        QCOMPARE(state.currentDeviceImage()->size(), state.result()->deviceImage.size());
        ComparisonHistoryEntry broken = state.histories()[0];
        broken.directoryName = QStringLiteral("gone");
        state.openHistory(broken);
        // The inspector opens once and is raised afterwards, until it is closed.
        state.openResultInspector();
        state.openResultInspector();
        delete state.inspectorWindow();
        state.openResultInspector();

        // On an Android phone.
        state.setPlatform(AppPlatform::android);
        state.loadLocalDesign(f.imageFile(QStringLiteral("登录页.png"), Qt::white));
        QVERIFY(AppFixture::waitFor([&] { return !state.android().devices().isEmpty(); }));
        const auto connect = [&] {
            state.connectDevice();
            return AppFixture::waitFor([&] { return state.currentConnectionState().kind == DeviceConnectionState::Kind::connected; });
        };
        QVERIFY(connect());

        // The tree is empty and the dump now fails: the capture goes on visually, with a warning.
        f.adb.on(FakeAdb::dump(AppFixture::kSerial), {FakeAdb::reply(QStringLiteral("ERROR: could not get idle state.\n"), {}, 1)});
        state.runComparison();
        state.runComparison(); // busy: ignored
        QVERIFY(!state.canCompare());
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QVERIFY(state.result() && !state.result()->issues.isEmpty());
        QCOMPARE(state.displayMode(), ComparisonDisplayMode::overlay);
        // Both entries are listed, the newest first under its stored id (the store orders two of one second either way).
        QCOMPARE(state.histories().size(), 2);
        const QUuid newest = state.histories()[0].id;
        QVERIFY(std::ranges::any_of(state.historyStore().entries(), [&](const ComparisonHistoryEntry &e) { return e.id == newest; }));
        QCOMPARE(state.histories()[0].designName, QStringLiteral("登录页"));
        QCOMPARE(state.histories()[0].deviceName, state.currentDeviceName());
        QVERIFY(state.currentDeviceName() != QStringLiteral("Android"));
        state.connectDevice(); // disconnects
        QVERIFY(AppFixture::waitFor([&] { return state.statusMessage() == QStringLiteral("设备已断开"); }));
        QVERIFY(compareWithGolden(QStringLiteral("ui-app-offline-android.txt"), f.transcript()));

        // Closed while a screenshot is on its way: no process is left behind.
        f.adb.on(FakeAdb::dump(AppFixture::kSerial), {FakeAdb::reply(QStringLiteral("dumped\n"))});
        QVERIFY(connect());
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

QTEST_MAIN(AppStateTest)
#include "tst_state.moc"
