#include "app/light_wiring.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/application.h"
#include "app/main_window.h"
#include "common/handlers.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "platform/desktop.h"
#include "player/player.h"
#include "settings/settings.h"

namespace {

// The primary screen in the X server's own pixels, placed where it lies on the root window when there are
// several. Qt gives a screen's size in units divided by the desktop's scale factor but keeps its top left.
QRect primaryScreenPixels() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect geometry = screen->geometry();
    return QRect(geometry.topLeft(), (QSizeF(geometry.size()) * screen->devicePixelRatio()).toSize());
}

// A capture that talks to the desktop keeps the user's consent in settings.ini, and ends AmbiLight with its
// message when the desktop refuses or stops the capture.
CaptureHooks captureHooks(App& app, LightController& light) {
    CaptureHooks hooks;
    hooks.restoreToken = app.AppSettings().ScreenCastToken();
    // A new token, or an empty one when the desktop refused the one given: either replaces it.
    hooks.keepRestoreToken = [&app](const QString& token) {
        RunHandler([&] { app.AppSettings().SaveScreenCastToken(token); });
    };
    hooks.failed = [&light](const QString& message) { light.CaptureFailed(message); };
    return hooks;
}

}  // namespace

void WireLight(App& app, LightController& light) {
    QObject::connect(&light, &LightController::Notice, &light, &messages::ShowMessage);
    QObject::connect(&light, &LightController::Failed, &light, &messages::ShowError);
    light.SetCaptureFactory([&app, &light] { return app.Desktop().MakeCapture(captureHooks(app, light)); });
    light.SetScreen(primaryScreenPixels);
    // The level of the player's stream.
    light.SetLevelSource([&app] { return app.Playback().Level(); });
    // Every item after the built-in first mode, numbered from 1 in list order.
    light.SetModeStore([&app](const QStringList& modes) { app.AppSettings().SaveModes(modes); });
    // The LED strip's output and layout, as settings.ini has them and as each save changes them.
    light.SetStrip(app.AppSettings().Strip());
    QObject::connect(&app.AppSettings(), &Settings::StripChanged, &light, &LightController::SetStrip);
}
