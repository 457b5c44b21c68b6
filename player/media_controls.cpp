#include "player/media_controls.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "common/handlers.h"
#include "common/session_bus.h"
#include "player/player.h"

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kDesktopEntry = QStringLiteral("varnex");

// A title for a row that holds nothing but an address: the file name without its extension.
QString titleOf(const QString& address) {
    const QString name = QFileInfo(QUrl(address).path(QUrl::FullyDecoded)).completeBaseName();
    return name.isEmpty() ? address : name;
}

// Rows may hold local paths as well as addresses; the desktop is given a URL either way, encoded.
QString urlOf(const QString& address) {
    const QUrl url = address.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(address) : QUrl(address);
    return url.toString(QUrl::FullyEncoded);
}

}  // namespace

// org.mpris.MediaPlayer2: the program itself.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    explicit MprisRoot(MediaControls& controls) : QDBusAbstractAdaptor(&controls), controls_(controls) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString Identity() const { return QStringLiteral("Varnex"); }
    QStringList none() const { return {}; }

public slots:
    void Raise() { controls_.Raise(); }
    void Quit() { controls_.Quit(); }

private:
    MediaControls& controls_;
};

// The same, naming the program's desktop entry where one is installed.
class MprisRootWithEntry final : public MprisRoot {
    Q_OBJECT
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)

public:
    using MprisRoot::MprisRoot;
    QString DesktopEntry() const { return kDesktopEntry; }
};

// org.mpris.MediaPlayer2.Player: the player's buttons and what it plays.
class MprisPlayer final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(double Volume READ one)
    Q_PROPERTY(bool CanGoNext READ yes)
    Q_PROPERTY(bool CanGoPrevious READ yes)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ yes)

public:
    explicit MprisPlayer(MediaControls& controls) : QDBusAbstractAdaptor(&controls), controls_(controls) {}
    QString PlaybackStatus() const { return controls_.PlaybackStatus(); }
    QVariantMap Metadata() const { return controls_.Metadata(); }
    qlonglong Position() const { return controls_.Position(); }
    bool CanSeek() const { return controls_.CanSeek(); }
    double one() const { return 1.0; }
    bool yes() const { return true; }

public slots:
    void PlayPause() { controls_.PlayPause(); }
    void Next() { controls_.Next(); }
    void Previous() { controls_.Previous(); }
    void Play() { controls_.Play(); }
    void Pause() { controls_.Pause(); }
    void Stop() { controls_.Stop(); }
    void Seek(qlonglong Offset) { controls_.SeekBy(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        controls_.SetPosition(TrackId.path(), Position);
    }

signals:
    void Seeked(qlonglong Position);

private:
    MediaControls& controls_;
};

MediaControls::MediaControls(Player& player, std::function<void()> raise, std::function<void()> quit)
    : player_(player), raise_(std::move(raise)), quit_(std::move(quit)) {
    if (!session_bus::Available()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (QStandardPaths::locate(QStandardPaths::ApplicationsLocation, kDesktopEntry + ".desktop").isEmpty())
        new MprisRoot(*this);
    else
        new MprisRootWithEntry(*this);
    adaptor_ = new MprisPlayer(*this);
    if (!bus.registerObject(kPath, this, QDBusConnection::ExportAdaptors)) return;
    // A second copy of the program takes a name of its own, as media players do.
    service_ = QString::fromLatin1(ServiceName);
    if (!bus.registerService(service_)) {
        service_ += QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
        if (!bus.registerService(service_)) service_.clear();
    }

    // Whoever drove the player, the desktop hears what changed.
    connect(&player_, &Player::playingChanged, this, &MediaControls::refreshSoon);
    connect(&player_, &Player::streamChanged, this, &MediaControls::refreshSoon);
    connect(&player_, &Player::trackOpened, this, &MediaControls::refreshSoon);
    connect(&player_, &Player::positionChanged, this, &MediaControls::refreshSoon);
    connect(&player_, &Player::seeked, this, &MediaControls::announceSeek);
    refresh();
}

MediaControls::~MediaControls() {
    if (!adaptor_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!service_.isEmpty()) bus.unregisterService(service_);
    bus.unregisterObject(kPath);
}

void MediaControls::Run(std::function<void()> action) {
    QMetaObject::invokeMethod(
        this,
        [this, action = std::move(action)] {
            if (running_) return;
            running_ = true;
            RunHandler(action);
            running_ = false;
            refreshSoon();
        },
        Qt::QueuedConnection);
}

void MediaControls::PlayPause() {
    Run([this] { player_.PlayPause(); });
}
void MediaControls::Play() {
    Run([this] { player_.Play(); });
}
void MediaControls::Pause() {
    Run([this] { player_.Pause(); });
}
void MediaControls::Next() {
    Run([this] { player_.Next(); });
}
void MediaControls::Previous() {
    Run([this] { player_.Previous(); });
}

QString MediaControls::PlaybackStatus() {
    refresh();
    return shown_.status;
}

QVariantMap MediaControls::Metadata() {
    refresh();
    return metadataOf(shown_);
}

bool MediaControls::CanSeek() {
    refresh();
    return shown_.canSeek();
}

QVariantMap MediaControls::metadataOf(const Shown& shown) {
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackIdOf(shown)))}};
    if (shown.stream == 0) return metadata;
    metadata.insert(QStringLiteral("xesam:url"), urlOf(shown.address));
    metadata.insert(QStringLiteral("xesam:title"), titleOf(shown.address));
    if (shown.lengthUs > 0) metadata.insert(QStringLiteral("mpris:length"), shown.lengthUs);
    return metadata;
}

qint64 MediaControls::Position() const {
    return std::max<qint64>(0, player_.BytesToUs(player_.PositionBytes()));
}

void MediaControls::refreshSoon() {
    if (refreshQueued_) return;
    refreshQueued_ = true;
    QMetaObject::invokeMethod(this, &MediaControls::refresh, Qt::QueuedConnection);
}

void MediaControls::refresh() {
    refreshQueued_ = false;
    Shown now;
    now.stream = player_.Stream();
    if (now.stream != 0) {
        now.status = player_.CurrentStatus() == Player::Status::Playing ? QStringLiteral("Playing")
                                                                        : QStringLiteral("Paused");
        now.address = player_.StreamAddress();
        now.lengthUs = player_.BytesToUs(player_.LengthBytes());
        now.seekable = player_.Seekable();
    }
    if (now == shown_) return;
    QVariantMap changed;
    if (now.status != shown_.status) changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    if (now.stream != shown_.stream || now.address != shown_.address || now.lengthUs != shown_.lengthUs)
        changed.insert(QStringLiteral("Metadata"), metadataOf(now));
    if (now.canSeek() != shown_.canSeek()) changed.insert(QStringLiteral("CanSeek"), now.canSeek());
    shown_ = now;
    QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

QString MediaControls::trackIdOf(const Shown& shown) {
    return shown.stream == 0 ? kNoTrack : QStringLiteral("/org/varnex/track/%1").arg(shown.stream);
}

void MediaControls::SeekBy(qint64 offsetUs) {
    Run([this, offsetUs] {
        refresh();
        if (!shown_.canSeek()) return;
        // The position lies within the length, so neither difference nor sum below can overflow, whatever
        // the offset.
        const qint64 position = std::min(Position(), shown_.lengthUs);
        if (offsetUs > shown_.lengthUs - position)
            player_.Next();
        else
            seekTo(std::max<qint64>(0, position + offsetUs));
    });
}

void MediaControls::SetPosition(const QString& trackId, qint64 positionUs) {
    Run([this, trackId, positionUs] {
        refresh();
        if (!shown_.canSeek() || trackId != trackIdOf(shown_) || positionUs < 0 ||
            positionUs > shown_.lengthUs)
            return;
        seekTo(positionUs);
    });
}

void MediaControls::Stop() {
    Run([this] {
        player_.Pause();
        refresh();
        if (shown_.canSeek()) seekTo(0);
    });
}

// The position is taken as the same share of the stream's bytes.
void MediaControls::seekTo(qint64 positionUs) {
    const double fraction = double(positionUs) / double(shown_.lengthUs);
    player_.SeekTo(static_cast<qint64>(std::llround(fraction * double(player_.LengthBytes()))));
}

void MediaControls::announceSeek(qint64 bytes) {
    // A stream that cannot seek has not moved.
    if (!adaptor_ || !player_.Seekable()) return;
    emit adaptor_->Seeked(std::max<qint64>(0, player_.BytesToUs(bytes)));
}

#include "media_controls.moc"
