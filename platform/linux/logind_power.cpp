#include "platform/linux/logind_power.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>

namespace logind {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

using Guard = std::function<void(const std::function<void()>&)>;

// Calls `method` asynchronously and hands the reply to `then`, run by `guard` on the UI thread, when it
// comes.
template <typename Then>
void callLogind(const QDBusConnection& bus, const QString& method, const QVariantList& arguments,
                const Guard& guard, Then then) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, method);
    call.setArguments(arguments);
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 60'000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [guard, then](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         guard([&] { then(*finished); });
                     });
}

}  // namespace

void PowerOff(const Guard& guard) {
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    callLogind(bus, QStringLiteral("CanPowerOff"), {}, guard, [bus, guard](const QDBusPendingCall& call) {
        const QDBusPendingReply<QString> answer = call;
        if (answer.isError()) return;
        // "challenge": allowed once polkit has asked the user.
        if (answer.value() != QLatin1String("yes") && answer.value() != QLatin1String("challenge")) return;
        callLogind(bus, QStringLiteral("PowerOff"), {true}, guard, [](const QDBusPendingCall&) {});
    });
}

}  // namespace logind
