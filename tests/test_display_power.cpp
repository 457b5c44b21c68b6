// Monitor off/on through the means the session's desktop offers, chosen by what the session is: mutter's
// display configuration and idle monitor (a stand-in on the test's private session bus), the outputs' power
// protocols of wlroots and KWin (a stand-in Wayland compositor on a socket of the test's own), and X11 (Xvfb:
// its screen saver, as Xvfb has no DPMS) on an X11 session and wherever the desktop offers nothing else.

#include <wayland-server.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "dpms-server-protocol.h"
#include "platform/desktop_factory.h"
#include "platform/x11/x11_windows.h"
#include "wlr-output-power-management-unstable-v1-server-protocol.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

const QString kDisplayConfig = QStringLiteral("org.gnome.Mutter.DisplayConfig");
const QString kIdleMonitor = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kIdleMonitorPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");

bool screenSaverOn() {
    XScreenSaverInfo info{};
    XScreenSaverQueryInfo(RemoteDisplay(), DefaultRootWindow(RemoteDisplay()), &info);
    return info.state == ScreenSaverOn;
}

// The session as the desktop would describe it in the environment; an empty value is unset.
void setSession(const QByteArray& type, const QByteArray& desktop, const QByteArray& waylandDisplay) {
    const auto set = [](const char* name, const QByteArray& value) {
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    };
    set("XDG_SESSION_TYPE", type);
    set("XDG_CURRENT_DESKTOP", desktop);
    set("WAYLAND_DISPLAY", waylandDisplay);
}

// mutter as far as the display's power goes, on a connection of its own to the test's bus: its display
// configuration records every Set of PowerSaveMode with the value's D-Bus type ("PowerSaveMode int 3"), its
// idle monitor hands out user-active watches 1, 2, ... and records their removal ("RemoveWatch 1").
class Mutter final : public QDBusVirtualObject {
public:
    QStringList calls;

    Mutter() {
        for (const QString& name : {kDisplayConfig, kIdleMonitor}) QVERIFY(bus_.registerService(name));
        QVERIFY(bus_.registerVirtualObject("/org/gnome/Mutter/DisplayConfig", this));
        QVERIFY(bus_.registerVirtualObject(kIdleMonitorPath, this));
    }
    ~Mutter() override { QDBusConnection::disconnectFromBus(bus_.name()); }
    void Leave() {
        for (const QString& name : {kDisplayConfig, kIdleMonitor}) QVERIFY(bus_.unregisterService(name));
    }
    // The user's input reaches the watch `id`.
    void Fire(uint id) {
        QVERIFY(bus_.send(QDBusMessage::createSignal(kIdleMonitorPath, kIdleMonitor, "WatchFired") << id));
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QVariantList arguments = message.arguments();
        QDBusMessage reply = message.createReply();
        if (message.member() == QLatin1String("Set") && arguments.size() == 3 &&
            arguments[0] == kDisplayConfig) {
            const QVariant value = qvariant_cast<QDBusVariant>(arguments[2]).variant();
            calls << QStringLiteral("%1 %2 %3")
                         .arg(arguments[1].toString(), value.typeName(), value.toString());
        } else if (message.member() == QLatin1String("AddUserActiveWatch")) {
            reply << ++watches_;
            calls << QStringLiteral("AddUserActiveWatch %1").arg(watches_);
        } else if (message.member() == QLatin1String("RemoveWatch") && arguments.size() == 1) {
            calls << QStringLiteral("RemoveWatch %1").arg(arguments[0].toUInt());
        } else {
            return false;
        }
        return connection.send(reply);
    }

private:
    QDBusConnection bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "mutter");
    uint watches_ = 0;
};

// What the stand-in compositor was asked: every power request as "wlr|kde <output> <mode>".
QMutex requestsLock;
QStringList requests;

void destroy(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

// A power control of `interface` for `output`, whose user data is the output's number.
wl_resource* control(wl_client* client, const wl_interface* interface, uint32_t id, wl_resource* output,
                     const void* implementation) {
    wl_resource* resource = wl_resource_create(client, interface, 1, id);
    wl_resource_set_implementation(resource, implementation, wl_resource_get_user_data(output), nullptr);
    return resource;
}

void record(const char* protocol, wl_resource* control, uint32_t mode) {
    const QMutexLocker lock(&requestsLock);
    requests << QStringLiteral("%1 %2 %3")
                    .arg(protocol)
                    .arg(*static_cast<int*>(wl_resource_get_user_data(control)))
                    .arg(mode);
}

const struct zwlr_output_power_v1_interface kWlrPower {
    [](wl_client*, wl_resource* control, uint32_t mode) { record("wlr", control, mode); }, destroy
};
const struct zwlr_output_power_manager_v1_interface kWlrManager {
    [](wl_client* client, wl_resource*, uint32_t id, wl_resource* output) {
        wl_resource* power = control(client, &zwlr_output_power_v1_interface, id, output, &kWlrPower);
        zwlr_output_power_v1_send_mode(power, ZWLR_OUTPUT_POWER_V1_MODE_ON);
    },
        destroy
};
const struct org_kde_kwin_dpms_interface kKdeDpms {
    [](wl_client*, wl_resource* control, uint32_t mode) { record("kde", control, mode); }, destroy
};
const struct org_kde_kwin_dpms_manager_interface kKdeManager {
    [](wl_client* client, wl_resource*, uint32_t id, wl_resource* output) {
        wl_resource* dpms = control(client, &org_kde_kwin_dpms_interface, id, output, &kKdeDpms);
        org_kde_kwin_dpms_send_supported(dpms, 1);
        org_kde_kwin_dpms_send_mode(dpms, ORG_KDE_KWIN_DPMS_MODE_ON);
        org_kde_kwin_dpms_send_done(dpms);
    }
};

// A Wayland compositor with two outputs (0 and 1) and the power managers of wlroots and KWin, on a thread of
// its own: the program's requests wait for its answers.
class Compositor final {
public:
    Compositor(const char* socket, bool wlr, bool kde) {
        requests.clear();
        wl_display_add_socket(display_, socket);
        for (Global& output : outputs_) wl_global_create(display_, output.interface, 1, &output, bind);
        if (wlr) wl_global_create(display_, wlr_.interface, 1, &wlr_, bind);
        if (kde) wl_global_create(display_, kde_.interface, 1, &kde_, bind);
        thread_ = std::thread([this] {
            while (!stop_) {
                wl_event_loop_dispatch(wl_display_get_event_loop(display_), 20);
                wl_display_flush_clients(display_);
            }
        });
    }
    ~Compositor() {
        stop_ = true;
        thread_.join();
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
    }

private:
    struct Global {
        const wl_interface* interface;
        const void* implementation;
        void* data;
    };
    static void bind(wl_client* client, void* data, uint32_t, uint32_t id) {
        const Global& global = *static_cast<Global*>(data);
        wl_resource_set_implementation(wl_resource_create(client, global.interface, 1, id),
                                       global.implementation, global.data, nullptr);
    }

    int numbers_[2] = {0, 1};
    Global outputs_[2] = {{&wl_output_interface, nullptr, &numbers_[0]},
                          {&wl_output_interface, nullptr, &numbers_[1]}};
    Global wlr_{&zwlr_output_power_manager_v1_interface, &kWlrManager, nullptr};
    Global kde_{&org_kde_kwin_dpms_manager_interface, &kKdeManager, nullptr};
    wl_display* display_ = wl_display_create();
    std::thread thread_;
    std::atomic<bool> stop_ = false;
};

}  // namespace

class DisplayPowerTest : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_;

private slots:
    void initTestCase() {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        // The stand-in compositors' sockets, and no real compositor's.
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }

    // GNOME's display configuration where the session is GNOME on Wayland and mutter is on the bus: off, and
    // on again at the user's next input (a watch of the idle monitor's; another client's watch is not ours)
    // or from the remote, which drops the watch. X11 on an X11 session even with mutter there, and on Wayland
    // once mutter has gone and no compositor answers.
    void gnomeByTheSessionAndTheBus() {
        Mutter mutter;
        setSession("wayland", "ubuntu:GNOME", "varnex-no-compositor");
        std::unique_ptr<Desktop> gnome = MakeDesktop();
        gnome->MonitorOff();
        QVERIFY(!screenSaverOn());
        QStringList calls{"PowerSaveMode int 3", "AddUserActiveWatch 1"};
        QTRY_COMPARE(mutter.calls, calls);
        mutter.Fire(7);
        QTest::qWait(200);
        QCOMPARE(mutter.calls, calls);
        mutter.Fire(1);
        calls << "PowerSaveMode int 0";
        QTRY_COMPARE(mutter.calls, calls);
        gnome->MonitorOff();
        calls << "PowerSaveMode int 3"
              << "AddUserActiveWatch 2";
        QTRY_COMPARE(mutter.calls, calls);
        gnome->MonitorWake();
        calls << "PowerSaveMode int 0"
              << "RemoveWatch 2";
        QTRY_COMPARE(mutter.calls, calls);

        setSession("x11", "GNOME", {});
        std::unique_ptr<Desktop> x11 = MakeDesktop();
        x11->MonitorOff();
        QTRY_VERIFY(screenSaverOn());
        x11->MonitorWake();
        QTRY_VERIFY(!screenSaverOn());

        mutter.Leave();
        setSession("wayland", "GNOME", "varnex-no-compositor");
        std::unique_ptr<Desktop> none = MakeDesktop();
        none->MonitorOff();
        QTRY_VERIFY(screenSaverOn());
        none->MonitorWake();
        QTRY_VERIFY(!screenSaverOn());
        QCOMPARE(mutter.calls, calls);
    }

    // Every output through the compositor's own protocol: wlroots' (off 0, on 1) and KWin's (off 3, on 0),
    // the desktop's own kind first where a compositor offers both. A compositor that never answers holds the
    // program for about a second, and then X11 serves.
    void waylandOutputsByTheCompositor() {
        const struct {
            QByteArray desktop;
            bool wlr, kde;
            QStringList requests;
        } rows[] = {
            {"sway", true, false, {"wlr 0 0", "wlr 1 0", "wlr 0 1", "wlr 1 1"}},
            {"KDE", false, true, {"kde 0 3", "kde 1 3", "kde 0 0", "kde 1 0"}},
            {"KDE", true, true, {"kde 0 3", "kde 1 3", "kde 0 0", "kde 1 0"}},
            {"", true, true, {"wlr 0 0", "wlr 1 0", "wlr 0 1", "wlr 1 1"}},
        };
        int socket = 0;
        for (const auto& row : rows) {
            const QByteArray name = "varnex-compositor-" + QByteArray::number(socket++);
            Compositor compositor(name.constData(), row.wlr, row.kde);
            setSession({}, row.desktop, name);
            std::unique_ptr<Desktop> desktop = MakeDesktop();
            desktop->MonitorOff();
            desktop->MonitorWake();
            const QMutexLocker lock(&requestsLock);
            QCOMPARE(requests, row.requests);
        }
        QVERIFY(!screenSaverOn());

        QLocalServer silent;
        QVERIFY(silent.listen(runtime_.filePath("varnex-silent")));
        setSession("wayland", "sway", "varnex-silent");
        std::unique_ptr<Desktop> desktop = MakeDesktop();
        QElapsedTimer held;
        held.start();
        desktop->MonitorOff();
        QVERIFY2(held.elapsed() < 2500, qPrintable(QString::number(held.elapsed())));
        QTRY_VERIFY(screenSaverOn());
        desktop->MonitorWake();
        QTRY_VERIFY(!screenSaverOn());
    }
};

QTEST_MAIN(DisplayPowerTest)
#include "test_display_power.moc"
