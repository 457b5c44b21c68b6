#pragma once

// The strip's layout shown over the screen, as the zone editor shows its zones: a borderless window over the
// whole primary screen, so that its coordinates are the screen's, painting each LED's area (LedAreas) in a
// colour that runs along the strip from red through yellow, green and blue to purple. LED 0 wears a white
// frame and an arrow runs from it along the next LEDs, so the start and the direction show; the bottom gap
// and the middle of the screen stay dark. A click anywhere, Esc, or ShownMs closes it.
//
// The preview is a picture on the screen like any other, and AmbiLight would sample it: whoever starts
// AmbiLight ends the preview first (Close answers whether one was shown) and gives the screen time to show
// what lies below.

#include <QTimer>
#include <QWidget>
#include <vector>

#include "light/strip_layout.h"

class StripPreviewWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StripPreviewWindow)

public:
    static constexpr int ShownMs = 5000;
    static constexpr QRgb Background = 0x202020;

    StripPreviewWindow();

    // Covers the primary screen as it is now and shows `layout` on it, for ShownMs from now. A layout that
    // does not fit the screen (StripLayoutFault) shows no LEDs.
    void ShowLayout(const StripLayout& layout);
    // Closes the preview; answers whether it was shown.
    bool Close();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::vector<QRect> areas_;
    QTimer timer_;
};

// The colour LED `led` of `count` is shown in: its hue runs from red (LED 0) to purple (the last LED), never
// coming back to red, so that the strip's two ends differ.
QColor StripPreviewColour(qint64 led, qint64 count);
