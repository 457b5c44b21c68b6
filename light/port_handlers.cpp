// The settings window's port row: the port list, "Открыть" and "Закрыть", and what happens when the open
// device goes away.

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/application.h"
#include "app/handlers.h"
#include "app/hints.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/window_setup.h"
#include "light/port_list.h"
#include "light/serial_link.h"
#include "settings/settings_keys.h"
#include "settings/settings_window.h"

void TForm2::buildPortRow() {
    Label1 = MakeLabel(TabSheet1, "Label1", {8, 18}, settings_keys::kPortKey, 12);

    ComBox = new QComboBox(TabSheet1);
    ComBox->setObjectName(QStringLiteral("ComBox"));
    ComBox->setGeometry(96, 16, 73, 25);
    ComBox->setEditable(false);

    Button1 = MakeButton(TabSheet1, "Button1", {176, 16, 73, 25}, QStringLiteral("Открыть"));
    Button2 = MakeButton(TabSheet1, "Button2", {256, 16, 73, 25}, QStringLiteral("Закрыть"));
    SetHint(Button1, QStringLiteral("Подключиться к указаному порту"));
    SetHint(Button2, QStringLiteral("Отключиться от порта"));

    // The list is read once; an unreadable list is shown as an error and leaves the list empty.
    RunHandler([this] { ComBox->addItems(ReadPortList()); });
    if (ComBox->count() > 0) ComBox->setCurrentIndex(0);
    // Long device paths stay readable in the drop-down.
    ComBox->view()->setMinimumWidth(ComBox->view()->sizeHintForColumn(0) + 8);

    On(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    On(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    On(app.Form1->ComPort, &SerialLink::DeviceLost, this,
       [this](const QString& errorText) { ComPortDeviceLost(errorText); });
}

void TForm2::Button1Click() {
    const QString name = ComBox->currentText();
    if (!SerialLink::PortAvailable(name)) {
        messages::ShowMessage(QStringLiteral("Данный порт недоступен!"));
        return;
    }
    SerialLink& port = *app.Form1->ComPort;
    port.Port = name;
    port.SetConnected(true);
    Label1->setEnabled(false);
    ComBox->setEnabled(false);
    app.Form1->EnabledBtn(true);
}

void TForm2::Button2Click() {
    app.Form1->ComPort->SetConnected(false);
    Label1->setEnabled(true);
    ComBox->setEnabled(true);
    app.Form1->EnabledBtn(false);
}

void TForm2::ComPortDeviceLost(const QString& errorText) {
    // The device is gone and the port already closed: leave everything as "Закрыть" does, then show why,
    // once.
    Button2Click();
    if (!errorText.isEmpty()) messages::ShowError(errorText);
}
