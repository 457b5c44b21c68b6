#include "player/media_controls.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/session_bus.h"
#include "app/skin_slider.h"
#include "player/audio_library.h"
#include "player/track_display.h"

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
    void Raise() {
        controls_.Run([](TForm1& form) { form.TrayDblClick(); });
    }
    void Quit() {
        controls_.Run([](TForm1& form) { form.N1Click(); });
    }

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
    // Play/pause, next and previous are the remote's keys.
    void PlayPause() {
        controls_.Run([](TForm1& form) { form.RunRemoteAction(RemoteAction::PlayPause); });
    }
    void Next() {
        controls_.Run([](TForm1& form) { form.RunRemoteAction(RemoteAction::NextTrack); });
    }
    void Previous() {
        controls_.Run([](TForm1& form) { form.RunRemoteAction(RemoteAction::PreviousTrack); });
    }
    void Play() {
        controls_.Run([](TForm1& form) { form.btnPlayClick(); });
    }
    void Pause() {
        controls_.Run([](TForm1& form) { form.btnPauseClick(); });
    }
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

MediaControls::MediaControls(TForm1& form) : form_(form) {
    if (!session_bus::Available()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (QStandardPaths::locate(QStandardPaths::ApplicationsLocation, kDesktopEntry + ".desktop").isEmpty())
        new MprisRoot(*this);
    else
        new MprisRootWithEntry(*this);
    player_ = new MprisPlayer(*this);
    if (!bus.registerObject(kPath, this, QDBusConnection::ExportAdaptors)) return;
    // A second copy of the program takes a name of its own, as media players do.
    service_ = QString::fromLatin1(ServiceName);
    if (!bus.registerService(service_)) {
        service_ += QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
        if (!bus.registerService(service_)) service_.clear();
    }

    for (QWidget* button : {static_cast<QWidget*>(form_.btnPlay), static_cast<QWidget*>(form_.btnPause)})
        button->installEventFilter(this);
    connect(form_.PlayList, &QListWidget::itemSelectionChanged, this, &MediaControls::refreshSoon);
    connect(form_.ProgressBar, &QSlider::rangeChanged, this, &MediaControls::refreshSoon);
    connect(form_.ProgressBar, &QSlider::valueChanged, this, &MediaControls::refreshSoon);
    connect(form_.TrackPos, &QTimer::timeout, this, &MediaControls::refreshSoon);
    // After the slider's own handler has sought.
    connect(form_.ProgressBar, &SkinSlider::userMoved, this, &MediaControls::announceSeek);
    refresh();
}

MediaControls::~MediaControls() {
    if (!player_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!service_.isEmpty()) bus.unregisterService(service_);
    bus.unregisterObject(kPath);
}

// The play and pause buttons take turns: one of them is shown or hidden whenever the status changes, also
// while the window is in the tray (when neither gets a Show or Hide event).
bool MediaControls::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) refreshSoon();
    return false;
}

void MediaControls::Run(std::function<void(TForm1&)> action) {
    QMetaObject::invokeMethod(
        this,
        [this, action = std::move(action)] {
            if (running_) return;
            running_ = true;
            RunHandler([&] { action(form_); });
            running_ = false;
            refreshSoon();
        },
        Qt::QueuedConnection);
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
    return std::max<qint64>(0,
                            bytesToUs(static_cast<qint64>(BASS_ChannelGetPosition(form_.StreamHandle, 0))));
}

void MediaControls::refreshSoon() {
    if (refreshQueued_) return;
    refreshQueued_ = true;
    QMetaObject::invokeMethod(this, &MediaControls::refresh, Qt::QueuedConnection);
}

void MediaControls::refresh() {
    refreshQueued_ = false;
    Shown now;
    now.stream = form_.StreamHandle;
    if (now.stream != 0) {
        now.status = form_.btnPause->isHidden() ? QStringLiteral("Paused") : QStringLiteral("Playing");
        // The stream was opened from the row selected when it appeared; later selections do not change it.
        const QList<QListWidgetItem*> selected = form_.PlayList->selectedItems();
        now.address = now.stream == shown_.stream ? shown_.address
                      : selected.isEmpty()        ? QString()
                                                  : selected.first()->text();
        now.lengthUs = lengthUs();
        now.seekable = audio_library::StreamSeekable(now.stream);
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

qint64 MediaControls::lengthUs() const {
    return bytesToUs(static_cast<qint64>(BASS_ChannelGetLength(form_.StreamHandle, 0)));
}

// -1 for the library's failure values.
qint64 MediaControls::bytesToUs(qint64 bytes) const {
    if (bytes < 0) return -1;
    const double seconds = BASS_ChannelBytes2Seconds(form_.StreamHandle, static_cast<QWORD>(bytes));
    return seconds < 0 ? -1 : std::llround(seconds * 1e6);
}

void MediaControls::SeekBy(qint64 offsetUs) {
    Run([this, offsetUs](TForm1& form) {
        refresh();
        if (!shown_.canSeek()) return;
        // The position lies within the length, so neither difference nor sum below can overflow, whatever
        // the offset.
        const qint64 position = std::min(Position(), shown_.lengthUs);
        if (offsetUs > shown_.lengthUs - position)
            form.btnNextClick();
        else
            seekTo(std::max<qint64>(0, position + offsetUs));
    });
}

void MediaControls::SetPosition(const QString& trackId, qint64 positionUs) {
    Run([this, trackId, positionUs](TForm1& /*form*/) {
        refresh();
        if (!shown_.canSeek() || trackId != trackIdOf(shown_) || positionUs < 0 ||
            positionUs > shown_.lengthUs)
            return;
        seekTo(positionUs);
    });
}

void MediaControls::Stop() {
    Run([this](TForm1& form) {
        form.btnPauseClick();
        refresh();
        if (shown_.canSeek()) seekTo(0);
    });
}

// The slider is set where the position falls and its own handler seeks, as after a move of the user's.
void MediaControls::seekTo(qint64 positionUs) {
    const auto lengthBytes = static_cast<qint64>(BASS_ChannelGetLength(form_.StreamHandle, 0));
    const double fraction = double(positionUs) / double(lengthUs());
    const auto bytes = static_cast<qint64>(std::llround(fraction * double(lengthBytes)));
    form_.ProgressBar->setValue(track_display::ToSlider(bytes, track_display::SliderShift(lengthBytes)));
    form_.ProgressBarChanged();
    announceSeek();
}

void MediaControls::announceSeek() {
    // A stream that cannot seek has not moved.
    if (!player_ || form_.StreamHandle == 0 || !audio_library::StreamSeekable(form_.StreamHandle)) return;
    const auto lengthBytes = static_cast<qint64>(BASS_ChannelGetLength(form_.StreamHandle, 0));
    const int shift = track_display::SliderShift(lengthBytes);
    emit player_->Seeked(
        std::max<qint64>(0, bytesToUs(track_display::FromSlider(form_.ProgressBar->value(), shift))));
}

#include "media_controls.moc"
