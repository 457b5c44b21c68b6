// The settings window's "WinLirc" tab: the server's program chosen and started, and the connection to it made
// or dropped by hand through the remote client.

#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "common/handlers.h"
#include "common/messages.h"
#include "remote/remote_client.h"
#include "settings/labeled_edit.h"
#include "settings/settings_window.h"

namespace {

const QString kNoPath = QStringLiteral("Путь к программе не указан!");

}  // namespace

void TForm2::ConnectWinLircHandlers() {
    On(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    On(Button6, &QPushButton::clicked, this, &TForm2::Button6Click);
    On(Button7, &QPushButton::clicked, this, &TForm2::Button7Click);
    connect(&remote_, &RemoteClient::ConnectionShown, this, &TForm2::SetWinLircTexts);
}

// The connection's state as the client shows it: set by the operations that connect or disconnect, never by
// the socket's own events.
void TForm2::SetWinLircTexts(bool connected) {
    Label4->setText(connected ? QStringLiteral("WinLirc подключен") : QStringLiteral("WinLirc отключен"));
    Label4->adjustSize();
    Button6->setText(connected ? QStringLiteral("отключиться") : QStringLiteral("подключиться"));
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

// Connects or disconnects, as the connection's own state says (not the button's text).
void TForm2::Button6Click() {
    remote_.ToggleConnection();
}
