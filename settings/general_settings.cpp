#include "settings/general_settings.h"

#include "settings/profile_file.h"
#include "settings/settings_keys.h"

using namespace settings_keys;

GeneralSettings ReadGeneralSettings(const ProfileFile& file) {
    GeneralSettings settings;
    settings.port = file.ReadString(kGeneralSection, kPortKey);
    for (int number = 1; number <= 9; ++number) {
        settings.CheckBox(number) =
            file.ReadFlag(kGeneralSection, kCheckBoxCaptions[number - 1], CheckBoxDefault(number));
    }
    for (int number = 0; number <= 9; ++number) {
        settings.edits[number] = file.ReadString(kGeneralSection, kLEditLabels[number]);
    }
    return settings;
}

void WriteGeneralSettings(ProfileFile& file, const GeneralSettings& settings) {
    file.WriteString(kGeneralSection, kPortKey, settings.port);
    for (int number = 1; number <= 9; ++number) {
        file.WriteString(kGeneralSection, kCheckBoxCaptions[number - 1],
                         settings.CheckBox(number) ? u"1" : u"0");
    }
    for (int number = 0; number <= 9; ++number) {
        file.WriteString(kGeneralSection, kLEditLabels[number], settings.edits[number]);
    }
}
