#include "devices/tools/LoginShellLookup.h"

#include "devices/tools/ProcessRunner.h"
#include "devices/tools/ToolPaths.h"

namespace vantrel {

QCoro::Task<std::optional<QString>> LoginShellLookup::find(QString programName)
{
    const QStringList arguments{QStringLiteral("-lc"), QStringLiteral("command -v ") + programName};
    const CommandOutput output = co_await ProcessRunner::run(ToolPaths::loginShell(), arguments, kTimeoutSeconds);
    const QString path = output.standardOutput.trimmed();
    if (output.status != 0 || path.isEmpty())
        co_return std::nullopt;
    co_return path;
}

} // namespace vantrel
