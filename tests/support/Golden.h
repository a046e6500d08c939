#pragma once

#include <QString>

namespace vantrel::test {

// Compares `actual` with the expected text kept in tests/data/golden/<name>. A mismatch is reported
// with the first differing line and fails. With VANTREL_UPDATE_GOLDEN=1 the file is rewritten from
// `actual` instead, to be reviewed in the diff like any other change.
bool compareWithGolden(const QString &name, const QString &actual);

} // namespace vantrel::test
