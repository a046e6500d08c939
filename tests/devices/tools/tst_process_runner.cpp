#include "devices/tools/BinaryProcessRunner.h"
#include "devices/tools/ProcessRunner.h"
#include "support/AwaitTask.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

// Writes an executable shell script into `dir` and returns its path.
QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

CommandOutput runText(const QString &executable, const QStringList &arguments, double timeout)
{
    auto outcome = awaitTask(ProcessRunner::run(executable, arguments, timeout), 120s);
    if (!outcome.value)
        qFatal("ProcessRunner::run did not finish");
    return *outcome.value;
}

BinaryCommandOutput runBinary(const QString &executable, const QStringList &arguments, double timeout = 60)
{
    auto outcome = awaitTask(BinaryProcessRunner::run(executable, arguments, timeout), 120s);
    if (!outcome.value)
        qFatal("BinaryProcessRunner::run did not finish");
    return *outcome.value;
}

// Whether a process with this id still exists (a zombie counts: it has not been reaped).
bool processExists(const QString &pid)
{
    return QFile::exists(QStringLiteral("/proc/") + pid);
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < limit.count()) {
        if (condition())
            return true;
        spinEventLoop(50ms);
    }
    return condition();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ProcessRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void exitStatusAndStreams()
    {
        QTemporaryDir dir;
        const QString tool = writeScript(dir, QStringLiteral("tool"),
                                         "printf abc\nprintf '错误' >&2\nexit 3\n");
        const CommandOutput output = runText(tool, {}, 10);
        QCOMPARE(output.status, 3);
        QCOMPARE(output.standardOutput, QStringLiteral("abc"));
        QCOMPARE(output.standardError, QStringLiteral("错误"));

        const QString quiet = writeScript(dir, QStringLiteral("quiet"), "printf abc\nexit 3\n");
        QCOMPARE(runText(quiet, {}, 10), (CommandOutput{3, QStringLiteral("abc"), QString()}));
    }

    void argumentsAreNotInterpretedByAShell()
    {
        QTemporaryDir dir;
        const QString tool = writeScript(dir, QStringLiteral("args"), "for a in \"$@\"; do printf '<%s>' \"$a\"; done\n");
        const QStringList arguments{QStringLiteral("a b"), QStringLiteral("$HOME"), QStringLiteral("`id`"), QString()};
        const CommandOutput output = runText(tool, arguments, 10);
        QCOMPARE(output.status, 0);
        QCOMPARE(output.standardOutput, QStringLiteral("<a b><$HOME><`id`><>"));
    }

    void startFailureIsImmediate()
    {
        QTemporaryDir dir;
        QElapsedTimer timer;
        timer.start();
        const CommandOutput missing = runText(dir.filePath(QStringLiteral("no-such-tool")), {}, 30);
        QVERIFY2(timer.elapsed() < 5000, "a missing program must fail at once, not after its limit");
        QCOMPARE(missing.status, -1);
        QVERIFY(missing.standardOutput.isEmpty());
        QVERIFY(missing.standardError.contains(QStringLiteral("no-such-tool")));

        // A file that exists but may not be executed.
        const QString plain = dir.filePath(QStringLiteral("plain.txt"));
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("echo hi\n");
        file.close();
        const CommandOutput notExecutable = runText(plain, {}, 30);
        QCOMPARE(notExecutable.status, -1);
        QVERIFY(!notExecutable.standardError.isEmpty());

        const BinaryCommandOutput binaryMissing = runBinary(dir.filePath(QStringLiteral("absent")), {});
        QCOMPARE(binaryMissing.status, -1);
        QVERIFY(binaryMissing.data.isEmpty());
        QVERIFY(!binaryMissing.standardError.isEmpty());
    }

    void timeLimitTerminatesAndReapsTheChild()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("terminated"));
        const QString pidFile = dir.filePath(QStringLiteral("pid"));
        const QString tool = writeScript(
            dir, QStringLiteral("slow"),
            QByteArray("echo $$ > '") + pidFile.toUtf8() + "'\n"
                "trap 'echo term > \"" + marker.toUtf8() + "\"; exit 0' TERM\n"
                "echo partial output\necho partial error >&2\n"
                "while :; do sleep 0.1; done\n");
        QElapsedTimer timer;
        timer.start();
        const CommandOutput output = runText(tool, {}, 0.8);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(output.status, -2);
        QVERIFY(output.standardOutput.isEmpty());
        QCOMPARE(output.standardError, QStringLiteral("命令执行超时"));
        QVERIFY2(elapsed >= 700 && elapsed < 10'000, qPrintable(QString::number(elapsed)));

        QVERIFY2(waitUntil([&] { return QFile::exists(marker); }, 10s), "the child never received SIGTERM");
        const QString pid = QString::fromUtf8(readFile(pidFile)).trimmed();
        QVERIFY(!pid.isEmpty());
        QVERIFY2(waitUntil([&] { return !processExists(pid); }, 10s), "the terminated child was not reaped");

        // The binary runner keeps the same limit: a hung adb cannot block a screenshot for ever.
        const BinaryCommandOutput binary = runBinary(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}, 0.3);
        QCOMPARE(binary.status, -2);
        QCOMPARE(binary.standardError, QStringLiteral("命令执行超时"));
    }

    void childIgnoringTerminateIsKilledAndReaped()
    {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("pid"));
        const QString tool = writeScript(dir, QStringLiteral("stubborn"),
                                         QByteArray("echo $$ > '") + pidFile.toUtf8() + "'\ntrap '' TERM\n"
                                             "while :; do sleep 0.1; done\n");
        const CommandOutput output = runText(tool, {}, 0.5);
        QCOMPARE(output.status, -2);
        QVERIFY(waitUntil([&] { return QFile::exists(pidFile); }, 5s));
        const QString pid = QString::fromUtf8(readFile(pidFile)).trimmed();
        QVERIFY2(waitUntil([&] { return !processExists(pid); }, 20s), "a child ignoring SIGTERM was left behind");
    }

    void largeOutputOnBothStreamsNeverStalls()
    {
        // Several megabytes on standard error first, then on standard output, then both interleaved:
        // reading one stream only after the other would leave the child blocked on a full pipe.
        QTemporaryDir dir;
        const QString tool = writeScript(dir, QStringLiteral("chatty"),
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
        const QString tool = writeScript(dir, QStringLiteral("latin"), "printf 'caf\\351'\nprintf '\\377' >&2\nexit 4\n");
        const CommandOutput output = runText(tool, {}, 10);
        QCOMPARE(output.status, 4);
        QVERIFY(output.standardOutput.isEmpty());
        QVERIFY(output.standardError.isEmpty());

        const BinaryCommandOutput binary = runBinary(tool, {});
        QCOMPARE(binary.status, 4);
        QCOMPARE(binary.data, QByteArray("caf\xe9"));
        QVERIFY(binary.standardError.isEmpty());
    }

    void binaryOutputIsByteExact()
    {
        QTemporaryDir dir;
        QByteArray bytes;
        for (int round = 0; round < 300; ++round)
            for (int value = 0; value < 256; ++value)
                bytes.append(char((value + round) & 0xff));
        bytes.prepend(QByteArray("\x89PNG\r\n\x1a\n", 8));
        const QString file = dir.filePath(QStringLiteral("blob.bin"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();

        const BinaryCommandOutput output = runBinary(QStringLiteral("/bin/cat"), {file});
        QCOMPARE(output.status, 0);
        QCOMPARE(output.data.size(), bytes.size());
        QVERIFY(output.data == bytes);

        const BinaryCommandOutput failure = runBinary(QStringLiteral("/bin/cat"), {dir.filePath(QStringLiteral("gone"))});
        QVERIFY(failure.status != 0);
        QVERIFY(failure.data.isEmpty());
        QVERIFY(failure.standardError.contains(QStringLiteral("gone")));
    }

    void childReceivesTheToolEnvironment()
    {
        TemporaryHome home;
        const QString sdk = home.filePath(QStringLiteral("Library/Android/sdk"));
        QVERIFY(QDir().mkpath(sdk + QStringLiteral("/platform-tools")));
        QFile adb(sdk + QStringLiteral("/platform-tools/adb"));
        QVERIFY(adb.open(QIODevice::WriteOnly));
        adb.close();
        const QByteArray savedPath = qgetenv("PATH");
        const QByteArray savedHome = qgetenv("ANDROID_HOME");
        qputenv("PATH", "/custom/tools:/usr/bin");
        qputenv("ANDROID_HOME", home.filePath(QStringLiteral("empty-sdk")).toUtf8());
        const CommandOutput output = runText(QStringLiteral("/usr/bin/env"), {}, 10);
        qputenv("PATH", savedPath);
        if (savedHome.isNull())
            qunsetenv("ANDROID_HOME");
        else
            qputenv("ANDROID_HOME", savedHome);

        QCOMPARE(output.status, 0);
        const QStringList lines = output.standardOutput.split(u'\n');
        const QString path = lines.filter(QRegularExpression(QStringLiteral("^PATH="))).value(0);
        QVERIFY2(path.startsWith(QStringLiteral("PATH=") + home.path() + QStringLiteral("/.local/npm-global/bin:"))
                     && path.endsWith(QStringLiteral(":/usr/sbin:/sbin:/custom/tools")),
                 qPrintable(path));
        QVERIFY(lines.contains(QStringLiteral("ANDROID_HOME=") + sdk));
        QVERIFY(lines.contains(QStringLiteral("ANDROID_SDK_ROOT=") + sdk));
    }

    void manyRunsInFlightAtOnce()
    {
        // More concurrent runs than cores: each blocks a background thread while it waits.
        QTemporaryDir dir;
        const QString tool = writeScript(dir, QStringLiteral("nap"), "sleep 1\nprintf \"$1\"\n");
        auto all = [&]() -> QCoro::Task<QStringList> {
            std::vector<QCoro::Task<CommandOutput>> running;
            for (int i = 0; i < 12; ++i) {
                const QStringList arguments{QString::number(i)};
                running.push_back(ProcessRunner::run(tool, arguments, 30));
            }
            QStringList outputs;
            for (auto &task : running)
                outputs.append((co_await std::move(task)).standardOutput);
            co_return outputs;
        };
        QElapsedTimer timer;
        timer.start();
        auto outcome = awaitTask(all(), 60s);
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->size(), 12);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(outcome.value->at(i), QString::number(i));
        QVERIFY2(timer.elapsed() < 8000, "runs were serialised instead of running side by side");
    }

};

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "tst_process_runner.moc"
