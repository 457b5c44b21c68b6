#include "app/about_window.h"

#include "app/window_setup.h"

TForm6::TForm6(App& application) : QWidget(nullptr), app(application) {
    SetupWindow(this, "Form6", QStringLiteral("Varnex | О программе"),
                Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, {386, 71}, Qt::white, 12);
    CentreOnScreen(this);
}
