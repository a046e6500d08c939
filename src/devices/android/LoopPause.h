#pragma once

#include "engine/PreciseSleep.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <coroutine>

namespace vantrel {

// The pause of a background loop: `co_await pause.wait(duration)` resumes once the whole duration
// has passed (never earlier: see PreciseSleep), or at once (synchronously) when cancel() is called,
// so a stopped loop ends right away instead of sleeping on. One coroutine waits at a time.
class LoopPause : public QObject {
    Q_OBJECT
public:
    explicit LoopPause(QObject *parent = nullptr);
    ~LoopPause() override;

    class Awaiter {
    public:
        Awaiter(LoopPause *pause, std::chrono::milliseconds duration) : m_pause(pause), m_duration(duration) {}
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter);
        void await_resume() const noexcept {}

    private:
        LoopPause *m_pause;
        std::chrono::milliseconds m_duration;
    };

    Awaiter wait(std::chrono::milliseconds duration) { return Awaiter(this, duration); }
    // Ends the current pause now; nothing happens when no coroutine waits.
    void cancel();
    bool isWaiting() const { return bool(m_waiter); }

private:
    void resumeWaiter();
    void onTimeout();

    QTimer m_timer;
    PreciseSleep::Clock::time_point m_deadline;
    std::coroutine_handle<> m_waiter;
};

} // namespace vantrel
