// Running tools: the text and binary process runners (what each returns for a set of small
// programs, the time limit with terminate, kill and reap, runs side by side), the environment
// every tool gets.
#include "devices/tools/BinaryProcessRunner.h"
#include "devices/tools/ProcessRunner.h"
#include "devices/tools/ToolProcessEnvironment.h"
#include "support/AwaitTask.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

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
    // What the text and the binary runner return for a set of small programs, the SDK variables
    // every tool gets, and the environment a child receives, against tests/data/golden/tools.txt.
    void transcript()
    {
        const QList<std::tuple<QString, QByteArray, QStringList>> programs{
            {u"status and streams"_s, "printf abc\nprintf '错误' >&2\nexit 3\n", {}},
            // Arguments are not interpreted by a shell.
            {u"arguments"_s, "for a in \"$@\"; do printf '<%s>' \"$a\"; done\n", {"a b", "$HOME", "`id`", ""}},
            // Invalid UTF-8 gives empty text but keeps the status; the binary runner keeps the bytes.
            {u"not UTF-8"_s, "printf 'caf\\351'\nprintf '\\377' >&2\nexit 4\n", {}},
            // Megabytes on standard error first, then on standard output, then both: reading one
            // stream only after the other would leave the child blocked on a full pipe.
            {u"megabytes"_s, "head -c 3000000 /dev/zero | tr '\\0' e >&2\nhead -c 5000000 /dev/zero | tr '\\0' o\n"
                             "head -c 1000000 /dev/zero | tr '\\0' E >&2\n", {}},
            {u"no such program"_s, {}, {}},
            {u"time limit"_s, "echo partial output\necho partial error >&2\nwhile :; do sleep 0.1; done\n", {}},
        };
        QString text;
        QTemporaryDir dir;
        for (const auto &[name, script, arguments] : programs) {
            const QString program = script.isEmpty() ? dir.filePath(u"no-such-tool"_s) : writeScript(dir, name, script);
            const double limit = name == u"time limit"_s ? 0.5 : 600;
            // status | stdout | stderr
            const auto describe = [&](int status, const QString &out, const QString &error) {
                return u"%1 | %2 | %3"_s.arg(status).arg(shown(out), status == -1 && error.contains(program) ? u"names it"_s : shown(error)).trimmed() + u'\n';
            };
            const CommandOutput fromText = runText(program, arguments, limit).value_or(CommandOutput{99, {}, {}});
            const BinaryCommandOutput fromBinary = awaitTask(BinaryProcessRunner::run(program, arguments, limit), 20s).value.value_or(BinaryCommandOutput{99, {}, {}});
            text += u"== "_s + name + u"\n  text: "_s + describe(fromText.status, fromText.standardOutput, fromText.standardError)
                + u"  binary: "_s + describe(fromBinary.status, QString::fromLatin1(fromBinary.data), fromBinary.standardError);
        }

        // ANDROID_HOME and ANDROID_SDK_ROOT when adb is in these of the candidates (named by the
        // inherited variables, or in the home).
        for (const QStringList &withAdb : QList<QStringList>{{}, {"home/Library/Android/sdk", "home/Android/Sdk"}, {"env-root", "home/Library/Android/sdk"},
                                                             {"env-home", "env-root", "home/Library/Android/sdk"}, {"home/Android/Sdk"}}) {
            QTemporaryDir root;
            QDir().mkpath(root.filePath(u"env-home/platform-tools"_s));
            for (const QString &sdk : withAdb)
                makeAdb(root.filePath(sdk));
            QProcessEnvironment inherited;
            inherited.insert(u"ANDROID_HOME"_s, root.filePath(u"env-home"_s));
            inherited.insert(u"ANDROID_SDK_ROOT"_s, root.filePath(u"env-root"_s));
            const QProcessEnvironment environment = ToolProcessEnvironment::value(inherited, root.filePath(u"home"_s));
            text += (u"== SDK, adb in: "_s + withAdb.join(u", "_s)).trimmed() + u"\n  "_s
                + QString(environment.value(u"ANDROID_HOME"_s) + u' ' + environment.value(u"ANDROID_SDK_ROOT"_s)).remove(root.path() + u'/') + u'\n';
        }

        // The child's environment is made afresh for every run: first without a PATH, then with an
        // inherited one (with repeats and an empty entry) and an SDK that has appeared meanwhile.
        TemporaryHome home;
        EnvironmentOverride environment;
        for (const char *name : {"ANDROID_HOME", "ANDROID_SDK_ROOT", "PATH", "LANG"})
            environment.unset(name);
        const auto child = [&](const QString &title) {
            text += u"== child environment, "_s + title + u'\n';
            static const QRegularExpression kept(u"^(PATH|ANDROID_HOME|ANDROID_SDK_ROOT|LANG)="_s);
            for (const QString &line : runText(u"/usr/bin/env"_s, {}, 10).value_or(CommandOutput{}).standardOutput.split(u'\n')) {
                if (kept.match(line).hasMatch())
                    text += u"  "_s + QString(line).replace(home.path(), u"<home>"_s) + u'\n';
            }
        };
        child(u"no PATH"_s);
        environment.set("PATH", "/z:/a:/z:/opt/homebrew/bin::/a");
        environment.set("LANG", "zh_CN.UTF-8");
        makeAdb(home.filePath(u"Android/Sdk"_s));
        child(u"a PATH and an SDK"_s);
        QVERIFY(compareWithGolden(u"tools.txt"_s, text));
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

    void manyRunsSideBySide()
    {
        // More runs than cores, each waiting until all have started: runs taken one after the other
        // would each wait out their limit instead.
        QTemporaryDir dir;
        const QString tool = writeScript(dir, u"meet"_s, "touch \"$0.$1\"\nfor i in $(seq 200); do [ $(ls \"$0\".* | wc -l) -ge 12 ] && break; sleep 0.1; done\n"
                                                          "[ $(ls \"$0\".* | wc -l) -ge 12 ] && printf \"$1\"\n");
        auto all = [&]() -> QCoro::Task<QString> {
            std::vector<QCoro::Task<CommandOutput>> running;
            for (int i = 0; i < 12; ++i)
                running.push_back(ProcessRunner::run(tool, {QString::number(i)}, 30));
            QString outputs;
            for (auto &task : running)
                outputs += (co_await std::move(task)).standardOutput;
            co_return outputs;
        };
        QCOMPARE(awaitTask(all(), 60s).value, u"01234567891011"_s);
    }
};

QTEST_GUILESS_MAIN(ToolsTest)
#include "tst_tools.moc"
