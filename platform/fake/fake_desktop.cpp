#include "platform/fake/fake_desktop.h"

#include <stdexcept>

std::unique_ptr<ScreenCapture> FakeDesktop::MakeCapture(const CaptureHooks& hooks) {
    calls << QStringLiteral("MakeCapture");
    if (!capture) throw std::runtime_error("No capture");
    return capture(hooks);
}

bool FakeDesktop::WindowExists(const QString& title) {
    calls << QStringLiteral("WindowExists ") + title;
    return windows.contains(title);
}
