#include "common/handlers.h"

#include <exception>

#include "common/messages.h"

void RunHandler(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        messages::ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        messages::ShowError(QStringLiteral("Unknown error"));
    }
}
