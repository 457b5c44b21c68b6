#include "common/window_setup.h"

#include <QGuiApplication>
#include <QScreen>

#include "common/fonts.h"

void SetupWindow(QWidget* window, const char* objectName, const QString& caption, Qt::WindowFlags frame,
                 QSize clientSize, QColor background, int fontPixels) {
    window->setObjectName(QLatin1String(objectName));
    window->setWindowFlags(frame);
    window->setWindowTitle(caption);
    if (clientSize.isValid()) window->setFixedSize(clientSize);
    window->setAutoFillBackground(true);
    SetColour(window, QPalette::Window, background);
    window->setFont(Gothic(fontPixels));
}

void CentreOnScreen(QWidget* window) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // (W - w) div 2 from the screen's edge: QRect::center() would be a pixel short when the screen and the
    // window are both of even size.
    window->move(screen.x() + (screen.width() - window->width()) / 2,
                 screen.y() + (screen.height() - window->height()) / 2);
}

void SetColour(QWidget* widget, QPalette::ColorRole role, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect geometry, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}
