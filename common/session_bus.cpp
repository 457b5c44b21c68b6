#include "common/session_bus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDBusConnection>
#include <cstdio>

namespace {

constexpr char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";
// No transport of this name exists, so a connection fails at once and nothing is launched for it.
constexpr char kNoBus[] = "disabled:";

// The per-user bus of a systemd session: a socket of this user's at $XDG_RUNTIME_DIR/bus.
QByteArray userBusAddress() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) return {};
    const QByteArray path = runtime + "/bus";
    struct stat info {};
    if (stat(path.constData(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != getuid()) return {};
    return "unix:path=" + path;
}

}  // namespace

namespace session_bus {

void KeepFromLaunching() {
    if (!qEnvironmentVariableIsEmpty(kAddressVariable)) return;
    const QByteArray user = userBusAddress();
    qputenv(kAddressVariable, user.isEmpty() ? QByteArray(kNoBus) : user);
}

bool Available() {
    static const bool available = [] {
        // Without an address the bus is not even asked for: libdbus would launch one.
        const bool connected =
            !qEnvironmentVariableIsEmpty(kAddressVariable) && QDBusConnection::sessionBus().isConnected();
        if (!connected)
            std::fputs("varnex: no D-Bus session bus; the media controls (MPRIS) are off\n", stderr);
        return connected;
    }();
    return available;
}

}  // namespace session_bus
