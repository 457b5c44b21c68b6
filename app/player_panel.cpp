// The music panel: its buttons, the position slider, the two time displays and the playlist, each handler a
// call of the player and each of the player's signals shown by one view.

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>

#include "app/application.h"
#include "app/main_window.h"
#include "common/event_hook.h"
#include "common/handlers.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "common/skin_slider.h"
#include "player/player.h"
#include "player/track_display.h"
#include "player/vk_playlist_builder.h"
#include "settings/settings.h"

namespace {

// The row the user sees selected; -1 when none is (Qt keeps a current row without a selection).
int selectedRow(const QListView* list) {
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

// The slider keeps its maximum when asked for one not above its minimum (a stream of unknown length).
void setSliderMaximum(QSlider* slider, int maximum) {
    if (maximum > slider->minimum()) slider->setMaximum(maximum);
}

// Something a drop or the clipboard carries that the playlist takes: URLs or text.
bool takes(const QMimeData* data) {
    return data && (data->hasUrls() || data->hasText());
}

}  // namespace

void TForm1::ConnectPlayerHandlers() {
    Player& player = app.Playback();
    PlayList->setModel(&player.Playlist());
    ProgressBar->setSingleStep(10);
    On(btnPlay, &TImage2::clicked, this, &TForm1::btnPlayClick);
    On(btnPause, &TImage2::clicked, this, &TForm1::btnPauseClick);
    On(btnNext, &TImage2::clicked, this, &TForm1::btnNextClick);
    On(btnPrev, &TImage2::clicked, this, &TForm1::btnPrevClick);
    On(ProgressBar, &SkinSlider::userMoved, this, &TForm1::ProgressBarChanged);
    // A left double click anywhere in the list, below its items too, plays the selected item.
    new EventHook(PlayList->viewport(), [this](QEvent* event) {
        if (event->type() == QEvent::MouseButtonDblClick &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            RunHandler([this] { PlayListDblClick(); });
        return false;
    });
    // The user's selection is the playlist's current row, and the player's current row is selected.
    On(PlayList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
       [this, &player] { player.Playlist().SetCurrentRow(selectedRow(PlayList)); });

    On(&player, &Player::playingChanged, this, [this](bool playing) { showPlaying(playing); });
    On(&player, &Player::trackOpened, this,
       [this](std::int64_t length, int shift) { showTrackOpened(length, shift); });
    On(&player, &Player::positionChanged, this, [this](const TrackPosition& at) { showPosition(at); });
    On(&player, &Player::seeked, this, [this](std::int64_t bytes) { showSeek(bytes); });
    On(&player.Playlist(), &PlaylistModel::currentRowChanged, this, [this](int row) { showCurrentRow(row); });
    On(&player, &Player::message, this, [](const QString& text) { messages::ShowMessage(text); });
    On(&player, &Player::notice, this, [](const QString& text) { messages::ShowNotice(text); });
}

void TForm1::PlayListDblClick() {
    app.Playback().PlayCurrent();
}

void TForm1::btnPlayClick() {
    app.Playback().Play();
}

void TForm1::btnPauseClick() {
    app.Playback().Pause();
}

void TForm1::btnNextClick() {
    app.Playback().Next();
}

void TForm1::btnPrevClick() {
    app.Playback().Previous();
}

void TForm1::ProgressBarChanged() {
    app.Playback().SeekSlider(ProgressBar->value());
}

void TForm1::showPlaying(bool playing) {
    if (playing) {
        btnPause->show();
        btnPlay->hide();
    } else {
        btnPlay->show();
        btnPause->hide();
    }
}

void TForm1::showTrackOpened(std::int64_t lengthBytes, int sliderShift) {
    ProgressBar->setMinimum(0);
    setSliderMaximum(ProgressBar, track_display::ToSlider(lengthBytes, sliderShift));
    ProgressBar->setValue(0);
}

void TForm1::showPosition(const TrackPosition& at) {
    Time1->setText(QString::fromStdString(track_display::FormatTime(at.elapsedSeconds)));
    Time2->setText(QString::fromStdString(track_display::FormatTime(at.lengthSeconds)));
    if (at.lengthBytes >= 0)
        setSliderMaximum(ProgressBar, track_display::ToSlider(at.lengthBytes, at.sliderShift));
    // Not under the user's hand: a thumb being dragged stays where the user holds it.
    if (!ProgressBar->isSliderDown())
        ProgressBar->setValue(track_display::ToSlider(at.positionBytes, at.sliderShift));
}

void TForm1::showSeek(std::int64_t bytes) {
    if (!ProgressBar->isSliderDown()) ProgressBar->setValue(app.Playback().ToSlider(bytes));
}

void TForm1::showCurrentRow(int row) {
    if (row < 0) {
        if (selectedRow(PlayList) >= 0) PlayList->selectionModel()->clearSelection();
        return;
    }
    PlayList->selectionModel()->setCurrentIndex(PlayList->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect);
}

void TForm1::ConnectPlaylistDrops() {
    // Every row is one height; saying so keeps a list of a million rows quick to lay out.
    PlayList->setUniformItemSizes(true);
    PlayList->viewport()->setAcceptDrops(true);
    // Drops are copied, never moved: the file manager that a file came from keeps it.
    new EventHook(PlayList->viewport(), [this](QEvent* event) {
        const auto type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
        auto* drop = static_cast<QDropEvent*>(event);
        if (!takes(drop->mimeData()) || !(drop->possibleActions() & Qt::CopyAction)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop) RunHandler([this, drop] { PlayListDragDrop(*drop->mimeData()); });
        return true;
    });
    new EventHook(PlayList, [this](QEvent* event) {
        if (event->type() != QEvent::KeyPress ||
            !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste))
            return false;
        RunHandler([this] { PlayListPaste(); });
        return true;
    });
}

void TForm1::PlayListDragDrop(const QMimeData& data) {
    app.Playback().AddDropped(data);
}

void TForm1::PlayListPaste() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (takes(data)) app.Playback().AddDropped(*data);
}

void TForm1::ConnectVkHandlers() {
    On(btnVk, &TImage2::clicked, this, &TForm1::btnVkClick);
    On(&app.Vk(), &VkPlaylistBuilder::message, this,
       [](const QString& text) { messages::ShowMessage(text); });
}

void TForm1::btnVkClick() {
    app.Vk().Build(app.AppSettings().General().edits[9]);
}
