#include "platform/x11/x11_windows.h"

#include <optional>
#include <vector>

#include "platform/x11/x11_error_trap.h"

// Xlib's macros clash with Qt's names: its headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The whole value of a window property of `type` and 8 or 32-bit items; nothing when the window has none.
template <typename Item>
std::optional<std::vector<Item>> property(Display* display, Window window, Atom name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 1L << 20, False, type, &actualType, &format, &count,
                           &remaining, &data) != Success ||
        actualType != type) {
        if (data) XFree(data);
        return std::nullopt;
    }
    std::vector<Item> items;
    if (format == 8 && sizeof(Item) == 1) {
        items.assign(data, data + count);
    } else if (format == 32 && sizeof(Item) == sizeof(long)) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    XFree(data);
    return items;
}

std::optional<QString> netWmName(Display* display, Window window) {
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const auto bytes = property<char>(display, window, name, utf8);
    if (!bytes) return std::nullopt;
    return QString::fromUtf8(bytes->data(), qsizetype(bytes->size()));
}

// WM_NAME in whichever encoding the window gave it (Latin-1, compound text or UTF-8).
std::optional<QString> wmName(Display* display, Window window) {
    XTextProperty text{};
    if (!XGetWMName(display, window, &text) || !text.value) return std::nullopt;
    char** list = nullptr;
    int count = 0;
    std::optional<QString> title;
    if (Xutf8TextPropertyToTextList(display, &text, &list, &count) >= Success && count > 0 && list) {
        title = QString::fromUtf8(list[0]);
    }
    if (list) XFreeStringList(list);
    XFree(text.value);
    return title;
}

std::vector<Window> topLevelWindows(Display* display) {
    const Window root = DefaultRootWindow(display);
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    if (auto clients = property<unsigned long>(display, root, clientList, XA_WINDOW))
        return {clients->begin(), clients->end()};
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> windows;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) && children)
        windows.assign(children, children + count);
    if (children) XFree(children);
    return windows;
}

}  // namespace

_XDisplay* RemoteDisplay() {
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

bool TopLevelWindowExists(_XDisplay* display, const QString& title) {
    if (!display) return false;
    XErrorTrap trap(display);  // a window may close while it is being read
    for (const Window window : topLevelWindows(display)) {
        std::optional<QString> name = netWmName(display, window);
        if (!name) name = wmName(display, window);
        if (name == title) return true;
    }
    return false;
}

bool TopLevelWindowExists(const QString& title) {
    return TopLevelWindowExists(RemoteDisplay(), title);
}

void RingBell() {
    if (Display* display = RemoteDisplay()) {
        XBell(display, 0);
        XFlush(display);
    }
}
