#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QWidget>

// Gives a top-level window its name, caption, frame, fixed client size, background and font (Century Gothic
// of `fontPixels`). The caption is set as it stands: an empty caption stays empty.
void SetupWindow(QWidget* window, const char* objectName, const QString& caption, Qt::WindowFlags frame,
                 QSize clientSize, QColor background, int fontPixels);

// Centres a window on the primary screen.
void CentreOnScreen(QWidget* window);
