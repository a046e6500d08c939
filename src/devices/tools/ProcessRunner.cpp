#include "devices/tools/ProcessRunner.h"

#include "devices/tools/BackgroundProcess.h"
#include "devices/tools/StrictUtf8.h"

#include <qcoro/qcorofuture.h>


namespace vantrel {

QCoro::Task<CommandOutput> ProcessRunner::run(QString executable, QStringList arguments, double timeoutSeconds)
{
    const BackgroundProcess::Result result =
        co_await BackgroundProcess::start(executable, arguments, BackgroundProcess::limitFromSeconds(timeoutSeconds));

    CommandOutput output;
    output.status = result.status;
    switch (result.outcome) {
    case BackgroundProcess::Result::Outcome::failedToStart:
        output.status = CommandOutput::kNotStarted;
        output.standardError = result.startError;
        break;
    case BackgroundProcess::Result::Outcome::timedOut:
        output.status = CommandOutput::kTimedOut;
        output.standardError = CommandOutput::kTimeoutMessage;
        break;
    case BackgroundProcess::Result::Outcome::finished:
        output.standardOutput = strictUtf8OrEmpty(result.standardOutput);
        output.standardError = strictUtf8OrEmpty(result.standardError);
        break;
    }
    co_return output;
}

} // namespace vantrel
