#pragma once

// Watches an X display for top-level windows being mapped, so that a test (or a benchmark) can tell whether
// and when a program showed a window, and where.

#include <QColor>
#include <QRect>
#include <QString>
#include <chrono>
#include <optional>

struct _XDisplay;

// The process that owns `window` as it says in _NET_WM_PID; 0 when it does not say.
qint64 WindowPid(_XDisplay* display, unsigned long window);

struct MappedWindow {
    unsigned long id = 0;
    QString title;
    qint64 pid = 0;  // of the program that owns it (_NET_WM_PID), 0 when it does not say
    QRect geometry;  // in root coordinates
    std::chrono::steady_clock::time_point when;
};

class X11Watch {
public:
    // Opens the display named by DISPLAY and starts listening; throws when there is none.
    X11Watch();
    ~X11Watch();
    X11Watch(const X11Watch&) = delete;
    X11Watch& operator=(const X11Watch&) = delete;

    // The next top-level window mapped with that title (by the process `pid`, when given), waiting up to
    // `waitMs`. Other tests may show windows on the same display: the pid tells them apart.
    std::optional<MappedWindow> waitForWindow(const QString& title, int waitMs, qint64 pid = 0);
    // The top-level windows mapped since the watch began (by the process `pid`, or by one that does not say,
    // when a pid is given), reading what the server has sent so far.
    int mappedCount(qint64 pid = 0);

private:
    void drain(int waitMs);
    struct Impl;
    Impl* d;
};

// The colour of one pixel of a window, read from the X server (0xRRGGBB).
QRgb PixelAt(unsigned long window, int x, int y);
