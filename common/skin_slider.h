#pragma once

// The player's position slider, drawn from a ruler bitmap and a thumb bitmap. It tells the user's own
// finished moves apart from the program's updates of its value.

#include <QSlider>

class SkinSlider final : public QSlider {
    Q_OBJECT

public:
    explicit SkinSlider(QWidget* parent = nullptr);
    // Sets the ruler and thumb to the bitmap resources of those names.
    void SetSkin(const QString& rulerResource, const QString& thumbResource);

signals:
    // The user has finished moving the thumb: the left button released after dragging it (a press on the
    // thumb that did not move it is no move) or after holding it down on the rail, a left or right arrow (one
    // step), Home or End. Keys and the wheel that would move it otherwise do nothing, so the thumb never
    // leaves the play position without this signal; other mouse buttons never move it.
    void userMoved();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;  // the left button is down on the rail or the thumb
    bool dragged_ = false;  // the thumb has moved under the mouse since the press
};
