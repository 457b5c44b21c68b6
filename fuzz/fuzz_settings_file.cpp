// settings.ini as anyone may have edited it: parsed, every key the program knows read, one key written, saved
// and parsed again. Writing may change the one line it writes and nothing else.

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <stdexcept>

#include "fuzz/fuzz_check.h"
#include "settings/ambilight_modes.h"
#include "settings/general_settings.h"
#include "settings/profile_file.h"
#include "settings/settings_keys.h"

namespace {

// Where the changed bytes of `before` and `after` lie: the end of their common prefix and the start of their
// common suffix in `before`.
std::pair<qsizetype, qsizetype> changedSpan(const QByteArray& before, const QByteArray& after) {
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return {prefix, before.size() - suffix};
}

// In memory where the system has such a folder: a save syncs the file to its disk.
const QString& savePath() {
    static const QString path =
        QDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("varnex-fuzz-%1.ini").arg(getpid()));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const quint8 choice = data[0];
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    ProfileFile file = ProfileFile::Parse(input);
    const QByteArray base = file.ToBytes();

    ReadGeneralSettings(file);
    ReadModes(file);
    const auto general = file.Entries(settings_keys::kGeneralSection);
    QStringList readBefore;
    for (const auto& [key, value] : general) {
        FUZZ_CHECK(value.size() <= ProfileFile::kMaxValueLength);
        file.ReadInteger(settings_keys::kGeneralSection, key, 0);
        readBefore << file.ReadString(settings_keys::kGeneralSection, key);
    }

    const QString value = QStringLiteral("значение %1").arg(choice);
    QString section = settings_keys::kGeneralSection, key = QStringLiteral("новый ключ");
    if (choice % 2 && !general.isEmpty()) key = general[choice / 2 % general.size()].first;
    try {
        file.WriteString(section, key, value);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(key.startsWith('[') || key.contains('='));
        return 0;
    }
    const QByteArray after = file.ToBytes();
    FUZZ_CHECK(ProfileFile::Parse(after).ReadString(section, key) == value);
    // The bytes that changed lie within one line of the old file (or are added after its last line).
    const auto [from, to] = changedSpan(base, after);
    FUZZ_CHECK(from >= to || !base.mid(from, to - from).contains('\n'));
    FUZZ_CHECK(from >= to || !base.mid(from, to - from).contains('\r'));
    for (qsizetype i = 0; i < general.size(); ++i)
        if (general[i].first.compare(key, Qt::CaseInsensitive) != 0)
            FUZZ_CHECK(file.ReadString(section, general[i].first) == readBefore[i]);

    file.Save(savePath());
    QFile saved(savePath());
    FUZZ_CHECK(saved.open(QIODevice::ReadOnly) && saved.readAll() == after);
    return 0;
}
