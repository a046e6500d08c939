#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <coroutine>

namespace vantrel {

// The pause of a background loop: `co_await pause.wait(duration)` resumes after the duration, or at
// once (synchronously) when cancel() is called, so a stopped loop ends right away instead of
// sleeping on. One coroutine waits at a time.
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

    QTimer m_timer;
    std::coroutine_handle<> m_waiter;
};

} // namespace vantrel
