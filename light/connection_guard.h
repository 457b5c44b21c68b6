#pragma once

class SerialLink;

// The not-connected guard, called first by every light action a user or the remote starts: with the port open
// it answers true; otherwise it shows "Программа не подключена к COM порту!" and answers false, and the
// action does nothing else.
bool EnsureConnected(const SerialLink& ComPort);
