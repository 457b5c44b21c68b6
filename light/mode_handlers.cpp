// The mode row's list and buttons: choosing a mode, deleting it ("удалить"), making a new one in the zone
// editor ("новый"), and previewing the selected one while a mouse button is held on "обзор". Every change of
// the list is stored at once.

#include <QComboBox>
#include <QFrame>
#include <QPushButton>

#include "app/application.h"
#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "light/ambilight_zones.h"
#include "light/mouse_buttons.h"
#include "light/zone_editor_window.h"

void TForm1::ConnectModeHandlers() {
    // Only the user's choices: removing an item moves the selection without anyone choosing.
    On(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    On(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    On(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    auto* preview = new MouseButtons(Button7);
    On(preview, &MouseButtons::pressed, this, &TForm1::Button7MouseDown);
    On(preview, &MouseButtons::released, this, &TForm1::Button7MouseUp);
}

void TForm1::ComboBox1Change() {
    // The built-in first mode cannot be deleted.
    Button8->setEnabled(ComboBox1->currentIndex() != 0);
}

void TForm1::Button8Click() {
    if (ComboBox1->currentIndex() != 0) ComboBox1->removeItem(ComboBox1->currentIndex());
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->update();
    app.Form5->saveAS();
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
