#include "devices/tools/ToolPaths.h"
#include "devices/tools/ToolProcessEnvironment.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kHome = u"/home/tester"_s;

QString extraPath(const QString &home)
{
    return home + u"/.local/npm-global/bin:"_s + home + u"/.npm-global/bin:"_s + home
        + QStringLiteral("/.nvm/current/bin:/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/local/sbin:"
                         "/usr/bin:/bin:/usr/sbin:/sbin");
}

void makeAdb(const QString &sdk) { writeFile(sdk + u"/platform-tools/adb"_s, {}); }

} // namespace

class ProcessEnvironmentTest : public QObject {
    Q_OBJECT

private slots:
    void searchPathPutsTheExtraFoldersFirst()
    {
        QProcessEnvironment inherited;
        inherited.insert(u"PATH"_s, u"/usr/bin:/my/custom::/bin"_s);
        inherited.insert(u"LANG"_s, u"zh_CN.UTF-8"_s);
        const QProcessEnvironment environment = ToolProcessEnvironment::value(inherited, kHome);
        QCOMPARE(environment.value(u"PATH"_s), extraPath(kHome) + u":/my/custom"_s);
        QCOMPARE(environment.value(u"LANG"_s), u"zh_CN.UTF-8"_s);

        // Order of inherited entries is kept; repeats after the first are dropped.
        QCOMPARE(ToolProcessEnvironment::searchPath(u"/z:/a:/z:/opt/homebrew/bin:/a"_s, kHome),
                 extraPath(kHome) + u":/z:/a"_s);
        // Without a PATH: exactly the extra folders.
        QCOMPARE(ToolProcessEnvironment::value(QProcessEnvironment(), kHome).value(u"PATH"_s), extraPath(kHome));
    }

    void androidSdkCandidates()
    {
        QTemporaryDir root;
        const QString home = root.filePath(u"home"_s);
        const QString librarySdk = home + u"/Library/Android/sdk"_s;
        const QString linuxSdk = home + u"/Android/Sdk"_s;
        const QString withoutAdb = root.filePath(u"bare-sdk"_s);
        QDir().mkpath(withoutAdb + u"/platform-tools"_s);

        // Nothing qualifies: the two variables pass through unchanged.
        QProcessEnvironment inherited;
        inherited.insert(u"ANDROID_HOME"_s, withoutAdb);
        QProcessEnvironment environment = ToolProcessEnvironment::value(inherited, home);
        QCOMPARE(environment.value(u"ANDROID_HOME"_s), withoutAdb);
        QVERIFY(!environment.contains(u"ANDROID_SDK_ROOT"_s));

        // ANDROID_HOME without adb, the Library SDK with it: both variables point at the latter.
        makeAdb(librarySdk);
        makeAdb(linuxSdk);
        environment = ToolProcessEnvironment::value(inherited, home);
        QCOMPARE(environment.value(u"ANDROID_HOME"_s), librarySdk);
        QCOMPARE(environment.value(u"ANDROID_SDK_ROOT"_s), librarySdk);

        // ANDROID_SDK_ROOT with adb comes before the home folders, and overwrites ANDROID_HOME.
        const QString rootSdk = root.filePath(u"root-sdk"_s);
        makeAdb(rootSdk);
        inherited.insert(u"ANDROID_SDK_ROOT"_s, rootSdk);
        environment = ToolProcessEnvironment::value(inherited, home);
        QCOMPARE(environment.value(u"ANDROID_HOME"_s), rootSdk);
        QCOMPARE(environment.value(u"ANDROID_SDK_ROOT"_s), rootSdk);

        // ANDROID_HOME with adb wins over everything.
        const QString homeSdk = root.filePath(u"home-sdk"_s);
        makeAdb(homeSdk);
        inherited.insert(u"ANDROID_HOME"_s, homeSdk);
        QCOMPARE(ToolProcessEnvironment::androidSdkRoot(inherited, home), homeSdk);

        // Only the Linux-style home SDK: found after the Library one is gone.
        QDir(home + u"/Library"_s).removeRecursively();
        QCOMPARE(ToolProcessEnvironment::androidSdkRoot(QProcessEnvironment(), home), linuxSdk);
    }

    void valueIsRecomputedOnEveryCall()
    {
        TemporaryHome home;
        QVERIFY(ToolProcessEnvironment::value().value(u"PATH"_s).startsWith(home.path() + u"/.local"_s));
        EnvironmentOverride environment;
        environment.unset("ANDROID_HOME");
        environment.unset("ANDROID_SDK_ROOT");
        const QString before = ToolProcessEnvironment::value().value(u"ANDROID_HOME"_s);
        makeAdb(home.filePath(u"Android/Sdk"_s));
        const QString after = ToolProcessEnvironment::value().value(u"ANDROID_HOME"_s);
        QVERIFY(before.isEmpty() || before != home.filePath(u"Android/Sdk"_s));
        QCOMPARE(after, home.filePath(u"Android/Sdk"_s));
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
            QCOMPARE(tool.path(), u"/fake/tool"_s);
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
