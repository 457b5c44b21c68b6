#include "remote/shutdown_window.h"

#include "app/window_setup.h"

TForm3::TForm3(App& application) : QWidget(nullptr), app(application) {
    SetupWindow(this, "Form3", QString(),
                Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint,
                {963, 436}, Qt::white, 11);
    CentreOnScreen(this);
}
