#pragma once

// The D-Bus session bus, used only where the session has one. Asked for a session bus that is not there,
// libdbus and GLib launch one of their own ("autolaunch") that outlives the program, one more at every start.
// The program never does that: with no session bus it runs without the features that need one (the tray's
// watcher check, the media controls).

namespace session_bus {

// Call before QApplication exists, so that neither Qt nor any library in the process launches a bus. Where
// DBUS_SESSION_BUS_ADDRESS is empty it is set to the user's bus ($XDG_RUNTIME_DIR/bus) when that is there,
// and otherwise to an address that connects nowhere; programs started from here inherit it.
void KeepFromLaunching();

// Whether the session bus is there to use: an address is given and it connects. Asked once; the first
// answer holds for the process. When there is none, one line on stderr says so.
bool Available();

}  // namespace session_bus
