#include "light/ambilight_zones.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

std::array<ZoneArea, 4> ZoneAreas(qint64 x, qint64 y, qint64 width, qint64 height) {
    const qint64 right = width - ZoneWidth - x;
    const qint64 lower = height - ZoneHeight - y;
    return {{{LeftUpperZone, x, y},
             {LeftLowerZone, x, lower},
             {RightUpperZone, right, y},
             {RightLowerZone, right, lower}}};
}

QRect ClipRect(qint64 left, qint64 top, int width, int height, const QRect& bounds) {
    const qint64 x1 = std::max<qint64>(left, bounds.left());
    const qint64 y1 = std::max<qint64>(top, bounds.top());
    const qint64 x2 = std::min<qint64>(left + width, qint64(bounds.left()) + bounds.width());
    const qint64 y2 = std::min<qint64>(top + height, qint64(bounds.top()) + bounds.height());
    if (x1 >= x2 || y1 >= y2) return {};
    return QRect(int(x1), int(y1), int(x2 - x1), int(y2 - y1));
}

std::optional<ModeParts> SplitMode(const QString& mode) {
    const qsizetype comma = mode.indexOf(QLatin1Char(','));
    if (comma < 0) return std::nullopt;
    return ModeParts{mode.left(comma), mode.mid(comma + 1)};
}

int ModeNumber(const QString& text) {
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView digits = QStringView(text).mid(negative ? 1 : 0);
    qint64 value = 0;
    bool valid = !digits.isEmpty();
    for (QChar c : digits) {
        valid = valid && c >= QLatin1Char('0') && c <= QLatin1Char('9') &&
                value <= qint64(std::numeric_limits<int>::max()) + 1;
        if (!valid) break;
        value = value * 10 + (c.unicode() - '0');
    }
    if (negative) value = -value;
    if (!valid || value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        throw std::runtime_error("'" + text.toStdString() + "' is not a valid integer value");
    return int(value);
}

QPoint NearScreen(qint64 left, qint64 top) {
    constexpr qint64 farOff = qint64(1) << 24;
    return {int(std::clamp(left, -farOff, farOff)), int(std::clamp(top, -farOff, farOff))};
}

std::array<QPoint, 4> ZoneOrigins(qint64 x, qint64 y, QSize screen) {
    std::array<QPoint, 4> origins;
    const auto areas = ZoneAreas(x, y, screen.width(), screen.height());
    for (size_t i = 0; i < areas.size(); ++i) origins[i] = NearScreen(areas[i].left, areas[i].top);
    return origins;
}
