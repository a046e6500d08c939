#pragma once

#include <qcoro/qcorotask.h>

#include <chrono>

namespace vantrel {

// Pauses whose length a rule states. Qt's default timers may fire up to 5 % early; this one uses a
// precise timer and checks the monotonic clock after every wake, so it never ends early.
class PreciseSleep {
public:
    static QCoro::Task<void> atLeast(std::chrono::milliseconds duration);
};

} // namespace vantrel
