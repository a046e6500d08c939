#include "design/PreciseSleep.h"

#include <QTimer>

#include <qcoro/qcorotimer.h>

namespace vantrel {

QCoro::Task<void> PreciseSleep::atLeast(std::chrono::milliseconds duration)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + duration;
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(std::chrono::ceil<std::chrono::milliseconds>(end - now));
        // QCoro's own timer awaiter: QTimer::timeout is a private signal, which a generic signal
        // awaiter would receive as a null reference.
        co_await qCoro(timer).waitForTimeout();
    }
}

} // namespace vantrel
