#include "design/PreciseSleep.h"

#include <QTimer>

#include <qcoro/qcorosignal.h>

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
        co_await qCoro(&timer, &QTimer::timeout);
    }
}

} // namespace vantrel
