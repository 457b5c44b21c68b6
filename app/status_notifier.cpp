#include "app/status_notifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>

#include "common/session_bus.h"

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

}  // namespace

StatusNotifierCheck::StatusNotifierCheck(QObject* parent) : QObject(parent) {
    if (!session_bus::Available()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.interface() || !bus.interface()->isServiceRegistered(kWatcher)) return;
    // Made before the icon is shown, so the icon's registration is still to come: it is taken from the
    // watcher's signal, and the items of other programs registered before are never asked about.
    bus.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierItemRegistered"), this,
                SLOT(itemRegistered(QString)));
}

// An item is named by its owner's bus name, optionally followed by its object path. Qt's tray icon speaks
// over a connection of its own, so the item is recognised by the process that owns that name.
void StatusNotifierCheck::itemRegistered(const QString& item) {
    if (registered_) return;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QDBusReply<uint> owner = bus->servicePid(item.section(QLatin1Char('/'), 0, 0));
    registered_ = owner.isValid() && qint64(owner.value()) == QCoreApplication::applicationPid();
}
