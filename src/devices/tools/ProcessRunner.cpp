#include "devices/tools/ProcessRunner.h"

#include "devices/tools/BackgroundProcess.h"
#include "devices/tools/StrictUtf8.h"

#include <qcoro/qcorofuture.h>

#include <cmath>

namespace vantrel {

QCoro::Task<CommandOutput> ProcessRunner::run(QString executable, QStringList arguments, double timeoutSeconds)
{
    const double milliseconds = std::isfinite(timeoutSeconds) ? std::max(0.0, timeoutSeconds * 1000.0) : 0.0;
    const auto limit = std::chrono::milliseconds(qint64(std::ceil(std::min(milliseconds, 1e15))));
    const BackgroundProcess::Result result = co_await BackgroundProcess::start(executable, arguments, limit);

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
