#include "platform/x11/screen_capture_x11.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/damage.h>
#include <xcb/shm.h>

#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
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

    QRect onScreen(qint64 left, qint64 top, int width, int height) const {
        return ClipRect(left, top, width, height, QRect(QPoint(), rootSize));
    }

    void setRootSize(QSize size) {
        if (size == rootSize) return;
        rootSize = size;
        for (Slot& slot : images) slot.current = false;
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
}

ScreenCaptureX11::~ScreenCaptureX11() {
    for (auto& slot : d_->images) d_->release(slot);
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
