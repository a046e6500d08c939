// appium ...  — a stand-in for the Appium command line.
//
//   appium driver list --installed --json   prints $FAKE_APPIUM_DRIVERS (default "{}"), exit 0.
//   appium --address A --port N ...         the server: appends {"args": [...], "env": {...}} to
//                                           $FAKE_APPIUM_RECORD, writes a line to stdout and to
//                                           stderr, then listens on 127.0.0.1:N and forwards every
//                                           connection to 127.0.0.1:$FAKE_APPIUM_UPSTREAM (a
//                                           fake-http-server that scripts the WebDriver replies).
//                                           FAKE_APPIUM_FAIL=1 makes it exit 1 instead of serving;
//                                           FAKE_APPIUM_DELAY_MS delays the listen.
//                                           FAKE_APPIUM_TERM_DELAY_MS: on SIGTERM it logs, keeps
//                                           running that long, logs its last line and exits 0.
//                                           FAKE_APPIUM_CHILD=1: it starts a helper ("sleep 300")
//                                           that it never ends.
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <unistd.h>

namespace {

void record(const QStringList &arguments)
{
    const QString path = qEnvironmentVariable("FAKE_APPIUM_RECORD");
    if (path.isEmpty())
        return;
    QJsonObject environment;
    for (const char *name : {"PATH", "ANDROID_HOME", "ANDROID_SDK_ROOT"}) {
        if (qEnvironmentVariableIsSet(name))
            environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    }
    QFile file(path);
    if (file.open(QIODevice::Append)) {
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("args"), QJsonArray::fromStringList(arguments)},
                                             {QStringLiteral("env"), environment}})
                       .toJson(QJsonDocument::Compact)
                   + '\n');
    }
}

void forward(QTcpSocket *client, quint16 upstreamPort)
{
    auto *upstream = new QTcpSocket(client);
    QObject::connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] { upstream->write(client->readAll()); });
    QObject::connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
    QObject::connect(upstream, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
    QObject::connect(upstream, &QTcpSocket::errorOccurred, client, [client] { client->disconnectFromHost(); });
    QObject::connect(client, &QTcpSocket::disconnected, client, [client, upstream] {
        upstream->disconnectFromHost();
        client->deleteLater();
    });
    upstream->connectToHost(QStringLiteral("127.0.0.1"), upstreamPort);
    upstream->write(client->readAll());
}

volatile std::sig_atomic_t termReceived = 0;

extern "C" void onTerm(int) { termReceived = 1; }

// SIGTERM starts a slow shutdown instead of ending the process at once.
void shutDownSlowlyOnTerm(QCoreApplication &application, int delayMs)
{
    std::signal(SIGTERM, onTerm);
    auto *poll = new QTimer(&application);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, delayMs] {
        if (!termReceived)
            return;
        poll->stop();
        std::printf("[Appium] Received SIGTERM - shutting down\n");
        std::fflush(stdout);
        QTimer::singleShot(delayMs, [] {
            std::printf("[Appium] Closed the server\n");
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
    poll->start(10);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.value(0) == u"driver" && arguments.value(1) == u"list") {
        const QByteArray drivers = qEnvironmentVariableIsSet("FAKE_APPIUM_DRIVERS")
                                       ? qgetenv("FAKE_APPIUM_DRIVERS") : QByteArray("{}");
        std::fwrite(drivers.constData(), 1, size_t(drivers.size()), stdout);
        return 0;
    }
    const qsizetype portIndex = arguments.indexOf(QStringLiteral("--port"));
    if (portIndex < 0 || portIndex + 1 >= arguments.size()) {
        std::fprintf(stderr, "fake appium: unexpected arguments\n");
        return 2;
    }
    record(arguments);
    if (qgetenv("FAKE_APPIUM_FAIL") == "1") {
        std::fprintf(stdout, "fake appium: refusing to start\n");
        return 1;
    }
    const int delay = qEnvironmentVariableIntValue("FAKE_APPIUM_DELAY_MS");
    if (delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay));

    if (const int termDelay = qEnvironmentVariableIntValue("FAKE_APPIUM_TERM_DELAY_MS"); termDelay > 0)
        shutDownSlowlyOnTerm(application, termDelay);
    if (qgetenv("FAKE_APPIUM_CHILD") == "1") {
        char sleepName[] = "sleep";
        char seconds[] = "300";
        char *helper[] = {sleepName, seconds, nullptr};
        pid_t pid = 0;
        posix_spawnp(&pid, "sleep", nullptr, nullptr, helper, environ);
    }

    const quint16 port = quint16(arguments.at(portIndex + 1).toUInt());
    const quint16 upstreamPort = quint16(qEnvironmentVariableIntValue("FAKE_APPIUM_UPSTREAM"));
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "fake appium: cannot listen on %u\n", unsigned(port));
        return 3;
    }
    std::fprintf(stdout, "[Appium] Welcome to fake Appium on port %u\n", unsigned(port));
    std::fflush(stdout);
    std::fprintf(stderr, "[Appium] fake diagnostics on stderr\n");
    std::fflush(stderr);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, upstreamPort] {
        while (QTcpSocket *client = server.nextPendingConnection())
            forward(client, upstreamPort);
    });
    return application.exec();
}
