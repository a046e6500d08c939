#pragma once

#include "devices/tools/CommandOutput.h"

#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

namespace vantrel {

// Runs a tool to completion under a time limit and hands back its status and both output streams
// as text. Never throws; see CommandOutput for the meaning of each field.
//
// The child runs on a background thread with ToolProcessEnvironment::value(); the calling coroutine
// is resumed on its own thread when the record is ready. A missing or non-executable program is
// status -1 at once. At the time limit the child is sent SIGTERM, the run returns status -2 with
// "命令执行超时" straight away, and whatever the child had written is discarded; the child is still
// reaped in the background. Any number of runs may be in flight at once.
//
// Callers that need a shell run ToolPaths::loginShell() with "-lc" and the command line.
class ProcessRunner {
public:
    // `executable`: absolute path; `arguments`: the argument vector, passed without any shell
    // interpretation; `timeoutSeconds`: the time limit in seconds.
    static QCoro::Task<CommandOutput> run(QString executable, QStringList arguments, double timeoutSeconds);

private:
    ProcessRunner() = delete;
};

} // namespace vantrel
