// Loading, reading and saving a settings.ini of 1 MB and of the largest size read (8 MB): what the settings
// window's start and save cost on a file grown far beyond its usual 1 KB. Plain timers; median of several
// runs.

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "settings/ambilight_modes.h"
#include "settings/general_settings.h"
#include "settings/profile_file.h"

namespace {

// A file of many sections of short entries, the general section last (the worst place for look-ups).
QByteArray MakeFile(qsizetype size) {
    QByteArray bytes;
    for (int section = 0; bytes.size() < size; ++section) {
        bytes += "[section " + QByteArray::number(section) + "]\r\n";
        for (int key = 0; key < 50; ++key) bytes += "key" + QByteArray::number(key) + "=some value here\r\n";
    }
    bytes += "[AmbiLight]\r\n1=0,300\r\n2=10,20\r\n";
    return bytes;
}

template <typename F>
double MedianMs(F&& step) {
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    for (const qsizetype size : {qsizetype(1) << 20, ProfileFile::kMaxFileSize - 4096}) {
        const QByteArray bytes = MakeFile(size);
        {
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) return 1;
        }
        const double read = MedianMs([&] {
            const ProfileFile file = ProfileFile::Load(path);
            const GeneralSettings settings = ReadGeneralSettings(file);
            const QStringList modes = ReadModes(file);
            if (modes.size() != 2 || settings.CheckBox(9) != true) std::abort();
        });
        const double save = MedianMs([&] {
            ProfileFile file = ProfileFile::Load(path);
            GeneralSettings settings;
            settings.port = "ttyUSB0";
            WriteGeneralSettings(file, settings);
            file.Save(path);
        });
        std::printf(
            "%8.2f MB, %7lld lines: load + read all keys and modes %8.2f ms; load + write all keys + save "
            "%8.2f ms\n",
            bytes.size() / 1048576.0, static_cast<long long>(bytes.count('\n')), read, save);
    }
    return 0;
}
