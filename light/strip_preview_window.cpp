#include "light/strip_preview_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <algorithm>

#include "common/window_setup.h"

namespace {

constexpr int kFrameWidth = 3;       // LED 0's white frame, inside its area
constexpr qreal kArrowLength = 160;  // pixels along the strip from LED 0's centre
constexpr qreal kArrowHead = 14;

QPointF centreOf(const QRect& area) {
    return QRectF(area).center();
}

// The arrow's path: from LED 0's centre through the centres of the LEDs that follow it, until it is
// kArrowLength long or has run through half the strip.
QPolygonF arrowPath(const std::vector<QRect>& areas) {
    QPolygonF path{centreOf(areas.front())};
    qreal length = 0;
    for (size_t i = 1; i <= areas.size() / 2 && length < kArrowLength; ++i) {
        const QPointF next = centreOf(areas[i]);
        length += QLineF(path.back(), next).length();
        path << next;
    }
    return path;
}

void drawArrow(QPainter& painter, const QPolygonF& path) {
    if (path.size() < 2) return;
    QLineF last(path.back(), path[path.size() - 2]);
    QPainterPath head;
    last.setLength(kArrowHead);
    head.moveTo(path.back());
    for (const qreal turn : {25.0, -25.0}) {
        QLineF side = last;
        side.setAngle(last.angle() + turn);
        head.lineTo(side.p2());
        head.moveTo(path.back());
    }
    for (const auto& [colour, width] : {std::pair{QColor(Qt::black), 6}, std::pair{QColor(Qt::white), 3}}) {
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(path);
        painter.drawPath(head);
    }
}

}  // namespace

QColor StripPreviewColour(qint64 led, qint64 count) {
    constexpr int kLastHue = 300;  // purple: the hue circle stops short of red again
    const int hue = count > 1 ? int(led * kLastHue / (count - 1)) : 0;
    return QColor::fromHsv(hue, 255, 255);
}

StripPreviewWindow::StripPreviewWindow() : QWidget(nullptr) {
    SetupWindow(this, "StripPreview", QStringLiteral("Varnex | Лента"),
                Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint, QSize(), QColor(Background),
                16);
    timer_.setSingleShot(true);
    timer_.setInterval(ShownMs);
    connect(&timer_, &QTimer::timeout, this, &QWidget::close);
}

void StripPreviewWindow::ShowLayout(const StripLayout& layout) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    areas_ = LedAreas(layout, screen.size());
    setGeometry(screen);
    // A preview still shown comes back to the top.
    if (isVisible()) raise();
    show();
    activateWindow();
    update();
    timer_.start();
}

bool StripPreviewWindow::Close() {
    const bool shown = isVisible();
    close();
    return shown;
}

void StripPreviewWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(Background));
    if (areas_.empty()) return;
    const qint64 count = qint64(areas_.size());
    for (qint64 led = 0; led < count; ++led) {
        const QRect& area = areas_[size_t(led)];
        // LEDs big enough to tell apart keep a dark line at their far edges.
        const bool roomy = area.width() >= 4 && area.height() >= 4;
        painter.fillRect(roomy ? area.adjusted(0, 0, -1, -1) : area, StripPreviewColour(led, count));
    }
    const QRect first = areas_.front();
    const int frame = std::min({kFrameWidth, first.width() / 2 + 1, first.height() / 2 + 1});
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    QRegion ring(first);
    ring -= first.adjusted(frame, frame, -frame, -frame);
    for (const QRect& part : ring) painter.drawRect(part);

    painter.setRenderHint(QPainter::Antialiasing);
    drawArrow(painter, arrowPath(areas_));

    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter,
                     QStringLiteral("Светодиодов: %1\nНачало ленты в белой рамке, стрелка показывает "
                                    "направление\nЩелчок или Esc закрывает")
                         .arg(count));
}

void StripPreviewWindow::mousePressEvent(QMouseEvent*) {
    close();
}

void StripPreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void StripPreviewWindow::closeEvent(QCloseEvent* event) {
    timer_.stop();
    QWidget::closeEvent(event);
}
