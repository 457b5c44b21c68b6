#include "settings/screen_cast_token.h"

#include "settings/profile_file.h"
#include "settings/settings_keys.h"

using settings_keys::kOwnSection;
using settings_keys::kScreenCastTokenKey;

QString ReadRestoreToken(const ProfileFile& file) {
    const QString token = file.ReadString(kOwnSection, kScreenCastTokenKey);
    return token.size() < ProfileFile::kMaxValueLength ? token : QString();
}

QString KeptRestoreToken(const QString& token) {
    ProfileFile alone;
    alone.WriteString(kOwnSection, kScreenCastTokenKey, token);
    return ReadRestoreToken(ProfileFile::Parse(alone.ToBytes())) == token ? token : QString();
}

void WriteRestoreToken(ProfileFile& file, const QString& token) {
    file.WriteString(kOwnSection, kScreenCastTokenKey, KeptRestoreToken(token));
}
