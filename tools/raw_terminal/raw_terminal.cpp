#include "tools/raw_terminal/raw_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

RawTerminal OpenRawTerminal() {
    RawTerminal terminal;
    char name[256] = {};
    if (::openpty(&terminal.master, &terminal.slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    termios raw{};
    ::tcgetattr(terminal.slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(terminal.slave, TCSANOW, &raw);
    ::fcntl(terminal.master, F_SETFL, ::fcntl(terminal.master, F_GETFL) | O_NONBLOCK);
    terminal.slavePath = QString::fromLocal8Bit(name);
    return terminal;
}
