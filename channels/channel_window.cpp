#include "channels/channel_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/window_setup.h"

TForm4::TForm4(App& application) : QWidget(nullptr), app(application) {
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    SetupWindow(this, "Form4", QStringLiteral("Form4"), Qt::Window | Qt::FramelessWindowHint,
                {screenWidth, 250}, QColor(94, 89, 89), 11);
    CentreOnScreen(this);
}
