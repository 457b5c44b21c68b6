#pragma once

// What a Wayland desktop offers a screen-capturing program, for tests: a real PipeWire daemon and its session
// manager (WirePlumber) over a runtime folder of their own, a producer of screen frames on it standing in for
// the compositor, and the real desktop portal (xdg-desktop-portal) on the session bus with a stand-in for the
// compositor's portal backend that offers the producer's stream.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QMargins>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

// pipewire and wireplumber, stopped when this goes.
class PipeWireDaemons {
public:
    PipeWireDaemons();
    ~PipeWireDaemons();
    bool Running() const;
    QProcessEnvironment Environment() const { return environment_; }
    // A new connection to the daemon's socket, as the portal hands one out (-1 on failure).
    int Connect() const;

private:
    QTemporaryDir folder_;
    QProcessEnvironment environment_;
    QProcess pipewire_, wireplumber_;
};

// A screen of four coloured quarters streamed on the daemons' graph (the producer program).
class ScreenProducer {
public:
    // What the producer sends from now on, 40 buffers a second: frames; buffers with no picture (a chunk of
    // size 0, as a compositor sends for a cursor's move); broken ones (flagged corrupted, or a chunk too
    // short for the frame, in turn); or nothing, as a compositor does for a still screen.
    enum class Buffers { Frames, Empty, Broken, None };

    // How the screen is sent, as a compositor may: turned as PipeWire's video transform `turn` says (0..7)
    // and cropped out of a buffer larger by `margins` (painted magenta), both told with every buffer; in
    // shared memory, or in DMA-BUF of the linear layout (memory files standing in for a GPU's buffers), or in
    // such files holding only half of what each buffer announces.
    struct Shape {
        int turn = 0;
        QMargins margins;
        enum class Memory { Shared, DmaBuf, ShortDmaBuf } memory = Memory::Shared;
    };
    // A labelled picture: every pixel its quarter's colour XOR a label telling where it lies (see Label),
    // its bytes in memory in the order `format` names as the producer does ("rgbx", "xbgr", "abgr", ...;
    // BGRx when empty), the unused byte 0xA5.
    struct Labelled {
        QString format;
    };
    // The label of the picture's pixel (x, y) as shown, 0xRRGGBB: red (3x + y) mod 256, green (x + 3y) mod
    // 256, blue (x XOR y) mod 256.
    static quint32 Label(int x, int y) {
        return quint32((3 * x + y) & 0xFF) << 16 | quint32((x + 3 * y) & 0xFF) << 8 | quint32((x ^ y) & 0xFF);
    }

    // A screen of width x height, 40 frames a second, quarters coloured 0xRRGGBB: upper left, lower left,
    // upper right, lower right.
    ScreenProducer(const PipeWireDaemons& daemons, int width, int height, const QList<quint32>& quarters,
                   const Shape& shape);
    ScreenProducer(const PipeWireDaemons& daemons, int width, int height, const QList<quint32>& quarters,
                   const Shape& shape, const Labelled& labelled);
    ScreenProducer(const PipeWireDaemons& daemons, int width, int height, const QList<quint32>& quarters);
    ~ScreenProducer();
    // The stream's node, once the producer has reported it (0 before, or when it failed).
    quint32 Node();
    // Repaints the quarters and sends frames again.
    void Paint(const QList<quint32>& quarters);
    void Send(Buffers buffers);
    // Ends the stream, as a desktop does when the user stops sharing.
    void End();

private:
    ScreenProducer(const PipeWireDaemons& daemons, int width, int height, const QList<quint32>& quarters,
                   const Shape& shape, const Labelled& labelled, bool labels);

    QProcess process_;
    quint32 node_ = 0;
};

// The desktop's side of the screen cast (org.freedesktop.impl.portal.ScreenCast, what a compositor's portal
// backend serves) behind the real xdg-desktop-portal: Start answers `answer` (0 granted, 1 refused by the
// user, 2 failed) with the node of `producer`, as if the user had picked that monitor. With `refuseRestore`
// a session that was to restore an earlier choice fails at Start (code 2), as a desktop may that no longer
// has what was chosen. (A token that is no UUID never reaches the backend: the real portal in front of it
// refuses SelectSources itself.)
class ScreenCastBackend : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.ScreenCast")
    Q_PROPERTY(uint AvailableSourceTypes READ sourceTypes)
    Q_PROPERTY(uint AvailableCursorModes READ cursorModes)
    Q_PROPERTY(uint version READ version)

public:
    explicit ScreenCastBackend(const QDBusConnection& bus);

    ScreenProducer* producer = nullptr;
    uint answer = 0;
    bool refuseRestore = false;
    QList<QVariantMap> selected;  // SelectSources' options, one per call
    int open = 0;                 // sessions the portal has not closed yet

    uint sourceTypes() const { return 1; }  // monitors
    uint cursorModes() const { return 1 | 2; }
    uint version() const { return 4; }

public slots:
    uint CreateSession(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& app,
                       const QVariantMap& options, QVariantMap& results);
    uint SelectSources(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& app,
                       const QVariantMap& options, QVariantMap& results);
    uint Start(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& app,
               const QString& parent, const QVariantMap& options, QVariantMap& results);

private:
    QDBusConnection bus_;
    QStringList restoring_;  // the sessions whose SelectSources brought restore data
};

// xdg-desktop-portal itself, on the session bus, with the backend above as the desktop's (found through a
// portal description of its own); its PipeWire connections go to `daemons`.
class DesktopPortal {
public:
    explicit DesktopPortal(const PipeWireDaemons& daemons);
    // The portal with the backends installed on the system, for the desktop `environment` names.
    explicit DesktopPortal(const QProcessEnvironment& environment);
    ~DesktopPortal() { Stop(); }
    // Started, and its org.freedesktop.portal.Desktop on the bus.
    bool Start();
    // Stopped, and gone from the bus.
    bool Stop();

private:
    void use(const QProcessEnvironment& environment);

    QTemporaryDir folder_;
    QProcess process_, permissions_;
};
