#include "platform/gnome/gnome_display_power.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDebug>

#include "common/session_bus.h"

namespace gnome {

namespace {

const QString kDisplayConfig = QStringLiteral("org.gnome.Mutter.DisplayConfig");
const QString kDisplayConfigPath = QStringLiteral("/org/gnome/Mutter/DisplayConfig");
const QString kIdleMonitor = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kIdleMonitorPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
// mutter's power-save modes (as in DPMS): on, standby, suspend, off.
constexpr qint32 kModeOn = 0;
constexpr qint32 kModeOff = 3;
constexpr int kAnswerMs = 5000;

// Sends `call` and hands its reply to `then` when it comes, on this thread; an error is logged with `what`
// first.
template <typename Then>
void callAsync(const QDBusConnection& bus, const QDBusMessage& call, const QString& what, QObject* context,
               Then then) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [what, then](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError())
                             qWarning().noquote() << what + ":" << finished->error().message();
                         then(*finished);
                     });
}

}  // namespace

bool DisplayConfigOffered() {
    if (!session_bus::Available()) return false;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kDisplayConfig);
}

MutterDisplayPower::MutterDisplayPower() : bus_(QDBusConnection::sessionBus()) {
    bus_.connect(kIdleMonitor, kIdleMonitorPath, kIdleMonitor, QStringLiteral("WatchFired"), this,
                 SLOT(watchFired(uint)));
}

void MutterDisplayPower::Off() {
    setPowerSaveMode(kModeOff);
    off_ = true;
    if (!watching_) watchUserActive();
}

void MutterDisplayPower::Wake() {
    off_ = false;
    setPowerSaveMode(kModeOn);
    dropWatch();
}

void MutterDisplayPower::watchFired(uint id) {
    if (!watching_ || id != watch_) return;
    // mutter removes a user-active watch once it has fired.
    watching_ = false;
    watch_ = 0;
    if (!off_) return;
    off_ = false;
    setPowerSaveMode(kModeOn);
}

void MutterDisplayPower::setPowerSaveMode(qint32 mode) {
    QDBusMessage call = QDBusMessage::createMethodCall(kDisplayConfig, kDisplayConfigPath,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Set"));
    // The property is an int32 ("i"); mutter refuses any other type.
    call << kDisplayConfig << QStringLiteral("PowerSaveMode") << QVariant::fromValue(QDBusVariant(mode));
    callAsync(bus_, call,
              mode == kModeOn ? "Monitor on through GNOME's display configuration"
                              : "Monitor off through GNOME's display configuration",
              this, [](const QDBusPendingCall&) {});
}

void MutterDisplayPower::watchUserActive() {
    watching_ = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(kIdleMonitor, kIdleMonitorPath, kIdleMonitor,
                                                             QStringLiteral("AddUserActiveWatch"));
    callAsync(bus_, call, "Waking the monitor at the user's input (GNOME's idle monitor)", this,
              [this](const QDBusPendingCall& call) {
                  if (call.isError()) {
                      watching_ = false;
                      return;
                  }
                  watch_ = QDBusPendingReply<uint>(call).value();
                  // Woken by the remote before mutter answered: the watch is not wanted any more.
                  if (!off_) dropWatch();
              });
}

void MutterDisplayPower::dropWatch() {
    if (!watching_ || !watch_) return;  // one asked for and not yet answered goes when the answer comes
    QDBusMessage call = QDBusMessage::createMethodCall(kIdleMonitor, kIdleMonitorPath, kIdleMonitor,
                                                       QStringLiteral("RemoveWatch"));
    call << watch_;
    watching_ = false;
    watch_ = 0;
    callAsync(bus_, call, "Dropping the watch on the user's input (GNOME's idle monitor)", this,
              [](const QDBusPendingCall&) {});
}

}  // namespace gnome
