#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

// Runs a task to its end in a nested event loop and returns its value or rethrows its exception.
// (QCoro::waitFor never returns when the task throws.)
template<typename T>
T runTask(QCoro::Task<T> task)
{
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    auto body = [&](QCoro::Task<T> inner) -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await inner;
            } else {
                value = co_await inner;
            }
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoro::waitFor(body(std::move(task)));
    if (error) {
        std::rethrow_exception(error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*value);
    }
}
