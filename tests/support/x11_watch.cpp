#include "tests/support/x11_watch.h"

#include <poll.h>

#include <QDeadlineTimer>
#include <QList>
#include <algorithm>
#include <stdexcept>

// Xlib's macros clash with Qt's names: it comes last.
#include <X11/Xatom.h>
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

qint64 WindowPid(_XDisplay* display, unsigned long window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    qint64 pid = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 32 && count == 1)
        pid = qint64(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return pid;
}

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
            m.pid = WindowPid(display, window);
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

std::optional<MappedWindow> X11Watch::waitForWindow(const QString& title, int waitMs, qint64 pid) {
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        while (d->consumed < d->mapped.size()) {
            const MappedWindow& m = d->mapped[d->consumed++];
            if (m.title == title && (pid == 0 || m.pid == pid)) return m;
        }
        if (deadline.hasExpired()) return std::nullopt;
        drain(int(qMin<qint64>(deadline.remainingTime(), 20)));
    }
}

int X11Watch::mappedCount(qint64 pid) {
    XSync(d->display, False);
    drain(0);
    return int(std::count_if(d->mapped.begin(), d->mapped.end(), [pid](const MappedWindow& m) {
        return pid == 0 || m.pid == pid || m.pid == 0;
    }));
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
