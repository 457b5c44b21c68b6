// The channel picker: the strip's positions over ten steps, which steps start the video player and with what,
// and the logos decoded from JPEG, whole or refused.

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include "channels/channel_window.h"
#include "channels/jpeg_image.h"
#include "common/link_label.h"
#include "common/messages.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"

class ChannelsTest : public QObject {
    Q_OBJECT

private slots:
    // Each step of Button1 from the start, then Button2 with a stand-in player of that step's own name; the
    // player must start on the first channel only, with the stream address as its one argument.
    void stripStepsAndStartsOnlyTheFirstChannel() {
        TestApp testApp;
        TForm4& form = *testApp.app.Form4;
        messages::Recorder recorder;
        QCOMPARE(form.width(), QGuiApplication::primaryScreen()->geometry().width());
        QCOMPARE(form.height(), 250);
        const QString players = testApp.folder.filePath(QStringLiteral("player-"));
        const QString standIn = players + QStringLiteral("stand-in");
        WriteFileBytes(standIn, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        QVERIFY(QFile::setPermissions(standIn, QFile::ReadOwner | QFile::ExeOwner));

        // channel, panel left, marker left after 0..10 steps
        const StripPosition expected[] = {{1, 0, 100},      {2, 0, 335},     {3, 0, 560},     {4, 0, 844},
                                          {5, -229, 1142},  {6, -381, 1444}, {7, -635, 1833}, {8, -961, 2166},
                                          {9, -1113, 2409}, {1, 0, 100},     {2, 0, 335}};
        // A player that is not installed is not reported, and the strip goes on working.
        qputenv(TForm4::VideoPlayerVariable, QFile::encodeName(players + QStringLiteral("absent")));
        form.Button2->click();
        const auto asList = [](StripPosition p) { return QList<int>{p.channel, p.panelLeft, p.markerLeft}; };
        for (int step = 0; step <= 10; ++step) {
            if (step > 0) form.Button1->click();
            QCOMPARE(asList({form.ChannelIndex, form.Panel1->x(), form.Arrow->x()}), asList(expected[step]));
            const QString player = players + QString::number(step);
            QVERIFY(QFile::link(standIn, player));
            qputenv(TForm4::VideoPlayerVariable, QFile::encodeName(player));
            form.Button2->click();
        }
        for (int outOfRange : {0, 10})
            QCOMPARE(asList(NextChannel({outOfRange, -50, 500})), asList(StripStart));
        // The logo starts the player whatever is selected.
        form.show();
        QVERIFY(QFile::link(standIn, players + QStringLiteral("logo")));
        qputenv(TForm4::VideoPlayerVariable, QFile::encodeName(players + QStringLiteral("logo")));
        QTest::mouseClick(form.Channel1, Qt::LeftButton, {}, form.Channel1->rect().center());
        qunsetenv(TForm4::VideoPlayerVariable);

        const QByteArray argument = TForm4::StreamAddress.toUtf8() + '\n';
        for (const char* started : {"0", "9", "logo"}) {
            const QString args = players + QLatin1String(started) + QStringLiteral(".args");
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(args).size() == argument.size(), 10000);
            QCOMPARE(ReadFileBytes(args), argument);
        }
        for (int step : {1, 2, 3, 4, 5, 6, 7, 8, 10})
            QVERIFY2(!QFileInfo::exists(players + QString::number(step) + QStringLiteral(".args")),
                     qPrintable(QStringLiteral("started on step %1").arg(step)));
        QVERIFY(recorder.shown().isEmpty());
    }

    // The nine logos decode whole to their places' sizes, in their true colours; damaged data gives no image.
    void logosDecodeWholeOrNotAtAll() {
        TestApp testApp;
        for (int number = 1; number <= LogoCount; ++number) {
            const QByteArray jpeg = ReadFileBytes(QStringLiteral(":/logos/Channel%1.jpg").arg(number));
            const QImage logo = DecodeJpeg(jpeg);
            QCOMPARE(logo.size(), LogoPlaces[number - 1].size());
            QCOMPARE(testApp.app.Form4->Channel(number)->pixmap().size(), logo.size());

            QByteArray notJpeg = jpeg;
            notJpeg[0] = 0;
            QByteArray badTable = jpeg;
            badTable.replace(jpeg.indexOf("\xff\xc4"), 8, QByteArray(8, '\xff'));
            for (const QByteArray& damaged : {jpeg.left(100), jpeg.left(jpeg.size() / 2), jpeg.chopped(2),
                                              notJpeg, badTable, QByteArray()})
                QVERIFY2(DecodeJpeg(damaged).isNull(), qPrintable(QString::number(damaged.size())));
        }
        const QColor red = ReadJpegFile(QStringLiteral(":/logos/Channel1.jpg")).pixelColor(20, 20);
        QVERIFY2(red.red() > 190 && red.green() < 90 && red.blue() < 90, qPrintable(red.name()));
        QVERIFY(ReadJpegFile(QStringLiteral(":/logos/Channel10.jpg")).isNull());

        // A whole picture of one row more than the largest allowed (8192 × 8192) is refused.
        QImage tooLarge(8192, 8193, QImage::Format_Grayscale8);
        tooLarge.fill(0);
        QBuffer jpeg;
        QVERIFY(tooLarge.save(&jpeg, "JPG"));
        QVERIFY(DecodeJpeg(jpeg.data()).isNull());
    }
};

VARNEX_TEST_MAIN(ChannelsTest)
#include "test_channels.moc"
