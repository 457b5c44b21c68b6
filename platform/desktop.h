#pragma once

// The desktop as the program sees it: its screen capture, its top-level windows, the display's power, the
// computer's power-off and the bell. One is chosen at start (MakeDesktop) and owned by the application; tests
// hand in a fake one.

#include <QString>
#include <functional>
#include <memory>

#include "platform/screen_capture_factory.h"

class Desktop {
public:
    // Runs the handling of an asynchronous reply (the program's handler wrapper).
    using Guard = std::function<void(const std::function<void()>&)>;

    virtual ~Desktop() = default;

    // A capture of the screen for AmbiLight, the first of this desktop's adapters that starts; raises the
    // last adapter's error when none does.
    virtual std::unique_ptr<ScreenCapture> MakeCapture(const CaptureHooks& hooks) = 0;

    // Whether a top-level window titled exactly `title` exists, mapped or not; false without a display.
    virtual bool WindowExists(const QString& title) = 0;

    // Switches the display off, or wakes it as user input would. Neither reports its outcome.
    virtual void MonitorOff() = 0;
    virtual void MonitorWake() = 0;

    // Asks the system to power the computer off, letting it ask the user for the right; returns at once, and
    // `guard` runs the handling of each reply. Nothing happens where the system refuses.
    virtual void PowerOff(const Guard& guard) = 0;

    // Sounds the display's bell.
    virtual void Bell() = 0;

    // Makes `window`, one of this program's own top-level windows, a tool frame: a narrow title bar without
    // text and with only a close button.
    virtual void MakeToolFrame(unsigned long window) = 0;
};
