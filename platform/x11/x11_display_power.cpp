#include "platform/x11/x11_display_power.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include "platform/x11/x11_error_trap.h"
#include "platform/x11/x11_windows.h"

// Xlib's macros clash with Qt's names: its headers come last.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/dpms.h>

namespace x11 {

namespace {

// DPMS must be enabled to switch the display off. A user who had it disabled gets that back once the display
// is on again, however it was woken (the remote, the user's own mouse or keyboard), or when the program ends
// while it is off. Disabling DPMS turns the display on, so it waits for the wake.
class DpmsRestore final {
public:
    DpmsRestore() = default;
    ~DpmsRestore() { restore(); }
    DpmsRestore(const DpmsRestore&) = delete;
    DpmsRestore& operator=(const DpmsRestore&) = delete;

    // Notes the user's setting before the program enables DPMS; a second switch-off keeps the first note.
    void noteBeforeEnable(Display* display) {
        CARD16 level = 0;
        BOOL enabled = False;
        if (pending_ || !DPMSInfo(display, &level, &enabled) || enabled) return;
        pending_ = true;
        // Owned by the application, so that it goes with the event loop; the program's end restores too.
        if (!watch_) {
            watch_ = new QTimer(QCoreApplication::instance());
            QObject::connect(watch_, &QTimer::timeout, [this] { restoreOnceOn(); });
        }
        watch_->start(1000);
    }
    void restoreOnceOn() {
        Display* display = RemoteDisplay();
        CARD16 level = 0;
        BOOL enabled = False;
        XErrorTrap trap(display);
        if (pending_ && DPMSInfo(display, &level, &enabled) && level == DPMSModeOn) restore();
    }

private:
    void restore() {
        if (!pending_) return;
        pending_ = false;
        if (watch_) watch_->stop();
        Display* display = RemoteDisplay();
        XErrorTrap trap(display);
        DPMSDisable(display);
        XFlush(display);
    }

    bool pending_ = false;  // the user's disabled DPMS waits to be put back
    QPointer<QTimer> watch_;
};

DpmsRestore& dpmsRestore() {
    static DpmsRestore restore;
    return restore;
}

}  // namespace

void MonitorOff() {
    Display* display = RemoteDisplay();
    if (!display) return;
    XErrorTrap trap(display);
    int eventBase = 0, errorBase = 0;
    if (DPMSQueryExtension(display, &eventBase, &errorBase) && DPMSCapable(display)) {
        dpmsRestore().noteBeforeEnable(display);
        DPMSEnable(display);
        DPMSForceLevel(display, DPMSModeOff);
    } else {
        XForceScreenSaver(display, ScreenSaverActive);
    }
}

void MonitorWake() {
    Display* display = RemoteDisplay();
    if (!display) return;
    XErrorTrap trap(display);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        XTestFakeRelativeMotionEvent(display, 0, 0, CurrentTime);
    XSync(display, False);  // the server has woken the display before its state is read
    dpmsRestore().restoreOnceOn();
}

}  // namespace x11
