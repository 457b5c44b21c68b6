// The music panel end to end: a playlist of local HTTP streams, the buttons, the slider, the time displays
// and the advance, on the real audio library with a silent sink.

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QWheelEvent>

#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/skin_slider.h"
#include "tests/support/http_file_server.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

namespace {

constexpr std::int64_t kBytesPerSecond = 44100 * 2 * 2;
const QString kEmpty = QStringLiteral("Плейлист пуст!");

std::int64_t position(HSTREAM h) {
    return static_cast<std::int64_t>(BASS_ChannelGetPosition(h, 0));
}

// A main window with a server of tones beside it.
struct Panel {
    Panel() : form(*app.Form1) {
        for (const char* name : {"/a.wav", "/b.wav", "/c.wav"})
            server.Add(name, tones::Wav(3.0, 44100, 2, 0.5, 0.5), "audio/wav");
        server.Add("/short1.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        server.Add("/short2.wav", tones::Wav(1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        form.show();
    }
    ~Panel() {
        BASS_StreamFree(form.StreamHandle);
        form.StreamHandle = 0;
    }
    void fill(std::initializer_list<std::string> urls) {
        for (const std::string& url : urls) form.PlayList->addItem(QString::fromStdString(url));
    }
    bool playing() const { return form.btnPlay->isHidden() && !form.btnPause->isHidden(); }
    bool paused() const { return !form.btnPlay->isHidden() && form.btnPause->isHidden(); }

    HttpFileServer server;
    TestApp testApp;
    App& app = testApp.app;
    TForm1& form;
};

}  // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

private slots:
    void playAndPause() {
        messages::Recorder recorder;
        Panel p;
        TForm1& f = p.form;
        // At start both buttons show, play on top; with an empty list play, next and previous only say so.
        QVERIFY(!f.btnPlay->isHidden() && !f.btnPause->isHidden());
        f.btnPlayClick();
        f.btnNextClick();
        f.btnPrevClick();
        QCOMPARE(recorder.texts(), QStringList(3, kEmpty));
        QCOMPARE(f.StreamHandle, HSTREAM{0});
        QVERIFY(!f.TimerNextSong->isActive());
        f.btnPauseClick();  // no stream: only the buttons swap
        QVERIFY(p.paused());
        recorder.clear();

        p.fill({p.server.Url("/a.wav"), p.server.Url("/b.wav")});
        f.btnPlayClick();  // no stream: the first item plays
        QCOMPARE(f.PlayList->currentRow(), 0);
        const HSTREAM first = f.StreamHandle;
        QVERIFY(first != 0);
        QVERIFY(p.playing());
        QVERIFY(f.TimerNextSong->isActive());
        QCOMPARE(f.ProgressBar->maximum(), 3 * kBytesPerSecond);
        QCOMPARE(f.ProgressBar->value(), 0);

        QTest::qWait(300);
        f.btnPauseClick();
        QVERIFY(p.paused());
        QTest::qWait(100);
        const std::int64_t stood = position(first);
        QVERIFY(stood > 0);
        QTest::qWait(300);
        QCOMPARE(position(first), stood);

        // Play resumes the same stream, even with the list emptied meanwhile.
        f.PlayList->clear();
        f.btnPlayClick();
        QCOMPARE(f.StreamHandle, first);
        QVERIFY(p.playing());
        QVERIFY(QTest::qWaitFor([&] { return position(first) > stood; }, 1000));
        QVERIFY(recorder.texts().isEmpty());
    }

    void nextPreviousAndDoubleClick() {
        messages::Recorder recorder;
        Panel p;
        TForm1& f = p.form;
        p.fill({p.server.Url("/a.wav"), p.server.Url("/b.wav"), p.server.Url("/c.wav")});
        QCOMPARE(f.PlayList->currentRow(), -1);

        f.btnPrevClick();  // no selection: nothing to go back to
        QCOMPARE(f.StreamHandle, HSTREAM{0});
        f.btnNextClick();  // no selection: the first item
        QCOMPARE(f.PlayList->currentRow(), 0);
        const HSTREAM first = f.StreamHandle;
        QVERIFY(first != 0);
        QTest::qWait(200);
        f.btnPrevClick();  // on the first item: nothing happens, playback goes on
        QCOMPARE(f.StreamHandle, first);
        QVERIFY(position(first) > 0);

        f.btnNextClick();
        QCOMPARE(f.PlayList->currentRow(), 1);
        QVERIFY(f.StreamHandle != 0 && f.StreamHandle != first);
        QCOMPARE(BASS_ChannelGetPosition(first, 0), ~QWORD{0});  // the old stream is gone
        f.btnNextClick();
        QCOMPARE(f.PlayList->currentRow(), 2);
        f.btnPrevClick();
        QCOMPARE(f.PlayList->currentRow(), 1);
        f.btnNextClick();
        QVERIFY(p.playing());

        // Next on the last item stays there and stops.
        f.btnNextClick();
        QCOMPARE(f.PlayList->currentRow(), 2);
        QCOMPARE(f.StreamHandle, HSTREAM{0});
        QVERIFY(p.paused());

        // A double click plays the item clicked.
        QWidget* viewport = f.PlayList->viewport();
        f.btnPlaylistClick();  // show the list
        QTest::mouseDClick(viewport, Qt::LeftButton, {},
                           f.PlayList->visualItemRect(f.PlayList->item(1)).center());
        QCOMPARE(f.PlayList->currentRow(), 1);
        const HSTREAM clicked = f.StreamHandle;
        QVERIFY(clicked != 0);
        QVERIFY(p.playing());

        // With no selection, a double click below the items changes nothing.
        f.PlayList->setCurrentRow(-1);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, viewport->height() - 2));
        QCOMPARE(f.StreamHandle, clicked);
        QVERIFY(recorder.texts().isEmpty());
    }

    void advanceSkipsUnopenableStreamsAndStopsAtTheEnd() {
        messages::Recorder recorder;
        Panel p;
        TForm1& f = p.form;
        HttpFileServer gone;
        const std::string refused = gone.Url("/x.mp3");
        gone.Stop();
        p.fill({p.server.Url("/short1.wav"), refused, p.server.Url("/missing.mp3"),
                p.server.Url("/short2.wav")});
        f.PlayList->setCurrentRow(0);
        f.PlayListDblClick();
        QVERIFY(f.StreamHandle != 0);

        // The first track ends, the two bad ones are skipped about a second each, the last one plays.
        QVERIFY(QTest::qWaitFor([&] { return f.PlayList->currentRow() == 3 && f.StreamHandle != 0; }, 8000));
        QVERIFY(p.playing());
        QVERIFY(QTest::qWaitFor([&] { return f.StreamHandle == 0; }, 4000));
        QCOMPARE(f.PlayList->currentRow(), 3);
        QVERIFY(p.paused());
        QVERIFY(recorder.texts().isEmpty());
    }

    void emptiedListIsReportedOncePerEndedTrack() {
        messages::Recorder recorder;
        Panel p;
        TForm1& f = p.form;
        p.fill({p.server.Url("/short1.wav")});
        f.btnPlayClick();
        f.PlayList->clear();
        QTest::qWait(3500);
        QCOMPARE(recorder.texts(), QStringList{kEmpty});

        // A new list and a new track: its end is reported again.
        p.fill({p.server.Url("/short2.wav")});
        f.PlayList->setCurrentRow(0);
        f.PlayListDblClick();
        f.PlayList->clear();
        QTest::qWait(2500);
        QCOMPARE(recorder.texts(), QStringList(2, kEmpty));
    }

    void sliderSeeksOnlyOnUserMoves() {
        messages::Recorder recorder;
        Panel p;
        TForm1& f = p.form;
        SkinSlider* slider = f.ProgressBar;
        p.fill({p.server.Url("/a.wav")});
        f.btnPlayClick();
        const HSTREAM h = f.StreamHandle;

        // The one-second update moves the thumb and the times, and never seeks.
        QVERIFY(QTest::qWaitFor([&] { return slider->value() >= kBytesPerSecond; }, 2500));
        QCOMPARE(f.Time1->text(), QStringLiteral("00:00:01"));
        QCOMPARE(f.Time2->text(), QStringLiteral("00:00:03"));
        slider->setValue(0);
        f.TrackPosTimer();
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
        QVERIFY(QTest::qWaitFor([&] { return position(h) < kBytesPerSecond / 2; }, 1000));
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->value(), 10);

        // A drag seeks when the thumb is let go; while it is held, the update leaves it alone.
        slider->setSliderDown(true);
        slider->setSliderPosition(2 * kBytesPerSecond);
        f.TrackPosTimer();
        QCOMPARE(slider->value(), 2 * kBytesPerSecond);
        QVERIFY(position(h) < kBytesPerSecond);
        slider->setSliderDown(false);
        QVERIFY(QTest::qWaitFor([&] { return position(h) >= 2 * kBytesPerSecond; }, 1000));
        QVERIFY(recorder.texts().isEmpty());
    }

    void noStreamShowsZero() {
        Panel p;
        TForm1& f = p.form;
        f.ProgressBar->setMaximum(1000);
        f.ProgressBar->setValue(500);
        f.Time1->setText("12:34:56");
        f.TrackPosTimer();
        QCOMPARE(f.Time1->text(), QStringLiteral("00:00:00"));
        QCOMPARE(f.Time2->text(), QStringLiteral("00:00:00"));
        QCOMPARE(f.ProgressBar->value(), 0);
        QCOMPARE(f.ProgressBar->maximum(), 1000);  // a failure value is no maximum
    }
};

VARNEX_TEST_MAIN(PlaybackTest)
#include "test_playback.moc"
