// The settings window's port row: the port list, "Открыть" and "Закрыть", which the light controller carries
// out, and the row following the port, also when the open device goes away.
//
// Reading the computer's ports goes through udev, which would be the dearest step of start-up, so it is
// left until somebody looks: the list is read when the window is first shown and again each time it drops
// down. Until then it holds only the port stored in settings.ini, which the start-up connection opens
// by its name.

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <functional>

#include "common/handlers.h"
#include "common/hints.h"
#include "common/window_setup.h"
#include "light/light_controller.h"
#include "light/port_list.h"
#include "settings/port_box.h"
#include "settings/settings_keys.h"
#include "settings/settings_window.h"

void TForm2::buildPortRow() {
    Label1 = MakeLabel(TabSheet1, "Label1", {8, 18}, settings_keys::kPortKey, 12);

    ComBox = new PortBox(TabSheet1, [this] { FillPortList(); });
    ComBox->setObjectName(QStringLiteral("ComBox"));
    ComBox->setGeometry(96, 16, 73, 25);
    ComBox->setEditable(false);

    Button1 = MakeButton(TabSheet1, "Button1", {176, 16, 73, 25}, QStringLiteral("Открыть"));
    Button2 = MakeButton(TabSheet1, "Button2", {256, 16, 73, 25}, QStringLiteral("Закрыть"));
    SetHint(Button1, QStringLiteral("Подключиться к указаному порту"));
    SetHint(Button2, QStringLiteral("Отключиться от порта"));

    On(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    On(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    // The port row follows the port, whoever opened or closed it, also when the device went away.
    connect(&light_, &LightController::PortChanged, this, [this](bool open) {
        Label1->setEnabled(!open);
        ComBox->setEnabled(!open);
    });
}

void TForm2::FillPortList() {
    PortListRead = true;
    const QString chosen = ComBox->currentText();
    ComBox->clear();
    QStringList ports;
    // An unreadable list is shown as an error and leaves the list empty.
    RunHandler([&ports] { ports = ReadPortList(); });
    // The open port stays shown, also when it is a device the list does not name.
    if (light_.PortOpen() && !ports.contains(chosen)) ports.append(chosen);
    ComBox->addItems(ports);
    // The choice stays when the computer still has that port; otherwise the first port is chosen.
    ComBox->setCurrentIndex(std::max(0, int(ports.indexOf(chosen))));
    // Long device paths stay readable in the drop-down.
    ComBox->view()->setMinimumWidth(ComBox->view()->sizeHintForColumn(0) + 8);
}

void TForm2::Button1Click() {
    light_.OpenPort(ComBox->currentText());
}

void TForm2::Button2Click() {
    light_.ClosePort();
}
