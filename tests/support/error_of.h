#pragma once

#include <QString>
#include <exception>
#include <functional>

// The error text that `action` raised, or "" when it raised none.
inline QString ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}
