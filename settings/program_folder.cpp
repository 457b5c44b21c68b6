#include "settings/program_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

// The folder of the executable's own path, as its bytes; empty when the kernel does not tell.
QByteArray ExecutableFolderBytes() {
    QByteArray path(4096, Qt::Uninitialized);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || length >= path.size()) return {};
    path.truncate(length);
    return path.left(std::max<qsizetype>(path.lastIndexOf('/'), 1));
}

QString OpenProgramFolder() {
    const QByteArray folder = ExecutableFolderBytes();
    if (folder.isEmpty()) return QCoreApplication::applicationDirPath();
    const QString name = QFile::decodeName(folder);
    if (QFile::encodeName(name) == folder) return name;
    // Kept open for the life of the process: the path below names the folder only while it is.
    const int handle = open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return QCoreApplication::applicationDirPath();
    return QStringLiteral("/proc/self/fd/%1").arg(handle);
}

}  // namespace

QString ProgramFolder() {
    static const QString folder = OpenProgramFolder();
    return folder;
}

QString UserConfigFolder() {
    // A relative XDG_CONFIG_HOME is not valid and counts as unset.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(config) ? config : QDir::homePath() + QStringLiteral("/.config");
}

QString SettingsFilePath(const QString& programFolder) {
    const QString beside = QDir(programFolder).filePath(QStringLiteral("settings.ini"));
    const auto writable = [](const QString& path, int mode) {
        return ::access(QFile::encodeName(path).constData(), mode) == 0;
    };
    if (writable(beside, W_OK) || writable(programFolder, W_OK | X_OK)) return beside;
    return UserConfigFolder() + QStringLiteral("/varnex/settings.ini");
}
