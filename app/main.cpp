#include <QApplication>
#include <clocale>
#include <cstdio>
#include <thread>

#include "app/application.h"
#include "app/main_window.h"
#include "common/fonts.h"
#include "common/session_bus.h"
#include "player/audio_library.h"
#include "player/vk_page.h"

int main(int argc, char** argv) {
    // The windows are placed at exact positions, which only X11 allows: on a Wayland desktop they run through
    // XWayland, unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    // What the web engine reads when the playlist builder first starts it: set now, before any thread, since
    // by then GStreamer's threads read the environment as they play.
    PrepareVkPageEnvironment();
    // The program reads no command-line arguments; Qt gets none either.
    int qtArgc = argc > 0 ? 1 : 0;
    // Before Qt, whose tray, theme and accessibility code look for the session bus on their own.
    session_bus::KeepFromLaunching();
    // Qt sets the user's locale as it starts; set here first, the threads below never see it change (they
    // read it, for GStreamer's messages and fontconfig's numbers).
    std::setlocale(LC_ALL, "");
    // Two pieces of the start that need nothing from Qt run beside it on threads of their own: fontconfig's
    // set-up, which the first label waits for, and the audio library's, which the main window's creation
    // waits for (and which still decides, before any window shows, whether the program starts at all).
    // They read the environment too, which nothing in the start changes after this point.
    const std::jthread fonts(LoadFontConfiguration);
    audio_library::BeginInit();
    QApplication application(qtArgc, argv);
    App::Prepare();
    try {
        App app;
        app.Form1->show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        // The audio library could not be initialised, or a window could not be made at all.
        std::fprintf(stderr, "varnex: %s\n", e.what());
        return 1;
    }
}
