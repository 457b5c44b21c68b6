#pragma once

// The display's power on a GNOME Wayland session, through mutter on the session bus: its display
// configuration (org.gnome.Mutter.DisplayConfig), whose PowerSaveMode property switches every monitor, and
// its idle monitor (org.gnome.Mutter.IdleMonitor), which tells when the user is active again. GNOME's own
// power settings work the same way when they blank the screen.

#include <QDBusConnection>
#include <QObject>

#include "platform/display_power.h"

namespace gnome {

// Whether mutter's display configuration is on the session bus; false without a session bus.
bool DisplayConfigOffered();

// Off sets PowerSaveMode to 3 and asks the idle monitor for a watch on the user's next input, which sets it
// back to 0: mutter itself leaves the monitors off until a client switches them on. Wake sets 0 and drops
// the watch. Every call is asynchronous and returns at once; a refusal or no answer is logged.
class MutterDisplayPower final : public QObject, public DisplayPower {
    Q_OBJECT

public:
    MutterDisplayPower();
    Q_DISABLE_COPY_MOVE(MutterDisplayPower)

    void Off() override;
    void Wake() override;

private slots:
    void watchFired(uint id);

private:
    void setPowerSaveMode(qint32 mode);
    void watchUserActive();
    void dropWatch();

    QDBusConnection bus_;
    bool off_ = false;       // switched off here, and not on again since
    bool watching_ = false;  // a user-active watch is asked for or held
    uint watch_ = 0;         // its id once mutter has answered
};

}  // namespace gnome
