#include "settings/settings_window.h"

#include "app/window_setup.h"

TForm2::TForm2(App& application) : QWidget(nullptr), app(application) {
    SetupWindow(this, "Form2", QStringLiteral("Varnex | Настройки"),
                Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, {361, 500}, Qt::white, 12);
    CentreOnScreen(this);
}
