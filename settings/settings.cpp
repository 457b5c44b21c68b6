#include "settings/settings.h"

#include "settings/ambilight_modes.h"
#include "settings/profile_file.h"
#include "settings/screen_cast_token.h"

Settings::Settings(const QString& path, QObject* parent) : QObject(parent), path_(path) {
    const ProfileFile file = ProfileFile::Load(path_);
    general_ = ReadGeneralSettings(file);
    modes_ = ReadModes(file);
    screenCastToken_ = ReadRestoreToken(file);
    strip_ = ReadStripSettings(file);
}

void Settings::SaveGeneral(const GeneralSettings& settings) {
    if (settings != general_) {
        general_ = settings;
        emit GeneralChanged(general_);
    }
    save([&settings](ProfileFile& file) { WriteGeneralSettings(file, settings); });
}

void Settings::SaveModes(const QStringList& modes) {
    if (modes != modes_) {
        modes_ = modes;
        emit ModesChanged(modes_);
    }
    save([&modes](ProfileFile& file) { WriteModes(file, modes); });
}

void Settings::SaveScreenCastToken(const QString& token) {
    const QString kept = KeptRestoreToken(token);
    if (kept != screenCastToken_) {
        screenCastToken_ = kept;
        emit ScreenCastTokenChanged(screenCastToken_);
    }
    save([&kept](ProfileFile& file) { WriteRestoreToken(file, kept); });
}

void Settings::SaveStrip(const StripSettings& settings) {
    if (settings != strip_) {
        strip_ = settings;
        emit StripChanged(strip_);
    }
    save([&settings](ProfileFile& file) { WriteStripSettings(file, settings); });
}

void Settings::save(const std::function<void(ProfileFile&)>& write) const {
    ProfileFile file = ProfileFile::Load(path_);
    write(file);
    file.Save(path_);
}
