#pragma once

#include <QString>

#include <functional>

namespace vantrel {

// Receives the progress texts of an import, one step at a time (may be empty).
using ProgressCallback = std::function<void(const QString &)>;

} // namespace vantrel
