#pragma once

// The one place that knows every screen capture adapter of the build: AmbiLight asks it for its capture
// when it starts.

#include <QString>
#include <functional>
#include <memory>

#include "light/screen_capture.h"

// What an adapter that talks to the desktop needs from the program.
struct CaptureHooks {
    QString restoreToken;                                  // the desktop's token for the consent given last
    std::function<void(const QString&)> keepRestoreToken;  // a new token, to pass back next time
    std::function<void(const QString&)> failed;            // the capture ended for good: the message to show
};

// The capture that serves this desktop, tried in CaptureOrder's order; raises the last adapter's error when
// none starts.
std::unique_ptr<ScreenCapture> MakeScreenCapture(const CaptureHooks& hooks = {});
