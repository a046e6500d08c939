// The Figma token in a real secret service: a private D-Bus session with gnome-keyring, started
// by the test in a temporary home; the command line reads the token from it when
// VANTREL_FIGMA_TOKEN is not set.
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
    void initTestCase();
    void cleanupTestCase();
    void savesReadsAndRemovesTheToken();

private:
    bool startSecretService();

    std::unique_ptr<TemporaryHome> m_home;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_skipReason;
};

bool FigmaTokenStoreTest::startSecretService()
{
    const QString dbus = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (dbus.isEmpty() || keyring.isEmpty()) {
        m_skipReason = QStringLiteral("dbus-daemon or gnome-keyring-daemon is not installed");
        return false;
    }
    m_bus.start(dbus, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                       QStringLiteral("--address=unix:path=") + m_home->filePath(QStringLiteral("bus"))});
    if (!m_bus.waitForStarted(10000))
        return false;
    QByteArray address;
    while (!address.contains('\n') && m_bus.waitForReadyRead(10000))
        address += m_bus.readAllStandardOutput();
    address = address.trimmed();
    if (address.isEmpty())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(keyring, {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(10000))
        return false;
    m_keyring.write("test-password");
    m_keyring.closeWriteChannel();

    // Ready once the daemon owns the secret service's name (it unlocks the login keyring first);
    // a request sent earlier would ask to create a keyring, which waits for a prompt.
    QDBusConnection probe = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("probe"));
    QElapsedTimer clock;
    clock.start();
    bool ready = false;
    while (!ready && clock.elapsed() < 60000 && m_keyring.state() == QProcess::Running) {
        ready = probe.isConnected() && probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
        if (!ready)
            spinEventLoop(100ms);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    return ready;
}

void FigmaTokenStoreTest::initTestCase()
{
    m_home = std::make_unique<TemporaryHome>();
    QVERIFY2(startSecretService() || !m_skipReason.isEmpty(), "the private secret service did not start");
}

void FigmaTokenStoreTest::cleanupTestCase()
{
    for (QProcess *process : {&m_keyring, &m_bus}) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    m_home.reset();
}

void FigmaTokenStoreTest::savesReadsAndRemovesTheToken()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    QVERIFY(awaitTask(FigmaTokenStore::saveToken(QStringLiteral("figd_first")), 30s).value.value_or(false));
    QCOMPARE(awaitTask(FigmaTokenStore::readToken(), 30s).value, std::optional<QString>("figd_first"));
    QVERIFY(awaitTask(FigmaTokenStore::saveToken(QStringLiteral("figd_second")), 30s).value.value_or(false));
    QCOMPARE(awaitTask(FigmaTokenStore::readToken(), 30s).value, std::optional<QString>("figd_second"));

    // The command line falls back on the keychain when VANTREL_FIGMA_TOKEN is not set.
    FakeHttpServer server(FakeHttpServer::scenario(
        {FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {FakeHttpServer::json(403, QJsonObject{{"status", 403}})})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QProcessEnvironment env;
    env.insert("VANTREL_FIGMA_API_BASE", server.baseUrl().toString());
    QVERIFY(qEnvironmentVariableIsEmpty("VANTREL_FIGMA_TOKEN"));
    QTemporaryDir out;
    CliRun run = runCli({"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", out.path()}, env);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errText().contains(QStringLiteral("Figma Token 无权访问该文件")), qPrintable(run.errText()));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().first().value("headers").toObject().value("x-figma-token").toString(), QStringLiteral("figd_second"));
    // ...and VANTREL_FIGMA_TOKEN wins over it.
    env.insert("VANTREL_FIGMA_TOKEN", "figd_from_env");
    run = runCli({"import", "https://www.figma.com/design/KEY?node-id=1-2", "--out", out.path()}, env);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(server.requests().size(), 2);
    QCOMPARE(server.requests().last().value("headers").toObject().value("x-figma-token").toString(), QStringLiteral("figd_from_env"));

    // Saving an empty token removes the entry, and removing twice is no failure.
    QVERIFY(awaitTask(FigmaTokenStore::saveToken(QString()), 30s).value.value_or(false));
    QCOMPARE(awaitTask(FigmaTokenStore::readToken(), 30s).value, std::optional<QString>(QString()));
    QVERIFY(awaitTask(FigmaTokenStore::saveToken(QString()), 30s).value.value_or(false));
}

QTEST_GUILESS_MAIN(FigmaTokenStoreTest)
#include "tst_FigmaTokenStore.moc"
