// The WinLIRC connection: starting the server, connecting the main window's socket to it by hand or as soon
// as it runs, and the state texts of the settings window's "WinLirc" tab.

#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "app/application.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "platform/x11/x11_windows.h"
#include "remote/click_sound.h"
#include "remote/remote_socket.h"
#include "settings/labeled_edit.h"
#include "settings/settings_window.h"

namespace {

const QString kNoPath = QStringLiteral("Путь к программе не указан!");
const QString kNotRunning = QStringLiteral("WinLirc не запущен!");

// How long the check for a server on the port may take; on this computer a refusal comes at once.
constexpr int kProbeTimeout = 300;

}  // namespace

void TForm1::ConnectRemoteHandlers() {
    bool ok = false;
    const uint port = qEnvironmentVariable("VARNEX_WINLIRC_PORT").toUInt(&ok);
    if (ok && port > 0 && port <= 0xFFFF) csPort = quint16(port);
    KeyClick = new ClickSound(RingBell, this);
    KeyClick->setObjectName(QStringLiteral("KeyClick"));

    On(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    On(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    On(cs, &RemoteSocket::ReadyRead, this, &TForm1::csRead);

    // Whether something accepts connections on the server's port (LIRC's lircd has no window), asked
    // without waiting: every check made meanwhile gets the one probe's answer.
    WinLircProbe = new RemoteSocket(this);
    WinLircProbeLimit = new QTimer(this);
    WinLircProbeLimit->setSingleShot(true);
    WinLircProbeLimit->setInterval(kProbeTimeout);
    const auto answer = [this](bool running) {
        WinLircProbeLimit->stop();
        WinLircProbe->Abort();
        for (const auto& then : std::exchange(WinLircProbeWaiters, {})) RunHandler([&] { then(running); });
    };
    On(WinLircProbe, &RemoteSocket::Connected, this, [answer] { answer(true); });
    On(WinLircProbe, &RemoteSocket::Failed, this, [answer] { answer(false); });
    On(WinLircProbeLimit, &QTimer::timeout, this, [answer] { answer(false); });

    // The state texts follow the socket: back to "disconnected" when the connection fails or closes. Each
    // connection reads its lines afresh: nothing of the last one (half a line, an open block) carries over.
    auto connected = std::make_shared<bool>(false);
    On(cs, &RemoteSocket::Connected, this, [this, connected] {
        *connected = true;
        LircReader = {};
    });
    On(cs, &RemoteSocket::Unconnected, this, [this, connected] {
        if (!*connected) return;
        *connected = false;
        SetWinLircTexts(false);
    });
    On(cs, &RemoteSocket::Failed, this, [this, connected](int number) {
        QString text;
        if (!*connected) {
            text = QStringLiteral("Asynchronous socket error %1").arg(number);
        } else if (number != ECONNRESET) {  // not a close by the server
            text = QStringLiteral("Windows socket error: %1 (%2), on API 'recv'")
                       .arg(QString::fromLocal8Bit(std::strerror(number)))
                       .arg(number);
            cs->Abort();
        }
        SetWinLircTexts(false);
        // Shown from the event loop: a modal box must not run inside the socket's own signal.
        if (!text.isEmpty())
            QMetaObject::invokeMethod(
                this, [text] { RunHandler([&text] { messages::ShowError(text); }); }, Qt::QueuedConnection);
    });
}

void TForm1::SetWinLircTexts(bool connected) {
    TForm2* settings = app.Form2.get();
    if (!settings) return;
    settings->Label4->setText(connected ? QStringLiteral("WinLirc подключен")
                                        : QStringLiteral("WinLirc отключен"));
    settings->Label4->adjustSize();
    settings->Button6->setText(connected ? QStringLiteral("отключиться") : QStringLiteral("подключиться"));
}

// WinLIRC runs when its window exists, or when something accepts connections on its port here.
void TForm1::CheckWinLircRunning(std::function<void(bool running)> then) {
    if (TopLevelWindowExists(QStringLiteral("WinLirc"))) return then(true);
    WinLircProbeWaiters.append(std::move(then));
    if (WinLircProbe->GetState() != RemoteSocket::State::Unconnected) return;
    WinLircProbeLimit->start();
    WinLircProbe->ConnectToHost(csHost, csPort);
}

void TForm1::Timer2Timer() {
    CheckWinLircRunning([this](bool running) {
        if (!running) return;
        if (cs->GetState() == RemoteSocket::State::Unconnected) cs->ConnectToHost(csHost, csPort);
        Timer2->stop();
        SetWinLircTexts(true);
    });
}

void TForm2::ConnectWinLircHandlers() {
    On(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    On(Button6, &QPushButton::clicked, this, &TForm2::Button6Click);
    On(Button7, &QPushButton::clicked, this, &TForm2::Button7Click);
}

// The dialog is made at its first use, which keeps it out of the program's start.
void TForm2::Button5Click() {
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this, QStringLiteral("-"));
        OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
        OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    }
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
    LEdit0->setText(OpenDialog1->selectedFiles().constFirst());
}

// Starts the program on its own, without a shell and without waiting; whether it starts is not reported.
void TForm2::Button7Click() {
    const QString path = LEdit0->text();
    if (path.isEmpty()) {
        messages::ShowMessage(kNoPath);
        return;
    }
    QProcess::startDetached(path, {});
}

// Connects or disconnects, as the socket's own state says (not the button's text).
void TForm2::Button6Click() {
    TForm1& main = *app.Form1;
    main.CheckWinLircRunning([&main](bool running) {
        if (!running) {
            messages::ShowMessage(kNotRunning);
            return;
        }
        if (main.cs->GetState() == RemoteSocket::State::Connected) {
            main.cs->Abort();
            main.SetWinLircTexts(false);
            return;
        }
        // A connection already on its way is left to finish.
        if (main.cs->GetState() == RemoteSocket::State::Unconnected)
            main.cs->ConnectToHost(main.csHost, main.csPort);
        main.SetWinLircTexts(true);
    });
}
