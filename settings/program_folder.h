#pragma once

// Where the program's files are kept: sound.wav in the folder that holds the running executable, settings.ini
// there too when the user may write it there (a portable folder), else in the user's configuration folder.

#include <QString>

// The executable's folder, as a path that opens it. Qt holds file names as UTF-8 text, so a folder whose name
// is not valid UTF-8 cannot be named by its own path (QCoreApplication::applicationDirPath() then names one
// that does not exist); such a folder is opened once, by its bytes, and reached through that handle for the
// rest of the run ("/proc/self/fd/N"), which also keeps saving to it.
QString ProgramFolder();

// The user's configuration folder: $XDG_CONFIG_HOME, or ~/.config when that is unset or not an absolute path.
QString UserConfigFolder();

// settings.ini of a program in `programFolder`. It is the one beside the program when the user may write it
// there: the file itself can be written, or the folder can (a portable folder, where a new file is made on
// the first save). Otherwise (an installed program, whose folder belongs to the system, or a settings.ini
// there that only another user may change) it is UserConfigFolder()/varnex/settings.ini, whose folder the
// first save makes.
QString SettingsFilePath(const QString& programFolder);
