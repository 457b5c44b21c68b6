#include "platform/x11/x11_error_trap.h"

#include <X11/Xlib.h>

namespace {

int errorsSeen = 0;

int countError(Display*, XErrorEvent*) {
    ++errorsSeen;
    return 0;
}

// Waits for the server's answer to every request sent so far; free when the last one already had its reply.
void sync(Display* display) {
    if (XNextRequest(display) - 1 != XLastKnownRequestProcessed(display)) XSync(display, False);
}

}  // namespace

XErrorTrap::XErrorTrap(_XDisplay* display) : display_(display) {
    sync(display_);
    errorsBefore_ = errorsSeen;
    previous_ = reinterpret_cast<int (*)(_XDisplay*, void*)>(XSetErrorHandler(countError));
}

XErrorTrap::~XErrorTrap() {
    sync(display_);
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_));
}

bool XErrorTrap::Failed() {
    sync(display_);
    return errorsSeen != errorsBefore_;
}
