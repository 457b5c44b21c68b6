#pragma once

// Starting the program at logon: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/<name>.desktop (by
// default ~/.config/autostart), that runs the executable.

#include <QString>

// The folder of the autostart entries.
QString AutostartFolder();

// The Exec value that runs the program at path, quoted and escaped as desktop entries require.
QString DesktopExecValue(const QString& path);

// With Register, writes the entry valueName that runs path (replacing one that exists); without, deletes it
// (silently when there is none). Acts at once. Throws std::runtime_error "Failed to set data for
// '<valueName>'" when the entry cannot be written, and "Failed to delete data for '<valueName>'" when an
// existing one cannot be deleted.
void SetAutorun(bool Register, const QString& valueName, const QString& path);
