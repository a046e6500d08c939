#include "support/FakeAdb.h"

#include <QJsonDocument>

namespace vantrel::test {

FakeAdb::FakeAdb()
{
    on({}, {}); // writes the scenario
    m_environment.set("VANTREL_ADB", programPath().toUtf8());
    m_environment.set("FAKE_ADB_SCENARIO", m_dir.filePath(QStringLiteral("adb-scenario.json")).toUtf8());
}

void FakeAdb::on(const QStringList &arguments, const QList<QJsonObject> &responses)
{
    const QJsonArray args = QJsonArray::fromStringList(arguments);
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (m_rules.at(i)[QStringLiteral("args")].toArray() == args)
            m_rules.removeAt(i--);
    }
    QJsonArray list;
    for (const QJsonObject &response : responses)
        list.append(response);
    if (!responses.isEmpty())
        m_rules.append(QJsonObject{{QStringLiteral("args"), args}, {QStringLiteral("responses"), list}});
    writeFile(m_dir.filePath(QStringLiteral("adb-scenario.json")),
              QJsonDocument(QJsonObject{{QStringLiteral("log"), m_dir.filePath(QStringLiteral("calls.jsonl"))},
                                        {QStringLiteral("rules"), m_rules}})
                  .toJson());
}

QList<QStringList> FakeAdb::calls() const
{
    QList<QStringList> result;
    for (const QJsonObject &call : readJsonLines(m_dir.filePath(QStringLiteral("calls.jsonl"))))
        result.append(call.value(QStringLiteral("args")).toVariant().toStringList());
    return result;
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

} // namespace vantrel::test
