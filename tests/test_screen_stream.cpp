// The screen cast's receiving end on its own: where a buffer holds the screen's picture (its crop and
// transform, the pure rule), and the PipeWire stream against a real PipeWire daemon and WirePlumber with the
// test producer sending its screen as compositors do: turned, cropped out of a larger buffer, in DMA-BUF, in
// each pixel format; the zones' pixels and a strip's LED areas read from it.

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <map>
#include <random>

#include "light/strip_layout.h"
#include "platform/wayland/area_means.h"
#include "platform/wayland/frame_geometry.h"
#include "platform/wayland/pipewire_screen_stream.h"
#include "platform/wayland/stream_health.h"
#include "platform/wayland/stream_led_colours.h"
#include "tests/support/screen_cast_stand_in.h"

namespace {

// An image as rows of labels.
using Image = QList<QList<int>>;

Image labelled(int width, int height) {
    Image image(height, QList<int>(width));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image[y][x] = y * width + x;
    return image;
}

// A quarter turn counter-clockwise: the right column becomes the top row.
Image turned(const Image& image) {
    const int width = int(image[0].size()), height = int(image.size());
    Image out(width, QList<int>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) out[width - 1 - x][y] = image[y][x];
    return out;
}

// A mirror about the vertical axis.
Image mirrored(Image image) {
    for (QList<int>& row : image) std::reverse(row.begin(), row.end());
    return image;
}

// What a producer sends of `picture` under PipeWire's video transform `transform`: the mirror first (4..7),
// then 0..3 quarter turns counter-clockwise; placed at `crop`'s corner of a buffer of `size`, the rest -1.
Image bufferOf(const Image& picture, int transform, QPoint corner, QSize size) {
    Image content = transform >= 4 ? mirrored(picture) : picture;
    for (int i = 0; i < transform % 4; ++i) content = turned(content);
    Image buffer(size.height(), QList<int>(size.width(), -1));
    for (int y = 0; y < content.size(); ++y)
        for (int x = 0; x < content[y].size(); ++x) buffer[corner.y() + y][corner.x() + x] = content[y][x];
    return buffer;
}

QList<int> labelsIn(const Image& image, const QRect& rect) {
    QList<int> labels;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) labels << image[y][x];
    std::sort(labels.begin(), labels.end());
    return labels;
}

// The screen as the X server sees it, the producer's picture at half its size, the quarters' colours
// (0xRRGGBB: upper left, lower left, upper right, lower right) and a zone inside each quarter, off its
// centre, in the screen's pixels.
const QSize kScreen(800, 600), kPicture(400, 300);
const QList<quint32> kQuarters{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const QRect kZones[] = {{20, 30, 100, 60}, {50, 400, 120, 150}, {600, 10, 150, 200}, {700, 500, 90, 90}};
const QMargins kMargins(16, 8, 4, 12);

// AverageColour's 0x00BBGGRR of a colour 0xRRGGBB.
quint32 swapped(quint32 rgb) {
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16;
}

// A strip around kScreen with a gap for the stand, and two areas that are not the layout's: one reaching off
// the screen, one wholly off it.
std::vector<QRect> stripAreas() {
    std::vector<QRect> areas =
        LedAreas({24, 13, 20, 13, StripCorner::BottomLeft, StripDirection::Clockwise, 4, 10}, kScreen);
    areas.push_back(QRect(-10, 590, 30, 30));
    areas.push_back(QRect(900, 0, 10, 10));
    return areas;
}

// The picture the producer paints with labels, worked out on its own: each pixel its quarter's colour XOR
// its label, as 0x00RRGGBB words, row after row.
struct Picture {
    QSize size;
    std::vector<quint32> pixels;
};

Picture labelledPicture(QSize size, const QList<quint32>& quarters) {
    Picture picture{size, {}};
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const quint32 quarter = quarters[(x >= size.width() / 2) * 2 + (y >= size.height() / 2)];
            picture.pixels.push_back(quarter ^ ScreenProducer::Label(x, y));
        }
    return picture;
}

// Each area's mean over `picture`: its part on the screen scaled onto the picture as the zones are.
std::vector<quint32> meansOver(const Picture& picture, std::span<const QRect> areas) {
    std::vector<QRect> onPicture;
    for (const QRect& area : areas) {
        const QRect part = area & QRect(QPoint(0, 0), kScreen);
        onPicture.push_back(part.isEmpty() ? QRect() : ScaledToPicture(part, kScreen, picture.size));
    }
    const PixelBlock whole{reinterpret_cast<const uchar*>(picture.pixels.data()), picture.size.width(),
                           picture.size.height(), picture.size.width() * 4};
    return AreaColours(whole, {}, onPicture);
}

// Where two lists of colours first differ, for the failure's message; empty when they do not.
QByteArray difference(const std::vector<quint32>& got, const std::vector<quint32>& expected) {
    if (got.size() != expected.size())
        return "got " + QByteArray::number(got.size()) + " colours for " +
               QByteArray::number(expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != expected[i])
            return "LED " + QByteArray::number(qulonglong(i)) + ": " + QByteArray::number(got[i], 16) +
                   " instead of " + QByteArray::number(expected[i], 16);
    return {};
}

}  // namespace

class ScreenStreamTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PipeWireDaemons> daemons_;

    std::unique_ptr<PipeWireScreenStream> streamOf(ScreenProducer& producer) {
        if (producer.Node() == 0) return nullptr;
        return std::make_unique<PipeWireScreenStream>(daemons_->Connect(), producer.Node());
    }

private slots:
    void initTestCase() {
        daemons_ = std::make_unique<PipeWireDaemons>();
        QVERIFY(daemons_->Running());
    }

    void geometryFindsEveryPixelOfACroppedTurnedPicture() {
        const Image picture = labelled(5, 3);
        for (int transform = 0; transform < 8; ++transform) {
            const QSize content = transform % 2 ? QSize(3, 5) : QSize(5, 3);
            const QRect crop(QPoint(2, 1), content);
            const Image buffer = bufferOf(picture, transform, crop.topLeft(), content + QSize(5, 3));
            const FrameGeometry geometry = FrameGeometryOf(content + QSize(5, 3), crop, quint32(transform));
            const QByteArray where = "transform " + QByteArray::number(transform);
            QVERIFY2(geometry.PictureSize() == QSize(5, 3), where);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x) {
                    const QRect at = geometry.BufferRect(QRect(x, y, 1, 1));
                    QVERIFY2(at.size() == QSize(1, 1), where);
                    QVERIFY2(buffer[at.top()][at.left()] == picture[y][x], where);
                }
            // A part of the picture, and one reaching past it: exactly the picture's own pixels.
            for (const QRect& part : {QRect(1, 1, 3, 2), QRect(-4, -2, 20, 20)})
                QVERIFY2(labelsIn(buffer, geometry.BufferRect(part)) ==
                             labelsIn(picture, part & QRect(0, 0, 5, 3)),
                         where);
            QVERIFY2(geometry.BufferRect(QRect(5, 0, 4, 4)).isEmpty(), where);
        }

        // No crop is the whole buffer; a crop past the buffer keeps its part on it, one wholly outside none;
        // a transform PipeWire does not define counts as none.
        QCOMPARE(FrameGeometryOf(QSize(8, 6), QRect(), 1).PictureSize(), QSize(6, 8));
        QCOMPARE(FrameGeometryOf(QSize(8, 6), QRect(4, 2, 10, 10), 0).crop, QRect(4, 2, 4, 4));
        QVERIFY(FrameGeometryOf(QSize(8, 6), QRect(9, 0, 2, 2), 0).PictureSize().isEmpty());
        QCOMPARE(FrameGeometryOf(QSize(8, 6), QRect(), 8).transform, FrameTransform::None);

        // Zones follow the picture's size, never shrinking to nothing.
        QCOMPARE(ScaledToPicture(QRect(0, 0, 800, 600), kScreen, kPicture), QRect(0, 0, 400, 300));
        QCOMPARE(ScaledToPicture(QRect(401, 301, 1, 1), kScreen, kPicture), QRect(200, 150, 1, 1));
        QCOMPARE(ScaledToPicture(QRect(0, 0, 800, 600), kScreen, kPicture.transposed()),
                 QRect(0, 0, 300, 400));
    }

    void areaMeansAreTheMeansOfEachRectanglesPixels() {
        // Random pixels; rectangles that overlap, start on the same row or a later one, are wider than a run
        // of summed pixels, or one pixel; in two byte orders.
        const int width = 700, height = 40;
        std::vector<uchar> bytes(size_t(width) * height * 4);
        std::mt19937 random(27);
        for (uchar& byte : bytes) byte = uchar(random());
        const std::vector<QRect> rects{
            {0, 0, 700, 40},  {10, 5, 300, 20}, {300, 5, 5, 30}, {699, 39, 1, 1}, {},
            {200, 0, 520, 3}, {0, 30, 1, 10},   {40, 12, 290, 1}};
        for (const auto& [red, green, blue] : {std::array{2, 1, 0}, std::array{1, 2, 3}}) {
            // The same pixels as 0xXXRRGGBB words, as AverageColour reads them.
            std::vector<quint32> words(size_t(width) * height);
            for (size_t i = 0; i < words.size(); ++i)
                words[i] = quint32(bytes[4 * i + red]) << 16 | quint32(bytes[4 * i + green]) << 8 |
                           bytes[4 * i + blue];
            const std::vector<quint32> means = AreaMeans({bytes.data(), width * 4, red, green, blue}, rects);
            QCOMPARE(means.size(), rects.size());
            for (size_t i = 0; i < rects.size(); ++i) {
                const QRect& r = rects[i];
                const PixelBlock block{
                    reinterpret_cast<const uchar*>(words.data() + r.top() * width + r.left()), r.width(),
                    r.height(), width * 4};
                QCOMPARE(means[i], r.isEmpty() ? 0u : AverageColour(block));
            }
        }
        // Halves round to the even neighbour: red 1 and 2 give 2, green 2 and 3 give 2.
        const uchar two[] = {0, 2, 1, 0, 0, 3, 2, 0};
        QCOMPARE(AreaMeans({two, 8, 2, 1, 0}, std::vector{QRect(0, 0, 2, 1)}),
                 std::vector<quint32>{0x000202});
    }

    void croppedTurnedScreenGivesEachZoneItsColour() {
        for (int transform = 0; transform < 8; ++transform) {
            const QByteArray where = "transform " + QByteArray::number(transform);
            ScreenProducer producer(*daemons_, kPicture.width(), kPicture.height(), kQuarters,
                                    {transform, kMargins, ScreenProducer::Shape::Memory::Shared});
            const auto stream = streamOf(producer);
            QVERIFY2(stream, where);
            QTRY_VERIFY2_WITH_TIMEOUT(stream->HasFrame(), where, 10000);
            QVERIFY2(stream->FrameSize() == kPicture, where);

            std::vector<quint32> pixels;
            for (int zone = 0; zone < 4; ++zone) {
                const PixelBlock block =
                    stream->Copy(ScaledToPicture(kZones[zone], kScreen, stream->FrameSize()), pixels);
                QVERIFY2(block.width * block.height > 0, where);
                QVERIFY2(AverageColour(block) == swapped(kQuarters[zone]),
                         where + " zone " + QByteArray::number(zone));
            }
            // The whole picture: a quarter of each colour, nothing of the buffer's margins.
            stream->Copy(QRect(QPoint(0, 0), kPicture), pixels);
            std::map<quint32, int> count;
            for (const quint32 pixel : pixels) ++count[pixel & 0xFFFFFF];
            QVERIFY2(
                count == (std::map<quint32, int>{
                             {0xFF0000, 30000}, {0x00FF00, 30000}, {0x0000FF, 30000}, {0xFFFFFF, 30000}}),
                where);
        }
    }

    void stripLedsGetTheMeansOfTheirAreasFromTheNewestFrame() {
        // Every transform, each with a pixel format of its own, cropped, scaled to half the screen; one in
        // DMA-BUF. The picture is labelled, so that an area read anywhere but in its own place is seen.
        using Memory = ScreenProducer::Shape::Memory;
        const QStringList formats{"bgrx", "rgbx", "xrgb", "xbgr", "bgra", "rgba", "argb", "abgr"};
        const std::vector<QRect> areas = stripAreas();
        const std::vector<quint32> expected = meansOver(labelledPicture(kPicture, kQuarters), areas);
        QCOMPARE(expected.back(), 0u);  // the area off the screen
        for (int transform = 0; transform < 8; ++transform) {
            const QByteArray where =
                "transform " + QByteArray::number(transform) + ", " + formats[transform].toLatin1();
            const Memory memory = transform == 3 ? Memory::DmaBuf : Memory::Shared;
            ScreenProducer producer(*daemons_, kPicture.width(), kPicture.height(), kQuarters,
                                    {transform, kMargins, memory},
                                    ScreenProducer::Labelled{formats[transform]});
            const auto stream = streamOf(producer);
            QVERIFY2(stream, where);
            QTRY_VERIFY2_WITH_TIMEOUT(stream->HasFrame(), where, 10000);
            StreamLedColours leds;
            const QByteArray wrong = difference(leds.Of(*stream, kScreen, areas), expected);
            QVERIFY2(wrong.isEmpty(), where + ": " + wrong);
            if (transform != 3) continue;

            // A still screen: no more frames. The last one's means come again without a read; other areas on
            // it are read.
            producer.Send(ScreenProducer::Buffers::None);
            quint64 before = ~0ull;
            for (int i = 0; i < 50 && before != stream->FramesReceived(); ++i, QTest::qWait(200))
                before = stream->FramesReceived();
            QCOMPARE(stream->FramesReceived(), before);
            QVERIFY(difference(leds.Of(*stream, kScreen, areas), expected).isEmpty());
            const quint64 reads = stream->Reads();
            QVERIFY(difference(leds.Of(*stream, kScreen, areas), expected).isEmpty());
            QCOMPARE(stream->Reads(), reads);
            const std::vector<QRect> some(areas.begin() + 20, areas.begin() + 40);
            QVERIFY(
                difference(leds.Of(*stream, kScreen, some), {expected.begin() + 20, expected.begin() + 40})
                    .isEmpty());
            QCOMPARE(stream->Reads(), reads + 1);

            // A repaint: the first new frame changes the means at the next call.
            const QList<quint32> repainted{0x112233, 0x445566, 0x778899, 0xAABBCC};
            const quint64 frames = stream->FramesReceived();
            producer.Paint(repainted);
            QTRY_VERIFY_WITH_TIMEOUT(stream->FramesReceived() > frames, 5000);
            const QByteArray changed = difference(leds.Of(*stream, kScreen, some),
                                                  meansOver(labelledPicture(kPicture, repainted), some));
            QVERIFY2(changed.isEmpty(), changed);
        }
    }

    void dmaBufGivesTheSamePixelsAsSharedMemory() {
        using Memory = ScreenProducer::Shape::Memory;
        ScreenProducer shared(*daemons_, kPicture.width(), kPicture.height(), kQuarters,
                              {3, kMargins, Memory::Shared});
        ScreenProducer dmaBuf(*daemons_, kPicture.width(), kPicture.height(), kQuarters,
                              {3, kMargins, Memory::DmaBuf});
        const auto fromShared = streamOf(shared), fromDmaBuf = streamOf(dmaBuf);
        QVERIFY(fromShared && fromDmaBuf);
        QTRY_VERIFY_WITH_TIMEOUT(fromShared->HasFrame() && fromDmaBuf->HasFrame(), 10000);
        QCOMPARE(fromDmaBuf->FrameSize(), kPicture);
        std::vector<quint32> a, b;
        fromShared->Copy(QRect(QPoint(0, 0), kPicture), a);
        fromDmaBuf->Copy(QRect(QPoint(0, 0), kPicture), b);
        QCOMPARE(a.size(), size_t(kPicture.width() * kPicture.height()));
        QVERIFY(a == b);
        // A repaint arrives the same way.
        const QList<quint32> repainted{0x112233, 0x445566, 0x778899, 0xAABBCC};
        dmaBuf.Paint(repainted);
        std::vector<quint32> pixels;
        QTRY_COMPARE_WITH_TIMEOUT(AverageColour(fromDmaBuf->Copy(QRect(0, 0, 10, 10), pixels)),
                                  swapped(repainted[0]), 5000);

        // Buffers whose files hold less than they announce are never read past their end: the stream gives
        // no picture, and says so.
        ScreenProducer short_(*daemons_, kPicture.width(), kPicture.height(), kQuarters,
                              {0, {}, Memory::ShortDmaBuf});
        const auto fromShort = streamOf(short_);
        QVERIFY(fromShort);
        QSignalSpy starved(fromShort.get(), &PipeWireScreenStream::Starved);
        QVERIFY(starved.wait(StreamHealth::PatienceMs + 3000));
        QVERIFY(!fromShort->HasFrame());
        // Without a frame every LED is black, as every zone is.
        QVERIFY(StreamLedColours().Of(*fromShort, kScreen, stripAreas()) ==
                std::vector<quint32>(stripAreas().size(), 0));
    }
};

QTEST_GUILESS_MAIN(ScreenStreamTest)
#include "test_screen_stream.moc"
