// Colour music: while it runs, every 33 ms the level of the playing stream becomes one light command (the
// right channel on the left zones, the left channel on the right zones). It keeps the light row and the
// AmbiLight switch disabled meanwhile, and leaves every light dark when switched off.
//
// A write that fails during a tick (the port closed, the board gone) stops colour music before the error is
// shown, so that it is shown once, and leaves the controls as switching it off does, without the all-off
// command that could not reach the board anyway.

#include <QPushButton>
#include <QTimer>

#include "app/application.h"
#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "light/colour_music.h"
#include "light/connection_guard.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "player/player.h"

void TForm1::ConnectColourMusicHandlers() {
    On(btnVisual1, &TImage2::clicked, this, &TForm1::btnVisual1Click);
    On(TVisual1, &QTimer::timeout, this, &TForm1::TVisual1Timer);
    // The board went away between two writes: the port row shows why; colour music just stops.
    On(ComPort, &SerialLink::DeviceLost, this, [this] {
        if (ColorMusicOn) StopColourMusic(false);
    });
}

void TForm1::btnVisual1Click() {
    if (!EnsureConnected(*ComPort)) return;
    if (ColorMusicOn) {
        StopColourMusic(true);
        return;
    }
    btnVisual1->LoadBitmap(QStringLiteral("VISUAL12"));
    ColorMusicOn = true;
    TVisual1->start();
    EnabledBtn(false);
    SpeedButton1->setEnabled(false);
}

void TForm1::StopColourMusic(bool lightsOff) {
    btnVisual1->LoadBitmap(QStringLiteral("VISUAL1"));
    ColorMusicOn = false;
    TVisual1->stop();
    if (lightsOff) ComPort->WriteText(AllOffCommand);
    // After a tick that found the port closed, the light row and the AmbiLight switch stay locked as the
    // closed port wants them.
    EnabledBtn(ComPort->Connected());
    SpeedButton1->setEnabled(ComPort->Connected());
}

void TForm1::TVisual1Timer() {
    const QByteArray command = ColourMusicCommand(app.Playback().Level());
    try {
        ComPort->WriteText(command);  // an empty command writes nothing, but fails on a closed port
    } catch (...) {
        StopColourMusic(false);
        throw;
    }
}
