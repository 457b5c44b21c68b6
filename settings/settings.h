#pragma once

// The program's settings as settings.ini keeps them: the general section (what the settings window edits),
// the user-made AmbiLight modes, the desktop's screen-cast restore token and the LED strip.
//
// The file is read once, when the settings are made; from then on the values in memory are the settings of
// the run. Every save goes through one place: it loads the file as it stands on disk at that moment, writes
// its own keys into it and replaces the file whole (or leaves it byte for byte as it was), so that whatever
// else the file holds, known to the program or not and changed since the start or not, keeps its bytes.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "settings/general_settings.h"
#include "settings/strip_settings.h"

class ProfileFile;

class Settings final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    // Reads the file at `path`. A missing or unreadable file gives the defaults, without a word.
    explicit Settings(const QString& path, QObject* parent = nullptr);

    // The settings.ini this run reads and saves.
    QString Path() const { return path_; }
    const GeneralSettings& General() const { return general_; }
    const QStringList& Modes() const { return modes_; }
    // The restore token kept, or empty: only a token that settings.ini reads back as it was handed out.
    const QString& ScreenCastToken() const { return screenCastToken_; }
    // The LED strip's section.
    const StripSettings& Strip() const { return strip_; }

    // Each save takes its values for the run at once, announcing them when they changed, and then writes
    // their keys into settings.ini. It throws std::runtime_error "Unable to write to <full path>" when the
    // file cannot be written (or could not be read whole); the file is then as it was, and the values stay
    // the run's all the same.
    //
    // The general section: the port, CheckBox1 to CheckBox9, LEdit0 to LEdit9, each key rewritten in place.
    void SaveGeneral(const GeneralSettings& settings);
    // The modes section, written anew and numbered from 1.
    void SaveModes(const QStringList& modes);
    // The token, or empty to drop it. A token the file would not read back as it is (see WriteRestoreToken)
    // is kept as none.
    void SaveScreenCastToken(const QString& token);
    // The strip's section: every key of it, each rewritten in place.
    void SaveStrip(const StripSettings& settings);

signals:
    void GeneralChanged(const GeneralSettings& settings);
    void ModesChanged(const QStringList& modes);
    void ScreenCastTokenChanged(const QString& token);
    void StripChanged(const StripSettings& settings);

private:
    // The one place that writes settings.ini.
    void save(const std::function<void(ProfileFile&)>& write) const;

    QString path_;
    GeneralSettings general_;
    QStringList modes_;
    QString screenCastToken_;
    StripSettings strip_;
};
