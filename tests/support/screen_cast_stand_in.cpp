#include "tests/support/screen_cast_stand_in.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kBackendName = QStringLiteral("org.freedesktop.impl.portal.desktop.varnextest");

// One entry of Start's "streams": the node and its properties.
struct CastStream {
    uint node = 0;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const CastStream& stream) {
    argument.beginStructure();
    argument << stream.node << stream.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, CastStream& stream) {
    argument.beginStructure();
    argument >> stream.node >> stream.properties;
    argument.endStructure();
    return argument;
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
}

// A session object of the backend: the portal's Close ends it.
class SessionStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.Session")

public:
    SessionStandIn(QDBusConnection bus, const QString& path, int& open, QObject* parent)
        : QObject(parent), bus_(bus), path_(path), open_(open) {
        ++open_;
        bus_.registerObject(path_, this, QDBusConnection::ExportAllSlots);
    }

public slots:
    void Close() {
        --open_;
        bus_.unregisterObject(path_);
        deleteLater();
    }

private:
    QDBusConnection bus_;
    QString path_;
    int& open_;
};

}  // namespace

Q_DECLARE_METATYPE(CastStream)

PipeWireDaemons::PipeWireDaemons() {
    // The daemons' own state (WirePlumber remembers choices) stays in the folder too.
    environment_ = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "HOME"})
        environment_.insert(QString::fromLatin1(name), folder_.path());
    for (QProcess* daemon : {&pipewire_, &wireplumber_}) {
        daemon->setProcessEnvironment(environment_);
        daemon->setStandardOutputFile(QProcess::nullDevice());
        daemon->setStandardErrorFile(QProcess::nullDevice());
    }
    // Started for QProcess too: its socket may be there before QProcess has heard that it runs.
    pipewire_.start(QStringLiteral("pipewire"), {});
    pipewire_.waitForStarted(5000);
    const QString socket = folder_.filePath(QStringLiteral("pipewire-0"));
    if (!QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 10000)) return;  // not Running()
    wireplumber_.start(QStringLiteral("wireplumber"), {});
    wireplumber_.waitForStarted(5000);
}

PipeWireDaemons::~PipeWireDaemons() {
    stop(wireplumber_);
    stop(pipewire_);
}

int PipeWireDaemons::Connect() const {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QString path = environment_.value(QStringLiteral("XDG_RUNTIME_DIR")) + "/pipewire-0";
    qstrncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

bool PipeWireDaemons::Running() const {
    return pipewire_.state() == QProcess::Running && wireplumber_.state() == QProcess::Running;
}

ScreenProducer::ScreenProducer(const PipeWireDaemons& daemons, int width, int height,
                               const QList<quint32>& quarters, const Shape& shape)
    : ScreenProducer(daemons, width, height, quarters, shape, {}, false) {}

ScreenProducer::ScreenProducer(const PipeWireDaemons& daemons, int width, int height,
                               const QList<quint32>& quarters, const Shape& shape, const Labelled& labelled)
    : ScreenProducer(daemons, width, height, quarters, shape, labelled, true) {}

ScreenProducer::ScreenProducer(const PipeWireDaemons& daemons, int width, int height,
                               const QList<quint32>& quarters, const Shape& shape, const Labelled& labelled,
                               bool labels) {
    QStringList arguments{QString::number(width), QString::number(height)};
    if (labels) arguments << QStringLiteral("labels");
    if (!labelled.format.isEmpty()) arguments << QStringLiteral("format=") + labelled.format;
    if (shape.turn != 0) arguments << QStringLiteral("turn=%1").arg(shape.turn);
    if (!shape.margins.isNull())
        arguments << QStringLiteral("margins=%1,%2,%3,%4")
                         .arg(shape.margins.left())
                         .arg(shape.margins.top())
                         .arg(shape.margins.right())
                         .arg(shape.margins.bottom());
    if (shape.memory == Shape::Memory::DmaBuf) arguments << QStringLiteral("dmabuf");
    if (shape.memory == Shape::Memory::ShortDmaBuf) arguments << QStringLiteral("dmabuf=short");
    process_.setProcessEnvironment(daemons.Environment());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VARNEX_SCREEN_PRODUCER), arguments);
    Paint(quarters);
}

ScreenProducer::ScreenProducer(const PipeWireDaemons& daemons, int width, int height,
                               const QList<quint32>& quarters)
    : ScreenProducer(daemons, width, height, quarters, Shape{}) {}

ScreenProducer::~ScreenProducer() {
    End();
}

quint32 ScreenProducer::Node() {
    for (QDeadlineTimer deadline(10000); node_ == 0 && !deadline.hasExpired();)
        if (process_.canReadLine() || process_.waitForReadyRead(100))
            node_ = process_.readLine().trimmed().mid(5).toUInt();
    return node_;
}

void ScreenProducer::Paint(const QList<quint32>& quarters) {
    QByteArray line;
    for (const quint32 colour : quarters) line += QByteArray::number(colour, 16) + ' ';
    process_.write(line + '\n');
}

void ScreenProducer::Send(Buffers buffers) {
    static const char* const commands[] = {"frames", "empty", "broken", "none"};
    process_.write(QByteArray(commands[int(buffers)]) + '\n');
}

void ScreenProducer::End() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) process_.kill();
}

ScreenCastBackend::ScreenCastBackend(const QDBusConnection& bus) : bus_(bus) {
    qDBusRegisterMetaType<CastStream>();
    qDBusRegisterMetaType<QList<CastStream>>();
    bus_.registerObject(kPortalPath, this,
                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    bus_.registerService(kBackendName);
}

uint ScreenCastBackend::CreateSession(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
                                      const QVariantMap&, QVariantMap& results) {
    new SessionStandIn(bus_, session.path(), open, this);
    results.insert(QStringLiteral("session_id"), session.path());
    return 0;
}

uint ScreenCastBackend::SelectSources(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
                                      const QVariantMap& options, QVariantMap&) {
    selected << options;
    if (options.contains(QStringLiteral("restore_data"))) restoring_ << session.path();
    return 0;
}

uint ScreenCastBackend::Start(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
                              const QString&, const QVariantMap&, QVariantMap& results) {
    if (refuseRestore && restoring_.contains(session.path())) return 2;
    if (answer != 0 || !producer) return answer;
    const QList<CastStream> streams{{producer->Node(), {{QStringLiteral("source_type"), 1u}}}};
    results.insert(QStringLiteral("streams"), QVariant::fromValue(streams));
    // What lets the portal hand out a restore token: this backend's note of the user's choice (its name, a
    // version and the note itself).
    QDBusArgument restore;
    restore.beginStructure();
    restore << QStringLiteral("varnex-test") << 1u << QDBusVariant(QStringLiteral("monitor"));
    restore.endStructure();
    results.insert(QStringLiteral("persist_mode"), 2u);
    results.insert(QStringLiteral("restore_data"), QVariant::fromValue(restore));
    return 0;
}

DesktopPortal::DesktopPortal(const PipeWireDaemons& daemons) {
    QFile description(folder_.filePath(QStringLiteral("varnextest.portal")));
    description.open(QIODevice::WriteOnly);
    description.write("[portal]\nDBusName=" + kBackendName.toUtf8() +
                      "\nInterfaces=org.freedesktop.impl.portal.ScreenCast;\nUseIn=varnextest\n");
    QProcessEnvironment environment = daemons.Environment();
    environment.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), folder_.path());
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("varnextest"));
    use(environment);
}

DesktopPortal::DesktopPortal(const QProcessEnvironment& environment) {
    use(environment);
}

void DesktopPortal::use(const QProcessEnvironment& environment) {
    for (QProcess* process : {&process_, &permissions_}) {
        process->setProcessEnvironment(environment);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
}

bool DesktopPortal::Start() {
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    permissions_.start(QStringLiteral("/usr/libexec/xdg-permission-store"), {});
    process_.start(QStringLiteral("/usr/libexec/xdg-desktop-portal"), {});
    // The portal asks the backend (in this thread) what it offers before it takes its name: answer meanwhile.
    return QTest::qWaitFor([&] { return bus->isServiceRegistered(kPortalName); }, 10000);
}

bool DesktopPortal::Stop() {
    stop(process_);
    stop(permissions_);
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return QTest::qWaitFor([&] { return !bus->isServiceRegistered(kPortalName); }, 5000);
}

#include "screen_cast_stand_in.moc"
