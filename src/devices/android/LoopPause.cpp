#include "devices/android/LoopPause.h"

namespace vantrel {

LoopPause::LoopPause(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, this, &LoopPause::onTimeout);
}

LoopPause::~LoopPause()
{
    // A waiting loop is let go rather than leaked; it must check whether its owner still exists.
    cancel();
}

void LoopPause::Awaiter::await_suspend(std::coroutine_handle<> waiter)
{
    m_pause->cancel(); // never two waiters: an earlier one is let go first
    m_pause->m_waiter = waiter;
    m_pause->m_deadline = PreciseSleep::Clock::now() + m_duration;
    if (!PreciseSleep::armUntil(m_pause->m_timer, m_pause->m_deadline))
        m_pause->m_timer.start(0); // no length: still resumed from the event loop, not from here
}

void LoopPause::onTimeout()
{
    if (!PreciseSleep::armUntil(m_timer, m_deadline))
        resumeWaiter();
}

void LoopPause::cancel()
{
    m_timer.stop();
    resumeWaiter();
}

void LoopPause::resumeWaiter()
{
    std::coroutine_handle<> waiter = m_waiter;
    m_waiter = nullptr;
    if (waiter)
        waiter.resume();
}

} // namespace vantrel
