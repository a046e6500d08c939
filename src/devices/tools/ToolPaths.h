#pragma once

#include <QString>

#include <optional>

namespace vantrel {

// Absolute paths of the outside programs the device managers drive. Each may be overridden by an
// environment variable (read on every call, so tests can point them at fakes):
//   VANTREL_XCRUN, VANTREL_XCODEBUILD, VANTREL_SHELL, VANTREL_LSOF, VANTREL_KILL  replace the default;
//   VANTREL_ADB, VANTREL_APPIUM  replace the whole lookup of adb and appium (see the overrides below).
// Defaults: on macOS the usual system locations (/usr/bin/xcrun, /usr/bin/xcodebuild, /bin/zsh,
// /usr/sbin/lsof, /bin/kill). Elsewhere the login shell is /bin/zsh when present, else $SHELL, else
// /bin/sh, and lsof and kill are looked up in the usual system folders.
class ToolPaths {
public:
    static QString xcrun();
    static QString xcodebuild();
    // The shell that is run with "-lc" and a command line so that the user's login profile is read.
    static QString loginShell();
    static QString lsof();
    static QString kill();

    // VANTREL_ADB / VANTREL_APPIUM when set and not empty: used instead of every lookup rule.
    static std::optional<QString> adbOverride();
    static std::optional<QString> appiumOverride();
    // An existing file this user may run. An override that is not one counts as the tool missing.
    static bool isExecutableFile(const QString &path);

private:
    ToolPaths() = delete;
};

} // namespace vantrel
