#include "support/FakeAdb.h"

#include <QJsonDocument>

namespace vantrel::test {

FakeAdb::FakeAdb()
{
    save();
    m_environment.set("VANTREL_ADB", programPath().toUtf8());
    m_environment.set("FAKE_ADB_SCENARIO", scenarioPath().toUtf8());
}

QString FakeAdb::programPath()
{
    return QStringLiteral(VANTREL_FAKES_DIR "/adb/adb.py");
}

void FakeAdb::on(const QStringList &arguments, const QList<QJsonObject> &responses)
{
    const QJsonArray args = QJsonArray::fromStringList(arguments);
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (m_rules.at(i).toObject().value(QStringLiteral("args")).toArray() == args)
            m_rules.removeAt(i--);
    }
    QJsonArray list;
    for (const QJsonObject &response : responses)
        list.append(response);
    m_rules.append(QJsonObject{{QStringLiteral("args"), args}, {QStringLiteral("responses"), list}});
    save();
}

void FakeAdb::save() const
{
    writeFile(scenarioPath(), QJsonDocument(QJsonObject{{QStringLiteral("log"), filePath(QStringLiteral("calls.jsonl"))},
                                                        {QStringLiteral("rules"), m_rules}})
                                  .toJson());
}

QList<QStringList> FakeAdb::calls() const
{
    QList<QStringList> result;
    for (const QJsonObject &call : readJsonLines(filePath(QStringLiteral("calls.jsonl"))))
        result.append(call.value(QStringLiteral("args")).toVariant().toStringList());
    return result;
}

int FakeAdb::callCount(const QStringList &arguments) const
{
    return int(calls().count(arguments));
}

QJsonObject FakeAdb::reply(const QString &standardOutput, const QString &standardError, int exitCode, int delayMs)
{
    return {{QStringLiteral("stdout"), standardOutput},
            {QStringLiteral("stderr"), standardError},
            {QStringLiteral("exit"), exitCode},
            {QStringLiteral("delayMs"), delayMs}};
}

QJsonObject FakeAdb::replyBytes(const QByteArray &standardOutput, const QString &standardError, int exitCode)
{
    QJsonObject response = reply(QString(), standardError, exitCode);
    response.insert(QStringLiteral("stdoutBase64"), QString::fromLatin1(standardOutput.toBase64()));
    return response;
}

QStringList FakeAdb::getState(const QString &serial)
{
    return {QStringLiteral("-s"), serial, QStringLiteral("get-state")};
}

QStringList FakeAdb::screencap(const QString &serial)
{
    return {QStringLiteral("-s"), serial, QStringLiteral("exec-out"), QStringLiteral("screencap"), QStringLiteral("-p")};
}

QStringList FakeAdb::dump(const QString &serial)
{
    return {QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("uiautomator"), QStringLiteral("dump"),
            QStringLiteral("/sdcard/vantrel-window.xml")};
}

QStringList FakeAdb::readDump(const QString &serial)
{
    return {QStringLiteral("-s"), serial, QStringLiteral("exec-out"), QStringLiteral("cat"),
            QStringLiteral("/sdcard/vantrel-window.xml")};
}

} // namespace vantrel::test
