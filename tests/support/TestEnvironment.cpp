#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

namespace vantrel::test {

EnvironmentOverride::~EnvironmentOverride()
{
    for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
        if (it->second.isNull())
            qunsetenv(it->first.constData());
        else
            qputenv(it->first.constData(), it->second);
    }
}

void EnvironmentOverride::save(const char *name)
{
    if (std::none_of(m_saved.cbegin(), m_saved.cend(), [name](const auto &saved) { return saved.first == name; }))
        m_saved.append({name, qgetenv(name)});
}

void EnvironmentOverride::set(const char *name, const QByteArray &value)
{
    save(name);
    qputenv(name, value);
}

void EnvironmentOverride::unset(const char *name)
{
    save(name);
    qunsetenv(name);
}

TemporaryHome::TemporaryHome()
{
    const QString root = m_dir.path();
    for (const char *folder : {".local/share", ".cache", ".config"})
        QDir(root).mkpath(QLatin1String(folder));
    m_environment.set("HOME", root.toLocal8Bit());
    m_environment.set("XDG_DATA_HOME", (root + QStringLiteral("/.local/share")).toLocal8Bit());
    m_environment.set("XDG_CACHE_HOME", (root + QStringLiteral("/.cache")).toLocal8Bit());
    m_environment.set("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toLocal8Bit());
}

TemporaryHome::~TemporaryHome() = default;

QString dataPath(const QString &name)
{
    return QStringLiteral(VANTREL_TEST_DATA_DIR "/") + name;
}

QString writeFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).path());
    // Replaced in one step: a fake reading its scenario meanwhile sees the old or the new file,
    // never a half-written one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()
        || (permissions && !file.setPermissions(permissions)) || !file.commit())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QList<QJsonObject> readJsonLines(const QString &path)
{
    QList<QJsonObject> objects;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (const QJsonDocument document = QJsonDocument::fromJson(line); document.isObject())
                objects.append(document.object());
        }
    }
    return objects;
}

bool portAnswers(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    return socket.waitForConnected(300);
}

qint64 ownMemoryKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.open(QIODevice::ReadOnly) ? status.readAll().split('\n') : QList<QByteArray>())
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

quint16 freeLocalPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace vantrel::test
