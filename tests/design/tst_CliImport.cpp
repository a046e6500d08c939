// The built command line end to end: import a Figma design from the fake API into design.json,
// compare against it offline, compare against a link, and the errors of both commands.
#include "DesignTestSupport.h"

#include "support/CliRunner.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QDirIterator>
#include <QRegularExpression>
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
    // One fake API for all commands: what each prints and exits with, and the documents the imports
    // write, against the expected transcript; what must hold besides is checked here.
    void commands()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        const QString base = f.server.baseUrl().toString();
        const auto normalised = [&](QString text) {
            static const QRegularExpression uuid(QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
            return text.replace(f.out.path(), QStringLiteral("{out}")).replace(base, QStringLiteral("{base}")).replace(uuid, QStringLiteral("{uuid}")).trimmed();
        };
        QStringList log;
        const auto run = [&](const QStringList &arguments, const QString &token = QString()) {
            const CliRun run = f.run(arguments, token);
            log << QStringLiteral("$ ") + arguments.join(u' ') << QStringLiteral("exit %1").arg(run.exitCode) << normalised(run.errText());
            return run;
        };
        const auto document = [&](const QString &path) {
            log << QStringLiteral("# ") + path << normalised(QString::fromUtf8(QJsonDocument(readJson(f.out.filePath(path))).toJson()));
        };
        QFile broken(f.out.filePath(QStringLiteral("broken.json")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("{\"name\": \"x\"}") > 0);
        broken.close();

        // Failures write nothing.
        run({"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", "{out}"});
        run({"import", "{base}/x.png"});
        run({"compare", "--device", "{out}/screen.png", "--design", "{out}/broken.json"});
        QVERIFY(!QFile::exists(f.out.filePath(QStringLiteral("design.json"))));

        run({"import", "https://www.figma.com/design/KEY/App?node-id=1-2", "--out", "{out}/design"}, kToken);
        document(QStringLiteral("design/design.json"));
        // The token is written nowhere: neither in the output nor in the cache of the two API answers.
        QVERIFY(!anyFileContains(f.out.path(), kToken.toUtf8()) && !anyFileContains(f.home.path(), kToken.toUtf8()));
        QCOMPARE(QDir(f.home.path() + "/.cache/com.halvenro.Vantrel/FigmaAPI").entryList(QDir::Files).size(), 2);
        // A directly imported link keeps no frame.
        run({"import", "{base}/shots/direct.png", "--out", "{out}/d"});
        document(QStringLiteral("d/design.json"));
        QVERIFY(compareWithGolden("design-cli.txt", log.join(u'\n') + u'\n'));

        const CliRun linked = f.run({"compare", "--device", f.screenshot, "--design", "{base}/shots/direct.png", "--json", "-"});
        QVERIFY2(linked.exitCode == 0, qPrintable(linked.errText()));
        QCOMPARE(QJsonDocument::fromJson(linked.out).object()["status"].toString(), QStringLiteral("一致"));
        QCOMPARE(f.server.requests("/shots/direct.png").size(), 2);

        // The server is no longer needed: the comparison works offline from the document.
        f.server.setScenario(FakeHttpServer::scenario({}));
        const qsizetype before = f.server.requests().size();
        const CliRun offline = f.run({"compare", "--device", f.screenshot, "--design", f.out.filePath("design/design.json"), "--json", "-"});
        QVERIFY2(offline.exitCode == 0 || offline.exitCode == 1, qPrintable(offline.errText()));
        QVERIFY2(QJsonDocument::fromJson(offline.out).object().contains("score"), offline.out.constData());
        QCOMPARE(f.server.requests().size(), before);
    }
};

QTEST_GUILESS_MAIN(CliImportTest)
#include "tst_CliImport.moc"
