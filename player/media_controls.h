#pragma once

// The player on the desktop's media controls: the MPRIS 2 interfaces on the session bus, under the name
// org.mpris.MediaPlayer2.varnex, so that media keys, the panel's media widget and playerctl drive it. Every
// call runs the same handler as the player's button or the remote's key, through the handler wrapper and
// after the call has been answered, so that a message box it raises never holds up the caller. What the
// desktop is told (status, track, length) follows the player whoever drove it.

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

#include "player/audio_types.h"

class MprisPlayer;
class Player;

class MediaControls final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaControls)

public:
    static constexpr char ServiceName[] = "org.mpris.MediaPlayer2.varnex";

    // Registers on the session bus when there is one; without a session bus it does nothing. `raise` brings
    // the program's window up, `quit` ends the program.
    MediaControls(Player& player, std::function<void()> raise, std::function<void()> quit);
    ~MediaControls() override;

    // What the desktop sees now.
    QString PlaybackStatus();
    QVariantMap Metadata();
    bool CanSeek();
    // Microseconds played of the current stream; 0 with no stream.
    qint64 Position() const;

    // Runs `action` through the handler wrapper, once the call that asked has returned. One call at a time,
    // as with the window's own buttons: a call that comes while an earlier one is still running (a message
    // box it raised is open) is dropped.
    void Run(std::function<void()> action);
    void Raise() { Run(raise_); }
    void Quit() { Run(quit_); }
    // The player's own calls, run as above.
    void PlayPause();
    void Play();
    void Pause();
    void Next();
    void Previous();
    // Seeks, when the stream can seek; past the end of the stream this goes to the next track, before its
    // start to the start.
    void SeekBy(qint64 offsetUs);
    // Seeks the stream that `trackId` names, when that is still the one playing and it can seek.
    void SetPosition(const QString& trackId, qint64 positionUs);
    // The playlist has no stop: the stream pauses and goes back to its start.
    void Stop();

private:
    // The player as last told to the desktop.
    struct Shown {
        QString status = QStringLiteral("Stopped");
        HSTREAM stream = 0;
        QString address;        // the playlist row's address the stream was opened from
        qint64 lengthUs = -1;   // -1: not known
        bool seekable = false;  // what the stream can do: a stream of unknown length cannot seek
        bool canSeek() const { return stream != 0 && lengthUs > 0 && seekable; }
        bool operator==(const Shown&) const = default;
    };
    static QVariantMap metadataOf(const Shown& shown);
    static QString trackIdOf(const Shown& shown);

    void refreshSoon();
    // Reads the player and tells the desktop what changed since it was last told.
    void refresh();
    void seekTo(qint64 positionUs);
    void announceSeek(qint64 bytes);

    Player& player_;
    std::function<void()> raise_, quit_;
    MprisPlayer* adaptor_ = nullptr;
    QString service_;
    Shown shown_;
    bool refreshQueued_ = false;
    bool running_ = false;  // a call's action is running
};
