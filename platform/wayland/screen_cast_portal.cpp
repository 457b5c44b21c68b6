#include "platform/wayland/screen_cast_portal.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QtDebug>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// Values of the portal's options.
constexpr uint kMonitor = 1;              // types
constexpr uint kCursorHidden = 1;         // cursor_mode
constexpr uint kPersistUntilRevoked = 2;  // persist_mode

// Errors that mean there is nobody to ask, as against a portal that answered no.
bool isMissing(const QDBusError& error) {
    switch (error.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::UnknownMethod:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownObject:
        case QDBusError::Disconnected:
            return true;
        default:
            return false;
    }
}

// The node of the first stream of Start's "streams" (a(ua{sv})).
bool firstStream(const QVariant& streams, quint32& node) {
    const QDBusArgument argument = streams.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::ArrayType) return false;
    bool found = false;
    argument.beginArray();
    while (!argument.atEnd()) {
        quint32 id = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> id >> properties;
        argument.endStructure();
        if (found) continue;
        found = true;
        node = id;
    }
    argument.endArray();
    return found;
}

}  // namespace

ScreenCastPortal::ScreenCastPortal(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

ScreenCastPortal::~ScreenCastPortal() {
    // A question still open (the consent dialog) goes away with us, and so does the session.
    if (step_ == Step::CreateSession || step_ == Step::SelectSources || step_ == Step::Start)
        bus_.send(QDBusMessage::createMethodCall(kService, requestPath_, kRequest, QStringLiteral("Close")));
    closeSession();
}

void ScreenCastPortal::Open(const QString& restoreToken) {
    restoreToken_ = restoreToken;
    if (!bus_.isConnected()) {
        fail(Failure::Missing, QStringLiteral("no session bus"));
        return;
    }
    createSession();
}

void ScreenCastPortal::createSession() {
    static int sessions = 0;
    request(Step::CreateSession, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), QStringLiteral("varnex%1").arg(++sessions)}});
}

void ScreenCastPortal::closeSession() {
    if (session_.isEmpty()) return;
    bus_.disconnect(kService, session_, kSession, QStringLiteral("Closed"), this,
                    SLOT(sessionClosed(QDBusMessage)));
    bus_.send(QDBusMessage::createMethodCall(kService, session_, kSession, QStringLiteral("Close")));
    session_.clear();
}

bool ScreenCastPortal::retryWithoutToken(const QString& detail) {
    if (restoreToken_.isEmpty() || (step_ != Step::SelectSources && step_ != Step::Start)) return false;
    qWarning().noquote() << "Screen cast: the restore token was refused (" + detail + "); asking without it";
    restoreToken_.clear();
    ++attempt_;
    closeSession();
    createSession();
    emit RestoreTokenChanged(QString());
    return true;
}

void ScreenCastPortal::request(Step step, const QString& method, QList<QVariant> arguments,
                               QVariantMap options) {
    static int requests = 0;
    const QString token = QStringLiteral("varnex%1").arg(++requests);
    const QString sender = bus_.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    if (!requestPath_.isEmpty())
        bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                        SLOT(response(uint, QVariantMap, QDBusMessage)));
    requestPath_ = QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token);
    bus_.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                 SLOT(response(uint, QVariantMap, QDBusMessage)));
    step_ = step;

    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
    call.setArguments(arguments << options);
    watchCall(bus_.asyncCall(call), [this, asked = requestPath_](const QDBusMessage& reply) {
        // A portal older than the handle token names the request itself: follow it there. The reply may
        // come after the request's Response, when the next step has begun: that step's request stands.
        const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (path.isEmpty() || path == asked || requestPath_ != asked) return;
        bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                        SLOT(response(uint, QVariantMap, QDBusMessage)));
        requestPath_ = path;
        bus_.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                     SLOT(response(uint, QVariantMap, QDBusMessage)));
    });
}

void ScreenCastPortal::watchCall(const QDBusPendingCall& call,
                                 const std::function<void(const QDBusMessage&)>& done) {
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done, attempt = attempt_](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (step_ == Step::Over || attempt != attempt_) return;
                if (finished->isError()) {
                    const QDBusError error = finished->error();
                    if (isMissing(error))
                        fail(Failure::Missing, error.message());
                    else if (!retryWithoutToken(error.name() + QStringLiteral(": ") + error.message()))
                        fail(Failure::Failed, error.message());
                    return;
                }
                done(finished->reply());
            });
}

void ScreenCastPortal::response(uint code, const QVariantMap& results, const QDBusMessage& message) {
    if (step_ == Step::Over || message.path() != requestPath_) return;
    if (code == 1) {
        fail(Failure::Refused, QStringLiteral("the request was cancelled"));
        return;
    }
    if (code != 0) {
        const QString detail = QStringLiteral("the request ended with code %1").arg(code);
        if (!retryWithoutToken(detail)) fail(Failure::Failed, detail);
        return;
    }
    switch (step_) {
        case Step::CreateSession: {
            session_ = results.value(QStringLiteral("session_handle")).toString();
            if (session_.isEmpty())
                session_ = results.value(QStringLiteral("session_handle")).value<QDBusObjectPath>().path();
            if (session_.isEmpty()) {
                fail(Failure::Failed, QStringLiteral("no session handle"));
                return;
            }
            bus_.connect(kService, session_, kSession, QStringLiteral("Closed"), this,
                         SLOT(sessionClosed(QDBusMessage)));
            QVariantMap options{{QStringLiteral("types"), kMonitor},
                                {QStringLiteral("multiple"), false},
                                {QStringLiteral("cursor_mode"), kCursorHidden},
                                {QStringLiteral("persist_mode"), kPersistUntilRevoked}};
            if (!restoreToken_.isEmpty()) options.insert(QStringLiteral("restore_token"), restoreToken_);
            request(Step::SelectSources, QStringLiteral("SelectSources"),
                    {QVariant::fromValue(QDBusObjectPath(session_))}, options);
            return;
        }
        case Step::SelectSources:
            request(Step::Start, QStringLiteral("Start"),
                    {QVariant::fromValue(QDBusObjectPath(session_)), QString()}, {});
            return;
        case Step::Start:
            started(results);
            return;
        default:
            return;
    }
}

void ScreenCastPortal::started(const QVariantMap& results) {
    if (!firstStream(results.value(QStringLiteral("streams")), node_)) {
        fail(Failure::Failed, QStringLiteral("no stream was started"));
        return;
    }
    const QString token = results.value(QStringLiteral("restore_token")).toString();
    if (!token.isEmpty()) emit RestoreTokenChanged(token);
    openRemote();
}

void ScreenCastPortal::openRemote() {
    step_ = Step::Remote;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap()});
    watchCall(bus_.asyncCall(call), [this](const QDBusMessage& reply) {
        const auto descriptor = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
        const int fd = descriptor.isValid() ? fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
        if (fd < 0) {
            fail(Failure::Failed, QStringLiteral("no PipeWire remote"));
            return;
        }
        step_ = Step::Open;
        emit Opened(fd, node_);
    });
}

void ScreenCastPortal::sessionClosed(const QDBusMessage& message) {
    if (message.path() != session_) return;
    session_.clear();  // closed already: nothing to close on our side
    fail(Failure::Closed, QStringLiteral("the session was closed"));
}

void ScreenCastPortal::fail(Failure failure, const QString& detail) {
    if (step_ == Step::Over) return;
    step_ = Step::Over;
    emit Failed(failure, detail);
}
