#include "light/zone_editor_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/window_setup.h"

TForm5::TForm5(App& application) : QWidget(nullptr), app(application) {
    SetupWindow(this, "Form5", QStringLiteral("Form5"), Qt::Window | Qt::FramelessWindowHint, QSize(),
                QColor(0x80, 0x00, 0x80), 11);
    setGeometry(QGuiApplication::primaryScreen()->geometry());
}
