#pragma once

#include <QEventLoop>

#include <qcoro/qcorotask.h>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace vantrel::cli {

// Runs a coroutine to its end in a local event loop and hands back its result, rethrowing what
// it threw. The command line has nothing else to do meanwhile.
template<typename T>
T runToCompletion(QCoro::Task<T> task)
{
    struct State {
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
        std::exception_ptr failure;
        QEventLoop *loop = nullptr;
    };
    auto state = std::make_shared<State>();
    auto drive = [](QCoro::Task<T> inner, std::shared_ptr<State> shared) -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(inner);
                shared->value = true;
            } else {
                shared->value = co_await std::move(inner);
            }
        } catch (...) {
            shared->failure = std::current_exception();
        }
        if (shared->loop)
            shared->loop->quit();
    };
    QEventLoop loop;
    state->loop = &loop;
    drive(std::move(task), state);
    if (!state->value && !state->failure)
        loop.exec();
    state->loop = nullptr;
    if (state->failure)
        std::rethrow_exception(state->failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

} // namespace vantrel::cli
