// The built command line end to end against the fake API: imports into design.json, comparisons
// against a link and, offline, against the document, and the errors of both commands.
#include "DesignTestSupport.h"

#include "support/CliRunner.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel::test;

class CliImportTest : public QObject {
    Q_OBJECT
private slots:
    // What each command prints and exits with, and the documents the imports write, against the
    // expected transcript; what must hold besides is checked here.
    void commands()
    {
        const QString token = QStringLiteral("figd_cli-secret");
        TemporaryHome home;
        QTemporaryDir out;
        writeFile(out.filePath(QStringLiteral("screen.png")), pngBytes(120, 240));
        writeFile(out.filePath(QStringLiteral("broken.json")), "{\"name\": \"x\"}");
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        const QJsonObject frame = figmaNode("1:2", "FRAME", box(100, 100, 60, 120), {figmaNode("1:3", "TEXT", box(110, 200, 40, 10))});
        serve(server, {FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {nodeAnswer("1:2", frame)}),
                       FakeHttpServer::route("GET", "/v1/images/KEY", {renderingAnswer("1:2")}),
                       FakeHttpServer::route("GET", "/render.png", {png(120, 240)}), FakeHttpServer::route("GET", "/shots/direct.png", {png(120, 240)})});
        const QString base = server.baseUrl().toString();
        const auto normalised = [&](QString text) {
            static const QRegularExpression uuid(QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
            return text.replace(out.path(), QStringLiteral("{out}")).replace(base, QStringLiteral("{base}")).replace(uuid, QStringLiteral("{uuid}")).trimmed();
        };
        QStringList log;
        const auto run = [&](QStringList arguments, const QString &withToken = QString()) {
            QProcessEnvironment env;
            env.insert("VANTREL_FIGMA_API_BASE", base);
            env.insert("VANTREL_FIGMA_TOKEN", withToken);
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-test-bus"); // no keychain
            log << QStringLiteral("$ ") + arguments.join(u' ');
            const CliRun run = runCli(arguments.replaceInStrings(QStringLiteral("{base}"), base).replaceInStrings(QStringLiteral("{out}"), out.path()), env);
            log << QStringLiteral("exit %1").arg(run.exitCode) << normalised(run.errText());
            return run;
        };
        const auto document = [&](const QString &path) {
            QFile file(out.filePath(path));
            log << QStringLiteral("# ") + path << (file.open(QIODevice::ReadOnly) ? normalised(QString::fromUtf8(file.readAll())) : QStringLiteral("(none)"));
        };

        // Failures write nothing.
        run({"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", "{out}"});
        run({"import", "{base}/x.png"});
        run({"compare", "--device", "{out}/screen.png", "--design", "{out}/broken.json"});
        document(QStringLiteral("design.json"));
        run({"import", "https://www.figma.com/design/KEY/App?node-id=1-2", "--out", "{out}/design"}, token);
        document(QStringLiteral("design/design.json"));
        // The token is written nowhere: neither in the output nor in the cache of the two API answers.
        QCOMPARE(QProcess::execute(QStringLiteral("grep"), {"-rqsF", token, out.path(), home.path()}), 1);
        QCOMPARE(QDir(home.path() + "/.cache/com.halvenro.Vantrel/FigmaAPI").entryList(QDir::Files).size(), 2);
        // A directly imported link keeps no frame.
        run({"import", "{base}/shots/direct.png", "--out", "{out}/d"});
        document(QStringLiteral("d/design.json"));
        // Against a link, and offline against the document once the server is gone.
        const CliRun linked = run({"compare", "--device", "{out}/screen.png", "--design", "{base}/shots/direct.png", "--json", "-"});
        QCOMPARE(QJsonDocument::fromJson(linked.out).object()["status"].toString(), QStringLiteral("一致"));
        QCOMPARE(server.requests("/shots/direct.png").size(), 2);
        server.setScenario(FakeHttpServer::scenario({}));
        const qsizetype before = server.requests().size();
        const CliRun offline = run({"compare", "--device", "{out}/screen.png", "--design", "{out}/design/design.json", "--json", "-"});
        QVERIFY2(QJsonDocument::fromJson(offline.out).object().contains("score"), offline.out.constData());
        QCOMPARE(server.requests().size(), before);
        QVERIFY(compareWithGolden("design-cli.txt", log.join(u'\n') + u'\n'));
    }
};

QTEST_GUILESS_MAIN(CliImportTest)
#include "tst_CliImport.moc"
