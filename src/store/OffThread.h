#pragma once

#include <QFuture>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>

class QThreadPool;

// File work that can take long (a large ~/.claude.json read, parsed and rewritten, or seconds
// of waiting for a lock) runs on a worker thread so the interface thread never stalls; the
// caller resumes on its own thread with the result or the exception.
namespace OffThread {

// The workers: owned by the application object, so quitting waits for a switch that is under
// way instead of leaving it half done.
QThreadPool *pool();

namespace detail {

template<typename T> struct Outcome
{
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
};

// QCoro::waitFor never returns from a task that throws: the exception is caught inside.
template<typename T> QCoro::Task<Outcome<T>> capture(QCoro::Task<T> task)
{
    Outcome<T> outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome.value = true;
        } else {
            outcome.value = co_await std::move(task);
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

} // namespace detail

// Runs the coroutine that `start()` makes on a worker, inside an event loop of the worker's own
// (the timers of its lock waits fire there). `start` must carry copies of what it needs: the
// caller's objects may die while it runs, and only the caller's thread may touch them.
template<typename Start> auto run(Start start) -> std::invoke_result_t<Start>
{
    using T = typename std::invoke_result_t<Start>::value_type;
    QFuture<detail::Outcome<T>> working = QtConcurrent::run(
        pool(), [start = std::move(start)]() mutable { return QCoro::waitFor(detail::capture<T>(start())); });
    detail::Outcome<T> outcome = co_await working;
    if (outcome.error)
        std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<T>)
        co_return std::move(*outcome.value);
}

} // namespace OffThread
