// Paints a whole X screen in four coloured quarters, for capture tests on a real desktop: an
// override-redirect window over all of the screen (above every managed window), shown at the first line read.
// Each line on standard input is four colours 0xRRGGBB (upper left, lower left, upper right, lower right
// quarter); "ok" is printed once the X server has the new picture. End of input ends the program. Usage:
// screen_painter (on the display named by DISPLAY)

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screen_painter: no X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, screen);
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    // Painted off screen first and shown in one go, so that no picture is ever half old, half new; the
    // window's background, so that the server itself repaints what is uncovered.
    const Pixmap picture = XCreatePixmap(display, window, width, height, DefaultDepth(display, screen));
    XSetWindowBackgroundPixmap(display, window, picture);
    const GC gc = XCreateGC(display, window, 0, nullptr);
    bool shown = false;
    unsigned long quarters[4];
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::sscanf(line, "%lx %lx %lx %lx", &quarters[0], &quarters[1], &quarters[2], &quarters[3]) != 4)
            continue;
        if (!shown) {
            XMapRaised(display, window);
            shown = true;
        }
        // A TrueColor visual of depth 24 takes 0xRRGGBB as its pixel value.
        for (int quarter = 0; quarter < 4; ++quarter) {
            XSetForeground(display, gc, quarters[quarter]);
            const int left = quarter >= 2 ? width / 2 : 0, top = quarter % 2 ? height / 2 : 0;
            XFillRectangle(display, picture, gc, left, top, quarter >= 2 ? width - width / 2 : width / 2,
                           quarter % 2 ? height - height / 2 : height / 2);
        }
        XClearWindow(display, window);
        XSync(display, False);
        std::printf("ok\n");
        std::fflush(stdout);
    }
    XFreeGC(display, gc);
    XDestroyWindow(display, window);
    XFreePixmap(display, picture);
    XCloseDisplay(display);
    return 0;
}
