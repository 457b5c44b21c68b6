#include "settings/ambilight_modes.h"

#include <QHash>

#include "settings/profile_file.h"
#include "settings/settings_keys.h"

using settings_keys::kModesSection;

namespace {

// "1", "2", ... as the modes are numbered: decimal without leading zeros.
bool IsModeNumber(QStringView key) {
    if (key.isEmpty() || key.front() == u'0') return false;
    for (QChar c : key) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

}  // namespace

QStringList ReadModes(const ProfileFile& file) {
    // The first of duplicate keys counts.
    QHash<QString, QString> byKey;
    for (const auto& [key, value] : file.Entries(kModesSection)) {
        if (!byKey.contains(key)) byKey.insert(key, value);
    }
    QStringList modes;
    for (int number = 1;; ++number) {
        const auto found = byKey.constFind(QString::number(number));
        if (found == byKey.cend()) return modes;
        modes.append(*found);
    }
}

void WriteModes(ProfileFile& file, const QStringList& modes) {
    file.RemoveKeys(kModesSection, IsModeNumber);
    QList<std::pair<QString, QString>> entries;
    for (qsizetype i = 0; i < modes.size(); ++i) entries.emplaceBack(QString::number(i + 1), modes[i]);
    file.AppendEntries(kModesSection, entries);
}
