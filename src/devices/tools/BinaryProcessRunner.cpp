#include "devices/tools/BinaryProcessRunner.h"

#include "devices/tools/BackgroundProcess.h"
#include "devices/tools/CommandOutput.h"
#include "devices/tools/StrictUtf8.h"

#include <qcoro/qcorofuture.h>

namespace vantrel {

QCoro::Task<BinaryCommandOutput> BinaryProcessRunner::run(QString executable, QStringList arguments, double timeoutSeconds)
{
    const BackgroundProcess::Result result =
        co_await BackgroundProcess::start(executable, arguments, BackgroundProcess::limitFromSeconds(timeoutSeconds));

    BinaryCommandOutput output;
    if (result.outcome == BackgroundProcess::Result::Outcome::failedToStart) {
        output.status = BinaryCommandOutput::kNotStarted;
        output.standardError = result.startError;
        co_return output;
    }
    if (result.outcome == BackgroundProcess::Result::Outcome::timedOut) {
        output.status = CommandOutput::kTimedOut;
        output.standardError = CommandOutput::kTimeoutMessage;
        co_return output;
    }
    output.status = result.status;
    output.data = result.standardOutput;
    output.standardError = strictUtf8OrEmpty(result.standardError);
    co_return output;
}

} // namespace vantrel
