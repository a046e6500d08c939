// The Figma token in a real secret service: a private D-Bus session with gnome-keyring, started
// by the test in a temporary home, read by the application and by the command line.
#include "app/FigmaTokenStore.h"
#include "support/AwaitTask.h"
#include "support/CliRunner.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

class FigmaTokenStoreTest : public QObject {
    Q_OBJECT
private slots:
    void savesReadsAndRemovesTheToken()
    {
        const QString dbus = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
        if (dbus.isEmpty() || daemon.isEmpty())
            QSKIP("dbus-daemon or gnome-keyring-daemon is not installed");
        TemporaryHome home;
        QProcess bus; // declared first: killed last
        bus.start(dbus, {"--session", "--nofork", "--print-address=1", "--address=unix:path=" + home.filePath("bus")});
        QByteArray address;
        while (!address.contains('\n') && bus.waitForReadyRead(10000))
            address += bus.readAllStandardOutput();
        address = address.trimmed();
        QVERIFY2(!address.isEmpty(), "the private D-Bus session did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QProcess keyring;
        keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        keyring.start(daemon, {"--foreground", "--unlock", "--components=secrets"});
        keyring.write("test-password");
        keyring.closeWriteChannel();
        // Ready once the daemon owns the secret service's name (it unlocks the login keyring first);
        // a request sent earlier would ask to create a keyring, which waits for a prompt.
        QDBusConnection probe = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("probe"));
        const auto ready = [&] { return probe.isConnected() && probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")); };
        QElapsedTimer clock;
        clock.start();
        while (!ready() && clock.elapsed() < 60000 && keyring.state() != QProcess::NotRunning)
            spinEventLoop(100ms);
        QVERIFY2(ready(), "the secret service did not start");
        QDBusConnection::disconnectFromBus(QStringLiteral("probe"));

        const auto save = [](const QString &token) { return awaitTask(FigmaTokenStore::saveToken(token), 30s).value.value_or(false); };
        const auto read = [] { return awaitTask(FigmaTokenStore::readToken(), 30s).value; };
        QVERIFY(save(QStringLiteral("figd_first")) && save(QStringLiteral("figd_second")));
        QCOMPARE(read(), std::optional<QString>("figd_second"));

        // The command line falls back on the keychain when VANTREL_FIGMA_TOKEN is not set, which wins.
        FakeHttpServer server(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {FakeHttpServer::text(403, "")})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        QProcessEnvironment env;
        env.insert("VANTREL_FIGMA_API_BASE", server.baseUrl().toString());
        QTemporaryDir out;
        const QStringList import{"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", out.path()};
        QVERIFY(runCli(import, env).errText().contains(QStringLiteral("Figma Token 无权访问该文件")));
        env.insert("VANTREL_FIGMA_TOKEN", "figd_from_env");
        QCOMPARE(runCli(import, env).exitCode, 2);
        const QList<QJsonObject> requests = server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0]["headers"].toObject()["x-figma-token"].toString(), QStringLiteral("figd_second"));
        QCOMPARE(requests[1]["headers"].toObject()["x-figma-token"].toString(), QStringLiteral("figd_from_env"));

        // Saving an empty token removes the entry, and removing twice is no failure.
        QVERIFY(save(QString()));
        QCOMPARE(read(), std::optional<QString>(QString()));
        QVERIFY(save(QString()));
    }
};

QTEST_GUILESS_MAIN(FigmaTokenStoreTest)
#include "tst_FigmaTokenStore.moc"
