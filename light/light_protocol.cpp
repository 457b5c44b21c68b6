#include "light/light_protocol.h"

#include <cmath>

int ComponentLevel(quint8 c) {
    const double quotient = c / 32.0;
    const double whole = std::floor(quotient);
    const double fraction = quotient - whole;
    int level = int(whole);
    if (fraction > 0.5 || (fraction == 0.5 && level % 2 != 0)) ++level;
    return level;
}

QByteArray ZoneCommand(Zone zone, quint32 colour) {
    const auto digit = [](quint32 component) { return char('0' + ComponentLevel(quint8(component & 0xFF))); };
    QByteArray command(6, Qt::Uninitialized);
    command[0] = zone.red;
    command[1] = digit(colour);
    command[2] = zone.green;
    command[3] = digit(colour >> 8);
    command[4] = zone.blue;
    command[5] = digit(colour >> 16);
    return command;
}
