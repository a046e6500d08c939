#pragma once

#include <qcoro/qcorotask.h>

#include <chrono>

class QTimer;

namespace vantrel {

// Pauses whose length a rule states. Qt's default timers may fire up to 5 % early; these use a
// precise timer and check the monotonic clock after every wake, so they never end early.
class PreciseSleep {
public:
    using Clock = std::chrono::steady_clock;

    static QCoro::Task<void> atLeast(std::chrono::milliseconds duration);

    // For pauses kept in a QTimer (cancellable ones): starts `timer` as a precise single shot for
    // what is left until `deadline`, rounded up to whole milliseconds. Returns false, leaving the
    // timer stopped, once the deadline has passed; call it again from the timer's timeout until then.
    static bool armUntil(QTimer &timer, Clock::time_point deadline);
};

} // namespace vantrel
