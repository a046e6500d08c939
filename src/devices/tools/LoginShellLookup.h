#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace vantrel {

// Finds a program the way the user's terminal would: runs ToolPaths::loginShell() with "-lc" and
// "command -v NAME" (45 s limit) and takes the trimmed standard output when the status is 0 and it
// is not empty.
class LoginShellLookup {
public:
    static constexpr double kTimeoutSeconds = 45;

    static QCoro::Task<std::optional<QString>> find(QString programName);

private:
    LoginShellLookup() = delete;
};

} // namespace vantrel
