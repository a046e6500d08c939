#include "engine/PreciseSleep.h"

#include <QTimer>

#include <qcoro/qcorotimer.h>

namespace vantrel {

QCoro::Task<void> PreciseSleep::atLeast(std::chrono::milliseconds duration)
{
    const Clock::time_point end = Clock::now() + duration;
    QTimer timer;
    // QCoro's own timer awaiter: QTimer::timeout is a private signal, which a generic signal
    // awaiter would receive as a null reference.
    while (armUntil(timer, end))
        co_await qCoro(timer).waitForTimeout();
}

bool PreciseSleep::armUntil(QTimer &timer, Clock::time_point deadline)
{
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
        timer.stop();
        return false;
    }
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    return true;
}

} // namespace vantrel
