#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vantrel::test {

// Sets and clears environment variables for one test; puts the old values back when destroyed.
class EnvironmentOverride {
public:
    EnvironmentOverride() = default;
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride &) = delete;
    EnvironmentOverride &operator=(const EnvironmentOverride &) = delete;

    void set(const char *name, const QByteArray &value);
    void unset(const char *name);

private:
    void save(const char *name);

    QList<QPair<QByteArray, QByteArray>> m_saved;
};

// A temporary home for one test: HOME and the XDG data, cache and config folders point inside it,
// so nothing a test writes reaches the real user's folders. Restores the old values when destroyed.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    EnvironmentOverride m_environment;
};

// Path of a file in tests/data.
QString dataPath(const QString &name);

// Writes `content` to `path` (making its folder), with `permissions` when given; returns the path.
QString writeFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions = {});
// The JSON objects of a file with one per line (empty when the file cannot be read).
QList<QJsonObject> readJsonLines(const QString &path);

// Whether something accepts connections on this port of 127.0.0.1.
bool portAnswers(int port);

// A figure of this process's memory in KiB from /proc/self/status ("VmRSS", "VmHWM"); -1 when unknown.
qint64 ownMemoryKiB(const char *field);
// A port on 127.0.0.1 that nothing listens on right now (0 when none could be found).
quint16 freeLocalPort();

} // namespace vantrel::test
