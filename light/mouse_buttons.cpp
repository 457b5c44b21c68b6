#include "light/mouse_buttons.h"

#include <QMouseEvent>
#include <QWidget>

MouseButtons::MouseButtons(QWidget* widget) : QObject(widget) {
    widget->installEventFilter(this);
}

bool MouseButtons::eventFilter(QObject* watched, QEvent* event) {
    const auto* widget = static_cast<const QWidget*>(watched);
    if (!widget->isEnabled()) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:  // a quick second press is still a press
            emit pressed(static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        case QEvent::MouseMove:
            if (static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton)
                emit moved(static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        case QEvent::MouseButtonRelease:
            emit released(static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        default:
            break;
    }
    return false;
}
