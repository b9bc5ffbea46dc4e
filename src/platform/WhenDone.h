#pragma once

#include <QObject>
#include <QPointer>

#include <QCoro/QCoroTask>

#include <type_traits>

// Lets `task` run to its end with nobody awaiting it, then calls `done` (with the task's result,
// if it has one) unless `context` has died meanwhile. The task is moved into a coroutine frame
// of its own: QCoro::connect awaits a temporary Task through a pointer that dangles once the
// caller's statement ends, which loses the continuation when the task finishes late.
template<typename T, typename Done> void whenDone(QCoro::Task<T> task, QObject *context, Done done)
{
    [](QCoro::Task<T> task, QPointer<QObject> context, Done done) -> QCoro::Task<void> {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            if (context)
                done();
        } else {
            T value = co_await std::move(task);
            if (context)
                done(std::move(value));
        }
    }(std::move(task), QPointer<QObject>(context), std::move(done));
}
