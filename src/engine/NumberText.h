#pragma once

#include <QString>

namespace vantrel {

// Numbers as the user reads them in issue texts and reports.
class NumberText {
public:
    // A fixed count of decimals, rounded as C's printf rounds the exact binary value (ties to
    // even: 2.25 -> "2.2"), always with a full stop. QString::asprintf would round ties away.
    static QString fixed(double value, int decimals);
};

} // namespace vantrel
