#pragma once

#include "devices/tools/BinaryCommandOutput.h"

#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

namespace vantrel {

// Runs a tool to completion under a time limit and hands back its standard output byte for byte
// (a PNG screenshot, a file read back from a phone). Never throws; see BinaryCommandOutput.
// Same child set-up and limits as ProcessRunner: background thread, tool environment, both pipes
// drained while the child runs, a missing program is status -1 at once, the time limit status -2.
class BinaryProcessRunner {
public:
    static QCoro::Task<BinaryCommandOutput> run(QString executable, QStringList arguments, double timeoutSeconds);

private:
    BinaryProcessRunner() = delete;
};

} // namespace vantrel
