// The VK playlist builder: link extraction, and the builder end to end on the real web engine against a local
// site. The site is a server on 127.0.0.1 that the engine uses as its proxy, so it answers for the network's
// own hosts by path; GStreamer reaches the audio links through the same server as its http_proxy.

#include <QListView>
#include <QSignalSpy>

#include "app/main_window.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "player/player.h"
#include "player/vk_links.h"
#include "player/vk_page.h"
#include "player/vk_playlist_builder.h"
#include "player/vk_site.h"
#include "settings/settings.h"
#include "settings/settings_window.h"
#include "tests/support/http_file_server.h"
#include "tests/support/settings_file.h"
#include "tests/support/slowdown.h"
#include "tests/support/stream_checks.h"
#include "tests/support/test_main.h"
#include "tests/support/tones.h"

namespace {

std::string pathOf(const QString& address) {
    return QUrl(address)
        .toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded)
        .toStdString();
}
std::string html(const QString& body) {
    return QStringLiteral("<html><head><meta charset=utf-8></head><body>%1</body></html>")
        .arg(body)
        .toStdString();
}

const std::string kLoginPath =
    pathOf(QStringLiteral("http://x/?act=login&email=%1&pass=%2").arg(vk::AccountEmail, vk::AccountPassword));
const QStringList kLinks{"http://cs1.test/a.wav", "http://cs2.test/b.wav", "http://cs1.test/a.wav",
                         "http://cs3.test/c.wav"};

// The site: login sets the session cookie and sends on to the profile, which wants that cookie. Contact 5's
// page holds its links in page order, a duplicate among them and the last added by a script once loaded.
struct Site {
    HttpFileServer server;
    Site() {
        server.AddRedirect(kLoginPath, vk::ProfileAddress().toStdString(),
                           "remixsid=s3cr3t; Domain=vk.com; Path=/");
        server.Add(pathOf(vk::ProfileAddress()), html("Мой профиль"), "text/html");
        server.RequireCookie(pathOf(vk::ProfileAddress()), "remixsid=s3cr3t", "http://vk.com/login");
        server.Add(
            "/audio?id=5",
            html("«Песня» <input value='http://cs1.test/a.wav,180'> <b>Группа — Песня</b>"
                 "<input value='http://cs2.test/b.wav,95'> ещё <input value='http://cs1.test/a.wav,180'>"
                 "<script>addEventListener('load', () => document.body.append('http://c' + "
                 "'s3.test/c.wav,61'))"
                 "</script>"),
            "text/html");
        for (const char* name : {"/a.wav", "/b.wav", "/c.wav"})
            server.Add(name, tones::Wav(name[1] == 'b' ? 1.5 : 1.0, 44100, 2, 0.5, 0.5), "audio/wav");
        const QByteArray proxy = QByteArray("http://127.0.0.1:") + QByteArray::number(server.Port());
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--proxy-server=" + proxy);
        qputenv("http_proxy", proxy);
    }
};

// What the builder's page went through, seen the way the program sees it (the test does not link the engine,
// so that the engine starts as in the program: loaded on the first click): the documents that completed,
// each handed on to the builder, and the failed loads (through the page's own signal).
struct LoadLog {
    static QObject* pageOf(VkPlaylistBuilder& builder) {
        for (QObject* child : dynamic_cast<QObject*>(builder.Browser())->children())
            if (child->inherits("QWebEnginePage")) return child;
        return nullptr;
    }
    QObject* page;
    QStringList loads;
    QSignalSpy finished;
    explicit LoadLog(VkPlaylistBuilder& builder)
        : page(pageOf(builder)), finished(page, SIGNAL(loadFinished(bool))) {
        builder.Browser()->OnDocumentComplete([&builder, this](const QString& address, const QString& body) {
            loads << address;
            builder.BrowserDocumentComplete(address, body);
        });
    }
    bool awaited(const QString& address) {
        return QTest::qWaitFor([&] { return loads.contains(address); }, 15000);
    }
    bool failed() {
        return QTest::qWaitFor([&] { return finished.contains(QVariantList{false}); }, 15000);
    }
    QString requested() const { return page->property("requestedUrl").toUrl().toString(); }
};

}  // namespace

class VkTest : public QObject {
    Q_OBJECT
    Site* site = nullptr;

private slots:
    void initTestCase() { site = new Site; }  // before the engine starts, which reads the proxy once
    void cleanupTestCase() { delete site; }

    void extractsLinks_data() {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("no marker, other case or scheme")
            << "<a href=https://cs1.x/a>Http://cs2,HTTP://CS3" << QStringList{};
        QTest::newRow("marker then comma") << "x http://cs,y" << QStringList{"http://cs"};
        QTest::newRow("text after the comma skipped")
            << "[«http://cs1.t/a.mp3?x=1»,«Песня»,http://cs2.t/b.mp3,]"
            << QStringList{"http://cs1.t/a.mp3?x=1»", "http://cs2.t/b.mp3"};
        QTest::newRow("no comma: the rest")
            << "x http://cs9.t/z.mp3 конец" << QStringList{"http://cs9.t/z.mp3 конец"};
        QTest::newRow("marker at the very end") << "a,http://cs" << QStringList{"http://cs"};
        QTest::newRow("overlapping markers, duplicates")
            << "http://cshttp://cs1,http://cs1,"
            << QStringList{"http://cshttp://cs1", "http://cs1", "http://cs1"};
        const QString longest = "http://cs" + QString(vk::MaxLinkLength - 9, u'x');
        QTest::newRow("up to 8 KB") << longest + ",http://cs" + QString(8184, u'y') + " http://cs1,"
                                    << QStringList{longest, "http://cs1"};
    }
    void extractsLinks() {
        QFETCH(QString, markup);
        QFETCH(QStringList, links);
        QCOMPARE(vk::ExtractLinks(markup).links, links);
    }

    // What one page may give is bounded, in page order: ten megabytes of ordinary links stop at MaxLinks;
    // three megabytes of markers back to back with a comma every 8 KB (every marker a link of up to 8 KB,
    // gigabytes in all) stop at MaxLinksLength characters; a megabyte of markers and no comma gives links
    // only within 8 KB of the end.
    void extractsWithinBounds() {
        QString ordinary;
        for (int i = 0; ordinary.size() < 10'000'000; ++i)
            ordinary +=
                QStringLiteral("<div>Исполнитель — Песня %1</div>'http://cs%1.test/%1.mp3',\n").arg(i);
        vk::PageLinks page = vk::ExtractLinks(ordinary);
        QCOMPARE(page.links.size(), vk::MaxLinks);
        QCOMPARE(page.leftOut, ordinary.count(vk::LinkMarker) - vk::MaxLinks);
        QCOMPARE(page.links.last(), QStringLiteral("http://cs%1.test/%1.mp3'").arg(vk::MaxLinks - 1));
        ordinary.clear();

        const QString crafted = (vk::LinkMarker.toString().repeated(900) + ',').repeated(3'000'000 / 8101);
        page = vk::ExtractLinks(crafted);
        qsizetype taken = 0;
        for (const QString& link : page.links) taken += link.size();
        QVERIFY2(taken <= vk::MaxLinksLength && taken > vk::MaxLinksLength - vk::MaxLinkLength,
                 qPrintable(QString::number(taken)));
        QCOMPARE(page.links.size() + page.leftOut, crafted.count(vk::LinkMarker));
        QCOMPARE(page.links.first(), crafted.first(8100));
        QCOMPARE(page.links[901], crafted.sliced(8101 + 9, 8100 - 9));

        page = vk::ExtractLinks(vk::LinkMarker.toString().repeated(111'111));
        QCOMPARE(page.links.size(), vk::MaxLinkLength / vk::LinkMarker.size());
        QCOMPARE(page.leftOut, 0);
        QCOMPARE(page.links.last(), vk::LinkMarker);
    }

    // The audio page's links are taken off the window's thread and replace the list when taken; a page that
    // completes while the one before is being read wins; a page past the bounds says what it left out.
    void readsPageOffThread() {
        PlaylistModel rows;
        VkPlaylistBuilder builder(rows);
        QStringList said;
        connect(&builder, &VkPlaylistBuilder::message, this, [&](const QString& text) { said << text; });
        builder.SetContactId(QStringLiteral("9"));
        const QString audio = vk::AsLoaded(vk::AudioAddress(QStringLiteral("9")));
        const QString crowded = QStringLiteral("http://cs1.t/x.mp3,").repeated(vk::MaxLinks + 5);
        rows.Append({QStringLiteral("old")});
        builder.BrowserDocumentComplete(audio, crowded);
        QCOMPARE(rows.Addresses(), QStringList{"old"});
        builder.BrowserDocumentComplete(audio, QStringLiteral("<b>http://cs2.t/y.mp3,1</b>"));
        QTRY_COMPARE(rows.Addresses(), QStringList{"http://cs2.t/y.mp3"});
        QTest::qWait(200 * kSlowdown);  // the crowded page, read to its end, changes nothing
        QCOMPARE(rows.Addresses(), QStringList{"http://cs2.t/y.mp3"});
        QVERIFY(said.isEmpty());

        builder.BrowserDocumentComplete(audio, crowded);
        QTRY_COMPARE(rows.Count(), vk::MaxLinks);
        QCOMPARE(rows.Address(vk::MaxLinks - 1), "http://cs1.t/x.mp3");
        QTRY_COMPARE(
            said,
            QStringList{"Добавлено в плейлист: 100000. Страница слишком велика, не добавлено ссылок: 5."});
    }

    void buildsPlaylist() {
        TestApp t;
        TForm1& form = *t.app.Form1;
        VkPlaylistBuilder& builder = t.app.Vk();
        const QAbstractItemModel* list = form.findChild<QListView*>(QStringLiteral("PlayList"))->model();
        // The contact ID as "Сохранить изменения" hands it over.
        const auto saveId = [&t](const QString& value) {
            GeneralSettings general = t.app.AppSettings().General();
            general.edits[9] = value;
            t.app.AppSettings().SaveGeneral(general);
        };
        messages::Recorder recorder;
        t.app.Playback().Playlist().Append({QStringLiteral("old")});

        // No id: a message, nothing loaded (the engine is not even made).
        form.findChild<TImage2*>(QStringLiteral("btnVk"))->clicked();
        QCOMPARE(recorder.texts(), QStringList{"Не указан ID контакта!"});
        QVERIFY(!builder.Browser() && ItemTexts(list) == QStringList{"old"});

        // Login, profile, audio page: the list is replaced by the links after the page's script ran.
        saveId(QStringLiteral("5"));
        form.findChild<TImage2*>(QStringLiteral("btnVk"))->clicked();
        QVERIFY(QTest::qWaitFor([&] { return ItemTexts(list) == kLinks; }, 20000));
        LoadLog log(builder);

        // An audio page for an id changed since the profile step is not read.
        site->server.Add("/audio?id=6", html("http://cs6.test/x.wav,1"), "text/html");
        site->server.StallAfter("/audio?id=6", 10);
        saveId(QStringLiteral("6"));
        form.btnVkClick();
        QVERIFY(QTest::qWaitFor([&] { return log.requested().endsWith("audio?id=6"); }, 15000));
        saveId(QStringLiteral("7"));
        site->server.Release("/audio?id=6");
        QVERIFY(log.awaited(QStringLiteral("http://vk.com/audio?id=6")));

        // A page cut off mid-way is a failed load, not the audio page.
        site->server.Add("/audio?id=7", html("http://cs7.test/x.wav,1" + QString(50000, u'x')), "text/html");
        site->server.ClaimLength("/audio?id=7", 100000);
        form.btnVkClick();
        QVERIFY(log.failed());
        QCOMPARE(ItemTexts(list), kLinks);

        // A login that never reaches the profile goes no further; the markers on its page are not read.
        site->server.Add(kLoginPath, html("Неверный пароль http://cs1.test/x.wav,1"), "text/html");
        form.btnVkClick();
        QVERIFY(log.awaited(vk::AsLoaded(vk::LoginAddress())));
        QCOMPARE(ItemTexts(list), kLinks);
        QCOMPARE(recorder.texts().size(), 1);
        site->server.AddRedirect(kLoginPath, vk::ProfileAddress().toStdString(),
                                 "remixsid=s3cr3t; Domain=vk.com; Path=/");
    }

    // Ticked at start-up, the list fills without a click, and play, next and the advance walk it in order.
    void fillsAtStartUpAndPlays() {
        QTemporaryDir folder;
        WriteSettings(folder.path(), QStringLiteral("[Общие настройки]\r\nСоздавать плейлист vk при запуске "
                                                    "программы=1\r\nID контакта=5\r\n"));
        App app(folder.path());
        TForm1& form = *app.Form1;
        const Player& player = app.Playback();
        const QAbstractItemModel* list = form.findChild<QListView*>(QStringLiteral("PlayList"))->model();
        QVERIFY(QTest::qWaitFor([&] { return ItemTexts(list) == kLinks; }, 20000));

        const std::int64_t second = 44100 * 4;
        const auto playing = [&](int row, std::int64_t bytes) {
            return QTest::qWaitFor(
                [&] { return player.Playlist().CurrentRow() == row && length(player.Stream()) == bytes; },
                8000);
        };
        emit form.findChild<TImage2*>(QStringLiteral("btnPlay"))->clicked();
        QVERIFY(playing(0, second));
        emit form.findChild<TImage2*>(QStringLiteral("btnNext"))->clicked();
        QVERIFY(playing(1, second * 3 / 2));
        QVERIFY(playing(2, second));  // the advance at the end of the 1.5 s track
    }
};

VARNEX_TEST_MAIN(VkTest)
#include "test_vk.moc"
