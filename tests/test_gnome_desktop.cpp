// The desktop the program makes for itself (MakeDesktop) on a real GNOME Wayland session (see GnomeSession),
// run as the session's user: switching the display off sets mutter's power-save mode to off, waking sets it
// back to on. Skipped where no GNOME session can run.

#include <QApplication>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>

#include "platform/desktop_factory.h"
#include "tests/support/gnome_session.h"

namespace {

// org.gnome.Mutter.DisplayConfig's PowerSaveMode: 0 on, 3 off; -1 when it cannot be read.
int powerSaveMode() {
    const QString service = QStringLiteral("org.gnome.Mutter.DisplayConfig");
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/gnome/Mutter/DisplayConfig"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << service << QStringLiteral("PowerSaveMode");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return -1;
    return reply.arguments().first().value<QDBusVariant>().variant().toInt();
}

}  // namespace

class GnomeDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void monitorOffAndWake() {
        if (const QString unusable = GnomeSideUnusable(); !unusable.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no real GNOME desktop: ") + unusable));
        QVERIFY(RunGnomeSide({QStringLiteral("monitorOffAndWake")}, 60000));
    }
};

class GnomeSideTest : public QObject {
    Q_OBJECT

private slots:
    void monitorOffAndWake() {
        GnomeSession session;
        QVERIFY2(session.Error().isEmpty(), qPrintable(session.Error()));
        const std::unique_ptr<Desktop> desktop = MakeDesktop();
        QCOMPARE(powerSaveMode(), 0);
        desktop->MonitorOff();
        QTRY_COMPARE_WITH_TIMEOUT(powerSaveMode(), 3, 5000);
        desktop->MonitorWake();
        QTRY_COMPARE_WITH_TIMEOUT(powerSaveMode(), 0, 5000);
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (OnGnomeSide()) {
        GnomeSideTest test;
        return QTest::qExec(&test, argc, argv);
    }
    GnomeDesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_gnome_desktop.moc"
