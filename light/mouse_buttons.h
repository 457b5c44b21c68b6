#pragma once

// Reports the presses, moves and releases of every mouse button on one widget, in the widget's coordinates.
// Qt's buttons speak for the left mouse button only; the mode preview and the zone editor's drag handle act
// on any. The widget still handles the events itself (a push button still shows itself pressed), and a
// disabled widget reports nothing.

#include <QObject>
#include <QPoint>

class QWidget;

class MouseButtons final : public QObject {
    Q_OBJECT

public:
    // Watches `widget`, which owns the watch.
    explicit MouseButtons(QWidget* widget);

signals:
    void pressed(QPoint at);
    // Only while a button is held.
    void moved(QPoint at);
    void released(QPoint at);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
