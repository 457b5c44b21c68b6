#pragma once

// Where AmbiLight takes its colours: four rectangles of 100 x 300 pixels near the screen's left and right
// edges, placed by the mode in use. A mode is two decimal integers joined by a comma ("0,150"): the distance
// of the zones from the left and right edges, and from the top and bottom edges. The right rectangles mirror
// the left ones about the screen's vertical centre line, the lower ones mirror the upper ones about its
// horizontal one. Nothing is clamped: a mode may put a rectangle partly or wholly off the screen.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <optional>

#include "light/light_protocol.h"

inline constexpr int ZoneWidth = 100;
inline constexpr int ZoneHeight = 300;

// One zone's rectangle, by its top left corner in screen pixels (64 bits, so that no mode overflows).
struct ZoneArea {
    Zone zone;
    qint64 left;
    qint64 top;
};

// The four rectangles for mode (x, y) on a screen of width x height, in the order a tick captures them: left
// upper, left lower, right upper, right lower.
std::array<ZoneArea, 4> ZoneAreas(qint64 x, qint64 y, qint64 width, qint64 height);

// The part of the width x height rectangle at (left, top) that lies inside `bounds`; empty when none does.
QRect ClipRect(qint64 left, qint64 top, int width, int height, const QRect& bounds);

struct ModeParts {
    QString left;  // the text before the first comma
    QString top;   // all the text after it
};

// The two parts of a mode string, or nothing when it has no comma.
std::optional<ModeParts> SplitMode(const QString& mode);

// The integer a part of a mode string holds: decimal digits with an optional leading minus sign, within an
// int, nothing else (no blanks). Raises "'<text>' is not a valid integer value" otherwise.
int ModeNumber(const QString& text);

// A position with coordinates far beyond any screen brought to within 2^24 pixels of it: a zone there is
// still wholly off the screen, and the arithmetic of rectangles and widgets placed there stays clear of
// overflow.
QPoint NearScreen(qint64 left, qint64 top);

// The left upper corners of the four zones for mode (x, y) on a screen of that size, in the order of
// ZoneAreas, each brought near the screen as NearScreen does.
std::array<QPoint, 4> ZoneOrigins(qint64 x, qint64 y, QSize screen);
