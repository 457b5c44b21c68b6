#pragma once

// The virtual board's window: a screen outline with the four light zones at its left and right edges, each
// filled with the colour its three channels make and labelled with their letters and levels.

#include <QElapsedTimer>
#include <QWidget>

#include "light/light_protocol.h"

class BoardLine;
class QCheckBox;
class QLabel;

class ZoneView final : public QWidget {
    Q_OBJECT

public:
    ZoneView(Zone zone, QWidget* parent);
    void SetLevels(int red, int green, int blue);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Zone zone_;
    int red_ = 0, green_ = 0, blue_ = 0;
};

class BoardWindow final : public QWidget {
    Q_OBJECT

public:
    explicit BoardWindow(BoardLine& line);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    BoardLine& line_;
    ZoneView* leftUpper_;
    ZoneView* leftLower_;
    ZoneView* rightUpper_;
    ZoneView* rightLower_;
    QLabel* status_;
    QCheckBox* paced_;
    // Bytes per second, counted over the last whole second.
    QElapsedTimer rateClock_;
    qint64 rateBytes_ = 0;
    qint64 rate_ = 0;
};
