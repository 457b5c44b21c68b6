// Filling the playlist without VK: playlist texts read over a table, references turned into rows against a
// real folder, and drops and a paste on the real playlist, with a local file played from its row.

#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <fstream>

#include "app/main_window.h"
#include "common/cp1251.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "player/audio_library.h"
#include "player/player.h"
#include "player/playlist_import.h"
#include "tests/support/main_controls.h"
#include "tests/support/settings_file.h"
#include "tests/support/slowdown.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

using namespace playlist_import;

namespace {

QString fileRow(const QString& path) {
    return QUrl::fromLocalFile(path).toString();
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    WriteFileBytes(path, bytes);
}

}  // namespace

class PlaylistsTest : public QObject {
    Q_OBJECT

private slots:
    void playlistTexts_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("pls");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("extended m3u, CR LF, blanks")
            << QByteArray("#EXTM3U\r\n#EXTINF:-1,Radio\r\n  http://a/1 \t\r\n\r\n \r\n#x\r\nsong.mp3")
            << false << QStringList{"  http://a/1 \t", "song.mp3"};
        QTest::newRow("CR and LF lines") << QByteArray("a\rb\n\nc\n") << false << QStringList{"a", "b", "c"};
        QTest::newRow("UTF-8 with its mark")
            << QByteArray("\xEF\xBB\xBFМузыка/песня 1.mp3\n") << false << QStringList{"Музыка/песня 1.mp3"};
        QTest::newRow("code page 1251")
            << cp1251::Encode(u"Музыка\\песня.mp3") << false << QStringList{"Музыка\\песня.mp3"};
        QTest::newRow("UTF-16 with its mark")
            << QByteArray(QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(u"я\r\nb"))
            << false << QStringList{"я", "b"};
        QTest::newRow("pls, by number")
            << QByteArray(
                   "[playlist]\nNumberOfEntries=3\nFile10=j.ogg\nFile1=http://a/1\nTitle1=A, B\n"
                   " file9 = b.ogg \nFileX=c\nFile=c\nFile3=\nLength1=-1\n")
            << true << QStringList{"http://a/1", "b.ogg", "j.ogg"};
    }
    void playlistTexts() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, pls);
        QFETCH(QStringList, listed);
        QCOMPARE(ListedReferences(DecodeText(bytes, true), pls ? ListFormat::Pls : ListFormat::M3u), listed);
    }

    // Addresses, files, folders and playlists, with every kind of reference that is skipped.
    void referencesToRows() {
        QTemporaryDir dir;
        const QString album = dir.filePath("Альбом 1");
        for (const char* name : {"10 b.mp3", "2 a.MP3", "002 C.mp3", "cover.jpg", "sub/x.mp3", ".hidden.mp3"})
            write(album + '/' + name, "x");
        const QByteArray notUtf8 = QFile::encodeName(album) + "/\xC0\xE5.mp3";  // a name that is not UTF-8
        std::ofstream{notUtf8.constData()};
        // Qt cannot see it, so the folder's own clean-up would leave it (and the folder) behind.
        const auto removeNotUtf8 = qScopeGuard([&] { std::remove(notUtf8.constData()); });
        write(dir.filePath(" lead.mp3"), "x");
        write(dir.filePath("list.m3u8"), cp1251::Encode(u"Альбом 1/2 a.MP3"));
        QDir().mkpath(dir.filePath("empty"));
        write(dir.filePath("binary.bin"), QByteArray::fromHex("7f454c460201"));
        // A Windows player's playlist (code page 1251, backslashes) that lists itself and a playlist listing
        // it.
        write(dir.filePath("radio.m3u"),
              cp1251::Encode(
                  u"#EXTM3U\r\n#EXTINF:-1,Радио\r\nhttp://radio.example/stream\r\nАльбом 1\\2 a.MP3 \r\n"
                  u" lead.mp3\r\nmissing.mp3\r\nradio.m3u\r\nnested.pls\r\nftp://host/y.mp3\r\n"));
        write(dir.filePath("nested.pls"), "[playlist]\nFile1=radio.m3u\nFile2=Альбом 1/10 b.mp3\n");

        const Batch batch = Collect({album, dir.filePath("radio.m3u"), fileRow(dir.filePath("nope.mp3")),
                                     dir.filePath("binary.bin"), dir.filePath("empty"),
                                     " http://host/a b.mp3 ", "https:///no-host", "relative.mp3",
                                     QString("http://a/\x01\x02"), dir.filePath("list.m3u8")});
        QCOMPARE(batch.rows, (QStringList{fileRow(album + "/2 a.MP3"), fileRow(album + "/002 C.mp3"),
                                          fileRow(album + "/10 b.mp3"), "http://radio.example/stream",
                                          fileRow(album + "/2 a.MP3"), fileRow(dir.filePath(" lead.mp3")),
                                          fileRow(album + "/10 b.mp3"), "http://host/a b.mp3"}));
        // the name not UTF-8, missing.mp3, radio.m3u twice, ftp, nope.mp3, binary.bin, empty, no host,
        // relative, control codes, the code page 1251 name in list.m3u8 (UTF-8 only)
        QCOMPARE(batch.skipped, 12);
    }

    // A folder and a station's playlist dropped onto the playlist, a file row played, junk dropped, a paste.
    void dropsAndPaste() {
        messages::Recorder recorder;
        QTemporaryDir dir;
        const QString album = dir.filePath("Альбом 1");
        write(album + "/01 тон.mp3", QByteArray::fromStdString(tones::Mp3(2.0, 128)));
        write(album + "/02.wav", QByteArray::fromStdString(tones::Wav(1.0, 44100, 2, 0.5, 0.25)));
        QStringList station;  // more rows than one turn appends
        for (int i = 0; i < 12000; ++i) station.append(QStringLiteral("http://127.0.0.1:9/%1").arg(i));
        write(dir.filePath("station.m3u"), ("#EXTM3U\n" + station.join('\n')).toUtf8());
        QByteArray junk(50 << 20, Qt::Uninitialized);  // 50 MB of binary data
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(junk.data()), junk.size() / 4);
        write(dir.filePath("junk.m3u"), junk);

        TestApp testApp;
        TForm1& f = *testApp.app.Form1;
        Player& player = testApp.app.Playback();
        PlaylistModel& rows = player.Playlist();
        auto* list = f.findChild<QListView*>(QStringLiteral("PlayList"));
        f.show();
        rows.Append({"http://kept/0"});
        auto drop = [&](const QList<QUrl>& urls) {  // as a file manager drops: entering, then the drop
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter({10, 10}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(list->viewport(), &enter);
            QDropEvent event({10, 10}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(list->viewport(), &event);
            return enter.isAccepted() && event.isAccepted() && event.dropAction() == Qt::CopyAction;
        };
        QVERIFY(drop({QUrl::fromLocalFile(album)}));
        const QStringList expected{"http://kept/0", fileRow(album + "/01 тон.mp3"),
                                   fileRow(album + "/02.wav")};
        QTRY_COMPARE(ItemTexts(list->model()), expected);

        // The MP3 plays from its file:// row with its length, position and levels; colour music reads these.
        list->setCurrentIndex(list->model()->index(1, 0));
        DoubleClick(*list, list->visualRect(list->currentIndex()).center());
        QTRY_VERIFY(!player.Opening());
        player.findChild<QTimer*>("TimerNextSong")->stop();  // the stream stays, ended or not, while the
                                                             // drops below are read
        QVERIFY(player.Stream() != 0);
        const HSTREAM playing = player.Stream();
        const auto* time1 = f.findChild<QLabel*>("Time1");
        QTRY_VERIFY((player.UpdatePosition(), time1->text() == "00:00:01"));
        QCOMPARE(f.findChild<QLabel*>("Time2")->text(), "00:00:02");
        const DWORD level = BASS_ChannelGetLevel(playing);
        QVERIFY2((level & 0xFFFF) > 8000 && (level >> 16) > 8000 && level != 0xFFFFFFFF,
                 qPrintable(QString::number(level, 16)));

        // While it plays: the station's playlist and the junk in one drop, which counts what it left out.
        QVERIFY(drop({QUrl::fromLocalFile(dir.filePath("station.m3u")),
                      QUrl::fromLocalFile(dir.filePath("junk.m3u"))}));
        QTRY_COMPARE_WITH_TIMEOUT(rows.Count(), 3 + 12000, 20000 * kSlowdown);
        QCOMPARE(ItemTexts(list->model()), expected + station);
        QTRY_COMPARE(recorder.texts().size(), 1);
        QVERIFY2(recorder.texts()[0].startsWith("Добавлено в плейлист: 12000. Пропущено: "),
                 qPrintable(recorder.texts()[0]));
        QCOMPARE(player.Stream(), playing);
        QCOMPARE(rows.CurrentRow(), 1);
        QCOMPARE(list->selectionModel()->selectedIndexes().value(0).row(), 1);
        QVERIFY(f.findChild<QWidget*>("btnPlay")->isHidden());

        recorder.clear();
        write(dir.filePath("huge.m3u"), "http://a/0\n");
        QVERIFY(QFile::resize(dir.filePath("huge.m3u"), kMaxPlaylistBytes + 1));  // sparse: costs no disk
        QVERIFY(drop({QUrl::fromLocalFile(dir.filePath("huge.m3u"))}));
        QTRY_COMPARE_WITH_TIMEOUT(
            recorder.texts(),
            QStringList{"Ничего не добавлено в плейлист: плейлист слишком велик, чтобы его прочитать."},
            5000 * kSlowdown);
        QCOMPARE(rows.Count(), 3 + 12000);

        // A chain of ten thousand playlists, each listing an address and the next: read to its depth limit.
        recorder.clear();
        QStringList chain;
        for (int i = 0; i < 10000; ++i) {
            write(dir.filePath(QStringLiteral("chain/%1.m3u").arg(i)),
                  QStringLiteral("http://chain/%1\n%2.m3u\n").arg(i).arg(i + 1).toUtf8());
            if (i < kMaxPlaylistDepth) chain.append(QStringLiteral("http://chain/%1").arg(i));
        }
        QGuiApplication::clipboard()->setText(" http://a/1\r\n\r\nhttps://b/2 \n" +
                                              dir.filePath("chain/0.m3u"));
        QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE(rows.Count(), 3 + 12000 + 2 + kMaxPlaylistDepth);
        QCOMPARE(ItemTexts(list->model()).mid(3 + 12000), QStringList({"http://a/1", "https://b/2"}) + chain);
        QTRY_COMPARE(
            recorder.texts(),
            QStringList{
                "Добавлено в плейлист: 18.\nНе прочитано плейлистов, вложенных глубже 16 уровней: 1."});
        player.FreeStream();
    }
};

VARNEX_TEST_MAIN(PlaylistsTest)
#include "test_playlists.moc"
