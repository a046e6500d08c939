// The built command line end to end: import a Figma design from the fake API into design.json,
// compare against it offline, compare against a link, and the errors of both commands.
#include "DesignTestSupport.h"

#include "support/CliRunner.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel::test;

namespace {

const QString kToken = QStringLiteral("figd_cli-secret");

QJsonObject box(double x, double y, double w, double h)
{
    return QJsonObject{{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

QJsonObject figmaScenario(const FakeHttpServer &server)
{
    const QJsonObject frame{{"id", "1:2"}, {"name", "登录"}, {"type", "FRAME"}, {"absoluteBoundingBox", box(100, 100, 60, 120)},
                            {"children", QJsonArray{QJsonObject{{"id", "1:3"}, {"name", "按钮"}, {"type", "RECTANGLE"},
                                                                {"absoluteBoundingBox", box(110, 200, 40, 10)}}}}};
    return FakeHttpServer::scenario({
        FakeHttpServer::route("GET", "/v1/files/KEY/nodes",
                              {FakeHttpServer::json(200, QJsonObject{{"nodes", QJsonObject{{"1:2", QJsonObject{{"document", frame}}}}}})}),
        FakeHttpServer::route("GET", "/v1/images/KEY",
                              {FakeHttpServer::json(200, QJsonObject{{"images", QJsonObject{{"1:2", server.url("/render.png").toString()}}}})}),
        FakeHttpServer::route("GET", "/render.png", {FakeHttpServer::bytes(200, pngBytes(120, 240), "image/png")}),
        FakeHttpServer::route("GET", "/shots/direct.png", {FakeHttpServer::bytes(200, pngBytes(120, 240), "image/png")}),
    });
}

QProcessEnvironment environment(const FakeHttpServer &server, const QString &token)
{
    QProcessEnvironment env;
    env.insert("VANTREL_FIGMA_API_BASE", server.baseUrl().toString());
    env.insert("VANTREL_FIGMA_TOKEN", token);
    // No secret service: the keychain reads as empty at once.
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-test-bus");
    return env;
}

QString allFilesText(const QString &root)
{
    QString text;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

} // namespace

class CliImportTest : public QObject {
    Q_OBJECT
private slots:
    void importThenCompareOffline();
    void compareAgainstALink();
    void failuresExitWithTheMessage();
};

void CliImportTest::importThenCompareOffline()
{
    TemporaryHome home;
    QTemporaryDir out;
    const QString screenshot = out.filePath("screen.png");
    QImage(QImage::fromData(pngBytes(120, 240))).save(screenshot);
    {
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        server.setScenario(figmaScenario(server));
        const CliRun run = runCli({"import", "https://www.figma.com/design/KEY/App?node-id=1-2", "--out", out.filePath("design")},
                                  environment(server, kToken));
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        const QStringList lines = run.errText().split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2, qPrintable(run.errText()));
        QVERIFY(lines.first().startsWith(QStringLiteral("正在导入设计稿：")));
        QVERIFY(lines.last().startsWith(QStringLiteral("设计稿已导入：")));
        QCOMPARE(server.requests().size(), 3);
    }
    const QString jsonPath = out.filePath("design/design.json");
    QFile file(jsonPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject document = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(document.value("kind").toString(), QStringLiteral("Figma"));
    QCOMPARE(document.value("selectedFrameID").toString(), QStringLiteral("1:2"));
    QCOMPARE(document.value("canvasSize").toObject().value("width").toDouble(), 60.0);
    QCOMPARE(document.value("nodes").toArray().size(), 2);
    // The token is written nowhere: neither in the output nor in the cache.
    QVERIFY(!allFilesText(out.path()).contains(kToken));
    QVERIFY(!allFilesText(home.path()).contains(kToken));
    QVERIFY(QDir(home.path() + "/.cache/com.halvenro.Vantrel/FigmaAPI").entryList(QDir::Files).size() == 2);

    // The fake server is gone: the comparison works offline from the document.
    const CliRun compare = runCli({"compare", "--device", screenshot, "--design", jsonPath, "--json", "-"});
    QVERIFY2(compare.exitCode == 0 || compare.exitCode == 1, qPrintable(compare.errText()));
    QVERIFY2(QJsonDocument::fromJson(compare.out).object().contains("score"), compare.out.constData());
}

void CliImportTest::compareAgainstALink()
{
    TemporaryHome home;
    QTemporaryDir out;
    FakeHttpServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    server.setScenario(figmaScenario(server));
    const QString screenshot = out.filePath("screen.png");
    QImage(QImage::fromData(pngBytes(120, 240))).save(screenshot);
    const CliRun compare = runCli({"compare", "--device", screenshot, "--design", server.url("/shots/direct.png").toString(), "--json", "-"},
                                  environment(server, QString()));
    QVERIFY2(compare.exitCode == 0, qPrintable(compare.errText()));
    const QJsonObject result = QJsonDocument::fromJson(compare.out).object();
    QCOMPARE(result.value("status").toString(), QStringLiteral("一致"));
    QCOMPARE(server.requests("/shots/direct.png").size(), 1);

    // A directly imported link keeps no frame and writes no selectedFrameID.
    const CliRun imported = runCli({"import", server.url("/shots/direct.png").toString(), "--out", out.filePath("d")},
                                   environment(server, QString()));
    QVERIFY2(imported.exitCode == 0, qPrintable(imported.errText()));
    QFile file(out.filePath("d/design.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject document = QJsonDocument::fromJson(file.readAll()).object();
    QVERIFY(!document.contains("selectedFrameID"));
    QCOMPARE(document.value("name").toString(), QStringLiteral("direct"));
    QCOMPARE(document.value("isVisualOnly").toBool(), true);
}

void CliImportTest::failuresExitWithTheMessage()
{
    TemporaryHome home;
    QTemporaryDir out;
    FakeHttpServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    server.setScenario(figmaScenario(server));

    CliRun run = runCli({"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", out.path()}, environment(server, QString()));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errText().trimmed().endsWith(QStringLiteral("请先在设置中填写 Figma 只读 Token")), qPrintable(run.errText()));
    QCOMPARE(server.requests().size(), 0);

    run = runCli({"import", "https://www.figma.com/design/KEY?node-id=7-7", "--out", out.path()}, environment(server, kToken));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errText().trimmed().endsWith(QStringLiteral("Figma 链接中未找到可导出的画板")), qPrintable(run.errText()));
    QVERIFY(!QFile::exists(out.filePath("design.json")));

    run = runCli({"import", server.url("/missing.png").toString(), "--out", out.path()}, environment(server, QString()));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errText().trimmed().endsWith(QStringLiteral("下载失败，HTTP 状态码 404")), qPrintable(run.errText()));

    run = runCli({"import", server.url("/x.png").toString()}, environment(server, QString()));
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.errText().contains(QStringLiteral("--out")));

    // A design.json that does not decode.
    QFile broken(out.filePath("broken.json"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("{\"name\": \"x\"}");
    broken.close();
    const QString screenshot = out.filePath("screen.png");
    QImage(QImage::fromData(pngBytes(10, 10))).save(screenshot);
    run = runCli({"compare", "--device", screenshot, "--design", broken.fileName()});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errText().contains(QStringLiteral("broken.json")), qPrintable(run.errText()));
}

QTEST_GUILESS_MAIN(CliImportTest)
#include "tst_CliImport.moc"
