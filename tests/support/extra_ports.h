#pragma once

#include <QComboBox>
#include <QString>

#include "light/port_list.h"
#include "settings/settings_window.h"

// Extra ports for the port list while this lives (the list is read when the settings window is first shown
// and each time it drops down).
class ExtraPorts {
public:
    explicit ExtraPorts(const QString& paths) { qputenv(ExtraPortsVariable, paths.toLocal8Bit()); }
    ~ExtraPorts() { qunsetenv(ExtraPortsVariable); }
    ExtraPorts(const ExtraPorts&) = delete;
    ExtraPorts& operator=(const ExtraPorts&) = delete;
};

// Chooses `port` in the settings window's port list as a user does: the window shown, which reads the list,
// then the port picked. False when the list does not have it.
inline bool ChoosePort(TForm2& settings, const QString& port) {
    settings.show();
    const int index = settings.ComBox->findText(port);
    settings.ComBox->setCurrentIndex(index);
    return index >= 0;
}
