// AmbiLight: the switch, and the tick that copies four rectangles near the screen's edges, averages each and
// sends each average to its zone. While it runs, the mode row, the static colour controls and the colour
// music button are locked; the mode in use is the one selected at start.

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <exception>
#include <stdexcept>

#include "app/application.h"
#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/ambilight_zones.h"
#include "light/connection_guard.h"
#include "light/screen_capture.h"
#include "light/serial_link.h"
#include "light/zone_editor_window.h"
#include "platform/screen_capture_factory.h"
#include "settings/profile_file.h"
#include "settings/screen_cast_token.h"

namespace {

constexpr int TickMs = 10;
constexpr int PreviewGoneMs = 100;

// The primary screen in the X server's own pixels, placed where it lies on the root window when there are
// several. Qt gives a screen's size in units divided by the desktop's scale factor but keeps its top left.
QRect primaryScreenPixels() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect geometry = screen->geometry();
    return QRect(geometry.topLeft(), (QSizeF(geometry.size()) * screen->devicePixelRatio()).toSize());
}

// A capture that talks to the desktop keeps the user's consent in settings.ini, and ends AmbiLight with its
// message when the desktop refuses or stops the capture.
CaptureHooks captureHooks(TForm1& form) {
    CaptureHooks hooks;
    hooks.restoreToken = ReadRestoreToken(ProfileFile::Load(form.app.SettingsPath()));
    // A new token, or an empty one when the desktop refused the one given: either replaces it.
    hooks.keepRestoreToken = [&form](const QString& token) {
        RunHandler([&] {
            const QString path = form.app.SettingsPath();
            ProfileFile file = ProfileFile::Load(path);
            WriteRestoreToken(file, token);
            file.Save(path);
        });
    };
    // Called by the capture itself: the stop, which ends the capture, waits for the event loop.
    hooks.failed = [&form](const QString& message) {
        QMetaObject::invokeMethod(
            &form,
            [&form, capture = form.Capture.get(), message] {
                if (form.Capture.get() != capture || !form.Timer1->isActive()) return;
                RunHandler([&] {
                    form.StopAmbiLight(true);
                    messages::ShowMessage(message);
                });
            },
            Qt::QueuedConnection);
    };
    return hooks;
}

}  // namespace

void TForm1::ConnectAmbiLightHandlers() {
    // A mouse click flips the switch's look before the handler runs: a start that is refused flips it back.
    On(SpeedButton1, &QPushButton::clicked, this, [this] {
        const bool wasRunning = Timer1->isActive();
        const auto keepLook = qScopeGuard([&] {
            if (!wasRunning && !Timer1->isActive()) SpeedButton1->setChecked(!SpeedButton1->isChecked());
        });
        SpeedButton1Click();
    });
    On(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    // A line found gone between ticks is reported by the port row, once; AmbiLight only stops, so that no
    // tick runs into the closed port and reports it again.
    On(ComPort, &SerialLink::DeviceLost, this, [this] {
        if (Timer1->isActive()) StopAmbiLight(false);
    });
}

void TForm1::SpeedButton1Click() {
    if (!EnsureConnected(*ComPort)) return;
    if (Timer1->isActive()) {
        StopAmbiLight(true);
        return;
    }

    // A mode that gives no zone position is refused before anything is sent.
    if (ComboBox1->currentIndex() < 0) {
        messages::ShowMessage(QStringLiteral("Не выбран режим!"));
        return;
    }
    // Without a comma both parts stay empty, and an empty part is no number. Read once here, so that a tick
    // only places the zones.
    const ModeParts mode = SplitMode(ComboBox1->currentText()).value_or(ModeParts{});
    const int y = ModeNumber(mode.top);
    const int x = ModeNumber(mode.left);
    if (!Capture) Capture = MakeScreenCapture(captureHooks(*this));

    ComPort->WriteText(P1AllOffCommand);
    // A preview still held on "обзор" ends here, or the ticks would sample its panels. They are gone from the
    // screen only once the X server has unmapped them and the windows below have painted themselves again:
    // the first tick waits for that.
    const bool preview = app.Form5.Made() && app.Form5->isVisible() && !app.Form5->MakingMode;
    if (preview) app.Form5->close();
    Timer1->start(preview ? PreviewGoneMs : TickMs);
    SpeedButton1->setText(QStringLiteral("выключить"));
    ModeX = x;
    ModeY = y;
    for (QWidget* control : {static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(Button5),
                             static_cast<QWidget*>(Button7), static_cast<QWidget*>(Button8)})
        control->setEnabled(false);
    EnabledBtn(false);
    btnVisual1->setEnabled(false);
}

void TForm1::StopAmbiLight(bool writeAllOff) {
    Timer1->stop();
    if (Capture && !Capture->Lasting()) Capture.reset();
    SpeedButton1->setText(QStringLiteral("включить"));
    // A failed all-off write ends the stop here: the controls stay locked until AmbiLight is started and
    // stopped again.
    if (writeAllOff) ComPort->WriteText(AllOffCommand);
    ComboBox1->setEnabled(true);
    Button5->setEnabled(true);
    Button7->setEnabled(true);
    ComboBox1Change();  // "удалить" follows the selected mode
    // After a tick that found the port closed, the light row stays locked as the closed port wants it.
    EnabledBtn(ComPort->Connected());
    btnVisual1->setEnabled(true);
}

void TForm1::Timer1Timer() {
    if (Timer1->interval() != TickMs) Timer1->setInterval(TickMs);
    // Nothing to show yet: the desktop may still be asking the user.
    if (!Capture || !Capture->Ready()) return;
    try {
        const QRect screen = primaryScreenPixels();
        const auto areas = ZoneAreas(ModeX, ModeY, screen.width(), screen.height());
        // The four zones' commands leave in one write, in the order the zones were captured: the same bytes
        // as four writes, for a quarter of the system calls. A capture that fails still lets the zones before
        // it go out, as they would have gone out one by one.
        QByteArray frame;
        std::exception_ptr captureError;
        try {
            Capture->Prepare(screen, areas);
            for (size_t slot = 0; slot < areas.size(); ++slot)
                frame += CaptureZone(screen, areas[slot], int(slot));
        } catch (...) {
            captureError = std::current_exception();
        }
        if (!frame.isEmpty()) ComPort->WriteText(frame);
        if (captureError) std::rethrow_exception(captureError);
    } catch (...) {
        // A dead line or a failed capture: stop first, so that no later tick fails again while the error is
        // shown once; nothing more is written to the line.
        StopAmbiLight(false);
        throw;
    }
}

// `slot` is the zone's place in the tick: the capture may keep what it needs per place between ticks.
QByteArray TForm1::CaptureZone(const QRect& screen, const ZoneArea& area, int slot) {
    return ZoneCommand(area.zone, Capture->ZoneColour(slot, screen, area));
}
