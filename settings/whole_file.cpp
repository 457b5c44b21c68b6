#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>

namespace {

bool writeAll(int handle, QByteArrayView bytes, off_t offset) {
    while (!bytes.isEmpty()) {
        const ssize_t written = ::pwrite(handle, bytes.data(), size_t(bytes.size()), offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.sliced(written);
        offset += written;
    }
    return true;
}

bool readAll(int handle, QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t got = ::pread(handle, bytes.data() + at, size_t(bytes.size() - at), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
    }
    return true;
}

// On disk; a file system that cannot sync this kind of file has nothing to report.
bool synced(int handle) {
    return ::fsync(handle) == 0 || errno == EINVAL;
}

bool writeBeside(const QString& path, QByteArrayView bytes, bool& opened) {
    QSaveFile out(path);
    opened = out.open(QIODevice::WriteOnly);
    // The writes are buffered, and commit() does not report a failed last write of the buffer: it would
    // rename a short file over the old one. So the buffer is flushed and the file synced here.
    return opened && out.write(bytes.data(), bytes.size()) == bytes.size() && out.flush() &&
           synced(out.handle()) && out.commit();
}

// Puts the old content back; it takes no new space, since the file held it a moment ago.
void putBack(int handle, const QByteArray& old) {
    if (writeAll(handle, old, 0) && ::ftruncate(handle, old.size()) == 0) synced(handle);
}

bool rewriteInPlace(int handle, QByteArrayView bytes) {
    struct stat info {};
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    QByteArray old(qsizetype(info.st_size), Qt::Uninitialized);
    if (!readAll(handle, old)) return false;
    // The part beyond the old end first: a full disk refuses only that, while the old bytes are untouched.
    const bool grown = bytes.size() <= old.size() ||
                       (writeAll(handle, bytes.sliced(old.size()), old.size()) && synced(handle));
    // Then the old bytes overwritten, which takes no new space, and a longer old file cut short.
    if (grown && writeAll(handle, bytes.first(std::min(bytes.size(), old.size())), 0) &&
        ::ftruncate(handle, bytes.size()) == 0 && synced(handle))
        return true;
    putBack(handle, old);
    return false;
}

}  // namespace

bool WriteWholeFile(const QString& path, QByteArrayView bytes) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && !QDir().mkpath(folder)) return false;
    bool opened = false;
    if (writeBeside(path, bytes, opened)) return true;
    if (opened) return false;
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (handle < 0) return false;
    const bool written = rewriteInPlace(handle, bytes);
    ::close(handle);
    return written;
}
