#include "app/status_notifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

}  // namespace

StatusNotifierCheck::StatusNotifierCheck(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWatcher)) return;
    bus.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierItemRegistered"), this,
                SLOT(itemRegistered(QString)));
    QDBusInterface watcher(kWatcher, kWatcherPath, kWatcher, bus);
    for (const QString& item : watcher.property("RegisteredStatusNotifierItems").toStringList())
        itemRegistered(item);
}

// An item is named by its owner's bus name, optionally followed by its object path. Qt's tray icon speaks
// over a connection of its own, so the item is recognised by the process that owns that name.
void StatusNotifierCheck::itemRegistered(const QString& item) {
    if (registered_) return;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QDBusReply<uint> owner = bus->servicePid(item.section(QLatin1Char('/'), 0, 0));
    registered_ = owner.isValid() && qint64(owner.value()) == QCoreApplication::applicationPid();
}
