#pragma once

#include <QString>

namespace vantrel {

// What a text run of a tool hands back (ProcessRunner). The runner never throws: every outcome is
// one of these records.
//
// The stream fields are called standardOutput/standardError rather than stdout/stderr because the
// C library defines those names as macros on some platforms.
struct CommandOutput {
    // Exit status of the child (the signal number when a signal ended it); kNotStarted when the
    // child could not be started; kTimedOut when its time limit ran out.
    int status = 0;
    // Everything written to standard output, decoded as UTF-8; empty when the bytes are not valid
    // UTF-8, when the child could not be started and when the time limit ran out.
    QString standardOutput;
    // Standard error decoded as UTF-8 (empty when not valid); the start failure's description when
    // the child could not be started; kTimeoutMessage when the time limit ran out.
    QString standardError;

    static constexpr int kNotStarted = -1;
    static constexpr int kTimedOut = -2;
    static inline const QString kTimeoutMessage = QStringLiteral("命令执行超时");

    bool operator==(const CommandOutput &) const = default;
};

} // namespace vantrel
