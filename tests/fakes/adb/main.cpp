// adb ARGS...  — a stand-in for Android Debug Bridge, driven by the JSON file named in
// FAKE_ADB_SCENARIO:
//
//   {"log": "/abs/calls.jsonl",                 every call is appended: {"args": [...]}
//    "rules": [{"args": ["devices", "-l"],       matched exactly against the arguments
//               "responses": [R, R, ...]}]}      served in order per rule; the last one repeats
//
//   R = {"stdout": "text" | "stdoutBase64": "...",
//        "stderr": "text", "exit": 0, "delayMs": 0}
//
// delayMs sleeps before anything is written (a slow command). Arguments without a rule exit 1
// with a message on standard error.
#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QThread>

#include <cstdio>

namespace {

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// How many earlier calls had exactly these arguments.
int previousCalls(const QString &logPath, const QJsonArray &arguments)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.isEmpty() && QJsonDocument::fromJson(line).object().value(QStringLiteral("args")).toArray() == arguments)
            ++count;
    }
    return count;
}

void appendCall(const QString &logPath, const QJsonArray &arguments)
{
    QFile log(logPath);
    if (!log.open(QIODevice::Append))
        return;
    log.write(QJsonDocument(QJsonObject{{QStringLiteral("args"), arguments}}).toJson(QJsonDocument::Compact) + '\n');
}

void writeAll(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char **argv)
{
    QJsonArray arguments;
    QStringList words;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
        words.append(QString::fromLocal8Bit(argv[i]));
    }
    const QString scenarioPath = qEnvironmentVariable("FAKE_ADB_SCENARIO");
    // A call after its test has ended (a loop still winding down) has no scenario: it fails and
    // leaves no log behind in whatever folder it runs in.
    if (scenarioPath.isEmpty())
        return 1;
    const QJsonObject scenario = readObject(scenarioPath);
    const QString logPath = scenario.value(QStringLiteral("log")).toString(scenarioPath + QStringLiteral(".calls"));
    const int earlier = previousCalls(logPath, arguments);
    appendCall(logPath, arguments);

    for (const QJsonValue &ruleValue : scenario.value(QStringLiteral("rules")).toArray()) {
        const QJsonObject rule = ruleValue.toObject();
        if (rule.value(QStringLiteral("args")).toArray() != arguments)
            continue;
        const QJsonArray responses = rule.value(QStringLiteral("responses")).toArray();
        if (responses.isEmpty())
            return 0;
        const QJsonObject response = responses.at(std::min<qsizetype>(earlier, responses.size() - 1)).toObject();
        const int delay = response.value(QStringLiteral("delayMs")).toInt();
        if (delay > 0)
            QThread::msleep(static_cast<unsigned long>(delay));
        QByteArray out = response.value(QStringLiteral("stdout")).toString().toUtf8();
        if (response.contains(QStringLiteral("stdoutBase64")))
            out = QByteArray::fromBase64(response.value(QStringLiteral("stdoutBase64")).toString().toLatin1());
        writeAll(stdout, out);
        writeAll(stderr, response.value(QStringLiteral("stderr")).toString().toUtf8());
        return response.value(QStringLiteral("exit")).toInt();
    }
    writeAll(stderr, "fake adb: no rule for: " + words.join(u' ').toUtf8() + '\n');
    return 1;
}
