#pragma once

#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace vantrel {

// Runs `work` on the global thread pool and resumes the awaiting coroutine on its own thread with
// the value, or rethrows there what `work` threw (QtConcurrent alone would wrap it).
template<typename Work>
auto runInBackground(Work work) -> QCoro::Task<std::invoke_result_t<Work>>
{
    using Value = std::invoke_result_t<Work>;
    struct Outcome {
        std::optional<std::conditional_t<std::is_void_v<Value>, bool, Value>> value;
        std::exception_ptr failure;
    };
    // GCC 12 mishandles temporaries inside a co_await expression: the future is a named local.
    QFuture<Outcome> future = QtConcurrent::run([work = std::move(work)]() mutable {
        Outcome result;
        try {
            if constexpr (std::is_void_v<Value>) {
                work();
                result.value = true;
            } else {
                result.value = work();
            }
        } catch (...) {
            result.failure = std::current_exception();
        }
        return result;
    });
    Outcome outcome = co_await future;
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    if constexpr (!std::is_void_v<Value>)
        co_return std::move(*outcome.value);
}

} // namespace vantrel
