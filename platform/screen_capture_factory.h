#pragma once

// The one place that knows every screen capture adapter of the build: AmbiLight asks it for its capture
// when it starts.

#include <memory>

#include "light/screen_capture.h"

// The capture that serves this desktop, tried in CaptureOrder's order; raises the last adapter's error when
// none starts.
std::unique_ptr<ScreenCapture> MakeScreenCapture();
