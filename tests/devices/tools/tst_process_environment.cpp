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
        const QProcessEnvironment bare = ToolProcessEnvironment::value(QProcessEnvironment(), kHome);
        QCOMPARE(bare.value(u"PATH"_s), extraPath(kHome));
        QVERIFY(!bare.contains(u"ANDROID_HOME"_s) && !bare.contains(u"ANDROID_SDK_ROOT"_s));
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
        } tools[] = {{"VANTREL_SHELL", &ToolPaths::loginShell}, {"VANTREL_LSOF", &ToolPaths::lsof}, {"VANTREL_KILL", &ToolPaths::kill}};
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
