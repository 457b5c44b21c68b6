#pragma once

// AmbiLight modes: where on the screen the four light zones take their colours. A mode string is two decimal
// integers joined by a comma, "0,150": the left and the top, in pixels, of the left upper zone. The left
// lower zone lies as far from the bottom edge as the left upper one from the top, and the right zones mirror
// the left ones about the screen's vertical centre line. Every zone is 100 pixels wide and 300 high. Nothing
// is clamped to the screen: a mode may put zones partly or wholly outside it.

#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <optional>

inline constexpr int ZoneWidth = 100;
inline constexpr int ZoneHeight = 300;

struct ModeParts {
    QString left;  // the text before the first comma
    QString top;   // all the text after it
};

// The two parts of a mode string, or nothing when it has no comma.
std::optional<ModeParts> SplitMode(const QString& mode);

// The integer a part of a mode string holds: an optional sign and decimal digits, within 32 bits, nothing
// else (no blanks). Raises "'<text>' is not a valid integer value" otherwise.
int ModeNumber(const QString& text);

// A position with coordinates far beyond any screen brought to within 2^24 pixels of it: a zone there is
// still wholly off the screen, and the arithmetic of rectangles and widgets placed there stays clear of
// overflow.
QPoint NearScreen(QPoint at);

// The left upper corners of the four zones on a screen of that size, in the order AmbiLight samples them:
// left upper (at `leftUpper`), left lower, right upper, right lower; each brought near the screen as
// NearScreen does.
std::array<QPoint, 4> ZoneOrigins(QPoint leftUpper, QSize screen);
