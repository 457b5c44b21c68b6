// The LED strip's layout: each LED's area of the screen in strip order, the layouts refused, colour music's
// zones on the sides, the mean colour of each area, and the strip's section of settings.ini.

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "light/board_parser.h"
#include "light/colour_music.h"
#include "light/strip_layout.h"
#include "settings/profile_file.h"
#include "settings/settings.h"
#include "settings/strip_settings.h"
#include "tests/support/settings_file.h"

namespace {

// Areas as "x,y wxh", so that a failure shows them.
QStringList Texts(const std::vector<QRect>& areas) {
    QStringList texts;
    for (const QRect& a : areas)
        texts << QStringLiteral("%1,%2 %3x%4").arg(a.x()).arg(a.y()).arg(a.width()).arg(a.height());
    return texts;
}

StripLayout Layout(int top, int right, int bottom, int left, int gap, int depth,
                   StripCorner start = StripCorner::TopLeft,
                   StripDirection direction = StripDirection::Clockwise) {
    return {top, right, bottom, left, start, direction, gap, depth};
}

}  // namespace

class StripLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void handCheckedAreasOnASmallScreen() {
        // 11 x 7 at 30 %: the top and bottom bands 2 pixels deep (2.1), the sides 3 wide (3.3). The top's
        // three LEDs cut 11 pixels at 0, 3, 7; the right's two cut rows 2..4 at 2, 3; the bottom is cut like
        // three LEDs (0, 3, 7) and the gap takes the middle run. The corners are the top's and the bottom's.
        const QSize screen(11, 7);
        StripLayout layout = Layout(3, 2, 2, 1, 1, 30);
        QCOMPARE(StripLayoutFault(layout, screen), QString());
        QCOMPARE(Texts(LedAreas(layout, screen)), (QStringList{"0,0 3x2", "3,0 4x2", "7,0 4x2", "8,2 3x1",
                                                               "8,3 3x2", "7,5 4x2", "0,5 3x2", "0,2 3x3"}));
        // From the bottom right corner counter-clockwise: up the right side, along the top to the left, down
        // the left side, along the bottom to the right.
        layout.start = StripCorner::BottomRight;
        layout.direction = StripDirection::CounterClockwise;
        QCOMPARE(Texts(LedAreas(layout, screen)), (QStringList{"8,3 3x2", "8,2 3x1", "7,0 4x2", "3,0 4x2",
                                                               "0,0 3x2", "0,2 3x3", "0,5 3x2", "7,5 4x2"}));
        // A side without LEDs leaves its band to its neighbours: without the top, the sides reach row 0.
        QCOMPARE(Texts(LedAreas(Layout(0, 2, 1, 1, 0, 30), screen)),
                 (QStringList{"8,0 3x2", "8,2 3x3", "0,5 11x2", "0,0 3x5"}));
    }

    void everyEdgePixelBelongsToExactlyOneLed() {
        struct Case {
            QSize screen;
            StripLayout layout;
        };
        const Case cases[] = {
            {{37, 23}, Layout(7, 5, 9, 3, 0, 13)},        {{101, 61}, Layout(13, 11, 7, 11, 3, 7)},
            {{9, 7}, Layout(9, 0, 4, 1, 5, 50)},          {{17, 13}, Layout(0, 4, 5, 4, 2, 21)},
            {{13, 11}, Layout(3, 0, 0, 0, 4, 1)},         {{1920, 1080}, StripLayout{}},
            {{1366, 767}, Layout(61, 33, 60, 33, 9, 11)}, {{5, 3}, Layout(5, 1, 1, 1, 0, 50)},
        };
        for (const Case& c : cases) {
            const StripLayout& l = c.layout;
            const int width = c.screen.width(), height = c.screen.height();
            const std::vector<QRect> areas = LedAreas(l, c.screen);
            const QString name =
                QStringLiteral("%1x%2: %3").arg(width).arg(height).arg(Texts(areas).join(' '));
            QVERIFY2(qint64(areas.size()) == l.Count(), qPrintable(name));

            std::vector<int> holders(size_t(width) * size_t(height));
            for (const QRect& a : areas) {
                QVERIFY2(QRect(0, 0, width, height).contains(a) && !a.isEmpty(), qPrintable(name));
                for (int y = a.top(); y <= a.bottom(); ++y)
                    for (int x = a.left(); x <= a.right(); ++x)
                        ++holders[size_t(y) * size_t(width) + size_t(x)];
            }
            // The bands as the layout defines them, and the gap's runs in the middle of the bottom one.
            const int across = std::max(1, l.depth * height / 100),
                      along = std::max(1, l.depth * width / 100);
            const int runs = std::max(1, l.bottom + l.bottomGap);
            const int gapFrom = l.bottom / 2 * width / runs,
                      gapTo = (l.bottom / 2 + l.bottomGap) * width / runs;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const bool bottomBand = l.bottom > 0 && y >= height - across;
                    const bool band = (l.top > 0 && y < across) || bottomBand || (l.left > 0 && x < along) ||
                                      (l.right > 0 && x >= width - along);
                    const bool gap = bottomBand && x >= gapFrom && x < gapTo;
                    const int held = holders[size_t(y) * size_t(width) + size_t(x)];
                    if (held != (band && !gap ? 1 : 0))
                        QFAIL(qPrintable(
                            QStringLiteral("%1\npixel %2,%3 in %4 areas").arg(name).arg(x).arg(y).arg(held)));
                }
            }
        }
    }

    void ledZeroFollowsItsCornerInItsDirection() {
        // 40 x 30 at 20 %: the top and bottom bands 6 deep, the sides 8 wide.
        const QSize screen(40, 30);
        const int across = 6;
        struct Case {
            StripCorner start;
            StripDirection direction;
            QPoint inFirst;  // a pixel of LED 0
            QPoint inLast;   // a pixel of the last LED
        };
        const int w = screen.width() - 1, h = screen.height() - 1;
        using enum StripCorner;
        using enum StripDirection;
        const Case cases[] = {
            {TopLeft, Clockwise, {0, 0}, {0, across}},
            {TopLeft, CounterClockwise, {0, across}, {0, 0}},
            {TopRight, Clockwise, {w, across}, {w, 0}},
            {TopRight, CounterClockwise, {w, 0}, {w, across}},
            {BottomRight, Clockwise, {w, h}, {w, h - across}},
            {BottomRight, CounterClockwise, {w, h - across}, {w, h}},
            {BottomLeft, Clockwise, {0, h - across}, {0, h}},
            {BottomLeft, CounterClockwise, {0, h}, {0, h - across}},
        };
        for (const Case& c : cases) {
            const StripLayout layout = Layout(7, 4, 6, 3, 2, 20, c.start, c.direction);
            const std::vector<QRect> areas = LedAreas(layout, screen);
            const QString name =
                QStringLiteral("corner %1 direction %2").arg(int(c.start)).arg(int(c.direction));
            QVERIFY2(areas.front().contains(c.inFirst) && areas.back().contains(c.inLast), qPrintable(name));
            // Each step goes round the screen's centre the same way, once in all: clockwise on the screen,
            // whose y grows downwards, is a growing angle.
            double turned = 0;
            for (size_t i = 0; i < areas.size(); ++i) {
                const auto angle = [&screen](const QRect& a) {
                    return std::atan2(a.top() + a.height() / 2.0 - screen.height() / 2.0,
                                      a.left() + a.width() / 2.0 - screen.width() / 2.0);
                };
                double step = angle(areas[(i + 1) % areas.size()]) - angle(areas[i]);
                step = std::remainder(step, 2 * std::numbers::pi);
                QVERIFY2(c.direction == Clockwise ? step > 0 : step < 0, qPrintable(name));
                turned += step;
            }
            QVERIFY2(std::abs(std::abs(turned) - 2 * std::numbers::pi) < 1e-9, qPrintable(name));
        }
    }

    void layoutsThatCannotBeBuiltAreRefused() {
        const QSize screen(64, 36);
        struct Case {
            const char* what;
            StripLayout layout;
            QSize screen;
        };
        const Case refused[] = {
            {"no LEDs", Layout(0, 0, 0, 0, 0, 10), screen},
            {"a negative count", Layout(5, -1, 5, 5, 0, 10), screen},
            {"more than 1000", Layout(400, 200, 300, 200, 0, 10), QSize(6400, 3600)},
            {"a count that overflows", Layout(0x7FFFFFFF, 0, 0x7FFFFFFF, 0, 0, 10),
             QSize(0x7FFFFFFF, 0x7FFFFFFF)},
            {"depth 0", Layout(5, 5, 5, 5, 0, 0), screen},
            {"depth over 50", Layout(5, 5, 5, 5, 0, 51), screen},
            {"a negative gap", Layout(5, 5, 5, 5, -2, 10), screen},
            {"more on the top than pixels", Layout(65, 5, 5, 5, 0, 10), screen},
            {"the bottom with its gap", Layout(5, 5, 60, 5, 5, 10), screen},
            {"the left side between the bands", Layout(5, 5, 5, 33, 0, 10), screen},
            {"the right side between the bands", Layout(5, 34, 0, 5, 0, 10), screen},
            {"bands that would overlap", Layout(1, 0, 1, 0, 0, 50), QSize(1, 1)},
            {"side bands that would overlap", Layout(0, 1, 0, 1, 0, 50), QSize(1, 5)},
            {"no screen", Layout(5, 5, 5, 5, 0, 10), QSize()},
        };
        for (const Case& c : refused) {
            QVERIFY2(!StripLayoutFault(c.layout, c.screen).isEmpty(), c.what);
            QVERIFY2(LedAreas(c.layout, c.screen).empty(), c.what);
        }
        QCOMPARE(StripLayoutFault(Layout(0, 0, 0, 0, 0, 10), screen),
                 QStringLiteral("На ленте нет ни одного светодиода."));
        QCOMPARE(StripLayoutFault(Layout(65, 5, 5, 5, 0, 10), screen),
                 QStringLiteral("Сверху светодиодов больше, чем точек вдоль стороны экрана (65 > 64)."));
        // The limits themselves are fine: 1000 LEDs, depth 50, a side of one pixel per LED, a gap without
        // bottom LEDs.
        const Case accepted[] = {
            {"1000 LEDs", Layout(300, 200, 300, 200, 0, 10), QSize(1920, 1080)},
            {"depth 50", Layout(5, 1, 5, 1, 0, 50), QSize(64, 37)},
            {"one pixel each", Layout(64, 30, 60, 30, 4, 10), screen},
            {"a gap alone", Layout(5, 5, 0, 5, 1000, 10), screen},
        };
        for (const Case& c : accepted) QVERIFY2(StripLayoutFault(c.layout, c.screen).isEmpty(), c.what);
    }

    void colourMusicLightsEachSideFromTheZonesBehindIt() {
        // 9 x 8: the top's middle LED is centred on the middle line and goes left.
        const QSize screen(9, 8);
        const std::vector<QRect> areas = LedAreas(Layout(3, 2, 2, 3, 0, 25), screen);
        QString letters;
        for (const Zone& zone : LedZones(areas, screen)) letters += QLatin1Char(zone.red);
        // Top left to right, right down, bottom right to left, left up: E left upper, H right upper,
        // K right lower, B left lower.
        QCOMPARE(letters, QStringLiteral("EEH"
                                         "HK"
                                         "KB"
                                         "BEE"));

        // The right channel's step 8 lights the left zones red 8, green 5; the left channel's step 1 the
        // right zones blue 1: 255, 5 x 255 / 8 = 159.4, 255 / 8 = 31.9.
        BoardParser board;
        board.Feed(ColourMusicCommand(32000u << 16 | 4000u));
        const std::vector<Zone> zones = LedZones(areas, screen);
        const std::vector<quint32> colours = ZoneColoursOnStrip(board.Levels(), zones);
        const quint32 left = 0x009FFF, right = 0x200000;
        QCOMPARE(colours,
                 (std::vector<quint32>{left, left, right, right, right, right, left, left, left, left}));
        // Level 4 is half way: 127.5 goes up.
        std::array<int, ChannelCount> levels{};
        levels[LeftLowerZone.green - FirstChannel] = 4;
        QCOMPARE(ZoneColoursOnStrip(levels, std::vector<Zone>{LeftLowerZone, LeftUpperZone}),
                 (std::vector<quint32>{0x008000, 0}));
    }

    void eachAreaAveragesItsOwnPixels() {
        // A block of 6 x 2 pixels lying at (10, 20) of the screen: columns 0..2 red, 3..5 blue (0xXXRRGGBB,
        // the top byte ignored); the first column of the second row green.
        std::vector<quint32> pixels(12);
        for (int i = 0; i < 12; ++i) pixels[size_t(i)] = (i % 6 < 3 ? 0xFFFF0000u : 0xFF0000FFu);
        pixels[6] = 0x0000FF00;
        const PixelBlock block{reinterpret_cast<const uchar*>(pixels.data()), 6, 2, 6 * 4};
        const QRect areas[] = {
            {10, 20, 3, 1},  // red
            {12, 20, 2, 1},  // red and blue: 127.5 each, ties to even
            {10, 20, 1, 2},  // red and green
            {14, 18, 4, 3},  // partly off the block: its first row's two right columns, blue
            {30, 30, 5, 5},  // wholly off: black
        };
        QCOMPARE(AreaColours(block, QPoint(10, 20), areas),
                 (std::vector<quint32>{0x0000FF, 0x800080, 0x008080, 0xFF0000, 0}));
    }

    void stripSectionKeepsEveryOtherByte() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.ini"));
        // The section in the middle of the file, with a key of its own that the program does not know, LF
        // line ends, an unrelated line and the other sections around it.
        const QByteArray before = cp1251::Encode(QStringLiteral(
            "; written by hand\n[Общие настройки]\nВыбор порта =ttyS0\n\n[Strip]\nOutput=wled\nNote=keep me\n"
            "Depth = 15\nLedsLeft=12\n\n[AmbiLight]\n1=0,300\n[Varnex]\nScreenCastRestoreToken=abc"));
        WriteFileBytes(path, before);
        Settings settings(path);
        QCOMPARE(settings.Strip().output.kind, StripOutput::Kind::Wled);
        QCOMPARE(settings.Strip().layout.depth, 15);
        QCOMPARE(settings.Strip().layout.left, 12);
        QCOMPARE(settings.Strip().layout.top, StripLayout{}.top);

        StripSettings chosen;
        chosen.output = {StripOutput::Kind::Adalight,
                         "ttyUSB1",
                         500000,
                         "wled.local",
                         4049,
                         ColourOrder::GRB,
                         80,
                         2.2,
                         120};
        chosen.layout =
            Layout(40, 20, 38, 20, 4, 8, StripCorner::BottomRight, StripDirection::CounterClockwise);
        settings.SaveStrip(chosen);
        QCOMPARE(settings.Strip(), chosen);
        // The section's own lines rewritten in place, its unknown key kept, the new keys after its last line;
        // everything else as it was.
        const QByteArray after = cp1251::Encode(QStringLiteral(
            "; written by hand\n[Общие настройки]\nВыбор порта =ttyS0\n\n[Strip]\nOutput=Adalight\nNote=keep "
            "me\n"
            "Depth=8\nLedsLeft=20\nSerialPort=ttyUSB1\nBaud=500000\nHost=wled.local\nUdpPort=4049\n"
            "ColourOrder=GRB\nBrightnessLimit=80\nGamma=2.2\nSmoothing=120\nLedsTop=40\nLedsRight=20\n"
            "LedsBottom=38\nStartCorner=BottomRight\nDirection=CounterClockwise\nBottomGap=4\n\n[AmbiLight]\n"
            "1=0,300\n[Varnex]\nScreenCastRestoreToken=abc"));
        QCOMPARE(ReadFileBytes(path), after);
        QCOMPARE(Settings(path).Strip(), chosen);
        // Saving the same again changes nothing.
        Settings(path).SaveStrip(chosen);
        QCOMPARE(ReadFileBytes(path), after);
    }

    void badStripValuesFallBackOneByOne() {
        QCOMPARE(ReadStripSettings(ProfileFile()), StripSettings{});
        QCOMPARE(StripLayoutFault(StripLayout{}, QSize(1920, 1080)), QString());
        QCOMPARE(StripLayoutFault(StripLayout{}, QSize(640, 480)), QString());

        const ProfileFile file = ProfileFile::Parse(
            "[Strip]\r\nOutput=Serial\r\nSerialPort=\"ttyACM0\"\r\nBaud=9600\r\nHost=10.0.0.7\r\n"
            "UdpPort=70000\r\nColourOrder=bgr\r\nBrightnessLimit=0\r\nGamma=2,5\r\nSmoothing=-1\r\n"
            "LedsTop=abc\r\nLedsRight=1001\r\nLedsBottom=0x10\r\nLedsLeft=7\r\nStartCorner=Middle\r\n"
            "Direction=counterclockwise\r\nBottomGap=-3\r\nDepth=51\r\n");
        const StripSettings read = ReadStripSettings(file);
        StripSettings expected;
        expected.output.serialPort = "ttyACM0";
        expected.output.host = "10.0.0.7";
        expected.output.order = ColourOrder::BGR;
        expected.output.gamma = 2.5;
        expected.layout.bottom = 16;
        expected.layout.left = 7;
        expected.layout.direction = StripDirection::CounterClockwise;
        QCOMPARE(read, expected);

        const ProfileFile beyond =
            ProfileFile::Parse("[Strip]\nBaud=2000001\nGamma=3.01\nSmoothing=501\nDepth=0\nOutput=DDP\n");
        StripSettings ddp;
        ddp.output.kind = StripOutput::Kind::Ddp;
        QCOMPARE(ReadStripSettings(beyond), ddp);
        QCOMPARE(ddp.output.UdpPort(), 4048);
    }
};

QTEST_GUILESS_MAIN(StripLayoutTest)
#include "test_strip_layout.moc"
