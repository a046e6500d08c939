#include "devices/tools/BinaryProcessRunner.h"
#include "devices/tools/ProcessRunner.h"
#include "support/AwaitTask.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Writes an executable shell script into `dir` and returns its path.
QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    return writeFile(dir.filePath(name), "#!/bin/sh\n" + body, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
}

CommandOutput runText(const QString &executable, const QStringList &arguments, double timeout)
{
    return awaitTask(ProcessRunner::run(executable, arguments, timeout), 120s).value.value();
}

BinaryCommandOutput runBinary(const QString &executable, const QStringList &arguments, double timeout = 60)
{
    return awaitTask(BinaryProcessRunner::run(executable, arguments, timeout), 120s).value.value();
}

// The id a script wrote to `pidFile`; the process exists while it has not been reaped.
bool processGone(const QString &pidFile)
{
    QFile file(pidFile);
    const QString pid = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    return !pid.isEmpty() && !QFile::exists(u"/proc/"_s + pid);
}

} // namespace

class ProcessRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void exitStatusStreamsAndArguments()
    {
        QTemporaryDir dir;
        const QString tool = writeScript(dir, u"tool"_s, "printf abc\nprintf '错误' >&2\nexit 3\n");
        QCOMPARE(runText(tool, {}, 10), (CommandOutput{3, u"abc"_s, u"错误"_s}));

        // Arguments are not interpreted by a shell.
        const QString echo = writeScript(dir, u"args"_s, "for a in \"$@\"; do printf '<%s>' \"$a\"; done\n");
        QCOMPARE(runText(echo, {u"a b"_s, u"$HOME"_s, u"`id`"_s, QString()}, 10), (CommandOutput{0, u"<a b><$HOME><`id`><>"_s, QString()}));
    }

    void startFailureIsImmediate()
    {
        QTemporaryDir dir;
        QElapsedTimer timer;
        timer.start();
        const CommandOutput missing = runText(dir.filePath(u"no-such-tool"_s), {}, 30);
        QVERIFY2(timer.elapsed() < 5000, "a missing program must fail at once, not after its limit");
        QCOMPARE(missing.status, -1);
        QVERIFY(missing.standardOutput.isEmpty());
        QVERIFY(missing.standardError.contains(u"no-such-tool"_s));

        // A file that exists but may not be executed.
        const CommandOutput notExecutable = runText(writeFile(dir.filePath(u"plain.txt"_s), "echo hi\n"), {}, 30);
        QCOMPARE(notExecutable.status, -1);
        QVERIFY(!notExecutable.standardError.isEmpty());

        const BinaryCommandOutput binaryMissing = runBinary(dir.filePath(u"absent"_s), {});
        QCOMPARE(binaryMissing.status, -1);
        QVERIFY(binaryMissing.data.isEmpty() && !binaryMissing.standardError.isEmpty());
    }

    void timeLimitTerminatesAndReapsTheChild()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(u"terminated"_s);
        const QString pidFile = dir.filePath(u"pid"_s);
        const QString tool = writeScript(dir, u"slow"_s,
                                         "echo $$ > '" + pidFile.toUtf8() + "'\ntrap 'echo term > \"" + marker.toUtf8()
                                             + "\"; exit 0' TERM\necho partial output\necho partial error >&2\n"
                                               "while :; do sleep 0.1; done\n");
        QElapsedTimer timer;
        timer.start();
        const CommandOutput output = runText(tool, {}, 0.8);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(output, (CommandOutput{-2, QString(), u"命令执行超时"_s}));
        QVERIFY2(elapsed >= 700 && elapsed < 10'000, qPrintable(QString::number(elapsed)));
        QVERIFY2(waitFor([&] { return QFile::exists(marker); }), "the child never received SIGTERM");
        QVERIFY2(waitFor([&] { return processGone(pidFile); }), "the terminated child was not reaped");

        // The binary runner keeps the same limit: a hung adb cannot block a screenshot for ever.
        const BinaryCommandOutput binary = runBinary(u"/bin/sleep"_s, {u"30"_s}, 0.3);
        QCOMPARE(binary.status, -2);
        QCOMPARE(binary.standardError, u"命令执行超时"_s);
    }

    void childIgnoringTerminateIsKilledAndReaped()
    {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(u"pid"_s);
        const QString tool = writeScript(dir, u"stubborn"_s, "echo $$ > '" + pidFile.toUtf8() + "'\ntrap '' TERM\nwhile :; do sleep 0.1; done\n");
        QCOMPARE(runText(tool, {}, 0.5).status, -2);
        QVERIFY2(waitFor([&] { return processGone(pidFile); }, 20s), "a child ignoring SIGTERM was left behind");
    }

    void largeOutputOnBothStreamsNeverStalls()
    {
        // Several megabytes on standard error first, then on standard output, then both interleaved:
        // reading one stream only after the other would leave the child blocked on a full pipe.
        QTemporaryDir dir;
        const QString tool = writeScript(dir, u"chatty"_s,
                                         "head -c 3000000 /dev/zero | tr '\\0' e >&2\n"
                                         "head -c 5000000 /dev/zero | tr '\\0' o\n"
                                         "head -c 1000000 /dev/zero | tr '\\0' E >&2\n");
        const CommandOutput output = runText(tool, {}, 60);
        QCOMPARE(output.status, 0);
        QCOMPARE(output.standardOutput.size(), 5'000'000);
        QCOMPARE(output.standardError.size(), 4'000'000);
        const BinaryCommandOutput binary = runBinary(tool, {});
        QCOMPARE(binary.status, 0);
        QCOMPARE(binary.data.size(), 5'000'000);
        QCOMPARE(binary.standardError.size(), 4'000'000);
    }

    void invalidUtf8GivesEmptyTextButKeepsTheStatus()
    {
        QTemporaryDir dir;
        const QString tool = writeScript(dir, u"latin"_s, "printf 'caf\\351'\nprintf '\\377' >&2\nexit 4\n");
        QCOMPARE(runText(tool, {}, 10), (CommandOutput{4, QString(), QString()}));
        const BinaryCommandOutput binary = runBinary(tool, {});
        QCOMPARE(binary.status, 4);
        QCOMPARE(binary.data, QByteArray("caf\xe9"));
        QVERIFY(binary.standardError.isEmpty());
    }

    void childReceivesTheToolEnvironment()
    {
        TemporaryHome home;
        const CommandOutput output = runText(u"/usr/bin/env"_s, {}, 10);
        QVERIFY2((u'\n' + output.standardOutput).contains(u"\nPATH="_s + home.path() + u"/.local/npm-global/bin:"_s),
                 qPrintable(output.standardOutput));
    }

    void manyRunsInFlightAtOnce()
    {
        // More concurrent runs than cores: each blocks a background thread while it waits.
        QTemporaryDir dir;
        const QString tool = writeScript(dir, u"nap"_s, "sleep 1\nprintf \"$1\"\n");
        auto all = [&]() -> QCoro::Task<QStringList> {
            std::vector<QCoro::Task<CommandOutput>> running;
            for (int i = 0; i < 12; ++i)
                running.push_back(ProcessRunner::run(tool, {QString::number(i)}, 30));
            QStringList outputs;
            for (auto &task : running)
                outputs.append((co_await std::move(task)).standardOutput);
            co_return outputs;
        };
        QElapsedTimer timer;
        timer.start();
        const auto outcome = awaitTask(all(), 60s);
        QStringList expected;
        for (int i = 0; i < 12; ++i)
            expected << QString::number(i);
        QCOMPARE(outcome.value, expected);
        QVERIFY2(timer.elapsed() < 8000, "runs were serialised instead of running side by side");
    }
};

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "tst_process_runner.moc"
