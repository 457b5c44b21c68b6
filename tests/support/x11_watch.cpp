#include "tests/support/x11_watch.h"

#include <poll.h>

#include <QDeadlineTimer>
#include <QList>
#include <stdexcept>

// Xlib's macros clash with Qt's names: it comes last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

struct X11Watch::Impl {
    Display* display = nullptr;
    QList<MappedWindow> mapped;
    int consumed = 0;
};

namespace {

QString windowTitle(Display* display, Window window) {
    char* name = nullptr;
    QString title;
    if (XFetchName(display, window, &name) && name) title = QString::fromUtf8(name);
    if (name) XFree(name);
    return title;
}

}  // namespace

X11Watch::X11Watch() : d(new Impl) {
    // A busy server can refuse a connection for a moment (its listen queue is full): try again for up to 2 s.
    for (int attempt = 0; attempt < 100 && !d->display; ++attempt) {
        d->display = XOpenDisplay(nullptr);
        if (!d->display) ::poll(nullptr, 0, 20);
    }
    if (!d->display) {
        delete d;
        throw std::runtime_error("no X display: run the tests under xvfb-run");
    }
    XSelectInput(d->display, DefaultRootWindow(d->display), SubstructureNotifyMask);
    XSync(d->display, False);
}

X11Watch::~X11Watch() {
    XCloseDisplay(d->display);
    delete d;
}

void X11Watch::drain(int waitMs) {
    Display* display = d->display;
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || event.xmap.override_redirect) continue;
            const Window window = event.xmap.window;
            MappedWindow m;
            m.id = window;
            m.when = std::chrono::steady_clock::now();
            m.title = windowTitle(display, window);
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, window, &attributes))
                m.geometry = QRect(attributes.x, attributes.y, attributes.width, attributes.height);
            d->mapped.append(m);
        }
        if (deadline.hasExpired()) return;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        ::poll(&fd, 1, int(qMin<qint64>(deadline.remainingTime(), 20)));
        if (!(fd.revents & POLLIN) && deadline.hasExpired()) return;
    }
}

std::optional<MappedWindow> X11Watch::waitForWindow(const QString& title, int waitMs) {
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        while (d->consumed < d->mapped.size()) {
            const MappedWindow& m = d->mapped[d->consumed++];
            if (m.title == title) return m;
        }
        if (deadline.hasExpired()) return std::nullopt;
        drain(int(qMin<qint64>(deadline.remainingTime(), 20)));
    }
}

int X11Watch::mappedCount() {
    XSync(d->display, False);
    drain(0);
    return int(d->mapped.size());
}

QRgb PixelAt(unsigned long window, int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    const QRgb rgb = image ? QRgb(XGetPixel(image, 0, 0) & 0xFFFFFF) : 0;
    if (image) XDestroyImage(image);
    XCloseDisplay(display);
    return rgb;
}
