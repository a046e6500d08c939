#pragma once

#include "engine/AppError.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace vantrel::test {

// The outcome of running a coroutine from a test: its value, or the message of what it threw, or
// `timedOut` when the failsafe ran out first (the coroutine is then left suspended).
template<typename T>
struct TaskOutcome {
    std::optional<T> value;            // set when the task returned normally
    std::optional<QString> error;      // what() of the exception it threw
    std::exception_ptr exception;      // the exception itself, to inspect its type
    bool timedOut = false;

    bool succeeded() const { return value.has_value(); }
};

struct VoidResult {};

namespace detail {

template<typename T>
using ValueOf = std::conditional_t<std::is_void_v<T>, VoidResult, T>;

template<typename T>
struct TaskState {
    TaskOutcome<ValueOf<T>> outcome;
    bool done = false;
    QEventLoop *loop = nullptr;
};

template<typename T>
QCoro::Task<void> driveTask(QCoro::Task<T> task, std::shared_ptr<TaskState<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            state->outcome.value = VoidResult{};
        } else {
            state->outcome.value = co_await std::move(task);
        }
    } catch (const std::exception &error) {
        state->outcome.error = QString::fromUtf8(error.what());
        state->outcome.exception = std::current_exception();
    } catch (...) {
        state->outcome.error = QStringLiteral("unknown exception");
        state->outcome.exception = std::current_exception();
    }
    state->done = true;
    if (state->loop)
        state->loop->quit();
}

} // namespace detail

// Runs `task` in a local event loop until it ends or `failsafe` passes. Never throws and never
// hangs, unlike QCoro::waitFor. A task of no value gives a VoidResult.
template<typename T>
TaskOutcome<detail::ValueOf<T>> awaitTask(QCoro::Task<T> task, std::chrono::milliseconds failsafe = std::chrono::seconds(60))
{
    auto state = std::make_shared<detail::TaskState<T>>();
    QEventLoop loop;
    state->loop = &loop;
    detail::driveTask<T>(std::move(task), state);
    if (!state->done) {
        QTimer::singleShot(failsafe, &loop, [&loop] { loop.quit(); });
        loop.exec();
    }
    state->loop = nullptr;
    if (!state->done)
        state->outcome.timedOut = true;
    return state->outcome;
}

// The code of the AppError an outcome ended with (of `domain`, when one is given); -1 for anything
// else, and when there is no exception (the failsafe ran out).
inline int appErrorCode(const std::exception_ptr &exception, const QString &domain = {})
{
    try {
        if (exception)
            std::rethrow_exception(exception);
    } catch (const AppError &error) {
        return domain.isEmpty() || error.domain == domain ? error.code : -1;
    } catch (...) {
    }
    return -1;
}

// Keeps the event loop running for `duration` (lets background work and timers proceed).
inline void spinEventLoop(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, [&loop] { loop.quit(); });
    loop.exec();
}

// Spins the event loop until `condition` holds; false when `limit` passes first.
inline bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limit.count())
            return false;
        spinEventLoop(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace vantrel::test
