#pragma once

// Where settings.ini and sound.wav are kept: the folder that holds the running executable.

#include <QString>

// The executable's folder, as a path that opens it. Qt holds file names as UTF-8 text, so a folder whose name
// is not valid UTF-8 cannot be named by its own path (QCoreApplication::applicationDirPath() then names one
// that does not exist); such a folder is opened once, by its bytes, and reached through that handle for the
// rest of the run ("/proc/self/fd/N"), which also keeps saving to it.
QString ProgramFolder();
