// Loading the settings into the window, applying the start-up options, saving, and the options that act at
// once.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <stdexcept>

#include "app/application.h"
#include "app/handlers.h"
#include "app/hints.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/connection_guard.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "remote/remote_client.h"
#include "settings/ambilight_modes.h"
#include "settings/autostart.h"
#include "settings/general_settings.h"
#include "settings/labeled_edit.h"
#include "settings/profile_file.h"
#include "settings/settings_window.h"

namespace {
const QString kAutorunName = QStringLiteral("VX_beacon");
}

// Each step runs even when one before it failed; its error is shown.
void TForm2::FormCreate() {
    RunHandler([this] { SettingsRead(); });
    RunHandler([this] { Reading(); });
    PageControl1->setCurrentIndex(0);
    setHints();
    Hints->SetEnabled(true);
}

void TForm2::SettingsRead() {
    const ProfileFile file = ProfileFile::Load(app.SettingsPath());
    // User-made modes follow the built-in one, which stays selected.
    for (const QString& mode : ReadModes(file)) app.Form1->ComboBox1->addItem(mode);

    const GeneralSettings settings = ReadGeneralSettings(file);
    // The port list is not read yet: it holds the stored port, which stays chosen when the list is read
    // and has it. "Открыть", also at start-up, opens the chosen port by its name.
    if (!settings.port.isEmpty()) ComBox->addItem(settings.port);
    // Every box starts unticked, so each box the file ticks runs its handler as a click would.
    for (int n = 1; n <= 9; ++n) CheckBox(n)->setChecked(settings.CheckBox(n));
    for (int n = 0; n <= 9; ++n) LEdit(n)->setText(settings.edits[n]);
}

void TForm2::Reading() {
    TForm1& main = *app.Form1;
    if (CheckBox1->isChecked()) RunHandler([this] { Button1Click(); });
    if (CheckBox2->isChecked()) {
        RunHandler([&main] {
            if (EnsureConnected(*main.ComPort)) main.ComPort->WriteText(P1AllOffCommand);
        });
    }
    if (CheckBox5->isChecked()) RunHandler([this] { Button7Click(); });
    if (CheckBox6->isChecked()) app.Remote().StartReconnecting();
    if (CheckBox7->isChecked()) RunHandler([&main] { main.btnVkClick(); });
    main.KeySound = CheckBox8->isChecked();
    if (CheckBox9->isChecked()) main.SetShowHint(true);
    if (CheckBox4->isChecked()) {
        // Handled once the event loop runs, after the main window has been shown.
        QMetaObject::invokeMethod(
            &main, [&main] { RunHandler([&main] { main.WMSysCommand(TForm1::SC_MINIMIZE); }); },
            Qt::QueuedConnection);
    }
}

// Writes every setting and closes the window. When the file cannot be written (a full disk, a file or folder
// that refuses writing), the old file stays as it was, the box says so, and the window stays open with what
// the user typed, to be saved again once the cause is mended or left with "Отмена".
void TForm2::Button3Click() {
    const QString path = app.SettingsPath();
    ProfileFile file = ProfileFile::Load(path);
    GeneralSettings settings;
    settings.port = ComBox->currentText();
    for (int n = 1; n <= 9; ++n) settings.CheckBox(n) = CheckBox(n)->isChecked();
    for (int n = 0; n <= 9; ++n) settings.edits[n] = LEdit(n)->text();
    WriteGeneralSettings(file, settings);
    try {
        file.Save(path);
    } catch (const std::runtime_error&) {
        messages::ShowError(QStringLiteral("Не удалось записать настройки в файл %1: диск заполнен или файл "
                                           "недоступен для записи. Настройки не сохранены.")
                                .arg(QFileInfo(path).absoluteFilePath()));
        return;
    }
    close();
}

void TForm2::CheckBox3Click() {
    SetAutorun(CheckBox3->isChecked(), kAutorunName, QCoreApplication::applicationFilePath());
}

void TForm2::CheckBox8Click() {
    app.Form1->KeySound = CheckBox8->isChecked();
}

void TForm2::CheckBox9Click() {
    app.Form1->SetShowHint(CheckBox9->isChecked());
}
