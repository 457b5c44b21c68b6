// The remote control: key lines from the WinLIRC server run the main window's actions, and the power actions
// of the main window, the tray and the remote.

#include <QDir>
#include <QMetaObject>

#include "app/application.h"
#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "platform/x11/x11_windows.h"
#include "remote/click_sound.h"
#include "remote/power.h"
#include "remote/remote_socket.h"
#include "remote/shutdown_window.h"
#include "settings/labeled_edit.h"
#include "settings/settings_window.h"

// The data handler only reads and splits: each complete line is handled later through the event queue, so a
// key whose action opens a message box does not hold back the keys after it (the socket reports no new data
// while its handler runs).
void TForm1::csRead() {
    for (const QByteArray& line : LircReader.Feed(cs->ReadAll())) {
        QMetaObject::invokeMethod(
            this, [this, line] { RunHandler([this, &line] { DispatchLircLine(line); }); },
            Qt::QueuedConnection);
    }
}

void TForm1::DispatchLircLine(const QByteArray& line) {
    const LircFields fields = SplitLircLine(QString::fromUtf8(line));
    LircCode = fields.code;
    LircRepeat = fields.repeat;
    LircKey = fields.key;
    LircRest = fields.rest;

    if (KeySound && IsPress(fields)) KeyClick->Play(QDir(app.Folder()).filePath(QStringLiteral("sound.wav")));

    RunKeyTable(
        EventKey(fields), [this](int box) { return app.Form2->LEdit(box)->text(); },
        [this] { return LightAlloyRunning(); }, [this](RemoteAction action) { RunRemoteAction(action); });
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
    return TopLevelWindowExists(QStringLiteral("Light Alloy"));
}

void TForm1::Button4Click() {
    power::MonitorOff();
}

void TForm1::MonitorOn() {
    power::MonitorWake();
}

void TForm1::ShutdownPC() {
    power::PowerOff(RunHandler);
}
