#pragma once

// The virtual strip's window: the LEDs of the last frame as coloured squares. Given the LEDs per side, they
// go round a screen-shaped rectangle, LED 0 at the top left and on clockwise (top, right, bottom, left);
// otherwise they fill rows, LED 0 first. Below them a line tells where the frames come from and how they go.

#include <QWidget>
#include <array>

#include "tools/board/strip_receiver.h"

class QLabel;

// LEDs on the top, right, bottom and left sides.
using StripSides = std::array<int, 4>;

class StripView final : public QWidget {
    Q_OBJECT

public:
    explicit StripView(QWidget* parent);
    void SetSides(const StripSides& sides) {
        sides_ = sides;
        update();
    }
    void SetLeds(const StripColours& leds);
    void SetReleased(bool released);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintRing(QPainter& painter);
    void paintRows(QPainter& painter);
    QColor colourOf(qsizetype led) const;

    std::optional<StripSides> sides_;
    StripColours leds_;
    bool released_ = false;
};

class StripWindow final : public QWidget {
    Q_OBJECT

public:
    // `sources` names where frames come from, e.g. "Adalight /run/user/1000/varnex-board".
    StripWindow(const QString& sources, const std::optional<StripSides>& sides);

    // A frame from `source` ("adalight", "wled", "ddp") is shown.
    void ShowFrame(const QString& source, const StripColours& leds);
    // The WLED strip went back to its own effect.
    void ShowReleased();
    // A line of counters under the sources, e.g. the bytes skipped on the serial line.
    void SetCounters(const QString& counters);

private:
    void refreshStatus();

    QString sources_;
    QString counters_;
    QString last_;
    qint64 frames_ = 0;
    StripView* view_;
    QLabel* status_;
};
