#include "devices/tools/ToolPaths.h"
#include "devices/tools/ToolProcessEnvironment.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

const QString kHome = QStringLiteral("/home/tester");

QString extraPath(const QString &home)
{
    return home + QStringLiteral("/.local/npm-global/bin:") + home + QStringLiteral("/.npm-global/bin:") + home
        + QStringLiteral("/.nvm/current/bin:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/local/sbin:"
                         "/usr/bin:/bin:/usr/sbin:/sbin");
}

void makeAdb(const QString &sdk)
{
    QDir().mkpath(sdk + QStringLiteral("/platform-tools"));
    QFile file(sdk + QStringLiteral("/platform-tools/adb"));
    if (file.open(QIODevice::WriteOnly))
        file.close();
}

} // namespace

class ProcessEnvironmentTest : public QObject {
    Q_OBJECT

private slots:
    void searchPathPutsTheExtraFoldersFirst()
    {
        QProcessEnvironment inherited;
        inherited.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/my/custom::/bin"));
        inherited.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
        const QProcessEnvironment environment = ToolProcessEnvironment::value(inherited, kHome);
        QCOMPARE(environment.value(QStringLiteral("PATH")), extraPath(kHome) + QStringLiteral(":/my/custom"));
        QCOMPARE(environment.value(QStringLiteral("LANG")), QStringLiteral("zh_CN.UTF-8"));

        // Order of inherited entries is kept; repeats after the first are dropped.
        QCOMPARE(ToolProcessEnvironment::searchPath(QStringLiteral("/z:/a:/z:/opt/homebrew/bin:/a"), kHome),
                 extraPath(kHome) + QStringLiteral(":/z:/a"));
        // Without a PATH: exactly the extra folders.
        QCOMPARE(ToolProcessEnvironment::value(QProcessEnvironment(), kHome).value(QStringLiteral("PATH")), extraPath(kHome));
    }

    void androidSdkCandidates()
    {
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString librarySdk = home + QStringLiteral("/Library/Android/sdk");
        const QString linuxSdk = home + QStringLiteral("/Android/Sdk");
        const QString withoutAdb = root.filePath(QStringLiteral("bare-sdk"));
        QDir().mkpath(withoutAdb + QStringLiteral("/platform-tools"));

        // Nothing qualifies: the two variables pass through unchanged.
        QProcessEnvironment inherited;
        inherited.insert(QStringLiteral("ANDROID_HOME"), withoutAdb);
        QProcessEnvironment environment = ToolProcessEnvironment::value(inherited, home);
        QCOMPARE(environment.value(QStringLiteral("ANDROID_HOME")), withoutAdb);
        QVERIFY(!environment.contains(QStringLiteral("ANDROID_SDK_ROOT")));

        // ANDROID_HOME without adb, the Library SDK with it: both variables point at the latter.
        makeAdb(librarySdk);
        makeAdb(linuxSdk);
        environment = ToolProcessEnvironment::value(inherited, home);
        QCOMPARE(environment.value(QStringLiteral("ANDROID_HOME")), librarySdk);
        QCOMPARE(environment.value(QStringLiteral("ANDROID_SDK_ROOT")), librarySdk);

        // ANDROID_SDK_ROOT with adb comes before the home folders, and overwrites ANDROID_HOME.
        const QString rootSdk = root.filePath(QStringLiteral("root-sdk"));
        makeAdb(rootSdk);
        inherited.insert(QStringLiteral("ANDROID_SDK_ROOT"), rootSdk);
        environment = ToolProcessEnvironment::value(inherited, home);
        QCOMPARE(environment.value(QStringLiteral("ANDROID_HOME")), rootSdk);
        QCOMPARE(environment.value(QStringLiteral("ANDROID_SDK_ROOT")), rootSdk);

        // ANDROID_HOME with adb wins over everything.
        const QString homeSdk = root.filePath(QStringLiteral("home-sdk"));
        makeAdb(homeSdk);
        inherited.insert(QStringLiteral("ANDROID_HOME"), homeSdk);
        QCOMPARE(ToolProcessEnvironment::androidSdkRoot(inherited, home), homeSdk);

        // Only the Linux-style home SDK: found after the Library one is gone.
        QDir(home + QStringLiteral("/Library")).removeRecursively();
        QCOMPARE(ToolProcessEnvironment::androidSdkRoot(QProcessEnvironment(), home), linuxSdk);
    }

    void valueIsRecomputedOnEveryCall()
    {
        TemporaryHome home;
        QVERIFY(ToolProcessEnvironment::value().value(QStringLiteral("PATH")).startsWith(home.path() + QStringLiteral("/.local")));
        const QByteArray savedHome = qgetenv("ANDROID_HOME");
        const QByteArray savedRoot = qgetenv("ANDROID_SDK_ROOT");
        qunsetenv("ANDROID_HOME");
        qunsetenv("ANDROID_SDK_ROOT");
        const QString before = ToolProcessEnvironment::value().value(QStringLiteral("ANDROID_HOME"));
        makeAdb(home.filePath(QStringLiteral("Android/Sdk")));
        const QString after = ToolProcessEnvironment::value().value(QStringLiteral("ANDROID_HOME"));
        if (!savedHome.isNull())
            qputenv("ANDROID_HOME", savedHome);
        if (!savedRoot.isNull())
            qputenv("ANDROID_SDK_ROOT", savedRoot);
        QVERIFY(before.isEmpty() || before != home.filePath(QStringLiteral("Android/Sdk")));
        QCOMPARE(after, home.filePath(QStringLiteral("Android/Sdk")));
    }

    void toolPathOverrides()
    {
        const struct {
            const char *variable;
            QString (*path)();
        } tools[] = {{"VANTREL_XCRUN", &ToolPaths::xcrun},  {"VANTREL_XCODEBUILD", &ToolPaths::xcodebuild},
                     {"VANTREL_SHELL", &ToolPaths::loginShell}, {"VANTREL_LSOF", &ToolPaths::lsof},
                     {"VANTREL_KILL", &ToolPaths::kill}};
        for (const auto &tool : tools) {
            qunsetenv(tool.variable);
            const QString fallback = tool.path();
            QVERIFY2(fallback.startsWith(u'/'), tool.variable);
            qputenv(tool.variable, "/fake/tool");
            QCOMPARE(tool.path(), QStringLiteral("/fake/tool"));
            qputenv(tool.variable, "");
            QCOMPARE(tool.path(), fallback);
            qunsetenv(tool.variable);
        }
        qunsetenv("VANTREL_APPIUM");
        QVERIFY(!ToolPaths::appiumOverride());
    }

};

QTEST_GUILESS_MAIN(ProcessEnvironmentTest)
#include "tst_process_environment.moc"
