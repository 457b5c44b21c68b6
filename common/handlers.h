#pragma once

// Every event handler runs through RunHandler: an error it raises ends that handler only, is shown in the
// error box, and the program goes on. No exception ever crosses Qt's own code.

#include <QObject>
#include <concepts>
#include <functional>
#include <utility>

void RunHandler(const std::function<void()>& handler) noexcept;

namespace handlers_detail {

template <typename Fn>
struct Guarded {
    Fn fn;
    template <typename... Args>
    requires std::invocable<Fn&, Args...>
    void operator()(Args&&... args) {
        RunHandler([&] { std::invoke(fn, std::forward<Args>(args)...); });
    }
};

}  // namespace handlers_detail

// Connects `signal` of `sender` to `fn` (any callable taking the signal's arguments or fewer), guarded.
template <typename Sender, typename Signal, typename Fn>
QMetaObject::Connection On(const Sender* sender, Signal signal, const QObject* context, Fn fn) {
    return QObject::connect(sender, signal, context, handlers_detail::Guarded<Fn>{std::move(fn)});
}

// Connects `signal` of `sender` to a handler member of `receiver` that takes no arguments, guarded.
template <typename Sender, typename Signal, typename Receiver>
QMetaObject::Connection On(const Sender* sender, Signal signal, Receiver* receiver,
                           void (Receiver::*handler)()) {
    return On(sender, signal, receiver, [receiver, handler] { (receiver->*handler)(); });
}
