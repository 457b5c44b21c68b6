#include "tests/support/gnome_session.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/screen_cast_stand_in.h"

namespace {

// The user a root test runs its GNOME part as.
constexpr uid_t kSessionUser = 65534;
const QStringList kAsSessionUser{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                 QStringLiteral("--clear-groups"), QStringLiteral("--")};

const QString kBackendName = QStringLiteral("org.freedesktop.impl.portal.desktop.gnome");
const QString kMutterNames[] = {QStringLiteral("org.gnome.Mutter.DisplayConfig"),
                                QStringLiteral("org.gnome.Mutter.ScreenCast"),
                                QStringLiteral("org.gnome.Mutter.RemoteDesktop")};
const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
constexpr int kLeftButton = 0x110;  // BTN_LEFT

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QString tail(const QString& path, int lines) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    const QStringList all = QString::fromLocal8Bit(file.readAll()).split(u'\n');
    return all.mid(qMax(0, all.size() - lines)).join(u'\n');
}

}  // namespace

QString GnomeSession::Unavailable() {
    for (const QString& program :
         {QStringLiteral("mutter"), QStringLiteral("Xwayland"), QStringLiteral("pipewire"),
          QStringLiteral("wireplumber"), QStringLiteral("dbus-daemon")})
        if (QStandardPaths::findExecutable(program).isEmpty())
            return program + QStringLiteral(" is not installed");
    for (const char* program : {"/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-gnome",
                                "/usr/libexec/xdg-permission-store"})
        if (!QFileInfo(QString::fromLatin1(program)).isExecutable())
            return QString::fromLatin1(program) + QStringLiteral(" is not installed");
    return QString();
}

GnomeSession::GnomeSession() {
    if (!start()) error_ += QStringLiteral("\n") + Logs();
}

bool GnomeSession::start() {
    if (::geteuid() == 0) {
        error_ = QStringLiteral("a GNOME session for tests does not run as root");
        return false;
    }
    // The bus first, where DBUS_SESSION_BUS_ADDRESS says (a path of the caller's): this process has it from
    // its start, and no Qt code can have used another.
    bus_.setStandardErrorFile(QProcess::nullDevice());
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=" VARNEX_SESSION_BUS_CONFIG), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1"),
                QStringLiteral("--address=") + qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")});
    if (!bus_.waitForReadyRead(10000)) {
        error_ = QStringLiteral("the session bus did not start at ") +
                 qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        return false;
    }
    // Every program of the session reads these; the settings stay in memory (no dconf service here).
    qputenv("XDG_SESSION_TYPE", "wayland");
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    qputenv("GSETTINGS_BACKEND", "memory");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XAUTHORITY");
    daemons_ = std::make_unique<PipeWireDaemons>();
    if (!daemons_->Running()) {
        error_ = QStringLiteral("pipewire or wireplumber did not start");
        return false;
    }
    environment_ = daemons_->Environment();
    folder_ = environment_.value(QStringLiteral("XDG_RUNTIME_DIR"));

    if (!startLogged(mutter_, QStringLiteral("mutter"),
                     {QStringLiteral("--wayland"), QStringLiteral("--headless"),
                      QStringLiteral("--virtual-monitor"), QStringLiteral("%1x%2").arg(kWidth).arg(kHeight),
                      QStringLiteral("--wayland-display"), QStringLiteral("wayland-0")}))
        return false;
    // mutter takes the first free X display from :0 for its Xwayland and says which in its log.
    static const QRegularExpression display(QStringLiteral("Using public X11 display (:\\d+)"));
    QString x11;
    QStringList authority;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const bool up = QTest::qWaitFor(
        [&] {
            if (mutter_.state() != QProcess::Running) return true;
            x11 = display.match(tail(folder_ + QStringLiteral("/mutter.log"), 100)).captured(1);
            authority = QDir(folder_).entryList({QStringLiteral(".mutter-Xwaylandauth.*")},
                                                QDir::Files | QDir::Hidden);
            for (const QString& name : kMutterNames)
                if (!bus->isServiceRegistered(name)) return false;
            return !x11.isEmpty() && !authority.isEmpty() &&
                   QFileInfo::exists(folder_ + QStringLiteral("/wayland-0")) &&
                   QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + x11.mid(1));
        },
        30000);
    if (!up || mutter_.state() != QProcess::Running) {
        error_ = QStringLiteral("mutter did not come up");
        return false;
    }
    const QList<std::pair<const char*, QString>> variables{{"WAYLAND_DISPLAY", QStringLiteral("wayland-0")},
                                                           {"DISPLAY", x11},
                                                           {"XAUTHORITY", folder_ + u'/' + authority.first()},
                                                           {"XDG_RUNTIME_DIR", folder_}};
    for (const auto& [name, value] : variables) {
        environment_.insert(QString::fromLatin1(name), value);
        qputenv(name, value.toLocal8Bit());
    }

    // GNOME's backend before the portal: the portal asks what it offers when it starts.
    if (!StartPortalBackend()) return false;
    portal_ = std::make_unique<DesktopPortal>(environment_);
    if (!portal_->Start()) {
        error_ = QStringLiteral("xdg-desktop-portal did not start");
        return false;
    }
    return true;
}

bool GnomeSession::startLogged(QProcess& process, const QString& program, const QStringList& arguments) {
    process.setProcessEnvironment(environment_);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(folder_ + u'/' + QFileInfo(program).fileName() + QStringLiteral(".log"),
                                  QIODevice::Append);
    process.start(program, arguments);
    if (process.waitForStarted(10000)) return true;
    error_ = program + QStringLiteral(" did not start: ") + process.errorString();
    return false;
}

GnomeSession::~GnomeSession() {
    portal_.reset();
    stop(backend_);
    stop(mutter_);
    daemons_.reset();
    stop(bus_);
}

QString GnomeSession::Logs() const {
    QString logs;
    for (const QString& name : {QStringLiteral("mutter"), QStringLiteral("xdg-desktop-portal-gnome")})
        logs += QStringLiteral("--- %1:\n%2\n")
                    .arg(name, tail(folder_ + u'/' + name + QStringLiteral(".log"), 30));
    return logs;
}

void GnomeSession::StopPortalBackend() {
    stop(backend_);
}

bool GnomeSession::StartPortalBackend() {
    if (!startLogged(backend_, QStringLiteral("/usr/libexec/xdg-desktop-portal-gnome"), {})) return false;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (QTest::qWaitFor([&] { return bus->isServiceRegistered(kBackendName); }, 15000)) return true;
    error_ = QStringLiteral("xdg-desktop-portal-gnome did not take its name");
    return false;
}

MutterPointer::MutterPointer(const QDBusConnection& bus) : bus_(bus) {
    QVariant result;
    error_ = call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop,
                  QStringLiteral("CreateSession"), {}, &result);
    if (!error_.isEmpty()) return;
    session_ = result.value<QDBusObjectPath>().path();
    QVariant id;
    error_ = call(session_, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                  {kRemoteDesktop + QStringLiteral(".Session"), QStringLiteral("SessionId")}, &id);
    if (!error_.isEmpty()) return;
    // A cast of the monitor, linked to the input session: the pointer's positions are given on its stream.
    const QVariantMap link{{QStringLiteral("remote-desktop-session-id"), id.value<QDBusVariant>().variant()}};
    error_ = call(QStringLiteral("/org/gnome/Mutter/ScreenCast"), kScreenCast,
                  QStringLiteral("CreateSession"), {link}, &result);
    if (!error_.isEmpty()) return;
    const QString cast = result.value<QDBusObjectPath>().path();
    error_ = call(cast, kScreenCast + QStringLiteral(".Session"), QStringLiteral("RecordMonitor"),
                  {QString(), QVariantMap()}, &result);
    if (!error_.isEmpty()) return;
    stream_ = result.value<QDBusObjectPath>().path();
    error_ = call(session_, kRemoteDesktop + QStringLiteral(".Session"), QStringLiteral("Start"), {});
}

MutterPointer::~MutterPointer() {
    if (!session_.isEmpty())
        call(session_, kRemoteDesktop + QStringLiteral(".Session"), QStringLiteral("Stop"), {});
}

bool MutterPointer::Click(QPointF at) {
    if (!error_.isEmpty()) return false;
    const QString session = kRemoteDesktop + QStringLiteral(".Session");
    // The stream takes a moment to be there after Start; until then mutter refuses positions on it.
    QString failed;
    if (!QTest::qWaitFor(
            [&] {
                failed = call(session_, session, QStringLiteral("NotifyPointerMotionAbsolute"),
                              {stream_, at.x(), at.y()});
                return failed.isEmpty();
            },
            5000)) {
        error_ = failed;
        return false;
    }
    for (const bool pressed : {true, false}) {
        QTest::qWait(50);
        error_ = call(session_, session, QStringLiteral("NotifyPointerButton"), {kLeftButton, pressed});
        if (!error_.isEmpty()) return false;
    }
    return true;
}

QString MutterPointer::call(const QString& path, const QString& interface, const QString& method,
                            const QVariantList& args, QVariant* result) {
    const QString service = interface.startsWith(kScreenCast) ? kScreenCast : kRemoteDesktop;
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("%1.%2: %3").arg(interface, method, reply.errorMessage());
    if (result && !reply.arguments().isEmpty()) *result = reply.arguments().first();
    return QString();
}

ScreenPainter::ScreenPainter(const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VARNEX_SCREEN_PAINTER), {});
}

ScreenPainter::~ScreenPainter() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000))
        process_.kill();
    else if (process_.exitCode() != 0)
        qWarning("screen_painter ended with %d", process_.exitCode());
}

bool ScreenPainter::Paint(const QList<quint32>& quarters) {
    QByteArray line;
    for (const quint32 colour : quarters) line += QByteArray::number(colour, 16) + ' ';
    process_.write(line + '\n');
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired();)
        if (process_.canReadLine() || process_.waitForReadyRead(100)) return process_.readLine() == "ok\n";
    return false;
}

namespace {

// This program and what it reads at run time, which the session's user must be able to reach.
QStringList neededFiles() {
    QStringList files{QCoreApplication::applicationFilePath(), QStringLiteral(VARNEX_SCREEN_PAINTER),
                      QStringLiteral(VARNEX_SESSION_BUS_CONFIG), qEnvironmentVariable("VARNEX_MODULE_DIR")};
    files.removeAll(QString());
    return files;
}

void asSessionUser(QProcess& process, const QString& program, const QStringList& arguments) {
    if (::geteuid() == 0)
        process.start(QStringLiteral("setpriv"), kAsSessionUser + QStringList{program} + arguments);
    else
        process.start(program, arguments);
}

}  // namespace

QString GnomeSideUnusable() {
    if (const QString missing = GnomeSession::Unavailable(); !missing.isEmpty()) return missing;
    if (::geteuid() == 0 && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv is not installed (a root test runs the GNOME session as nobody)");
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("-c"),
                          QStringLiteral("for f; do test -r \"$f\" || echo \"$f\"; done"),
                          QStringLiteral("sh")};
    asSessionUser(check, QStringLiteral("sh"), arguments + neededFiles());
    if (!check.waitForFinished(10000) || check.exitCode() != 0)
        return QStringLiteral("cannot run a program as the session's user");
    const QString unreadable = QString::fromLocal8Bit(check.readAll()).trimmed();
    if (!unreadable.isEmpty())
        return QStringLiteral("the session's user (%1) cannot read %2")
            .arg(::geteuid() == 0 ? "nobody" : "this user", unreadable.split(u'\n').join(", "));
    return QString();
}

bool OnGnomeSide() {
    return qEnvironmentVariableIsSet("VARNEX_GNOME_SIDE");
}

bool RunGnomeSide(const QStringList& testFunctions, int timeoutMs) {
    // A home of its own, which also holds the session bus's socket (the address is known before the child
    // starts, so that nothing in it can reach for another bus).
    QTemporaryDir home;
    if (::geteuid() == 0 && ::chown(home.path().toLocal8Bit().constData(), kSessionUser, kSessionUser) != 0)
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("DISPLAY"),
                                QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("XAUTHORITY")})
        environment.remove(name);
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + home.filePath(QStringLiteral("bus")));
    environment.insert(QStringLiteral("VARNEX_GNOME_SIDE"), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    // A process group of its own, so that a child stopped for taking too long takes its session with it.
    child.setChildProcessModifier([] { ::setpgid(0, 0); });
    asSessionUser(child, QCoreApplication::applicationFilePath(), testFunctions);
    if (!child.waitForFinished(timeoutMs)) {
        qWarning("the GNOME session's part took longer than %d ms: stopped", timeoutMs);
        ::kill(-pid_t(child.processId()), SIGKILL);
        child.waitForFinished(5000);
        return false;
    }
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}
