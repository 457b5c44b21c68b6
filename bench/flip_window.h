#pragma once

// A full-screen window over everything, on an X connection of its own, whose colour a benchmark flips
// between black and white to make a screen change it can time. Include it after Qt's headers: Xlib defines
// names that Qt's headers use.

#include <X11/Xlib.h>

class FlipWindow {
public:
    FlipWindow() : display_(XOpenDisplay(nullptr)) {
        const int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = BlackPixel(display_, screen);
        window_ = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, DisplayWidth(display_, screen),
                                DisplayHeight(display_, screen), 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(display_, window_);
        XSync(display_, False);
    }
    ~FlipWindow() { XCloseDisplay(display_); }
    FlipWindow(const FlipWindow&) = delete;
    FlipWindow& operator=(const FlipWindow&) = delete;

    // Paints the window white or black and returns once the server has drawn it.
    void Paint(bool white) {
        const int screen = DefaultScreen(display_);
        XSetWindowBackground(display_, window_,
                             white ? WhitePixel(display_, screen) : BlackPixel(display_, screen));
        XClearWindow(display_, window_);
        XSync(display_, False);
    }
    Display* XDisplay() const { return display_; }

private:
    Display* display_;
    Window window_ = 0;
};
