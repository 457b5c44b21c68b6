#include "platform/x11/screen_capture_x11.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xrender.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/damage.h>
#include <xcb/render.h>
#include <xcb/shm.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "light/ambilight_zones.h"
#include "platform/x11/x11_error_trap.h"

namespace {

constexpr int NativeByteOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? LSBFirst : MSBFirst;

// One colour component of a pixel value, scaled to 8 bits.
quint32 component(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> std::countr_zero(mask);
    return bits >= 8 ? quint32(value >> (bits - 8)) : quint32(value * 255 / ((1ul << bits) - 1));
}

// Which of the four bands an area of a screen of `size` goes to: that of the screen's edge it lies nearest
// (0 top, 1 bottom, 2 left, 3 right), the top and the bottom first on a tie, as a strip's top and bottom
// bands own the screen's corners.
size_t nearestEdge(const QRect& area, QSize size) {
    const std::array<qint64, 4> distance{area.top(), qint64(size.height()) - area.top() - area.height(),
                                         area.left(), qint64(size.width()) - area.left() - area.width()};
    return size_t(std::min_element(distance.begin(), distance.end()) - distance.begin());
}

// The part of an area that lies on a `bounds` rectangle, in the coordinates `bounds` is in, `area` being
// placed at `origin`; empty when none does.
QRect areaOn(const QRect& area, QPoint origin, const QRect& bounds) {
    const qint64 left = std::max<qint64>(qint64(origin.x()) + area.left(), bounds.left());
    const qint64 top = std::max<qint64>(qint64(origin.y()) + area.top(), bounds.top());
    const qint64 right = std::min<qint64>(qint64(origin.x()) + area.left() + area.width(),
                                          qint64(bounds.left()) + bounds.width());
    const qint64 bottom = std::min<qint64>(qint64(origin.y()) + area.top() + area.height(),
                                           qint64(bounds.top()) + bounds.height());
    if (left >= right || top >= bottom) return {};
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

// The pixels of a band's sample that stand for the root window's pixels `onRoot`: the sample holds the root's
// pixels at even coordinates from `origin` (even itself) on, so index i stands for origin + 2i.
QRect sampleOf(const QRect& onRoot, QPoint origin) {
    const int left = (onRoot.left() - origin.x() + 1) / 2, top = (onRoot.top() - origin.y() + 1) / 2;
    const int right = (onRoot.left() + onRoot.width() - origin.x() + 1) / 2;
    const int bottom = (onRoot.top() + onRoot.height() - origin.y() + 1) / 2;
    return QRect(left, top, right - left, bottom - top);
}

// An area's sums of each component over the pixels it covers.
struct Sums {
    quint64 red = 0, green = 0, blue = 0;
};

// Column sums of a block's rows, kept as AverageColour keeps its sums: each pixel's masked words added whole,
// each colour byte in a 16-bit lane of its own, which 256 rows of 255 cannot overflow. A row is then one
// run of plain 32-bit additions over the columns, which the compiler turns into vector code.
constexpr int LaneRows = 256;

struct ColumnLanes {
    std::vector<quint32> redBlue;  // red in lane 2, blue in lane 0
    std::vector<quint32> green0;   // green in lane 0 (the ignored byte in lane 2)

    void clear(int from, int to) {
        std::fill(redBlue.begin() + from, redBlue.begin() + to, 0u);
        std::fill(green0.begin() + from, green0.begin() + to, 0u);
    }
    void add(const uchar* line, int from, int to) {
        quint32* __restrict rb = redBlue.data();
        quint32* __restrict g = green0.data();
        for (int x = from; x < to; ++x) {
            quint32 pixel;
            std::memcpy(&pixel, line + 4 * x, sizeof pixel);
            rb[x] += pixel & 0x00FF00FFu;
            g[x] += (pixel >> 8) & 0x00FF00FFu;
        }
    }
    void addTo(Sums& sums, int from, int to) const {
        for (int x = from; x < to; ++x) {
            sums.blue += redBlue[size_t(x)] & 0xFFFFu;
            sums.red += redBlue[size_t(x)] >> 16;
            sums.green += green0[size_t(x)] & 0xFFFFu;
        }
    }
};

}  // namespace

struct ScreenCaptureX11::Private {
    struct Slot {
        XImage* image = nullptr;
        XShmSegmentInfo segment{};
        bool attached = false;
        std::vector<quint32> converted;  // the pixels in the usual form, for servers with another format
        QRect part;        // the part of the root window last grabbed (or asked for) into the image
        PixelBlock block;  // its pixels, once the grab is in
        std::optional<xcb_shm_get_image_cookie_t> asked;  // a grab sent whose reply is not read yet
        bool prepared = false;          // Prepare has just read the server's news for the slot's next capture
        bool current = false;           // nothing drawn over `part` reported since its grab was sent
        std::optional<quint32> colour;  // the mean of `block`, once asked for
    };

    Display* display = nullptr;
    xcb_connection_t* connection = nullptr;  // the same connection, for grabs sent without waiting
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 0;
    QSize rootSize;
    bool shared = false;
    std::array<Slot, Slots> images;
    // Drawing anywhere on the screen, reported as the rectangles it adds to what was drawn since the last
    // subtraction; none (every request grabs) where the server lacks the DAMAGE extension.
    Damage damage = 0;
    int damageEvents = 0;

    // A group of an LED strip's areas, and the bounding rectangle of their parts on the root window grabbed
    // into a slot of its own.
    // A shared-memory pixmap that the server copies a band's sample into, through XRender.
    struct Sample {
        XShmSegmentInfo segment{};
        bool attached = false;
        Pixmap pixmap = 0;
        Picture picture = 0;
        QSize size;
    };
    struct Band {
        Slot slot;
        Sample sample;
        bool sampled = false;          // the slot's block holds the sample, not the whole rectangle
        QPoint origin;                 // the root's pixel that the sample's first stands for
        std::vector<size_t> members;   // the areas in the group, by their index
        std::vector<quint32> colours;  // their means, found from the slot's grab; empty until then
    };
    // The screen as XRender reads it (the windows on it included, as a grab has them), scaled down to the
    // samples by a transform; none where the server cannot copy a sample into shared memory.
    Picture rootPicture = 0;
    std::array<Band, Slots> bands;
    QRect bandScreen;  // the screen and the areas the bands were grouped for
    std::vector<QRect> bandAreas;
    qint64 bandGrabs = 0;

    QRect onScreen(qint64 left, qint64 top, int width, int height) const {
        return ClipRect(left, top, width, height, QRect(QPoint(), rootSize));
    }

    void setRootSize(QSize size) {
        if (size == rootSize) return;
        rootSize = size;
        for (Slot& slot : images) slot.current = false;
        for (Band& band : bands) band.slot.current = false;
    }

    void readRootSize() {
        Window ignoredRoot;
        int x, y;
        unsigned width = 0, height = 0, border, rootDepth;
        XGetGeometry(display, root, &ignoredRoot, &x, &y, &width, &height, &border, &rootDepth);
        setRootSize(QSize(int(width), int(height)));
    }

    void watchDamage() {
        int error = 0, major = 1, minor = 1;
        if (!XDamageQueryExtension(display, &damageEvents, &error) ||
            !XDamageQueryVersion(display, &major, &minor))
            return;
        XErrorTrap trap(display);
        damage = XDamageCreate(display, root, XDamageReportDeltaRectangles);
        if (trap.Failed()) damage = 0;
        xcb_get_extension_data(connection, &xcb_damage_id);  // asked once here, not at the first grab
    }

    // The server reports every resize of the root window (RandR included) as a ConfigureNotify, and drawing
    // as damage. Reading them costs one system call when none has come; what comes while they are looked at
    // is left for the next time.
    void readEvents() {
        for (int queued = XEventsQueued(display, QueuedAfterFlush); queued > 0;
             queued = XEventsQueued(display, QueuedAlready)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ConfigureNotify && event.xconfigure.window == root) {
                setRootSize(QSize(event.xconfigure.width, event.xconfigure.height));
            } else if (damage && event.type == damageEvents + XDamageNotify) {
                const auto& drawn = reinterpret_cast<const XDamageNotifyEvent&>(event);
                const QRect area(drawn.area.x, drawn.area.y, drawn.area.width, drawn.area.height);
                for (Slot& slot : images)
                    if (slot.part.intersects(area)) slot.current = false;
                for (Band& band : bands)
                    if (band.slot.part.intersects(area)) band.slot.current = false;
            }
        }
    }

    // The parts of the screen the zones cover whose pixels are not known to be current, after reading the
    // server's news; false when there is none.
    bool staleParts(const QRect& screen, const std::array<ZoneArea, Slots>& areas,
                    std::array<QRect, Slots>& parts) {
        readEvents();
        bool any = false;
        for (size_t i = 0; i < areas.size(); ++i) {
            Slot& slot = images[i];
            forget(slot);  // a grab left unread by a tick that ended early
            slot.prepared = true;
            const QRect part =
                onScreen(screen.left() + areas[i].left, screen.top() + areas[i].top, ZoneWidth, ZoneHeight);
            parts[i] = slot.current && slot.part == part ? QRect() : part;
            any = any || !parts[i].isEmpty();
        }
        return any;
    }

    // What is drawn from here on is reported anew, so nothing drawn after the grabs that follow goes unseen.
    // Damage drawn before them but read only later brings one grab that was not needed.
    void rearm() {
        if (damage) xcb_damage_subtract(connection, xcb_damage_damage_t(damage), XCB_NONE, XCB_NONE);
    }

    void fallBack() {
        shared = false;
        std::fputs("varnex: the X server offers no shared-memory capture; using XGetImage\n", stderr);
    }

    // Lets a grab sent earlier go unread.
    void forget(Slot& slot) {
        if (!slot.asked) return;
        xcb_discard_reply(connection, slot.asked->sequence);
        slot.asked.reset();
        slot.current = false;
    }

    void release(Slot& slot) {
        forget(slot);
        if (!slot.image) return;
        if (slot.attached) XShmDetach(display, &slot.segment);
        if (slot.segment.shmaddr) {
            shmdt(slot.segment.shmaddr);
            slot.image->data = nullptr;  // the segment is not Xlib's to free
        }
        XDestroyImage(slot.image);
        slot = Slot{};
    }

    // Makes the slot's shared image of `size`; false when the server or the system refuses.
    bool makeShared(Slot& slot, QSize size) {
        slot.image = XShmCreateImage(display, visual, unsigned(depth), ZPixmap, nullptr, &slot.segment,
                                     unsigned(size.width()), unsigned(size.height()));
        if (!slot.image) return false;
        slot.segment.shmid =
            shmget(IPC_PRIVATE, size_t(slot.image->bytes_per_line) * size_t(size.height()), IPC_CREAT | 0600);
        if (slot.segment.shmid < 0) {
            release(slot);
            return false;
        }
        void* address = shmat(slot.segment.shmid, nullptr, 0);
        shmctl(slot.segment.shmid, IPC_RMID, nullptr);  // freed once both sides have let go
        if (address == reinterpret_cast<void*>(-1)) {
            release(slot);
            return false;
        }
        slot.segment.shmaddr = slot.image->data = static_cast<char*>(address);
        slot.segment.readOnly = False;
        XErrorTrap trap(display);
        slot.attached = XShmAttach(display, &slot.segment);
        if (!slot.attached || trap.Failed()) {
            slot.attached = false;
            release(slot);
            return false;
        }
        return true;
    }

    // A shared image of `size` in the slot, made anew when the size changed; false (and plain XGetImage from
    // now on) when the server or the system refuses one.
    bool sharedImage(Slot& slot, QSize size) {
        if (!shared) return false;
        if (slot.image && slot.image->width == size.width() && slot.image->height == size.height())
            return true;
        release(slot);
        if (makeShared(slot, size)) return true;
        fallBack();
        return false;
    }

    // Sends the grab of `part` into the slot's shared image, without waiting for it; `receive` reads it.
    void send(Slot& slot, const QRect& part) {
        forget(slot);
        slot.part = part;
        slot.block = {};
        slot.colour.reset();
        slot.current = damage != 0;
        slot.asked =
            xcb_shm_get_image(connection, root, qint16(part.x()), qint16(part.y()), quint16(part.width()),
                              quint16(part.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, slot.segment.shmseg, 0);
    }

    // Waits for the slot's grab; false when the server refused it.
    bool receive(Slot& slot) {
        xcb_generic_error_t* error = nullptr;
        xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(connection, *slot.asked, &error);
        slot.asked.reset();
        const bool ok = reply && !error;
        std::free(reply);
        std::free(error);
        if (!ok) {
            slot.current = false;
            return false;
        }
        slot.block = pixels(slot);
        return true;
    }

    // Grabs `part` into the slot and waits for it; false when the server refuses.
    bool grab(Slot& slot, const QRect& part) {
        if (sharedImage(slot, part.size())) {
            rearm();
            send(slot, part);
            return receive(slot);
        }
        release(slot);
        XErrorTrap trap(display);
        rearm();
        slot.image = XGetImage(display, root, part.x(), part.y(), unsigned(part.width()),
                               unsigned(part.height()), AllPlanes, ZPixmap);
        if (trap.Failed() || !slot.image) return false;
        slot.part = part;
        slot.block = pixels(slot);
        slot.current = damage != 0;
        return true;
    }

    // Sampling where the server has XRender and shared-memory pixmaps of the usual pixel format.
    void watchRender() {
        int event = 0, error = 0, major = 0, minor = 0;
        Bool pixmaps = False;
        if (!shared || !XRenderQueryExtension(display, &event, &error) ||
            !XShmQueryVersion(display, &major, &minor, &pixmaps) || !pixmaps ||
            XShmPixmapFormat(display) != ZPixmap || depth != 24 ||
            ImageByteOrder(display) != NativeByteOrder || visual->red_mask != 0xFF0000 ||
            visual->green_mask != 0x00FF00 || visual->blue_mask != 0x0000FF)
            return;
        int count = 0;
        XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
        bool wide = false;  // depth 24 is held in 32 bits a pixel
        for (int i = 0; i < count; ++i)
            wide = wide || (formats[i].depth == 24 && formats[i].bits_per_pixel == 32);
        XFree(formats);
        XRenderPictFormat* format = XRenderFindVisualFormat(display, visual);
        if (!wide || !format) return;
        XRenderPictureAttributes attributes{};
        attributes.subwindow_mode = IncludeInferiors;
        XErrorTrap trap(display);
        rootPicture = XRenderCreatePicture(display, root, format, CPSubwindowMode, &attributes);
        XRenderSetPictureFilter(display, rootPicture, const_cast<char*>(FilterNearest), nullptr, 0);
        if (trap.Failed()) rootPicture = 0;
        xcb_get_extension_data(connection, &xcb_render_id);
    }

    void releaseSample(Sample& sample) {
        if (sample.picture) XRenderFreePicture(display, sample.picture);
        if (sample.pixmap) XFreePixmap(display, sample.pixmap);
        if (sample.attached) XShmDetach(display, &sample.segment);
        if (sample.segment.shmaddr) shmdt(sample.segment.shmaddr);
        sample = Sample{};
    }

    // A sample pixmap of `size` for the band, made anew when the size changed; false when the server or the
    // system refuses one.
    bool samplePixmap(Sample& sample, QSize size) {
        if (sample.picture && sample.size == size) return true;
        releaseSample(sample);
        sample.segment.shmid =
            shmget(IPC_PRIVATE, size_t(size.width()) * size_t(size.height()) * 4, IPC_CREAT | 0600);
        if (sample.segment.shmid < 0) return false;
        void* address = shmat(sample.segment.shmid, nullptr, 0);
        shmctl(sample.segment.shmid, IPC_RMID, nullptr);
        if (address == reinterpret_cast<void*>(-1)) return false;
        sample.segment.shmaddr = static_cast<char*>(address);
        sample.segment.readOnly = False;
        XErrorTrap trap(display);
        sample.attached = XShmAttach(display, &sample.segment);
        sample.pixmap = XShmCreatePixmap(display, root, sample.segment.shmaddr, &sample.segment,
                                         unsigned(size.width()), unsigned(size.height()), 24);
        sample.picture = XRenderCreatePicture(
            display, sample.pixmap, XRenderFindStandardFormat(display, PictStandardRGB24), 0, nullptr);
        sample.size = size;
        if (trap.Failed() || !sample.attached) {
            releaseSample(sample);
            return false;
        }
        return true;
    }

    // Whether the band is sampled: where the server can, and each of its areas is at least 2 pixels wide and
    // high on the root window (or not on it at all), so that it holds a sample.
    bool samples(const Band& band, const QRect& part) const {
        if (!rootPicture || !shared) return false;
        for (size_t member : band.members) {
            const QRect on = areaOn(bandAreas[member], bandScreen.topLeft(), part);
            if (!on.isEmpty() && (on.width() < 2 || on.height() < 2)) return false;
        }
        return true;
    }

    // Asks the server to copy the sample of `part` into the band's pixmap: the root's pixels at even
    // coordinates, every 2nd of every 2nd row, a pixel i of the sample (its centre at i + 0.5) taken from the
    // root at origin + 2i (its centre at origin + 2i + 0.5).
    xcb_void_cookie_t sendSample(Band& band, const QRect& part) {
        forget(band.slot);
        band.origin = QPoint(part.left() + (part.left() & 1), part.top() + (part.top() & 1));
        const auto fixed = [](double value) { return xcb_render_fixed_t(XDoubleToFixed(value)); };
        const xcb_render_transform_t transform{fixed(2), 0,        fixed(band.origin.x() - 0.5),
                                               0,        fixed(2), fixed(band.origin.y() - 0.5),
                                               0,        0,        fixed(1)};
        xcb_render_set_picture_transform(connection, xcb_render_picture_t(rootPicture), transform);
        band.slot.part = part;
        band.slot.block = {};
        band.slot.current = damage != 0;
        band.sampled = true;
        return xcb_render_composite_checked(
            connection, XCB_RENDER_PICT_OP_SRC, xcb_render_picture_t(rootPicture), XCB_NONE,
            xcb_render_picture_t(band.sample.picture), 0, 0, 0, 0, 0, 0, quint16(band.sample.size.width()),
            quint16(band.sample.size.height()));
    }

    // The sample's size for `part`: its pixels at even coordinates.
    static QSize sampleSize(const QRect& part) {
        const int left = part.left() + (part.left() & 1), top = part.top() + (part.top() & 1);
        return QSize((part.left() + part.width() - left + 1) / 2, (part.top() + part.height() - top + 1) / 2);
    }

    // Puts each of `areas` into the band of the screen's edge it lies nearest; every band's means are then
    // found anew.
    void group(const QRect& screen, std::span<const QRect> areas) {
        bandScreen = screen;
        bandAreas.assign(areas.begin(), areas.end());
        for (Band& band : bands) {
            band.members.clear();
            band.colours.clear();
        }
        for (size_t i = 0; i < areas.size(); ++i)
            bands[nearestEdge(areas[i], screen.size())].members.push_back(i);
    }

    // The smallest rectangle of the root window that holds the part on it of each of the band's areas;
    // empty when none has a part on it.
    QRect bandPart(const Band& band) const {
        QRect part;
        for (size_t member : band.members)
            part |= areaOn(bandAreas[member], bandScreen.topLeft(), QRect(QPoint(), rootSize));
        return part;
    }

    // The bands whose pixels are not known to be current, after reading the server's news; false when there
    // is none. A band wholly off the root window is black and needs no grab.
    bool staleBands(std::array<QRect, Slots>& parts) {
        readEvents();
        bool any = false;
        for (size_t i = 0; i < bands.size(); ++i) {
            Band& band = bands[i];
            const QRect part = bandPart(band);
            parts[i] = QRect();
            if (part.isEmpty()) {
                forget(band.slot);
                band.slot.part = QRect();
                band.colours.assign(band.members.size(), 0);
            } else if (!band.slot.current || band.slot.part != part ||
                       band.colours.size() != band.members.size()) {
                parts[i] = part;
                any = true;
            }
        }
        return any;
    }

    // Grabs the bands' `parts` (an empty one is not grabbed), each whole or as a sample: with shared memory
    // all sent at once, then each reply read; false when the server refused one.
    bool grabBands(const std::array<QRect, Slots>& parts) {
        bool together = true;
        std::array<bool, Slots> sampled{};
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].isEmpty()) continue;
            Band& band = bands[i];
            band.colours.clear();
            band.sampled = false;
            ++bandGrabs;
            sampled[i] = samples(band, parts[i]) && samplePixmap(band.sample, sampleSize(parts[i]));
            if (!sampled[i] && !sharedImage(band.slot, parts[i].size())) together = false;
        }
        if (!together) {
            for (size_t i = 0; i < parts.size(); ++i)
                if (!parts[i].isEmpty() && !grab(bands[i].slot, parts[i])) return false;
            return true;
        }
        rearm();
        std::array<std::optional<xcb_void_cookie_t>, Slots> copies;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].isEmpty()) continue;
            if (sampled[i])
                copies[i] = sendSample(bands[i], parts[i]);
            else
                send(bands[i].slot, parts[i]);
        }
        xcb_flush(connection);
        bool ok = true;
        for (size_t i = 0; i < parts.size(); ++i) {
            Band& band = bands[i];
            if (parts[i].isEmpty()) continue;
            if (!copies[i]) {
                ok = receive(band.slot) && ok;
                continue;
            }
            // The copy is done once the server has answered anything sent after it.
            if (xcb_generic_error_t* error = xcb_request_check(connection, *copies[i])) {
                std::free(error);
                band.slot.current = false;
                ok = false;
                continue;
            }
            band.slot.block = {reinterpret_cast<const uchar*>(band.sample.segment.shmaddr),
                               band.sample.size.width(), band.sample.size.height(),
                               qsizetype(band.sample.size.width()) * 4};
        }
        return ok;
    }

    // The means of the band's areas over its grabbed pixels, in one pass over its rows. The rows are cut
    // where an area begins or ends, so that the same areas cover every row of a run; a run's rows are added
    // up column by column, and each area then takes its columns' sums.
    void measure(Band& band) const {
        struct Span {
            QRect inBlock;  // the area's part on the grabbed rectangle, in its pixels
            size_t member;  // the area's place in the band
        };
        const Slot& slot = band.slot;
        const PixelBlock& block = slot.block;
        std::vector<Span> spans;
        std::vector<int> cuts{0, block.height};
        for (size_t k = 0; k < band.members.size(); ++k) {
            const QRect on = areaOn(bandAreas[band.members[k]], bandScreen.topLeft(), slot.part);
            const QRect inBlock =
                band.sampled ? sampleOf(on, band.origin) : on.translated(-slot.part.topLeft());
            if (on.isEmpty() || inBlock.isEmpty()) continue;  // black
            spans.push_back({inBlock, k});
            cuts.insert(cuts.end(), {spans.back().inBlock.top(), spans.back().inBlock.bottom() + 1});
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

        std::vector<Sums> sums(band.members.size());
        ColumnLanes lanes{std::vector<quint32>(size_t(block.width)),
                          std::vector<quint32>(size_t(block.width))};
        std::vector<const Span*> covering;
        for (size_t c = 0; c + 1 < cuts.size(); ++c) {
            const int top = cuts[c], end = cuts[c + 1];
            covering.clear();
            int from = block.width, to = 0;
            for (const Span& span : spans) {
                if (span.inBlock.top() > top || span.inBlock.bottom() < top) continue;
                covering.push_back(&span);
                from = std::min(from, span.inBlock.left());
                to = std::max(to, span.inBlock.left() + span.inBlock.width());
            }
            if (covering.empty()) continue;
            for (int rows = top; rows < end; rows += LaneRows) {
                lanes.clear(from, to);
                for (int y = rows; y < std::min(end, rows + LaneRows); ++y)
                    lanes.add(block.data + y * block.bytesPerLine, from, to);
                for (const Span* span : covering)
                    lanes.addTo(sums[span->member], span->inBlock.left(),
                                span->inBlock.left() + span->inBlock.width());
            }
        }
        band.colours.assign(band.members.size(), 0);
        for (const Span& span : spans) {
            const Sums& sum = sums[span.member];
            const quint64 count = quint64(span.inBlock.width()) * quint64(span.inBlock.height());
            band.colours[span.member] = MeanColour(sum.red, sum.green, sum.blue, count);
        }
    }

    static PixelBlock pixels(Slot& slot) {
        XImage* image = slot.image;
        if (image->bits_per_pixel == 32 && image->byte_order == NativeByteOrder &&
            image->red_mask == 0xFF0000 && image->green_mask == 0x00FF00 && image->blue_mask == 0x0000FF)
            return {reinterpret_cast<const uchar*>(image->data), image->width, image->height,
                    image->bytes_per_line};
        // Any other pixel format (16-bit colour, another byte order): converted through the masks.
        slot.converted.resize(size_t(image->width) * size_t(image->height));
        quint32* out = slot.converted.data();
        for (int y = 0; y < image->height; ++y) {
            for (int x = 0; x < image->width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                *out++ = component(pixel, image->red_mask) << 16 | component(pixel, image->green_mask) << 8 |
                         component(pixel, image->blue_mask);
            }
        }
        return {reinterpret_cast<const uchar*>(slot.converted.data()), image->width, image->height,
                qsizetype(image->width) * 4};
    }
};

ScreenCaptureX11::ScreenCaptureX11(const QByteArray& displayName) : d_(std::make_unique<Private>()) {
    d_->display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!d_->display) {
        const QByteArray name = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
        throw std::runtime_error("Cannot open display \"" + name.toStdString() + "\"");
    }
    d_->connection = XGetXCBConnection(d_->display);
    const int screen = DefaultScreen(d_->display);
    d_->root = RootWindow(d_->display, screen);
    d_->visual = DefaultVisual(d_->display, screen);
    d_->depth = DefaultDepth(d_->display, screen);
    XSelectInput(d_->display, d_->root, StructureNotifyMask);
    d_->readRootSize();
    d_->watchDamage();
    d_->shared = XShmQueryExtension(d_->display);
    if (!d_->shared) d_->fallBack();
    d_->watchRender();
}

ScreenCaptureX11::~ScreenCaptureX11() {
    for (auto& slot : d_->images) d_->release(slot);
    for (auto& band : d_->bands) {
        d_->release(band.slot);
        d_->releaseSample(band.sample);
    }
    if (d_->rootPicture) XRenderFreePicture(d_->display, d_->rootPicture);
    if (d_->damage) XDamageDestroy(d_->display, d_->damage);
    XCloseDisplay(d_->display);
}

QSize ScreenCaptureX11::RootSize() {
    d_->readEvents();
    return d_->rootSize;
}

bool ScreenCaptureX11::SharedMemory() const {
    return d_->shared;
}

bool ScreenCaptureX11::WatchesDamage() const {
    return d_->damage != 0;
}

void ScreenCaptureX11::Prepare(const QRect& screen, const std::array<ZoneArea, Slots>& areas) {
    std::array<QRect, Slots> parts;
    if (!d_->staleParts(screen, areas, parts)) {
        // Nothing drawn over a zone, as far as the news tell. What the server is drawing right now is
        // reported once it is done: a round trip waits for that, so that the tick sees the screen as late as
        // a grab sent now would.
        if (!d_->damage) return;
        XSync(d_->display, False);
        if (!d_->staleParts(screen, areas, parts)) return;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        // Without shared memory the zones are grabbed one by one as they are asked for.
        if (!parts[i].isEmpty() && !d_->sharedImage(d_->images[i], parts[i].size())) return;
    }
    d_->rearm();
    for (size_t i = 0; i < parts.size(); ++i)
        if (!parts[i].isEmpty()) d_->send(d_->images[i], parts[i]);
    xcb_flush(d_->connection);
}

PixelBlock ScreenCaptureX11::Grab(int slot, qint64 left, qint64 top, int width, int height) {
    Private::Slot& target = d_->images.at(size_t(slot));
    // A grab already sent is as fresh as this capture needs, whatever was drawn after it. Otherwise the
    // server's news (read just now by Prepare, or here) tell whether the slot's pixels are still those on the
    // screen, and how big the screen is.
    const bool prepared = std::exchange(target.prepared, false);
    if (!target.asked && !prepared) d_->readEvents();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QRect part = d_->onScreen(left, top, width, height);
        if (part.isEmpty()) {
            d_->forget(target);
            return {};
        }
        if (target.asked && target.part == part) {
            if (d_->receive(target)) return target.block;
        } else if (target.current && target.part == part) {
            return target.block;
        }
        if (d_->grab(target, part)) return target.block;
        // Refused: the screen may have shrunk after its last reported size. Ask for the size and try again.
        d_->readRootSize();
    }
    throw std::runtime_error("Screen capture failed");
}

PixelBlock ScreenCaptureX11::ZonePixels(int slot, const QRect& screen, const ZoneArea& area) {
    return Grab(slot, screen.left() + area.left, screen.top() + area.top, ZoneWidth, ZoneHeight);
}

quint32 ScreenCaptureX11::ZoneColour(int slot, const QRect& screen, const ZoneArea& area) {
    const PixelBlock block = ZonePixels(slot, screen, area);
    if (block.width == 0) return AverageColour(block);
    std::optional<quint32>& colour = d_->images[size_t(slot)].colour;
    if (!colour) colour = AverageColour(block);
    return *colour;
}

std::vector<quint32> ScreenCaptureX11::LedColours(const QRect& screen, std::span<const QRect> areas) {
    if (screen != d_->bandScreen || !std::ranges::equal(areas, d_->bandAreas)) d_->group(screen, areas);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::array<QRect, Slots> parts;
        bool stale = d_->staleBands(parts);
        if (!stale && d_->damage) {
            // Nothing drawn over a band, as far as the news tell: as for the zones, a round trip waits for
            // what the server is drawing right now.
            XSync(d_->display, False);
            stale = d_->staleBands(parts);
        }
        if (!stale || d_->grabBands(parts)) {
            std::vector<quint32> colours(areas.size(), 0);
            for (Private::Band& band : d_->bands) {
                if (band.colours.size() != band.members.size()) d_->measure(band);
                for (size_t k = 0; k < band.members.size(); ++k) colours[band.members[k]] = band.colours[k];
            }
            return colours;
        }
        // Refused: the screen may have shrunk after its last reported size. Ask for the size and try again.
        d_->readRootSize();
    }
    throw std::runtime_error("Screen capture failed");
}

qint64 ScreenCaptureX11::BandGrabs() const {
    return d_->bandGrabs;
}
