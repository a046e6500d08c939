#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "support/TestEnvironment.h"

namespace vantrel::test {

// The fake xcrun, xcodebuild, login shell and appium of tests/fakes/ios for one test: points
// VANTREL_XCRUN, VANTREL_XCODEBUILD and VANTREL_SHELL at them (and clears VANTREL_APPIUM, so the
// lookup goes through the login shell), gives them a control folder of their own, and restores the
// variables when destroyed.
class FakeIosTools {
public:
    FakeIosTools();
    FakeIosTools(const FakeIosTools &) = delete;
    FakeIosTools &operator=(const FakeIosTools &) = delete;

    // What `xcrun xctrace list devices` prints, and its exit status.
    void setDeviceListing(const QString &listing, int status = 0);
    void setXcodebuild(const QString &standardOutput, const QString &standardError = {}, int status = 0);
    // What `command -v appium` finds in the login shell; none: not found.
    void setAppiumPath(const QString &path);
    // The fake appium's driver listing.
    void setDriverListing(const QString &json);

    // Arguments of every call of a fake ("xcrun", "xcodebuild", "shell", "appium"), one per call.
    QStringList calls(const QString &tool) const;

    static QString fakePath(const QString &name);

private:
    void write(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
    EnvironmentOverride m_environment;
};

} // namespace vantrel::test
