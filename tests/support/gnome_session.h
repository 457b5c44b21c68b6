#pragma once

// A real GNOME Wayland desktop for tests: mutter, headless, with one virtual monitor of 1920 x 1080 and its
// own Xwayland; PipeWire and WirePlumber; xdg-desktop-portal with GNOME's backend (xdg-desktop-portal-gnome),
// whose screen-cast chooser is the real one. All of it on a session bus and a runtime folder of its own, run
// as the current user, which must not be root: the portal refuses a root client, and mutter's session bus is
// not root's. Tests that run as root run their GNOME part as another user (RunGnomeSide).

#include <QDBusConnection>
#include <QPointF>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <memory>

class PipeWireDaemons;
class DesktopPortal;

class GnomeSession {
public:
    static constexpr int kWidth = 1920, kHeight = 1080;

    // Why no GNOME session can run here (a program missing), or an empty text.
    static QString Unavailable();

    // Starts everything, the session bus where DBUS_SESSION_BUS_ADDRESS says (RunGnomeSide sets it before
    // this process starts, so that nothing in it can have used another bus), and sets this process's
    // WAYLAND_DISPLAY, DISPLAY, XAUTHORITY, XDG_RUNTIME_DIR, XDG_SESSION_TYPE and XDG_CURRENT_DESKTOP to the
    // session's; see Error() for what failed.
    GnomeSession();
    // Stops everything, each within a few seconds.
    ~GnomeSession();
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    // Empty once everything runs.
    QString Error() const { return error_; }
    QProcessEnvironment Environment() const { return environment_; }
    // What the compositor and GNOME's portal backend wrote, for a failure's report.
    QString Logs() const;

    // Stops GNOME's portal backend, as when the desktop's side of every cast ends; StartPortalBackend brings
    // it back.
    void StopPortalBackend();
    bool StartPortalBackend();

private:
    bool start();
    bool startLogged(QProcess& process, const QString& program, const QStringList& arguments);

    QString error_;
    QString folder_;  // the runtime folder, the daemons'
    QProcessEnvironment environment_;
    QProcess bus_, mutter_, backend_;
    std::unique_ptr<PipeWireDaemons> daemons_;
    std::unique_ptr<DesktopPortal> portal_;
};

// A pointer of mutter's own input (org.gnome.Mutter.RemoteDesktop) on the session's monitor: its positions
// are the monitor's pixels, taken through a screen-cast stream of that monitor (RecordMonitor) linked to the
// input session, as mutter wants.
class MutterPointer {
public:
    explicit MutterPointer(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~MutterPointer();
    // Empty once the pointer is usable.
    QString Error() const { return error_; }
    // Moves to `at` and clicks the left button there.
    bool Click(QPointF at);

private:
    QString call(const QString& path, const QString& interface, const QString& method,
                 const QVariantList& args, QVariant* result = nullptr);

    QDBusConnection bus_;
    QString error_, session_, stream_;
};

// The screen_painter program on the session's Xwayland: the whole screen in four coloured quarters, above
// every window, from the first Paint on.
class ScreenPainter {
public:
    explicit ScreenPainter(const QProcessEnvironment& environment);
    ~ScreenPainter();
    // Quarters 0xRRGGBB: upper left, lower left, upper right, lower right; true once the X server has them.
    bool Paint(const QList<quint32>& quarters);

private:
    QProcess process_;
};

// Why this test program cannot run its GNOME part here, or an empty text: no GNOME session installed, no user
// to run it as, or a build folder that user cannot read.
QString GnomeSideUnusable();
// Whether this is the test program's GNOME part, run by RunGnomeSide.
bool OnGnomeSide();
// Runs this test program again as its GNOME part, as the session's user (nobody, when this one is root), with
// `testFunctions`, its output passed on; true when they passed. Stopped, with all it started, after
// `timeoutMs`.
bool RunGnomeSide(const QStringList& testFunctions, int timeoutMs);
