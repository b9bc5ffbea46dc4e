#pragma once

#include <QEventLoop>

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>

// Runs a task to completion in a nested event loop and hands back its result or rethrows its
// exception. QCoro::waitFor never returns when the task throws (its loop is only quit on a
// normal return), which would turn any failure of a command into a hang.
namespace Quorlane {

template<typename T> T waitFor(QCoro::Task<T> task)
{
    QEventLoop loop;
    bool running = true;
    std::exception_ptr error;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> result{};
    auto runner = [&]() -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await task;
            else
                result.emplace(co_await task);
        } catch (...) {
            error = std::current_exception();
        }
        running = false;
        loop.quit();
    };
    auto started = runner();
    if (running)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace Quorlane
