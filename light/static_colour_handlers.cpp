// The light row's static colour: the colour box, the colour dialog behind "обзор" and "выкл. подсветку".
// The colour is sent once, to all four zones, and kept nowhere but in the colour box.

#include <QColorDialog>
#include <QPushButton>

#include "app/color_edit.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "light/connection_guard.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"

void TForm1::ConnectStaticColourHandlers() {
    On(RzColorEdit1, &ColorEdit::Change, this, &TForm1::RzColorEdit1Change);
    On(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    On(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
}

void TForm1::RzColorEdit1Change() {
    if (!EnsureConnected(*ComPort)) return;
    const quint32 colour = RzColorEdit1->SelectedColor().value_or(0);
    // A failed write ends the sequence there: the zones after it keep their levels.
    for (Zone zone : {LeftLowerZone, LeftUpperZone, RightUpperZone, RightLowerZone})
        ComPort->WriteText(ZoneCommand(zone, colour));
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
    if (!EnsureConnected(*ComPort)) return;
    ComPort->WriteText(AllOffCommand);
}
