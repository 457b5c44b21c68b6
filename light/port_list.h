#pragma once

// The serial ports offered in the settings window's port list.

#include <QString>
#include <QStringList>

// The environment variable with extra device paths for the port list, colon-separated (a virtual board's
// pseudo-terminal, a device under an unusual name).
inline constexpr char ExtraPortsVariable[] = "VARNEX_SERIAL_PORTS";

// The port list: the computer's ports sorted alphabetically without regard to case ("COM10" before "COM2"),
// followed by the extra paths as given, in their order (empty parts and names already listed left out).
QStringList PortList(QStringList systemPorts, const QString& extraPorts);

// The names of the computer's serial ports. Raises "Registry error (win error code: N)" when the system's
// device list cannot be read at all.
QStringList SystemPortNames();

// PortList of the computer's ports and the paths in VARNEX_SERIAL_PORTS.
QStringList ReadPortList();
