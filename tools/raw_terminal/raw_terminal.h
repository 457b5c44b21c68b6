#pragma once

// A pseudo-terminal pair standing in for a serial line: the slave side is what a program opens by its path as
// its port, the master side is the far end of the line. Both are in raw mode (bytes pass unchanged, nothing
// is echoed) and the master side does not block.

#include <QString>

struct RawTerminal {
    int master = -1;
    int slave = -1;  // held open by the owner, so that the line stays up while the program reopens its side
    QString slavePath;  // e.g. /dev/pts/7
};

// Opens a new pair; throws std::runtime_error with the system's reason when none can be had. The caller
// closes both descriptors.
RawTerminal OpenRawTerminal();
