// The main window's light controls: the mode row (the mode list, "обзор", "удалить", "новый" and the
// AmbiLight switch), the light row's static colour and the colour music button. The handlers pass the user's
// actions to the light controller; the view slots show its state.

#include <QColorDialog>
#include <QComboBox>
#include <QPushButton>
#include <QScopeGuard>

#include "app/application.h"
#include "app/main_window.h"
#include "common/color_edit.h"
#include "common/handlers.h"
#include "common/image_button.h"
#include "light/ambilight_zones.h"
#include "light/light_controller.h"
#include "light/light_protocol.h"
#include "light/mouse_buttons.h"
#include "light/zone_editor_window.h"
#include "settings/settings_window.h"

void TForm1::ConnectLightHandlers() {
    LightController& light = app.Light();
    // Only the user's choices: a list made anew moves the selection without anyone choosing.
    On(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    On(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    On(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    auto* preview = new MouseButtons(Button7);
    On(preview, &MouseButtons::pressed, this, &TForm1::Button7MouseDown);
    On(preview, &MouseButtons::released, this, &TForm1::Button7MouseUp);
    // A mouse click flips the switch's look before the handler runs: a start that is refused flips it back.
    On(SpeedButton1, &QPushButton::clicked, this, [this] {
        const bool wasRunning = app.Light().AmbiLightOn();
        const auto keepLook = qScopeGuard([&] {
            if (!wasRunning && !app.Light().AmbiLightOn())
                SpeedButton1->setChecked(!SpeedButton1->isChecked());
        });
        SpeedButton1Click();
    });
    On(RzColorEdit1, &ColorEdit::Change, this, &TForm1::RzColorEdit1Change);
    On(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    On(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    On(btnVisual1, &TImage2::clicked, this, &TForm1::btnVisual1Click);

    connect(&light, &LightController::ModesChanged, this, &TForm1::showModes);
    connect(&light, &LightController::ControlsChanged, this, &TForm1::showLightControls);
    connect(&light, &LightController::AmbiLightChanged, this, [this](bool on) {
        SpeedButton1->setText(on ? QStringLiteral("выключить") : QStringLiteral("включить"));
    });
    connect(&light, &LightController::ColourMusicChanged, this, [this](bool on) {
        btnVisual1->LoadBitmap(on ? QStringLiteral("VISUAL12") : QStringLiteral("VISUAL1"));
    });
    // Setting the box's colour from code raises no change of its own.
    connect(&light, &LightController::ColourChanged, this,
            [this](quint32 colour) { RzColorEdit1->SetSelectedColor(colour); });
    showLightControls(light.Controls());
}

// The built-in mode first, then the user's.
void TForm1::showModes(const QStringList& modes, int chosen) {
    ComboBox1->clear();
    ComboBox1->addItem(QStringLiteral("0,150"));
    ComboBox1->addItems(modes);
    ComboBox1->setCurrentIndex(chosen);
    if (ComboBox1->isEnabled()) ComboBox1Change();
}

void TForm1::showLightControls(const LightControls& controls) {
    const bool unlocking = controls.modeRow && !ComboBox1->isEnabled();
    for (QWidget* control : {static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(Button5),
                             static_cast<QWidget*>(Button7), static_cast<QWidget*>(btnVisual1)})
        control->setEnabled(controls.modeRow);
    if (!controls.modeRow) Button8->setEnabled(false);
    if (unlocking) ComboBox1Change();  // "удалить" follows the selected mode
    SpeedButton1->setEnabled(controls.ambiLightSwitch);
    for (QWidget* control : {static_cast<QWidget*>(RzColorEdit1), static_cast<QWidget*>(Button1),
                             static_cast<QWidget*>(Button2)})
        control->setEnabled(controls.staticColour);
}

// The mode row

void TForm1::ComboBox1Change() {
    // The built-in first mode cannot be deleted.
    Button8->setEnabled(ComboBox1->currentIndex() != 0);
}

void TForm1::Button8Click() {
    const int index = ComboBox1->currentIndex();
    ComboBox1->setCurrentIndex(-1);
    app.Light().DeleteMode(index);
}

void TForm1::Button5Click() {
    setEnabled(false);
    SetAlphaBlend(true);
    TForm5& editor = *app.Form5;
    editor.MakingMode = true;
    editor.PnTopLeft->move(0, 150);
    editor.Panel1->show();
    editor.btnMove->show();
    editor.show();
    editor.raise();
    editor.activateWindow();
}

void TForm1::Button7MouseDown() {
    TForm5& editor = *app.Form5;
    // Without a comma the panels stay where they were last.
    if (const auto parts = SplitMode(ComboBox1->currentText())) {
        const int left = ModeNumber(parts->left);
        const int top = ModeNumber(parts->top);
        // A number beyond 2^24 pixels is shown at that distance: the panel is as far off the screen either
        // way.
        editor.PnTopLeft->move(NearScreen(left, top));
    }
    editor.Panel1->hide();
    editor.btnMove->hide();
    editor.show();
    editor.raise();
}

void TForm1::Button7MouseUp() {
    app.Form5->close();
}

void TForm1::SetAlphaBlend(bool on) {
    AlphaBlend = on;
    setWindowOpacity(on ? AlphaBlendValue / 255.0 : 1.0);
}

// AmbiLight: the mode in use is the one selected at start. A preview still held on "обзор", or the strip's
// layout still shown over the screen, ends at the start.
void TForm1::SpeedButton1Click() {
    const std::optional<QString> mode =
        ComboBox1->currentIndex() < 0 ? std::nullopt : std::optional(ComboBox1->currentText());
    app.Light().SwitchAmbiLight(mode, [this] {
        const bool preview = app.Form5.Made() && app.Form5->isVisible() && !app.Form5->MakingMode;
        if (preview) app.Form5->close();
        const bool stripPreview = app.Form2->EndStripPreview();
        return preview || stripPreview;
    });
}

// The light row's static colour: sent once, to all four zones, and kept nowhere but in the colour box.

void TForm1::RzColorEdit1Change() {
    app.Light().SetColour(RzColorEdit1->SelectedColor().value_or(0));
}

void TForm1::Button1Click() {
    // The dialog's sixteen custom colours were set white when the window was made.
    QColorDialog dialog(ColorDialog1Color, this);
    dialog.setObjectName(QStringLiteral("ColorDialog1"));
    if (dialog.exec() != QDialog::Accepted) return;
    ColorDialog1Color = dialog.selectedColor();
    // Setting the box's colour from code raises no change of its own.
    RzColorEdit1->SetSelectedColor(BgrFromColor(ColorDialog1Color));
    RzColorEdit1Change();
}

void TForm1::Button2Click() {
    app.Light().Send(AllOffCommand);
}

void TForm1::btnVisual1Click() {
    app.Light().SwitchColourMusic();
}
