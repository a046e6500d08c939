// The application state's start, preferences and connection states, and the ways a design comes
// in: a link (from the fake Figma API) with a frame switch, and drops.
#include "design/DesignTestSupport.h"
#include "support/AppFixture.h"

#include "engine/ModelJson.h"

#include <QMimeData>
#include <QSettings>
#include <QTest>

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
    void startsFromStoredPreferences_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<AppPlatform>("platform");
        QTest::addColumn<QString>("teamID");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<double>("threshold");
        ComparisonSettings settings;
        settings.pixelThreshold = 40;
        const QByteArray encoded = QJsonDocument(json::toJson(settings)).toJson();
        const QString defaultBundle = QStringLiteral("com.halvenro.Vantrel.WebDriverAgentRunner");
        QTest::newRow("nothing stored") << QVariantMap{} << AppPlatform::ios << QString() << defaultBundle << 24.0;
        QTest::newRow("everything stored")
            << QVariantMap{{"devicePlatform", "Android"}, {"appleTeamID", "TEAM"}, {"wdaBundleID", ""}, {"comparisonSettings", encoded}}
            << AppPlatform::android << QStringLiteral("TEAM") << QString() << 40.0;
        QTest::newRow("lower-case platform, settings missing keys")
            << QVariantMap{{"devicePlatform", "android"}, {"comparisonSettings", QByteArray("{\"pixelThreshold\": 40}")}}
            << AppPlatform::ios << QString() << defaultBundle << 24.0;
    }

    void startsFromStoredPreferences()
    {
        QFETCH(QVariantMap, stored);
        AppFixture f;
        {
            QSettings store(QStringLiteral("halvenro"), QStringLiteral("Vantrel"));
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                store.setValue(it.key(), it.value());
        }
        AppState &state = f.start();
        QTEST(state.platform(), "platform");
        QTEST(state.appleTeamID(), "teamID");
        QTEST(state.wdaBundleID(), "bundleID");
        QTEST(state.settings().pixelThreshold, "threshold");
    }

    void savesPreferencesButNeverTheToken()
    {
        AppFixture f;
        AppState &state = f.start();
        ComparisonSettings settings;
        settings.positionTolerance = 3.5;
        settings.ignoredRegions = {RectValue(0.1, 0.2, 0.3, 0.4)};
        state.setSettings(settings);
        state.setAppleTeamID(QStringLiteral("TEAM"));
        state.setFigmaToken(QStringLiteral("figd_secret"));
        QStringList statuses;
        connect(&state, &AppState::statusMessageChanged, this, [&] { statuses << state.statusMessage(); });
        state.setPlatform(AppPlatform::android);
        state.platformDidChange(); // then the new platform's devices are listed again
        QCOMPARE(statuses.value(0), QStringLiteral("Android 模式 · 未连接"));

        // A value JSON cannot hold leaves the stored settings as they were; the other keys are written.
        settings.sizeTolerance = qInf();
        state.setSettings(settings);
        state.setAppleTeamID(QStringLiteral("TEAM2"));
        state.savePreferences();
        QFile file(AppState::preferencesPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("figd_secret"));
        f.state.reset();
        AppState &again = f.start();
        QCOMPARE(again.platform(), AppPlatform::android);
        QCOMPARE(again.appleTeamID(), QStringLiteral("TEAM2"));
        settings.sizeTolerance = 2;
        QCOMPARE(again.settings(), settings);
    }

    void connectionStatesOfTheOtherPlatformAreIgnored()
    {
        AppFixture f;
        AppState &state = f.start();
        state.setPlatform(AppPlatform::android);
        state.setStatusMessage(QString());
        state.handleConnectionState(DeviceConnectionState::failed(QStringLiteral("WDA 构建失败")), AppPlatform::ios);
        QCOMPARE(state.statusMessage(), QString());
        QVERIFY(!state.alertMessage());
        state.handleConnectionState(DeviceConnectionState::failed(QStringLiteral("adb 不可用")), AppPlatform::android);
        QCOMPARE(state.statusMessage(), QStringLiteral("连接失败"));
        QCOMPARE(state.alertMessage(), std::optional<QString>(QStringLiteral("adb 不可用")));
        state.handleConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在连接…")), AppPlatform::android);
        QCOMPARE(state.statusMessage(), QStringLiteral("正在连接…"));
    }

    void linkImportThenFrameSwitch()
    {
        resetThrottle();
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        qputenv("VANTREL_FIGMA_API_BASE", server.baseUrl().toString().toUtf8());
        const QJsonObject file{{"document", QJsonObject{{"id", "0:0"}, {"type", "DOCUMENT"}, {"children", QJsonArray{
            QJsonObject{{"id", "0:1"}, {"type", "CANVAS"}, {"children", QJsonArray{frame("A", "首页"), frame("B", "详情")}}}}}}}};
        serve(server, {FakeHttpServer::route("GET", "/v1/files/KEY", {withHeaders(FakeHttpServer::json(429, QJsonObject{}), {{"Retry-After", "1"}}),
                                                                       FakeHttpServer::json(200, file)}),
                       FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {nodeAnswer("A", frame("A", "首页")), nodeAnswer("B", frame("B", "详情"))}),
                       FakeHttpServer::route("GET", "/v1/images/KEY", {renderingAnswer("A"), renderingAnswer("B")}),
                       FakeHttpServer::route("GET", "/render.png", {png(750, 1624)})});

        AppFixture f;
        AppState &state = f.start();
        state.setDesignURLText(QStringLiteral(" \n "));
        state.importDesignURL();
        QCOMPARE(state.alertMessage(), std::optional<QString>(QStringLiteral("请输入设计稿链接")));
        QVERIFY(!state.isBusy());

        QStringList statuses;
        connect(&state, &AppState::statusMessageChanged, this, [&] { statuses << state.statusMessage(); });
        state.setFigmaToken(QStringLiteral("figd_token"));
        state.setDesignURLText(QStringLiteral("  https://www.figma.com/design/KEY/App\n"));
        state.importDesignURL();
        QVERIFY(state.isBusy());
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QVERIFY2(state.design(), qPrintable(state.alertMessage().value_or(QString())));
        QCOMPARE(state.design()->name, QStringLiteral("首页"));
        QCOMPARE(state.design()->availableFrames.size(), 2);
        QCOMPARE(statuses.first(), QStringLiteral("正在导入设计稿…"));
        QVERIFY2(statuses.contains(QStringLiteral("Figma 请求受限，1 秒后自动重试（1/4）…")), qPrintable(statuses.join(" | ")));
        QCOMPARE(statuses.last(), QStringLiteral("Figma 画板与参数已导入"));

        state.selectFigmaFrame(QStringLiteral("B"));
        QCOMPARE(state.statusMessage(), QStringLiteral("正在切换 Figma 画板…"));
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QCOMPARE(state.design()->name, QStringLiteral("详情"));
        QCOMPARE(state.design()->availableFrames.size(), 2);
        QCOMPARE(state.statusMessage(), QStringLiteral("画板已切换"));

        // A failing link: the alert carries the importer's message.
        state.setDesignURLText(server.url("/missing.png").toString());
        state.importDesignURL();
        QVERIFY(AppFixture::waitFor([&] { return !state.isBusy(); }));
        QCOMPARE(state.statusMessage(), QStringLiteral("设计稿导入失败"));
        QVERIFY(state.alertMessage() && state.alertMessage()->contains(QStringLiteral("404")));
        QCOMPARE(state.design()->name, QStringLiteral("详情"));
        qunsetenv("VANTREL_FIGMA_API_BASE");
    }

    void dropsAndLocalDesigns()
    {
        AppFixture f;
        AppState &state = f.start();
        QMimeData bytes; // an image dragged out of a browser
        bytes.setUrls({QUrl(QStringLiteral("https://example.com/shots/card.png"))});
        bytes.setData(QStringLiteral("image/png"), pngBytes(30, 40));
        QVERIFY(state.handleDrop(&bytes));
        QCOMPARE(state.design()->name, QStringLiteral("card"));
        QCOMPARE(state.design()->pixelSize, (SizeValue{30, 40}));

        QMimeData text;
        text.setText(QStringLiteral("not an image"));
        QVERIFY(!state.handleDrop(&text));

        // A local design has no Figma frames to switch to; a file that is no image changes nothing.
        state.selectFigmaFrame(QStringLiteral("B"));
        QVERIFY(!state.isBusy());
        state.loadLocalDesign(f.home.filePath(QStringLiteral("nothing.png")));
        QVERIFY(state.alertMessage());
        QCOMPARE(state.design()->name, QStringLiteral("card"));
    }
};

QTEST_MAIN(AppStateTest)
#include "tst_state.moc"
