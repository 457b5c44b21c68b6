#pragma once

// A screen-cast session with the desktop portal (org.freedesktop.portal.ScreenCast on the session bus): one
// monitor, the cursor left out, the user's choice remembered by the desktop (a restore token handed back for
// the next session). Every call is asynchronous, so the desktop's consent dialog never blocks the window.
//
// The steps: CreateSession, SelectSources, Start (the user's consent, unless a restore token stands for it),
// OpenPipeWireRemote. Each step's answer comes as a Response signal on a request object whose path follows
// from our bus name and a token of ours; the signal is subscribed to before the call, so no answer is missed.
//
// A restore token the portal or the desktop refuses would fail every later session the same way: the portal
// answers SelectSources with an error for a token that is not one it could have issued (xdg-desktop-portal
// 1.16: org.freedesktop.portal.Error.InvalidArgument, "Restore token is not a valid UUID string"), and a
// desktop that cannot restore the choice may end SelectSources or Start with code 2. Then the token is
// dropped (RestoreTokenChanged with an empty token) and the handshake begins again in a new session, once,
// without it: the user sees the desktop's chooser. A token the portal does not know is no error there: it is
// ignored, and the chooser shown.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class QDBusPendingCall;

class ScreenCastPortal : public QObject {
    Q_OBJECT

public:
    enum class Failure {
        Missing,  // no portal, or it cannot cast screens
        Refused,  // the user said no
        Failed,   // the portal or the desktop gave up
        Closed,   // the session ended: the user stopped sharing, or the desktop did
    };
    Q_ENUM(Failure)

    explicit ScreenCastPortal(const QDBusConnection& bus, QObject* parent = nullptr);
    // Closes the question still open, if any, and the session on the desktop's side, if one was made.
    ~ScreenCastPortal() override;

    // Begins the handshake; `restoreToken` is the one handed back last time, or empty.
    void Open(const QString& restoreToken);

signals:
    // The stream is ready: `fd` is a PipeWire remote (the receiver owns it), `node` the stream's node on it.
    void Opened(int fd, quint32 node);
    // A token that lets the next session skip the consent dialog, sent before Opened; or an empty one when
    // the token given was refused, so that it is not given again.
    void RestoreTokenChanged(const QString& token);
    // Sent once; nothing follows it.
    void Failed(ScreenCastPortal::Failure failure, const QString& detail);

private slots:
    // `message` tells which request or session the signal came from: one left behind when the handshake
    // began again may still have its signal on the way.
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);
    void sessionClosed(const QDBusMessage& message);

private:
    enum class Step { Idle, CreateSession, SelectSources, Start, Remote, Open, Over };

    // Calls `method` on the portal with `arguments` and then the options, adding a handle token, and waits
    // for the request's Response.
    void request(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options);
    void createSession();
    // Closes the session on the desktop's side, if one was made, no longer listening for its end.
    void closeSession();
    // When a restore token was given and the step it counts in failed: drops the token and begins again
    // without it. False when that does not apply.
    bool retryWithoutToken(const QString& detail);
    void started(const QVariantMap& results);
    void openRemote();
    void fail(Failure failure, const QString& detail);
    void watchCall(const QDBusPendingCall& call, const std::function<void(const QDBusMessage&)>& done);

    QDBusConnection bus_;
    Step step_ = Step::Idle;
    QString requestPath_;
    QString session_;
    QString restoreToken_;
    quint32 node_ = 0;
    int attempt_ = 0;  // bumped when the handshake begins again: answers to an earlier one are left alone
};
