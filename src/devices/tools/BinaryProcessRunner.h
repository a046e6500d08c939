#pragma once

#include "devices/tools/BinaryCommandOutput.h"

#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

namespace vantrel {

// Runs a tool to completion without a time limit and hands back its standard output byte for byte
// (a PNG screenshot, a file read back from a phone). Never throws; see BinaryCommandOutput.
// Same child set-up as ProcessRunner: background thread, tool environment, both pipes drained
// while the child runs, a missing program is status -1 at once.
class BinaryProcessRunner {
public:
    static QCoro::Task<BinaryCommandOutput> run(QString executable, QStringList arguments);

private:
    BinaryProcessRunner() = delete;
};

} // namespace vantrel
