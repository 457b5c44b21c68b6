#include "light/ambilight_mode.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr qint64 kFarOff = qint64(1) << 24;

int nearScreen(qint64 coordinate) {
    return int(std::clamp(coordinate, -kFarOff, kFarOff));
}

}  // namespace

std::optional<ModeParts> SplitMode(const QString& mode) {
    const qsizetype comma = mode.indexOf(u',');
    if (comma < 0) return std::nullopt;
    return ModeParts{mode.left(comma), mode.mid(comma + 1)};
}

int ModeNumber(const QString& text) {
    bool ok = false;
    // toInt alone would let blanks around the digits pass.
    const bool plain = !text.isEmpty() && !text.front().isSpace() && !text.back().isSpace();
    const int number = plain ? text.toInt(&ok, 10) : 0;
    if (!ok) throw std::runtime_error("'" + text.toStdString() + "' is not a valid integer value");
    return number;
}

QPoint NearScreen(QPoint at) {
    return {nearScreen(at.x()), nearScreen(at.y())};
}

std::array<QPoint, 4> ZoneOrigins(QPoint leftUpper, QSize screen) {
    const qint64 left = leftUpper.x();
    const qint64 top = leftUpper.y();
    const qint64 right = qint64(screen.width()) - ZoneWidth - left;
    const qint64 bottom = qint64(screen.height()) - ZoneHeight - top;
    return {QPoint(nearScreen(left), nearScreen(top)), QPoint(nearScreen(left), nearScreen(bottom)),
            QPoint(nearScreen(right), nearScreen(top)), QPoint(nearScreen(right), nearScreen(bottom))};
}
