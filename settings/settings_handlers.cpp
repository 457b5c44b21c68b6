// Loading the settings into the window, applying the start-up options, saving, and the options that act at
// once.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTabWidget>
#include <functional>
#include <stdexcept>

#include "common/handlers.h"
#include "common/hints.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "remote/remote_client.h"
#include "settings/autostart.h"
#include "settings/general_settings.h"
#include "settings/labeled_edit.h"
#include "settings/settings.h"
#include "settings/settings_window.h"
#include "settings/strip_page.h"

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

// The window shows a copy of the settings read at start; the modes go to the light controller, whose list the
// main window shows.
void TForm2::SettingsRead() {
    // User-made modes follow the built-in one, which stays selected.
    light_.SetModes(settings_.Modes());

    const GeneralSettings& settings = settings_.General();
    // The port list is not read yet: it holds the stored port, which stays chosen when the list is read
    // and has it. "Открыть", also at start-up, opens the chosen port by its name.
    if (!settings.port.isEmpty()) ComBox->addItem(settings.port);
    // Every box starts unticked, so each box the file ticks runs its handler as a click would.
    for (int n = 1; n <= 9; ++n) CheckBox(n)->setChecked(settings.CheckBox(n));
    for (int n = 0; n <= 9; ++n) LEdit(n)->setText(settings.edits[n]);
    TabSheet3->Show(settings_.Strip());
}

// The start-up options as settings.ini gave them, in this order.
void TForm2::Reading() {
    const GeneralSettings& options = settings_.General();
    if (options.CheckBox(1)) RunHandler([this] { Button1Click(); });
    if (options.CheckBox(2)) light_.Send(P1AllOffCommand);
    if (options.CheckBox(5)) RunHandler([this] { Button7Click(); });
    if (options.CheckBox(6)) remote_.StartReconnecting();
    if (options.CheckBox(7)) emit VkPlaylistAsked();
    emit KeySoundChosen(options.CheckBox(8));
    if (options.CheckBox(9)) emit ShowHintChosen(true);
    if (options.CheckBox(4)) emit MinimiseAsked();
}

// Hands the window's values over to the settings, which write them, and closes the window. When the file
// cannot be written (a full disk, a file or folder that refuses writing), the old file stays as it was, the
// box says so, and the window stays open with what the user typed, to be saved again once the cause is
// mended or left with "Отмена". The values are the run's either way.
//
// A strip laid out so that it does not fit the screen is not taken: its fault is said, the strip's page is
// brought forward with the values as they were typed, and nothing is saved.
void TForm2::Button3Click() {
    const QString fault = TabSheet3->LayoutFault();
    if (!fault.isEmpty()) {
        PageControl1->setCurrentWidget(TabSheet3);
        messages::ShowMessage(fault);
        return;
    }
    GeneralSettings settings;
    settings.port = ComBox->currentText();
    for (int n = 1; n <= 9; ++n) settings.CheckBox(n) = CheckBox(n)->isChecked();
    for (int n = 0; n <= 9; ++n) settings.edits[n] = LEdit(n)->text();
    const StripSettings strip = TabSheet3->Values();
    // The strip's section is written once it differs from the run's (and until that write succeeds): a file
    // that never had one gets none from saving the general settings.
    stripUnsaved_ = stripUnsaved_ || strip != settings_.Strip();
    bool written = true;
    const auto attempt = [&written](const std::function<void()>& save) {
        try {
            save();
        } catch (const std::runtime_error&) {
            written = false;
        }
    };
    attempt([&] { settings_.SaveGeneral(settings); });
    if (stripUnsaved_)
        attempt([&] {
            settings_.SaveStrip(strip);
            stripUnsaved_ = false;
        });
    if (!written) {
        messages::ShowError(QStringLiteral("Не удалось записать настройки в файл %1: диск заполнен или файл "
                                           "недоступен для записи. Настройки не сохранены.")
                                .arg(QFileInfo(settings_.Path()).absoluteFilePath()));
        return;
    }
    close();
}

bool TForm2::EndStripPreview() {
    return TabSheet3->EndPreview();
}

void TForm2::CheckBox3Click() {
    SetAutorun(CheckBox3->isChecked(), kAutorunName, QCoreApplication::applicationFilePath());
}

void TForm2::CheckBox8Click() {
    emit KeySoundChosen(CheckBox8->isChecked());
}

void TForm2::CheckBox9Click() {
    emit ShowHintChosen(CheckBox9->isChecked());
}
