#include "platform/x11/screen_capture_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <array>
#include <bit>
#include <cstdio>
#include <stdexcept>
#include <string>
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
    };

    Display* display = nullptr;
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 0;
    QSize rootSize;
    bool shared = false;
    std::array<Slot, Slots> images;

    void readRootSize() {
        Window ignoredRoot;
        int x, y;
        unsigned width = 0, height = 0, border, rootDepth;
        XGetGeometry(display, root, &ignoredRoot, &x, &y, &width, &height, &border, &rootDepth);
        rootSize = QSize(int(width), int(height));
    }

    // The server reports every resize of the root window (RandR included) as a ConfigureNotify. Xlib keeps
    // the events that arrive while it waits for a reply, and every grab waits for one: with `readServer`
    // false only those are looked at, which costs no system call.
    void followResizes(bool readServer = true) {
        while (XEventsQueued(display, readServer ? QueuedAfterFlush : QueuedAlready) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ConfigureNotify && event.xconfigure.window == root)
                rootSize = QSize(event.xconfigure.width, event.xconfigure.height);
        }
    }

    void fallBack() {
        shared = false;
        std::fputs("varnex: the X server offers no shared-memory capture; using XGetImage\n", stderr);
    }

    void release(Slot& slot) {
        if (!slot.image) return;
        if (slot.attached) XShmDetach(display, &slot.segment);
        if (slot.segment.shmaddr) {
            shmdt(slot.segment.shmaddr);
            slot.image->data = nullptr;  // the segment is not Xlib's to free
        }
        XDestroyImage(slot.image);
        slot = Slot{};
    }

    // Makes the slot's shared image of `size`; false (and plain XGetImage from now on) when the server or
    // the system refuses.
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

    XImage* grab(Slot& slot, const QRect& part) {
        if (shared &&
            (!slot.image || slot.image->width != part.width() || slot.image->height != part.height())) {
            release(slot);
            if (!makeShared(slot, part.size())) fallBack();
        }
        XErrorTrap trap(display);
        if (shared) {
            const bool ok = XShmGetImage(display, root, slot.image, part.x(), part.y(), AllPlanes);
            return ok && !trap.Failed() ? slot.image : nullptr;
        }
        release(slot);
        slot.image = XGetImage(display, root, part.x(), part.y(), unsigned(part.width()),
                               unsigned(part.height()), AllPlanes, ZPixmap);
        return trap.Failed() ? nullptr : slot.image;
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
    const int screen = DefaultScreen(d_->display);
    d_->root = RootWindow(d_->display, screen);
    d_->visual = DefaultVisual(d_->display, screen);
    d_->depth = DefaultDepth(d_->display, screen);
    XSelectInput(d_->display, d_->root, StructureNotifyMask);
    d_->readRootSize();
    d_->shared = XShmQueryExtension(d_->display);
    if (!d_->shared) d_->fallBack();
}

ScreenCaptureX11::~ScreenCaptureX11() {
    for (auto& slot : d_->images) d_->release(slot);
    XCloseDisplay(d_->display);
}

QSize ScreenCaptureX11::RootSize() {
    d_->followResizes();
    return d_->rootSize;
}

bool ScreenCaptureX11::SharedMemory() const {
    return d_->shared;
}

PixelBlock ScreenCaptureX11::Grab(int slot, qint64 left, qint64 top, int width, int height) {
    Private::Slot& target = d_->images.at(size_t(slot));
    // A resize reported before the last reply is known already; one reported later is seen at the next grab
    // (a grab that a shrink makes fail reads the size afresh below). A rectangle off the known screen asks
    // the server for its news, since no grab of it brings them in.
    const auto onScreen = [&] { return ClipRect(left, top, width, height, QRect(QPoint(), d_->rootSize)); };
    d_->followResizes(false);
    if (onScreen().isEmpty()) d_->followResizes();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QRect part = onScreen();
        if (part.isEmpty()) return {};
        if (d_->grab(target, part)) return Private::pixels(target);
        // Refused: the screen may have shrunk after its last reported size. Ask for the size and try again.
        d_->readRootSize();
    }
    throw std::runtime_error("Screen capture failed");
}

PixelBlock ScreenCaptureX11::ZonePixels(int slot, const QRect& screen, const ZoneArea& area) {
    return Grab(slot, screen.left() + area.left, screen.top() + area.top, ZoneWidth, ZoneHeight);
}
