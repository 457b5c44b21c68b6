#pragma once

#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <QWidget>

#include "common/fonts.h"

// Gives a top-level window its name, caption, frame, fixed client size, background and font (Century Gothic
// of `fontPixels`). The caption is set as it stands: an empty caption stays empty.
void SetupWindow(QWidget* window, const char* objectName, const QString& caption, Qt::WindowFlags frame,
                 QSize clientSize, QColor background, int fontPixels);

// Centres a window on the primary screen.
void CentreOnScreen(QWidget* window);

// A label of `L` (QLabel or a kind of it) at `at` in `parent`, in Century Gothic of `fontPixels`, sized to
// its text.
template <typename L = QLabel>
L* MakeLabel(QWidget* parent, const char* name, QPoint at, const QString& text, int fontPixels) {
    auto* label = new L(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(Gothic(fontPixels));
    label->move(at);
    label->adjustSize();
    return label;
}

// Sets the colour `role` of `widget`'s palette (for example its text, QPalette::WindowText). Colours go
// through the palette, not a style sheet: the first style sheet costs a whole style-sheet pass over the
// window at start-up.
void SetColour(QWidget* widget, QPalette::ColorRole role, QColor colour);

// A push button with `text` at `geometry` in `parent`.
QPushButton* MakeButton(QWidget* parent, const char* name, QRect geometry, const QString& text);
