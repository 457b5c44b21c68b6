#include "settings/ambilight_modes.h"

#include <QHash>

#include "settings/profile_file.h"
#include "settings/settings_keys.h"

using settings_keys::kModesSection;

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
    file.RemoveSection(kModesSection);
    QList<std::pair<QString, QString>> entries;
    for (qsizetype i = 0; i < modes.size(); ++i) entries.emplaceBack(QString::number(i + 1), modes[i]);
    file.AppendEntries(kModesSection, entries);
}
