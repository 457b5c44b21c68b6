// The music panel: play, pause, next and previous over the playlist, the position slider with seeking, the
// two time displays and the advance to the next track when one ends.

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <functional>

#include "app/event_hook.h"
#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/skin_slider.h"
#include "player/audio_library.h"
#include "player/track_display.h"

namespace {

const QString kEmptyPlaylist = QStringLiteral("Плейлист пуст!");

// The slider seeks only on the user's own finished moves: the left button released after dragging the thumb
// (a press on the thumb that did not move it is no move) or after holding it down on the rail, a left or
// right arrow (one step), Home or End. Keys and the wheel that would move it otherwise are swallowed, so the
// thumb never leaves the play position without a seek; other mouse buttons never seek.
void HookSliderMoves(QSlider* slider, std::function<void()> moved) {
    auto pressed = std::make_shared<bool>(false);  // the left button is down on the rail or the thumb
    auto dragged = std::make_shared<bool>(false);  // the thumb has moved under the mouse since the press
    On(slider, &QSlider::sliderMoved, slider, [dragged] { *dragged = true; });
    On(slider, &QSlider::sliderReleased, slider, [moved, dragged] {
        if (*dragged) moved();
        *dragged = false;
    });
    new EventHook(slider, [slider, moved, pressed, dragged](QEvent* event) {
        switch (event->type()) {
            case QEvent::Wheel:
                return true;
            case QEvent::KeyPress: {
                QAbstractSlider::SliderAction action;
                switch (static_cast<QKeyEvent*>(event)->key()) {
                    case Qt::Key_Left:
                        action = QAbstractSlider::SliderSingleStepSub;
                        break;
                    case Qt::Key_Right:
                        action = QAbstractSlider::SliderSingleStepAdd;
                        break;
                    case Qt::Key_Home:
                        action = QAbstractSlider::SliderToMinimum;
                        break;
                    case Qt::Key_End:
                        action = QAbstractSlider::SliderToMaximum;
                        break;
                    case Qt::Key_Up:
                    case Qt::Key_Down:
                    case Qt::Key_PageUp:
                    case Qt::Key_PageDown:
                        return true;
                    default:
                        return false;
                }
                slider->triggerAction(action);
                RunHandler(moved);
                return true;
            }
            case QEvent::MouseButtonPress:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    *pressed = true;
                    *dragged = false;
                }
                return false;
            case QEvent::MouseButtonRelease:
                if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
                // A drag ends with sliderReleased; a hold on the rail ends here.
                if (*pressed && !slider->isSliderDown()) RunHandler(moved);
                *pressed = false;
                return false;
            default:
                return false;
        }
    });
}

}  // namespace

void TForm1::ConnectPlayerHandlers() {
    ProgressBar->setSingleStep(10);
    On(btnPlay, &TImage2::clicked, this, &TForm1::btnPlayClick);
    On(btnPause, &TImage2::clicked, this, &TForm1::btnPauseClick);
    On(btnNext, &TImage2::clicked, this, &TForm1::btnNextClick);
    On(btnPrev, &TImage2::clicked, this, &TForm1::btnPrevClick);
    On(TrackPos, &QTimer::timeout, this, &TForm1::TrackPosTimer);
    On(TimerNextSong, &QTimer::timeout, this, &TForm1::TimerNextSongTimer);
    HookSliderMoves(ProgressBar, [this] { ProgressBarChanged(); });
    // A double click anywhere in the list, below its items too, plays the selected item.
    new EventHook(PlayList->viewport(), [this](QEvent* event) {
        if (event->type() == QEvent::MouseButtonDblClick) RunHandler([this] { PlayListDblClick(); });
        return false;
    });
}

namespace {

void showPlaying(TForm1& form, bool playing) {
    if (playing) {
        form.btnPause->show();
        form.btnPlay->hide();
    } else {
        form.btnPlay->show();
        form.btnPause->hide();
    }
}

// Stops and releases the stream, if there is one.
void freeStream(TForm1& form) {
    if (form.StreamHandle == 0) return;
    BASS_ChannelStop(form.StreamHandle);
    BASS_StreamFree(form.StreamHandle);
    form.StreamHandle = 0;
}

// The slider keeps its maximum when asked for one not above its minimum (a stream of unknown length).
void setSliderMaximum(QSlider* slider, int maximum) {
    if (maximum > slider->minimum()) slider->setMaximum(maximum);
}

}  // namespace

void TForm1::PlayListDblClick() {
    const int row = PlayList->currentRow();
    if (row < 0 || row >= PlayList->count()) return;  // nothing selected: nothing to play
    freeStream(*this);
    const QByteArray url = PlayList->item(row)->text().toUtf8();
    StreamHandle = BASS_StreamCreateURL(url.constData(), 0, 0, nullptr, nullptr);
    BASS_ChannelPlay(StreamHandle, false);
    showPlaying(*this, true);
    const auto length = static_cast<std::int64_t>(BASS_ChannelGetLength(StreamHandle, 0));
    ProgressShift = track_display::SliderShift(length);
    ProgressBar->setMinimum(0);
    setSliderMaximum(ProgressBar, track_display::ToSlider(length, ProgressShift));
    ProgressBar->setValue(0);
    EndReported = false;
    if (!TimerNextSong->isActive()) TimerNextSong->start();
}

void TForm1::btnPlayClick() {
    if (StreamHandle != 0) {
        BASS_ChannelPlay(StreamHandle, false);
        showPlaying(*this, true);
    } else if (PlayList->count() == 0) {
        messages::ShowMessage(kEmptyPlaylist);
    } else {
        PlayList->setCurrentRow(0);
        PlayListDblClick();
    }
}

void TForm1::btnPauseClick() {
    BASS_ChannelPause(StreamHandle);
    showPlaying(*this, false);
}

void TForm1::btnNextClick() {
    if (PlayList->count() == 0) {
        messages::ShowMessage(kEmptyPlaylist);
        return;
    }
    const int next = PlayList->currentRow() + 1;
    if (next < PlayList->count()) {
        PlayList->setCurrentRow(next);
        PlayListDblClick();
        return;
    }
    // Past the last track: the selection stays on it and playback stops. So does the advance, which would
    // otherwise take "no stream" for an ended track and move on from whatever is selected next.
    freeStream(*this);
    TimerNextSong->stop();
    showPlaying(*this, false);
}

void TForm1::btnPrevClick() {
    if (PlayList->count() == 0) {
        messages::ShowMessage(kEmptyPlaylist);
        return;
    }
    const int row = PlayList->currentRow();
    if (row <= 0) return;  // on the first track, or none selected: playback goes on
    PlayList->setCurrentRow(row - 1);
    PlayListDblClick();
}

void TForm1::TrackPosTimer() {
    const double elapsed = BASS_ChannelBytes2Seconds(StreamHandle, BASS_ChannelGetPosition(StreamHandle, 0));
    const QWORD lengthBytes = BASS_ChannelGetLength(StreamHandle, 0);
    const double length = BASS_ChannelBytes2Seconds(StreamHandle, lengthBytes);
    Time1->setText(QString::fromStdString(track_display::FormatTime(elapsed)));
    Time2->setText(QString::fromStdString(track_display::FormatTime(length)));

    // Some streams learn their exact length only while playing: the slider's range follows it.
    const auto lengthValue = static_cast<std::int64_t>(lengthBytes);
    if (lengthValue >= 0) {
        ProgressShift = track_display::SliderShift(lengthValue);
        setSliderMaximum(ProgressBar, track_display::ToSlider(lengthValue, ProgressShift));
    }
    // Not under the user's hand: a thumb being dragged stays where the user holds it.
    if (!ProgressBar->isSliderDown()) {
        const auto position = static_cast<std::int64_t>(BASS_ChannelGetPosition(StreamHandle, 0));
        ProgressBar->setValue(track_display::ToSlider(position, ProgressShift));
    }
}

void TForm1::ProgressBarChanged() {
    const std::int64_t position = track_display::FromSlider(ProgressBar->value(), ProgressShift);
    BASS_ChannelSetPosition(StreamHandle, static_cast<QWORD>(position), 0);
}

void TForm1::TimerNextSongTimer() {
    const QWORD length = BASS_ChannelGetLength(StreamHandle, 0);
    const QWORD position = BASS_ChannelGetPosition(StreamHandle, 0);
    if (length != position) return;
    if (PlayList->count() == 0) {
        // The list emptied under an ended track: say so once, not every second.
        if (EndReported) return;
        EndReported = true;
    }
    btnNextClick();
}
