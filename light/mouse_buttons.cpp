#include "light/mouse_buttons.h"

#include <QCursor>
#include <QMouseEvent>
#include <QWidget>

MouseButtons::MouseButtons(QWidget* widget) : QObject(widget), widget_(widget) {
    widget->installEventFilter(this);
    if (widget->window() != widget) widget->window()->installEventFilter(this);
}

bool MouseButtons::eventFilter(QObject* watched, QEvent* event) {
    const auto mouse = [event] { return static_cast<const QMouseEvent*>(event); };
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:  // a quick second press is still a press
            if (watched != widget_ || !widget_->isEnabled()) break;
            held_ |= mouse()->button();
            emit pressed(mouse()->position().toPoint());
            break;
        case QEvent::MouseMove:
            if (watched == widget_ && widget_->isEnabled() && mouse()->buttons() != Qt::NoButton)
                emit moved(mouse()->position().toPoint());
            break;
        case QEvent::MouseButtonRelease:
            if (watched != widget_ || !(held_ & mouse()->button())) break;
            held_ &= ~mouse()->button();
            emit released(mouse()->position().toPoint());
            break;
        case QEvent::WindowBlocked:
        case QEvent::Hide:
            if (!held_) break;
            held_ = {};
            emit released(widget_->mapFromGlobal(QCursor::pos()));
            break;
        default:
            break;
    }
    return false;
}
