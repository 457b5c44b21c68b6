// The remote control as the main window sees it: the remote client's actions run the window's handlers, its
// state shows in the settings window's WinLIRC row, and the power actions go to the desktop.

#include <QDir>
#include <QLabel>
#include <QPushButton>

#include "app/application.h"
#include "app/main_window.h"
#include "common/handlers.h"
#include "common/image_button.h"
#include "common/messages.h"
#include "platform/desktop.h"
#include "remote/click_sound.h"
#include "remote/remote_client.h"
#include "remote/shutdown_window.h"

void TForm1::ConnectRemoteHandlers() {
    RemoteClient& remote = app.Remote();
    bool ok = false;
    const uint port = qEnvironmentVariable("VARNEX_WINLIRC_PORT").toUInt(&ok);
    if (ok && port > 0 && port <= 0xFFFF) remote.SetServer(remote.Host(), quint16(port));
    KeyClick = new ClickSound([this] { app.Desktop().Bell(); }, this);
    KeyClick->setObjectName(QStringLiteral("KeyClick"));

    On(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    On(&remote, &RemoteClient::Action, this, [this](RemoteAction action) { RunRemoteAction(action); });
    On(&remote, &RemoteClient::KeyPressed, this, [this] {
        if (KeySound) KeyClick->Play(QDir(app.Folder()).filePath(QStringLiteral("sound.wav")));
    });
    On(&remote, &RemoteClient::Notice, this, [](const QString& text) { messages::ShowMessage(text); });
    On(&remote, &RemoteClient::Error, this, [](const QString& text) { messages::ShowError(text); });
}

void TForm1::SetKeySound(bool on) {
    KeySound = on;
}

bool TForm1::KeySoundOn() const {
    return KeySound;
}

// Each action runs its handler directly, whatever the enabled state of the control that usually runs it.
void TForm1::RunRemoteAction(RemoteAction action) {
    // The confirmation window is made the first time it is shown.
    switch (action) {
        case RemoteAction::AmbiLight:
            SpeedButton1Click();
            break;
        case RemoteAction::ShowShutdownWindow:
            // In front and active, so that Escape reaches it.
            app.Form3->show();
            app.Form3->raise();
            app.Form3->activateWindow();
            break;
        case RemoteAction::ShutDown:
            if (app.Form3.Made() && app.Form3->isVisible()) ShutdownPC();
            break;
        case RemoteAction::HideShutdownWindow:
            if (app.Form3.Made()) app.Form3->hide();
            break;
        case RemoteAction::MonitorOff:
            Button4Click();
            break;
        case RemoteAction::MonitorOn:
            MonitorOn();
            break;
        case RemoteAction::PlayPause:
            // The play button shows while nothing plays; the window itself may be hidden in the tray.
            if (!btnPlay->isHidden())
                btnPlayClick();
            else
                btnPauseClick();
            break;
        case RemoteAction::NextTrack:
            btnNextClick();
            break;
        case RemoteAction::PreviousTrack:
            btnPrevClick();
            break;
        case RemoteAction::ColourMusic:
            btnVisual1Click();
            break;
    }
}

bool TForm1::LightAlloyRunning() const {
    return app.Desktop().WindowExists(QStringLiteral("Light Alloy"));
}

void TForm1::Button4Click() {
    app.Desktop().MonitorOff();
}

void TForm1::MonitorOn() {
    app.Desktop().MonitorWake();
}

void TForm1::ShutdownPC() {
    app.Desktop().PowerOff(RunHandler);
}
