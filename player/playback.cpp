// The music panel: play, pause, next and previous over the playlist, the position slider with seeking, the
// two time displays and the advance to the next track when one ends.

#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <functional>
#include <utility>

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
const QString kNoAnswer = QStringLiteral("Адрес не отвечает:\n%1");

}  // namespace

void TForm1::ConnectPlayerHandlers() {
    ProgressBar->setSingleStep(10);
    On(btnPlay, &TImage2::clicked, this, &TForm1::btnPlayClick);
    On(btnPause, &TImage2::clicked, this, &TForm1::btnPauseClick);
    On(btnNext, &TImage2::clicked, this, &TForm1::btnNextClick);
    On(btnPrev, &TImage2::clicked, this, &TForm1::btnPrevClick);
    On(TrackPos, &QTimer::timeout, this, &TForm1::TrackPosTimer);
    On(TimerNextSong, &QTimer::timeout, this, &TForm1::TimerNextSongTimer);
    On(ProgressBar, &SkinSlider::userMoved, this, &TForm1::ProgressBarChanged);
    // A left double click anywhere in the list, below its items too, plays the selected item.
    new EventHook(PlayList->viewport(), [this](QEvent* event) {
        if (event->type() == QEvent::MouseButtonDblClick &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            RunHandler([this] { PlayListDblClick(); });
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

// The row the user sees selected; -1 when none is (Qt keeps a current row without a selection).
int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

// The slider keeps its maximum when asked for one not above its minimum (a stream of unknown length).
void setSliderMaximum(QSlider* slider, int maximum) {
    if (maximum > slider->minimum()) slider->setMaximum(maximum);
}

}  // namespace

void TForm1::FreeStream() {
    audio_library::CancelOpen(std::exchange(openTicket_, 0));
    if (StreamHandle == 0) return;
    BASS_ChannelStop(StreamHandle);
    BASS_StreamFree(StreamHandle);
    StreamHandle = 0;
}

void TForm1::PlayListDblClick() {
    const int row = selectedRow(PlayList);
    if (row < 0) return;  // nothing selected: nothing to play
    FreeStream();
    // The window goes on answering while the address is opened (a server may take seconds, or never
    // answer); the steps after the open run once its result is known. Any later play, next, previous or
    // pause drops this open for its own.
    const QString address = PlayList->item(row)->text();
    openTicket_ = audio_library::OpenStreamURL(
        address.toUtf8().constData(), [this, address](HSTREAM handle, bool noAnswer) {
            openTicket_ = 0;
            RunHandler([&] { streamOpened(handle, noAnswer, address); });
        });
}

void TForm1::streamOpened(HSTREAM handle, bool noAnswer, const QString& address) {
    StreamHandle = handle;
    BASS_ChannelPlay(StreamHandle, false);
    showPlaying(*this, true);
    const auto length = static_cast<std::int64_t>(BASS_ChannelGetLength(StreamHandle, 0));
    ProgressShift = track_display::SliderShift(length);
    ProgressBar->setMinimum(0);
    setSliderMaximum(ProgressBar, track_display::ToSlider(length, ProgressShift));
    ProgressBar->setValue(0);
    EndReported = false;
    if (!TimerNextSong->isActive()) TimerNextSong->start();
    // Said without stopping anything: the advance goes on past a row that does not answer.
    if (noAnswer) messages::ShowNotice(kNoAnswer.arg(address));
}

void TForm1::btnPlayClick() {
    if (StreamOpening()) return;  // the track being opened plays once it is open
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
    if (StreamOpening()) {
        // Nothing plays yet: the open is dropped, and so is the advance, which would take the missing stream
        // for an ended track.
        FreeStream();
        TimerNextSong->stop();
    }
    BASS_ChannelPause(StreamHandle);
    showPlaying(*this, false);
}

void TForm1::btnNextClick() {
    if (PlayList->count() == 0) {
        messages::ShowMessage(kEmptyPlaylist);
        return;
    }
    const int next = selectedRow(PlayList) + 1;
    if (next < PlayList->count()) {
        PlayList->setCurrentRow(next);
        PlayListDblClick();
        return;
    }
    // Past the last track: the selection stays on it and playback stops. So does the advance, which would
    // otherwise take "no stream" for an ended track and move on from whatever is selected next.
    FreeStream();
    TimerNextSong->stop();
    showPlaying(*this, false);
}

void TForm1::btnPrevClick() {
    if (PlayList->count() == 0) {
        messages::ShowMessage(kEmptyPlaylist);
        return;
    }
    const int row = selectedRow(PlayList);
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
    if (StreamOpening()) return;  // the track has not begun
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
