#pragma once

// A desktop for tests: it records every request, in order, and touches no display and no system bus. The
// windows it reports are those a test names; its capture is whatever a test hands it.

#include <QSet>
#include <QStringList>

#include "platform/desktop.h"

class FakeDesktop final : public Desktop {
public:
    // Every request as a word ("MonitorOff", "PowerOff", "Bell", "WindowExists WinLirc", ...), in order.
    QStringList calls;
    // The titles of the top-level windows that exist.
    QSet<QString> windows;
    // Made by MakeCapture; raises "No capture" when unset.
    std::function<std::unique_ptr<ScreenCapture>(const CaptureHooks&)> capture;

    std::unique_ptr<ScreenCapture> MakeCapture(const CaptureHooks& hooks) override;
    bool WindowExists(const QString& title) override;
    void MonitorOff() override { calls << QStringLiteral("MonitorOff"); }
    void MonitorWake() override { calls << QStringLiteral("MonitorWake"); }
    void PowerOff(const Guard&) override { calls << QStringLiteral("PowerOff"); }
    void Bell() override { calls << QStringLiteral("Bell"); }
    void MakeToolFrame(unsigned long) override { calls << QStringLiteral("MakeToolFrame"); }
};
