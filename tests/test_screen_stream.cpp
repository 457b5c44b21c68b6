// The screen cast's receiving end on its own: where a buffer holds the screen's picture (its crop and
// transform, the pure rule), and the PipeWire stream against a real PipeWire daemon and WirePlumber with the
// test producer sending its screen as compositors do: turned, cropped out of a larger buffer, in DMA-BUF.

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <map>

#include "platform/wayland/frame_geometry.h"
#include "platform/wayland/pipewire_screen_stream.h"
#include "platform/wayland/stream_health.h"
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
    }
};

QTEST_GUILESS_MAIN(ScreenStreamTest)
#include "test_screen_stream.moc"
