#pragma once

#include "engine/Models.h"

namespace vantrel::cli {

// The design given to `compare --design`: an image file (a visual-only local design), a
// design.json written by `import`, or a link imported on the spot.
ImportedDesign loadDesignArgument(const QString &argument);

// The screenshot given to `compare --device`, as an offline capture.
CapturedDeviceState loadDeviceArgument(const QString &path);

// A settings file in the records' JSON form; throws CliError naming the file when it does not decode.
ComparisonSettings loadSettingsFile(const QString &path);

} // namespace vantrel::cli
