#pragma once

// The music player: the stream of the playlist's current row, play, pause, next, previous and seeking, the
// one-second position update (TrackPos) and the advance to the next track when one ends (TimerNextSong).
// It owns the playlist and what is dropped or pasted into it. It has no widgets: the main window and the
// desktop's media controls drive it through its calls and follow its signals.
//
// The playlist's current row is the row the user sees selected. Play with no stream plays the first row;
// next past the last row stops; previous on the first row, or with no row current, does nothing. A row's
// address is opened without waiting (a server may take seconds, or never answer); any later play, next,
// previous or pause drops that open for its own.

#include <QObject>
#include <QString>
#include <cstdint>

#include "player/audio_types.h"
#include "player/playlist_model.h"

class PlaylistFeed;
class QMimeData;
class QTimer;

// Where the stream is, as the one-second update reads it.
struct TrackPosition {
    double elapsedSeconds = -1;  // negative: no stream
    double lengthSeconds = -1;
    std::int64_t positionBytes = -1;  // -1: not known
    std::int64_t lengthBytes = -1;
    int sliderShift = 0;  // bytes per slider unit as a power of two
};

class Player final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Player)

public:
    enum class Status { Stopped, Playing, Paused };

    static inline const QString EmptyPlaylist = QStringLiteral("Плейлист пуст!");

    explicit Player(QObject* parent = nullptr);
    ~Player() override;

    PlaylistModel& Playlist() { return *playlist_; }
    const PlaylistModel& Playlist() const { return *playlist_; }

    // Opens and plays the current row; nothing when no row is current.
    void PlayCurrent();
    // Resumes the stream; with none, plays the first row (or says the playlist is empty). While a row is
    // being opened it does nothing: that row plays once it is open.
    void Play();
    // Pauses the stream; an open under way is dropped, and so is the advance.
    void Pause();
    // Play when paused or stopped, pause when playing.
    void PlayPause();
    void Next();
    void Previous();
    // Moves the stream to `bytes` of its decoded length; the move is announced by seeked.
    void SeekTo(std::int64_t bytes);
    // Moves the stream to where `value` of the position slider falls.
    void SeekSlider(int value) { SeekTo(FromSlider(value)); }
    // Reads the position and length and announces them (positionChanged); run every second.
    void UpdatePosition();
    // Moves on to the next row once the stream has played to its end; run every second while playing.
    void AdvanceIfEnded();
    // Stops and releases the stream, if there is one, and drops an open under way.
    void FreeStream();

    // Appends what `data` carries (addresses, audio files, folders, playlist files), read off this thread,
    // after the existing rows and in the order the drops came.
    void AddDropped(const QMimeData& data);

    HSTREAM Stream() const { return stream_; }
    // Whether a row's address is being opened.
    bool Opening() const { return openTicket_ != 0; }
    // Whether the advance runs.
    bool Advancing() const;
    // Whether play or pause was asked last: the face of the play/pause button (playing means pause shows).
    bool Playing() const { return playing_; }
    // Stopped with no stream; otherwise playing or paused.
    Status CurrentStatus() const;
    // The row's address the stream was opened from.
    QString StreamAddress() const { return streamAddress_; }
    // The stream's decoded length and position in bytes; -1 when not known or with no stream.
    std::int64_t LengthBytes() const;
    std::int64_t PositionBytes() const;
    // Microseconds in `bytes` of the stream; -1 for a failure value or with no stream.
    std::int64_t BytesToUs(std::int64_t bytes) const;
    bool Seekable() const;
    // Peaks of the last 20 ms heard, as the audio library gives them (all bits set when nothing plays).
    DWORD Level() const;

    int SliderShift() const { return sliderShift_; }
    int ToSlider(std::int64_t bytes) const;
    std::int64_t FromSlider(int value) const;

signals:
    // Play or pause was asked (also when nothing could be opened: the playing face stays).
    void playingChanged(bool playing);
    // A stream was opened from a row: the slider starts at 0 of the stream's length.
    void trackOpened(std::int64_t lengthBytes, int sliderShift);
    // The stream appeared or was released.
    void streamChanged(HSTREAM stream);
    void positionChanged(const TrackPosition& position);
    // The stream was moved to `bytes`.
    void seeked(std::int64_t bytes);
    // Said to the user and waited for (the empty playlist, what a drop left out).
    void message(const QString& text);
    // Said without stopping anything (an address that does not answer).
    void notice(const QString& text);

private:
    void setPlaying(bool playing);
    void streamOpened(HSTREAM handle, bool noAnswer, const QString& address);

    PlaylistModel* playlist_;
    PlaylistFeed* feed_;
    QTimer* trackPos_;
    QTimer* nextSong_;
    HSTREAM stream_ = 0;
    QString streamAddress_;
    int sliderShift_ = 0;
    bool playing_ = false;
    bool playingShown_ = false;  // playingChanged has been sent once
    bool endReported_ = false;   // the ended track has already met the empty-list message
    unsigned openTicket_ = 0;    // the open under way, 0 when none is
};
