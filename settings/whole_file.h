#pragma once

// Saving a file so that it is either replaced whole or left byte for byte as it was, also on a full disk.

#include <QByteArrayView>
#include <QString>

// Replaces the file at `path` with `bytes`; false when it could not, and the file is then as it was. A
// missing folder of the file is made first (the user's configuration folder before the first save).
//
// The new content goes into a new file beside it, which is flushed, synced to disk and only then renamed over
// the old one. Where the folder takes no new file but the file itself is writable (a writable settings file
// in a read-only folder), the file is rewritten in place, in an order that never leaves it short: first the
// part beyond the old end is appended and synced (a full disk refuses it and the file is cut back to its old
// size), then the old bytes are overwritten, which takes no new space, and a longer old file is cut to the
// new size. Should the overwrite fail all the same (an I/O error), the old bytes are written back.
bool WriteWholeFile(const QString& path, QByteArrayView bytes);
