#include "platform/gnome/gnome_display_power.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDebug>

#include "common/session_bus.h"

namespace gnome {

namespace {

const QString kService = QStringLiteral("org.gnome.Mutter.DisplayConfig");
const QString kPath = QStringLiteral("/org/gnome/Mutter/DisplayConfig");
// mutter's power-save modes (as in DPMS): on, standby, suspend, off.
constexpr qint32 kModeOn = 0;
constexpr qint32 kModeOff = 3;
constexpr int kAnswerMs = 5000;

}  // namespace

bool DisplayConfigOffered() {
    if (!session_bus::Available()) return false;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kService);
}

void SetMonitorsOn(bool on) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    // The property is an int32 ("i"); mutter refuses any other type.
    call << kService << QStringLiteral("PowerSaveMode")
         << QVariant::fromValue(QDBusVariant(on ? kModeOn : kModeOff));
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, kAnswerMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [on](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError())
                             qWarning().noquote()
                                 << "Monitor" << (on ? "on" : "off")
                                 << "through GNOME's display configuration:" << finished->error().message();
                     });
}

}  // namespace gnome
