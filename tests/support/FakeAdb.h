#pragma once

#include "support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

namespace vantrel::test {

// The fake adb (tests/fakes/adb) for one test: writes its scenario, points VANTREL_ADB and
// FAKE_ADB_SCENARIO at it, and restores both variables when destroyed.
//
//   FakeAdb adb;
//   adb.on({"devices", "-l"}, {FakeAdb::reply("List of devices attached\nSERIAL device model:Pixel_7\n")});
//   ... run the code under test ...
//   QCOMPARE(adb.callCount({"devices", "-l"}), 1);
class FakeAdb {
public:
    FakeAdb();
    FakeAdb(const FakeAdb &) = delete;
    FakeAdb &operator=(const FakeAdb &) = delete;

    // Replaces the responses for exactly these arguments (served in order, the last repeating).
    void on(const QStringList &arguments, const QList<QJsonObject> &responses);
    // Every call so far, oldest first.
    QList<QStringList> calls() const;
    int callCount(const QStringList &arguments) const { return int(calls().count(arguments)); }

    static QString programPath() { return QStringLiteral(VANTREL_FAKES_DIR "/adb/adb.py"); }
    static QJsonObject reply(const QString &standardOutput, const QString &standardError = {}, int exitCode = 0, int delayMs = 0);
    static QJsonObject replyBytes(const QByteArray &standardOutput, const QString &standardError = {}, int exitCode = 0);

    // Arguments of the commands for one phone.
    static QStringList getState(const QString &serial) { return {"-s", serial, "get-state"}; }
    static QStringList screencap(const QString &serial) { return {"-s", serial, "exec-out", "screencap", "-p"}; }
    static QStringList dump(const QString &serial) { return {"-s", serial, "shell", "uiautomator", "dump", "/sdcard/vantrel-window.xml"}; }
    static QStringList readDump(const QString &serial) { return {"-s", serial, "exec-out", "cat", "/sdcard/vantrel-window.xml"}; }

private:
    QTemporaryDir m_dir;
    QJsonArray m_rules;
    EnvironmentOverride m_environment;
};

} // namespace vantrel::test
