#pragma once

// Reports the presses, moves and releases of every mouse button on one widget, in the widget's coordinates.
// Qt's buttons speak for the left mouse button only; the mode preview and the zone editor's drag handle act
// on any. The widget still handles the events itself (a push button still shows itself pressed). A disabled
// widget reports no press and no move, but every press it reported ends in a release: also when the widget
// was disabled while the button was held, and when Qt will never deliver the release because a modal window
// opened or the widget was hidden meanwhile (the press ends there).

#include <QObject>
#include <QPoint>

class QWidget;

class MouseButtons final : public QObject {
    Q_OBJECT

public:
    // Watches `widget`, which owns the watch, and the window it lies in.
    explicit MouseButtons(QWidget* widget);

signals:
    void pressed(QPoint at);
    // Only while a button is held.
    void moved(QPoint at);
    void released(QPoint at);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget_;
    Qt::MouseButtons held_;  // pressed as reported, not yet released
};
