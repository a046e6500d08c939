// The built command line end to end: import a Figma design from the fake API into design.json,
// compare against it offline, compare against a link, and the errors of both commands.
#include "DesignTestSupport.h"

#include "support/CliRunner.h"
#include "support/TestEnvironment.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel::test;

namespace {

const QString kToken = QStringLiteral("figd_cli-secret");

struct Fixture {
    TemporaryHome home;
    QTemporaryDir out;
    FakeHttpServer server;
    QString screenshot = out.filePath(QStringLiteral("screen.png"));

    Fixture()
    {
        const QJsonObject frame = figmaNode("1:2", "FRAME", box(100, 100, 60, 120), {figmaNode("1:3", "TEXT", box(110, 200, 40, 10))});
        serve(server, {FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {nodeAnswer("1:2", frame)}),
                       FakeHttpServer::route("GET", "/v1/images/KEY", {renderingAnswer("1:2")}),
                       FakeHttpServer::route("GET", "/render.png", {png(120, 240)}),
                       FakeHttpServer::route("GET", "/shots/direct.png", {png(120, 240)})});
        QImage(QImage::fromData(pngBytes(120, 240))).save(screenshot);
    }

    CliRun run(QStringList arguments, const QString &token = QString()) const
    {
        arguments.replaceInStrings(QStringLiteral("{base}"), server.baseUrl().toString());
        arguments.replaceInStrings(QStringLiteral("{out}"), out.path());
        QProcessEnvironment env;
        env.insert("VANTREL_FIGMA_API_BASE", server.baseUrl().toString());
        env.insert("VANTREL_FIGMA_TOKEN", token);
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-test-bus"); // no keychain
        return runCli(arguments, env);
    }
};

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

bool anyFileContains(const QString &root, const QByteArray &text)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
            return true;
    }
    return false;
}

} // namespace

class CliImportTest : public QObject {
    Q_OBJECT
private slots:
    void importThenCompareOffline()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        const CliRun run = f.run({"import", "https://www.figma.com/design/KEY/App?node-id=1-2", "--out", "{out}/design"}, kToken);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        const QStringList lines = run.errText().split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2 && lines.first().startsWith(QStringLiteral("正在导入设计稿：")) &&
                     lines.last().startsWith(QStringLiteral("设计稿已导入：")), qPrintable(run.errText()));
        QCOMPARE(f.server.requests().size(), 3);
        const QString jsonPath = f.out.filePath(QStringLiteral("design/design.json"));
        const QJsonObject document = readJson(jsonPath);
        QCOMPARE(document["kind"].toString(), QStringLiteral("Figma"));
        QCOMPARE(document["selectedFrameID"].toString(), QStringLiteral("1:2"));
        QCOMPARE(document["canvasSize"].toObject()["width"].toDouble(), 60.0);
        QCOMPARE(document["nodes"].toArray().size(), 2);
        // The token is written nowhere: neither in the output nor in the cache of the two API answers.
        QVERIFY(!anyFileContains(f.out.path(), kToken.toUtf8()) && !anyFileContains(f.home.path(), kToken.toUtf8()));
        QCOMPARE(QDir(f.home.path() + "/.cache/com.halvenro.Vantrel/FigmaAPI").entryList(QDir::Files).size(), 2);

        // The server is no longer needed: the comparison works offline from the document.
        f.server.setScenario(FakeHttpServer::scenario({}));
        const CliRun compare = f.run({"compare", "--device", f.screenshot, "--design", jsonPath, "--json", "-"});
        QVERIFY2(compare.exitCode == 0 || compare.exitCode == 1, qPrintable(compare.errText()));
        QVERIFY2(QJsonDocument::fromJson(compare.out).object().contains("score"), compare.out.constData());
        QCOMPARE(f.server.requests().size(), 3);
    }

    void compareAgainstALink()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        const CliRun compare = f.run({"compare", "--device", f.screenshot, "--design", "{base}/shots/direct.png", "--json", "-"});
        QVERIFY2(compare.exitCode == 0, qPrintable(compare.errText()));
        QCOMPARE(QJsonDocument::fromJson(compare.out).object()["status"].toString(), QStringLiteral("一致"));
        QCOMPARE(f.server.requests("/shots/direct.png").size(), 1);

        // A directly imported link keeps no frame and writes no selectedFrameID.
        const CliRun imported = f.run({"import", "{base}/shots/direct.png", "--out", "{out}/d"});
        QVERIFY2(imported.exitCode == 0, qPrintable(imported.errText()));
        const QJsonObject document = readJson(f.out.filePath(QStringLiteral("d/design.json")));
        QVERIFY(!document.contains("selectedFrameID"));
        QCOMPARE(document["name"].toString(), QStringLiteral("direct"));
        QCOMPARE(document["isVisualOnly"].toBool(), true);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("message");
        QTest::newRow("no token") << QStringList{"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", "{out}"} << ""
                                  << "请先在设置中填写 Figma 只读 Token";
        QTest::newRow("no --out") << QStringList{"import", "{base}/x.png"} << "" << "--out";
        QTest::newRow("design.json that does not decode") << QStringList{"compare", "--device", "{out}/screen.png", "--design", "{out}/broken.json"}
                                                          << "" << "broken.json";
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, token);
        QFETCH(QString, message);
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        QFile broken(f.out.filePath(QStringLiteral("broken.json")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("{\"name\": \"x\"}") > 0);
        broken.close();
        const CliRun run = f.run(arguments, token);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errText().contains(message), qPrintable(run.errText()));
        QVERIFY(!QFile::exists(f.out.filePath(QStringLiteral("design.json"))));
    }
};

QTEST_GUILESS_MAIN(CliImportTest)
#include "tst_CliImport.moc"
