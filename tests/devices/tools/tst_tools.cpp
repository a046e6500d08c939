// Running tools: the text and binary process runners (what each returns for a set of small
// programs, the time limit with terminate, kill and reap, runs side by side), the environment
// every tool gets.
#include "devices/tools/BinaryProcessRunner.h"
#include "devices/tools/ProcessRunner.h"
#include "devices/tools/ToolProcessEnvironment.h"
#include "support/AwaitTask.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

QString extraPath(const QString &home)
{
    return home + u"/.local/npm-global/bin:"_s + home + u"/.npm-global/bin:"_s + home
        + QStringLiteral("/.nvm/current/bin:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/local/sbin:"
                         "/usr/bin:/bin:/usr/sbin:/sbin");
}

void makeAdb(const QString &sdk) { writeFile(sdk + u"/platform-tools/adb"_s, {}); }

// Writes an executable shell script into `dir` and returns its path.
QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    return writeFile(dir.filePath(name), "#!/bin/sh\n" + body, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
}

// A failsafe well under the limit: a run that waits for its limit instead of failing at once is
// reported as timed out.
std::optional<CommandOutput> runText(const QString &program, const QStringList &arguments, double limit)
{
    return awaitTask(ProcessRunner::run(program, arguments, limit), 20s).value;
}

// The id a script wrote to `pidFile`; the process exists while it has not been reaped.
bool processGone(const QString &pidFile)
{
    QFile file(pidFile);
    const QString pid = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    return !pid.isEmpty() && !QFile::exists(u"/proc/"_s + pid);
}

// Long texts by their length only.
QString shown(const QString &text) { return text.size() > 100 ? u"<%1 characters>"_s.arg(text.size()) : text; }

} // namespace

class ToolsTest : public QObject {
    Q_OBJECT

private slots:
    void outputs_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: a program that is not there
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");   // status | stdout | stderr of the text runner
        QTest::addColumn<QString>("binary"); // the same of the binary runner
        QTest::newRow("status and streams") << QByteArray("printf abc\nprintf '错误' >&2\nexit 3\n") << QStringList()
                                            << "3 | abc | 错误" << "3 | abc | 错误";
        // Arguments are not interpreted by a shell.
        QTest::newRow("arguments") << QByteArray("for a in \"$@\"; do printf '<%s>' \"$a\"; done\n")
                                   << QStringList{"a b", "$HOME", "`id`", ""} << "0 | <a b><$HOME><`id`><> | " << "0 | <a b><$HOME><`id`><> | ";
        // Invalid UTF-8 gives empty text but keeps the status; the binary runner keeps the bytes.
        QTest::newRow("not UTF-8") << QByteArray("printf 'caf\\351'\nprintf '\\377' >&2\nexit 4\n") << QStringList() << "4 |  | "
                                   << "4 | café | ";
        // Megabytes on standard error first, then on standard output, then both: reading one stream
        // only after the other would leave the child blocked on a full pipe.
        QTest::newRow("megabytes") << QByteArray("head -c 3000000 /dev/zero | tr '\\0' e >&2\nhead -c 5000000 /dev/zero | tr '\\0' o\n"
                                                 "head -c 1000000 /dev/zero | tr '\\0' E >&2\n")
                                   << QStringList() << "0 | <5000000 characters> | <4000000 characters>"
                                   << "0 | <5000000 characters> | <4000000 characters>";
        QTest::newRow("no such program") << QByteArray() << QStringList() << "-1 |  | names it" << "-1 |  | names it";
        QTest::newRow("time limit") << QByteArray("echo partial output\necho partial error >&2\nwhile :; do sleep 0.1; done\n") << QStringList()
                                    << "-2 |  | 命令执行超时" << "-2 |  | 命令执行超时";
    }
    void outputs()
    {
        QFETCH(QByteArray, script);
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        QFETCH(QString, binary);
        QTemporaryDir dir;
        const QString program = script.isEmpty() ? dir.filePath(u"no-such-tool"_s) : writeScript(dir, u"tool"_s, script);
        const double limit = QTest::currentDataTag() == QByteArray("time limit") ? 0.5 : 600;
        const auto describe = [&](int status, const QString &out, const QString &error) {
            return u"%1 | %2 | %3"_s.arg(status).arg(shown(out), status == -1 && error.contains(program) ? u"names it"_s : shown(error));
        };
        const std::optional<CommandOutput> fromText = runText(program, arguments, limit);
        QVERIFY(fromText);
        QCOMPARE(describe(fromText->status, fromText->standardOutput, fromText->standardError), text);
        const auto fromBinary = awaitTask(BinaryProcessRunner::run(program, arguments, limit), 20s).value;
        QVERIFY(fromBinary);
        QCOMPARE(describe(fromBinary->status, QString::fromLatin1(fromBinary->data), fromBinary->standardError), binary);
    }

    void timeLimitTerminatesThenKillsAndReaps()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(u"terminated"_s);
        const QString polite = dir.filePath(u"polite"_s);
        const QString stubborn = dir.filePath(u"stubborn"_s);
        QCOMPARE(runText(writeScript(dir, u"slow"_s, "echo $$ > '" + polite.toUtf8() + "'\ntrap 'echo term > \"" + marker.toUtf8()
                                                         + "\"; exit 0' TERM\nsleep 0.4\ntouch \"$0.reached\"\nwhile :; do sleep 0.1; done\n"),
                         {}, 0.8)->status, -2);
        QVERIFY2(QFile::exists(dir.filePath(u"slow.reached"_s)), "the limit was cut short");
        QVERIFY2(waitFor([&] { return QFile::exists(marker); }), "the child never received SIGTERM");
        QVERIFY2(waitFor([&] { return processGone(polite); }), "the terminated child was not reaped");
        QCOMPARE(runText(writeScript(dir, u"stubborn"_s, "echo $$ > '" + stubborn.toUtf8() + "'\ntrap '' TERM\nwhile :; do sleep 0.1; done\n"),
                         {}, 0.5)->status, -2);
        QVERIFY2(waitFor([&] { return processGone(stubborn); }, 20s), "a child ignoring SIGTERM was left behind");
    }

    void childReceivesTheToolEnvironmentOfTheMoment()
    {
        TemporaryHome home;
        EnvironmentOverride environment;
        for (const char *name : {"ANDROID_HOME", "ANDROID_SDK_ROOT", "PATH"})
            environment.unset(name);
        const auto childEnvironment = [] { return u'\n' + runText(u"/usr/bin/env"_s, {}, 10).value_or(CommandOutput{}).standardOutput; };
        // Without a PATH: exactly the extra folders, and no SDK variables.
        QString seen = childEnvironment();
        QVERIFY2(seen.contains(u"\nPATH="_s + extraPath(home.path()) + u'\n') && !seen.contains(u"\nANDROID_HOME="_s), qPrintable(seen));
        // Nothing is cached: the next child sees the inherited PATH after the extra folders, in its
        // order without repeats, the other variables, and an SDK that has appeared.
        environment.set("PATH", "/z:/a:/z:/opt/homebrew/bin::/a");
        environment.set("LANG", "zh_CN.UTF-8");
        makeAdb(home.filePath(u"Android/Sdk"_s));
        seen = childEnvironment();
        QVERIFY2(seen.contains(u"\nPATH="_s + extraPath(home.path()) + u":/z:/a\n"_s), qPrintable(seen));
        QVERIFY(seen.contains(u"\nANDROID_HOME="_s + home.filePath(u"Android/Sdk"_s) + u'\n'));
        QVERIFY(seen.contains(u"\nLANG=zh_CN.UTF-8\n"_s));
    }

    void manyRunsSideBySide()
    {
        // More runs than cores, each waiting until all have started: runs taken one after the other
        // would each wait out their limit instead.
        QTemporaryDir dir;
        const QString tool = writeScript(dir, u"meet"_s, "touch \"$0.$1\"\nfor i in $(seq 200); do [ $(ls \"$0\".* | wc -l) -ge 12 ] && break; sleep 0.1; done\n"
                                                          "[ $(ls \"$0\".* | wc -l) -ge 12 ] && printf \"$1\"\n");
        auto all = [&]() -> QCoro::Task<QStringList> {
            std::vector<QCoro::Task<CommandOutput>> running;
            for (int i = 0; i < 12; ++i)
                running.push_back(ProcessRunner::run(tool, {QString::number(i)}, 30));
            QStringList outputs;
            for (auto &task : running)
                outputs.append((co_await std::move(task)).standardOutput);
            co_return outputs;
        };
        QStringList expected;
        for (int i = 0; i < 12; ++i)
            expected << QString::number(i);
        QCOMPARE(awaitTask(all(), 60s).value, expected);
    }

    void androidSdk_data()
    {
        QTest::addColumn<QStringList>("withAdb"); // of the candidates named by ANDROID_HOME, ANDROID_SDK_ROOT, or in the home
        QTest::addColumn<QString>("variables");   // ANDROID_HOME and ANDROID_SDK_ROOT after
        QTest::newRow("none holds adb") << QStringList() << "env-home env-root";
        QTest::newRow("Library before Linux folder") << QStringList{"home/Library/Android/sdk", "home/Android/Sdk"}
                                                     << "home/Library/Android/sdk home/Library/Android/sdk";
        QTest::newRow("root before the home") << QStringList{"env-root", "home/Library/Android/sdk"} << "env-root env-root";
        QTest::newRow("home first") << QStringList{"env-home", "env-root", "home/Library/Android/sdk"} << "env-home env-home";
        QTest::newRow("Linux folder") << QStringList{"home/Android/Sdk"} << "home/Android/Sdk home/Android/Sdk";
    }
    void androidSdk()
    {
        QFETCH(QStringList, withAdb);
        QFETCH(QString, variables);
        QTemporaryDir root;
        QDir().mkpath(root.filePath(u"env-home/platform-tools"_s));
        for (const QString &sdk : withAdb)
            makeAdb(root.filePath(sdk));
        QProcessEnvironment inherited;
        inherited.insert(u"ANDROID_HOME"_s, root.filePath(u"env-home"_s));
        inherited.insert(u"ANDROID_SDK_ROOT"_s, root.filePath(u"env-root"_s));
        const QProcessEnvironment environment = ToolProcessEnvironment::value(inherited, root.filePath(u"home"_s));
        QCOMPARE(QString(environment.value(u"ANDROID_HOME"_s) + u' ' + environment.value(u"ANDROID_SDK_ROOT"_s)).remove(root.path() + u'/'), variables);
    }
};

QTEST_GUILESS_MAIN(ToolsTest)
#include "tst_tools.moc"
