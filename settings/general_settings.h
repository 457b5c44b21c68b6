#pragma once

// The general section of settings.ini as the settings window holds it: the port, the nine check boxes and the
// ten edit boxes.

#include <QString>
#include <array>

class ProfileFile;

struct GeneralSettings {
    QString port;                      // empty: none chosen
    std::array<bool, 9> checkBoxes{};  // CheckBox1 to CheckBox9
    std::array<QString, 10> edits;     // LEdit0 to LEdit9

    bool& CheckBox(int number) { return checkBoxes.at(number - 1); }
    bool CheckBox(int number) const { return checkBoxes.at(number - 1); }

    bool operator==(const GeneralSettings&) const = default;
};

// Each setting from its key, or its default where the key is absent or its value unusable.
GeneralSettings ReadGeneralSettings(const ProfileFile& file);
// Writes all 20 keys in the order the window lists them: the port, CheckBox1 to CheckBox9 ("1" or "0"),
// LEdit0 to LEdit9.
void WriteGeneralSettings(ProfileFile& file, const GeneralSettings& settings);
