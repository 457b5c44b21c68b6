#pragma once

// The remote's view of the X11 desktop: its own connection to the display, and whether a top-level window
// with a given title exists (the video player "Light Alloy", the server "WinLirc").

#include <QString>

struct _XDisplay;

// The remote's connection to the display named by DISPLAY, opened on first use and kept; nullptr when there
// is no X display. Only the UI thread uses it.
_XDisplay* RemoteDisplay();

// Whether a top-level window titled exactly `title` exists on `display`, mapped or not. Under a window
// manager the top-level windows are those of its client list (_NET_CLIENT_LIST), since a reparenting manager
// puts them inside frames of its own; without one they are the root window's children. A window's title is
// its _NET_WM_NAME, or its WM_NAME where it has none.
bool TopLevelWindowExists(_XDisplay* display, const QString& title);
// The same on the remote's own display; false without one.
bool TopLevelWindowExists(const QString& title);

// Sounds the bell of the remote's display; nothing without one.
void RingBell();
