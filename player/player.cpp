#include "player/player.h"

#include <QTimer>
#include <cmath>
#include <utility>

#include "player/audio_library.h"
#include "player/playlist_feed.h"
#include "player/track_display.h"

namespace {

const QString kNoAnswer = QStringLiteral("Адрес не отвечает:\n%1");

}  // namespace

Player::Player(QObject* parent)
    : QObject(parent),
      playlist_(new PlaylistModel(this)),
      feed_(new PlaylistFeed(
          *playlist_, [this](const QString& text) { emit message(text); }, this)),
      trackPos_(new QTimer(this)),
      nextSong_(new QTimer(this)) {
    trackPos_->setObjectName(QStringLiteral("TrackPos"));
    trackPos_->setInterval(1000);
    connect(trackPos_, &QTimer::timeout, this, &Player::UpdatePosition);
    trackPos_->start();
    nextSong_->setObjectName(QStringLiteral("TimerNextSong"));
    nextSong_->setInterval(1000);
    connect(nextSong_, &QTimer::timeout, this, &Player::AdvanceIfEnded);
}

Player::~Player() {
    FreeStream();
}

void Player::setPlaying(bool playing) {
    if (playingShown_ && playing == playing_) return;
    playingShown_ = true;
    playing_ = playing;
    emit playingChanged(playing);
}

Player::Status Player::CurrentStatus() const {
    if (stream_ == 0) return Status::Stopped;
    return playing_ ? Status::Playing : Status::Paused;
}

bool Player::Advancing() const {
    return nextSong_->isActive();
}

void Player::FreeStream() {
    audio_library::CancelOpen(std::exchange(openTicket_, 0));
    if (stream_ == 0) return;
    BASS_ChannelStop(stream_);
    BASS_StreamFree(stream_);
    stream_ = 0;
    streamAddress_.clear();
    emit streamChanged(0);
}

void Player::PlayCurrent() {
    const int row = playlist_->CurrentRow();
    if (row < 0) return;  // nothing selected: nothing to play
    FreeStream();
    // The steps after the open run once its result is known.
    const QString address = playlist_->Address(row);
    openTicket_ = audio_library::OpenStreamURL(address.toUtf8().constData(),
                                               [this, address](HSTREAM handle, bool noAnswer) {
                                                   openTicket_ = 0;
                                                   streamOpened(handle, noAnswer, address);
                                               });
}

void Player::streamOpened(HSTREAM handle, bool noAnswer, const QString& address) {
    stream_ = handle;
    streamAddress_ = handle != 0 ? address : QString();
    BASS_ChannelPlay(stream_, false);
    if (stream_ != 0) emit streamChanged(stream_);
    setPlaying(true);
    const std::int64_t length = LengthBytes();
    sliderShift_ = track_display::SliderShift(length);
    emit trackOpened(length, sliderShift_);
    endReported_ = false;
    if (!nextSong_->isActive()) nextSong_->start();
    // Said without stopping anything: the advance goes on past a row that does not answer.
    if (noAnswer) emit notice(kNoAnswer.arg(address));
}

void Player::Play() {
    if (Opening()) return;  // the track being opened plays once it is open
    if (stream_ != 0) {
        BASS_ChannelPlay(stream_, false);
        setPlaying(true);
    } else if (playlist_->Count() == 0) {
        emit message(EmptyPlaylist);
    } else {
        playlist_->SetCurrentRow(0);
        PlayCurrent();
    }
}

void Player::Pause() {
    if (Opening()) {
        // Nothing plays yet: the open is dropped, and so is the advance, which would take the missing stream
        // for an ended track.
        FreeStream();
        nextSong_->stop();
    }
    BASS_ChannelPause(stream_);
    setPlaying(false);
}

void Player::PlayPause() {
    // Before the first play or pause, play.
    if (playingShown_ && playing_)
        Pause();
    else
        Play();
}

void Player::Next() {
    if (playlist_->Count() == 0) {
        emit message(EmptyPlaylist);
        return;
    }
    const int next = playlist_->CurrentRow() + 1;
    if (next < playlist_->Count()) {
        playlist_->SetCurrentRow(next);
        PlayCurrent();
        return;
    }
    // Past the last track: the current row stays on it and playback stops. So does the advance, which would
    // otherwise take "no stream" for an ended track and move on from whatever is current next.
    FreeStream();
    nextSong_->stop();
    setPlaying(false);
}

void Player::Previous() {
    if (playlist_->Count() == 0) {
        emit message(EmptyPlaylist);
        return;
    }
    const int row = playlist_->CurrentRow();
    if (row <= 0) return;  // on the first track, or none current: playback goes on
    playlist_->SetCurrentRow(row - 1);
    PlayCurrent();
}

std::int64_t Player::LengthBytes() const {
    return static_cast<std::int64_t>(BASS_ChannelGetLength(stream_, 0));
}

std::int64_t Player::PositionBytes() const {
    return static_cast<std::int64_t>(BASS_ChannelGetPosition(stream_, 0));
}

std::int64_t Player::BytesToUs(std::int64_t bytes) const {
    if (bytes < 0) return -1;
    const double seconds = BASS_ChannelBytes2Seconds(stream_, static_cast<QWORD>(bytes));
    return seconds < 0 ? -1 : std::llround(seconds * 1e6);
}

bool Player::Seekable() const {
    return stream_ != 0 && audio_library::StreamSeekable(stream_);
}

DWORD Player::Level() const {
    return BASS_ChannelGetLevel(stream_);
}

int Player::ToSlider(std::int64_t bytes) const {
    return track_display::ToSlider(bytes, sliderShift_);
}

std::int64_t Player::FromSlider(int value) const {
    return track_display::FromSlider(value, sliderShift_);
}

void Player::SeekTo(std::int64_t bytes) {
    BASS_ChannelSetPosition(stream_, static_cast<QWORD>(bytes), 0);
    emit seeked(bytes);
}

void Player::UpdatePosition() {
    TrackPosition now;
    now.lengthBytes = LengthBytes();
    now.elapsedSeconds = BASS_ChannelBytes2Seconds(stream_, BASS_ChannelGetPosition(stream_, 0));
    now.lengthSeconds = BASS_ChannelBytes2Seconds(stream_, static_cast<QWORD>(now.lengthBytes));
    // Some streams learn their exact length only while playing: the slider's scale follows it.
    if (now.lengthBytes >= 0) sliderShift_ = track_display::SliderShift(now.lengthBytes);
    now.sliderShift = sliderShift_;
    now.positionBytes = PositionBytes();
    emit positionChanged(now);
}

void Player::AdvanceIfEnded() {
    if (Opening()) return;  // the track has not begun
    if (BASS_ChannelGetLength(stream_, 0) != BASS_ChannelGetPosition(stream_, 0)) return;
    if (playlist_->Count() == 0) {
        // The list emptied under an ended track: say so once, not every second.
        if (endReported_) return;
        endReported_ = true;
    }
    Next();
}

void Player::AddDropped(const QMimeData& data) {
    feed_->Add(data);
}
