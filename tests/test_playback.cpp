// The music panel end to end: a playlist of local HTTP streams, the buttons, the slider, the time displays
// and the list's selection following the player, on the real audio library with a silent sink.

#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <memory>

#include "app/application.h"
#include "app/main_window.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "common/skin_slider.h"
#include "player/player.h"
#include "player/track_display.h"
#include "tests/support/http_file_server.h"
#include "tests/support/main_controls.h"
#include "tests/support/stream_checks.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

namespace {

constexpr std::int64_t kBytesPerSecond = 44100 * 2 * 2;
const QString kEmpty = QStringLiteral("Плейлист пуст!");

QString shownTime(double seconds) {
    return QString::fromStdString(track_display::FormatTime(seconds));
}

// Where the slider's thumb is, in the slider's coordinates.
QRect thumbRect(const QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.state |= QStyle::State_Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.upsideDown = slider->invertedAppearance();
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

// A main window with a server of tones beside it.
struct Panel {
    Panel() : form(*app.Form1) {
        for (const char* name : {"/a.wav", "/b.wav", "/c.wav"})
            server.Add(name, tones::Wav(3.0, 44100, 2, 0.5, 0.5), "audio/wav");
        server.Add("/short1.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        server.Add("/short2.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        form.show();
        // The tests run the one-second position update themselves, so it never moves the thumb under them.
        player.findChild<QTimer*>(QStringLiteral("TrackPos"))->stop();
    }
    // Items as URLs, or as paths on the server.
    void fill(std::initializer_list<std::string> items) {
        for (const std::string& item : items)
            player.Playlist().Append({QString::fromStdString(item[0] == '/' ? server.Url(item) : item)});
    }
    // Selects `row` in the list, as a click does.
    void select(int row) { list->setCurrentIndex(list->model()->index(row, 0)); }
    // A left double click on the list, as the user makes it: on the selected item, or below the items.
    void doubleClickList() {
        const QModelIndexList selected = list->selectionModel()->selectedIndexes();
        if (!selected.isEmpty()) list->scrollTo(selected.first());
        const QPoint at = selected.isEmpty() ? QPoint(4, list->viewport()->height() - 3)
                                             : list->visualRect(selected.first()).center();
        DoubleClick(*list, at);
    }
    void playRow(int row) {
        select(row);
        doubleClickList();
        QVERIFY(opened());
    }
    // The player's current row, when the list shows it selected; -2 when the two differ.
    int row() const {
        const QModelIndexList selected = list->selectionModel()->selectedIndexes();
        const int shown = selected.isEmpty() ? -1 : selected.first().row();
        return shown == player.Playlist().CurrentRow() ? shown : -2;
    }
    // Presses `button` of the panel and waits for what it opens.
    bool press(TImage2* button) {
        emit button->clicked();
        return opened();
    }
    // The steps after an open have run.
    bool opened() {
        return QTest::qWaitFor([&] { return !player.Opening(); }, 6000);
    }
    bool playing() const { return play->isHidden() && !pause->isHidden(); }
    bool paused() const { return !play->isHidden() && pause->isHidden(); }
    template <typename W>
    W* control(const char* name) const {
        return form.findChild<W*>(QLatin1String(name));
    }

    HttpFileServer server;
    TestApp testApp;
    App& app = testApp.app;
    TForm1& form;
    Player& player = app.Playback();
    TImage2* play = control<TImage2>("btnPlay");
    TImage2* pause = control<TImage2>("btnPause");
    TImage2* next = control<TImage2>("btnNext");
    TImage2* prev = control<TImage2>("btnPrev");
    TImage2* playlistButton = control<TImage2>("btnPlaylist");
    SkinSlider* slider = control<SkinSlider>("ProgressBar");
    QLabel* time1 = control<QLabel>("Time1");
    QLabel* time2 = control<QLabel>("Time2");
    QListView* list = control<QListView>("PlayList");
};

}  // namespace

class PlaybackTest : public QObject {
    Q_OBJECT
    messages::Recorder recorder;
    std::unique_ptr<Panel> p;

private slots:
    void init() {
        recorder.clear();
        p = std::make_unique<Panel>();
    }
    // A test takes the messages it expects; any other is a fault.
    void cleanup() {
        QVERIFY(recorder.texts().isEmpty());
        p.reset();
    }

    void playAndPause() {
        // At start both buttons show, play on top; with an empty list play, next and previous only say so.
        QVERIFY(!p->play->isHidden() && !p->pause->isHidden());
        emit p->play->clicked();
        emit p->next->clicked();
        emit p->prev->clicked();
        QCOMPARE(recorder.texts(), QStringList(3, kEmpty));
        QCOMPARE(p->player.Stream(), HSTREAM{0});
        QVERIFY(!p->player.Advancing());
        emit p->pause->clicked();  // no stream: only the buttons swap
        QVERIFY(p->paused());
        recorder.clear();
        // No stream: the displays show zero; a failure value is no maximum.
        p->slider->setMaximum(1000);
        p->slider->setValue(500);
        p->time1->setText("12:34:56");
        p->player.UpdatePosition();
        QCOMPARE(p->time1->text(), QStringLiteral("00:00:00"));
        QCOMPARE(p->time2->text(), QStringLiteral("00:00:00"));
        QCOMPARE(p->slider->value(), 0);
        QCOMPARE(p->slider->maximum(), 1000);

        p->fill({"/a.wav", "/b.wav"});
        QVERIFY(p->press(p->play));  // no stream: the first item plays
        QCOMPARE(p->row(), 0);
        const HSTREAM first = p->player.Stream();
        QVERIFY(first != 0 && p->playing() && p->player.Advancing());
        QCOMPARE(p->slider->maximum(), 3 * kBytesPerSecond);
        QCOMPARE(p->slider->value(), 0);

        QVERIFY(QTest::qWaitFor([&] { return position(first) > 0; }, 2000));
        emit p->pause->clicked();
        QVERIFY(p->paused());
        const std::int64_t stood = settledPosition(first);
        QVERIFY(stood > 0);

        // Play resumes the same stream, even with the list emptied meanwhile.
        p->player.Playlist().Clear();
        emit p->play->clicked();
        QCOMPARE(p->player.Stream(), first);
        QVERIFY(p->playing());
        QVERIFY(QTest::qWaitFor([&] { return position(first) > stood; }, 2000));
    }

    void nextPreviousAndDoubleClick() {
        p->fill({"/a.wav", "/b.wav", "/c.wav"});
        QCOMPARE(p->row(), -1);

        emit p->prev->clicked();  // no selection: nothing to go back to
        QCOMPARE(p->player.Stream(), HSTREAM{0});
        // What counts is the row the user sees selected, not the current row Qt keeps without a selection.
        p->list->selectionModel()->setCurrentIndex(p->list->model()->index(1, 0),
                                                   QItemSelectionModel::NoUpdate);
        p->doubleClickList();  // nothing selected: nothing plays
        QCOMPARE(p->player.Stream(), HSTREAM{0});
        QVERIFY(p->press(p->next));  // no selection: the first item
        QCOMPARE(p->row(), 0);
        const HSTREAM first = p->player.Stream();
        QVERIFY(first != 0);
        QVERIFY(QTest::qWaitFor([&] { return position(first) > 0; }, 2000));
        emit p->prev->clicked();  // on the first item: nothing happens, playback goes on
        QCOMPARE(p->player.Stream(), first);
        QVERIFY(position(first) > 0);

        QVERIFY(p->press(p->next));
        QCOMPARE(p->row(), 1);
        QVERIFY(p->player.Stream() != 0 && p->player.Stream() != first);
        QCOMPARE(BASS_ChannelGetPosition(first, 0), ~QWORD{0});  // the old stream is gone
        emit p->next->clicked();
        QCOMPARE(p->row(), 2);
        emit p->prev->clicked();
        QCOMPARE(p->row(), 1);
        QVERIFY(p->press(p->next) && p->playing());

        // Next on the last item stays there and stops.
        emit p->next->clicked();
        QCOMPARE(p->row(), 2);
        QCOMPARE(p->player.Stream(), HSTREAM{0});
        QVERIFY(p->paused());

        // A left double click plays the item clicked; a right one plays nothing.
        QWidget* viewport = p->list->viewport();
        emit p->playlistButton->clicked();  // show the list
        const auto itemAt = [&](int row) {
            return p->list->visualRect(p->list->model()->index(row, 0)).center();
        };
        QTest::mouseDClick(viewport, Qt::RightButton, {}, itemAt(0));
        QCOMPARE(p->player.Stream(), HSTREAM{0});
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, itemAt(1));
        QVERIFY(p->opened());
        QCOMPARE(p->row(), 1);
        const HSTREAM clicked = p->player.Stream();
        QVERIFY(clicked != 0);
        QVERIFY(p->playing());

        // With the row deselected (as a Ctrl+click does), a double click below the items changes nothing.
        p->list->selectionModel()->clearSelection();
        QCOMPARE(p->list->currentIndex().row(), 1);
        QCOMPARE(p->row(), -1);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, viewport->height() - 2));
        QCOMPARE(p->player.Stream(), clicked);
    }

    void sliderSeeksOnlyOnUserMoves() {
        SkinSlider* slider = p->slider;
        p->fill({"/a.wav"});
        QVERIFY(p->press(p->play));
        const HSTREAM h = p->player.Stream();

        // The one-second update moves the thumb and the times, and never seeks.
        QVERIFY(QTest::qWaitFor([&] { return position(h) >= kBytesPerSecond; }, 2500));
        p->player.UpdatePosition();
        // The elapsed time is the thumb's position of the same tick, read a moment before it.
        const double atTick = static_cast<double>(slider->value()) / kBytesPerSecond;
        const QString elapsed = p->time1->text();
        QVERIFY2(elapsed == shownTime(atTick) || elapsed == shownTime(atTick - 0.05), qPrintable(elapsed));
        QCOMPARE(p->time2->text(), QStringLiteral("00:00:03"));
        slider->setValue(0);
        p->player.UpdatePosition();
        QVERIFY(position(h) >= kBytesPerSecond);
        QVERIFY(slider->value() >= kBytesPerSecond);

        // Wheel and page keys do not move it.
        const int before = slider->value();
        QWheelEvent wheel(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &wheel);
        QTest::keyClick(slider, Qt::Key_PageDown);
        QTest::keyClick(slider, Qt::Key_Up);
        QCOMPARE(slider->value(), before);

        // Home goes to the start and seeks there; the right arrow steps 10 bytes.
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(slider->value(), 0);
        QVERIFY(QTest::qWaitFor([&] { return position(h) < kBytesPerSecond / 2; }, 2000));
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->value(), 10);

        // A drag seeks when the thumb is let go; while it is held, the update leaves it alone.
        slider->setSliderDown(true);
        slider->setSliderPosition(2 * kBytesPerSecond);
        p->player.UpdatePosition();
        QCOMPARE(slider->value(), 2 * kBytesPerSecond);
        QVERIFY(position(h) < kBytesPerSecond);
        slider->setSliderDown(false);
        QVERIFY(QTest::qWaitFor([&] { return position(h) >= 2 * kBytesPerSecond; }, 2000));
    }

    void sliderMouse() {
        SkinSlider* slider = p->slider;
        p->fill({"/a.wav"});
        QVERIFY(p->press(p->play));
        const HSTREAM h = p->player.Stream();
        QVERIFY(QTest::qWaitFor([&] { return position(h) > kBytesPerSecond / 2; }, 2000));
        emit p->pause->clicked();
        const std::int64_t paused = settledPosition(h);
        QVERIFY(paused > 0);
        slider->setValue(kBytesPerSecond / 4);  // the program's own move: the thumb leaves the play position

        // A left click on the thumb that does not move it, and right clicks anywhere, do not seek.
        QTest::mouseClick(slider, Qt::LeftButton, {}, thumbRect(slider).center());
        QTest::mouseClick(slider, Qt::RightButton, {}, thumbRect(slider).center());
        QTest::mouseClick(slider, Qt::RightButton, {}, QPoint(slider->width() - 4, slider->height() / 2));
        QCOMPARE(position(h), paused);
        QCOMPARE(slider->value(), kBytesPerSecond / 4);

        // The left button held on the rail and let go seeks to where the thumb went.
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 4, slider->height() / 2));
        QVERIFY(slider->value() > kBytesPerSecond / 4);
        const std::int64_t onRail = slider->value();
        QVERIFY(QTest::qWaitFor([&] { return std::llabs(position(h) - onRail) <= 8; }, 2000));

        // A drag of the thumb seeks where it is let go.
        const QPoint from = thumbRect(slider).center();
        const QPoint to(slider->width() * 3 / 4, from.y());
        QTest::mousePress(slider, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(slider, &move);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        const std::int64_t dropped = slider->value();
        QVERIFY(dropped > kBytesPerSecond);
        QVERIFY(QTest::qWaitFor([&] { return std::llabs(position(h) - dropped) <= 8; }, 2000));
    }

    void streamOfTwoGigabytesAndMore() {
        // An 8-bit WAV of 2^30 bytes and a second, sparse on disk: as 16-bit samples, 2^31 bytes and a
        // second. (The WAV reader takes no data chunk of 2^31 bytes or more.)
        const std::int64_t dataBytes = (std::int64_t{1} << 30) + kBytesPerSecond / 2;
        const std::int64_t pcmBytes = 2 * dataBytes;
        std::string header = tones::Wav(0, 44100, 2, 0, 0, 8);
        const auto patch = [&](std::size_t at, std::int64_t value) {
            for (int i = 0; i < 4; ++i) header[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        };
        patch(4, 36 + dataBytes);
        patch(40, dataBytes);
        QTemporaryDir dir;
        QFile file(dir.filePath("long.wav"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(header.data(), qint64(header.size())) == qint64(header.size()));
        QVERIFY(file.resize(qint64(header.size()) + dataBytes));
        file.close();

        p->fill({QUrl::fromLocalFile(file.fileName()).toString().toStdString(), "/short1.wav"});
        p->playRow(0);
        const HSTREAM h = p->player.Stream();
        QVERIFY(h != 0);
        const std::int64_t bytes = length(h);
        QCOMPARE(bytes, pcmBytes);
        // The slider counts pairs of bytes: its maximum is positive and maps back to the length.
        QCOMPARE(p->slider->maximum(), static_cast<int>(bytes / 2));
        QVERIFY(p->slider->maximum() > 0);
        p->player.UpdatePosition();
        QCOMPARE(p->time2->text(), QStringLiteral("03:22:54"));
        QVERIFY(p->slider->value() >= 0 && p->slider->value() < p->slider->maximum());

        // End seeks to the end, the track is over and the next one plays.
        QTest::keyClick(p->slider, Qt::Key_End);
        QVERIFY(QTest::qWaitFor([&] { return p->row() == 1 && p->player.Stream() != 0; }, 4000));
        QVERIFY(p->player.Stream() != h);
        QVERIFY(p->playing());
    }

    void lengthLearntWhilePlayingResizesTheSlider() {
        // Low-bitrate frames first: the length first guessed from the bitrate is far too long.
        const std::string mp3 = tones::Mp3(1.0, 32) + tones::Mp3(3.0, 320);
        QVERIFY(mp3.size() > 100'000);
        p->server.Add("/late.mp3", mp3, "audio/mpeg");
        p->fill({"/late.mp3"});
        QVERIFY(p->press(p->play));
        const HSTREAM h = p->player.Stream();
        QVERIFY(h != 0);
        const int guessed = p->slider->maximum();
        QVERIFY(QTest::qWaitFor(
            [&] {
                p->player.UpdatePosition();
                const int maximum = p->slider->maximum();
                return maximum != guessed &&
                       maximum == track_display::ToSlider(length(h), track_display::SliderShift(length(h)));
            },
            3000));
    }
};

VARNEX_TEST_MAIN(PlaybackTest)
#include "test_playback.moc"
