#include "devices/tools/BinaryProcessRunner.h"

#include "devices/tools/BackgroundProcess.h"
#include "devices/tools/StrictUtf8.h"

#include <qcoro/qcorofuture.h>

namespace vantrel {

QCoro::Task<BinaryCommandOutput> BinaryProcessRunner::run(QString executable, QStringList arguments)
{
    const BackgroundProcess::Result result = co_await BackgroundProcess::start(executable, arguments, std::nullopt);

    BinaryCommandOutput output;
    if (result.outcome == BackgroundProcess::Result::Outcome::failedToStart) {
        output.status = BinaryCommandOutput::kNotStarted;
        output.standardError = result.startError;
        co_return output;
    }
    output.status = result.status;
    output.data = result.standardOutput;
    output.standardError = strictUtf8OrEmpty(result.standardError);
    co_return output;
}

} // namespace vantrel
