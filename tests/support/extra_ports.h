#pragma once

#include <QString>

#include "light/port_list.h"

// Extra ports for the port list while this lives (the list is read when the settings window is made, so make
// this first).
class ExtraPorts {
public:
    explicit ExtraPorts(const QString& paths) { qputenv(ExtraPortsVariable, paths.toLocal8Bit()); }
    ~ExtraPorts() { qunsetenv(ExtraPortsVariable); }
    ExtraPorts(const ExtraPorts&) = delete;
    ExtraPorts& operator=(const ExtraPorts&) = delete;
};
