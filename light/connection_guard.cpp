#include "light/connection_guard.h"

#include "app/messages.h"
#include "light/serial_link.h"

bool EnsureConnected(const SerialLink& ComPort) {
    if (ComPort.Connected()) return true;
    messages::ShowMessage(QStringLiteral("Программа не подключена к COM порту!"));
    return false;
}
