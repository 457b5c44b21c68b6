#include "tools/board/strip_window.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kMargin = 12;

}  // namespace

StripView::StripView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 200);
}

void StripView::SetLeds(const StripColours& leds) {
    leds_ = leds;
    released_ = false;
    update();
}

void StripView::SetReleased(bool released) {
    released_ = released;
    update();
}

QColor StripView::colourOf(qsizetype led) const {
    if (released_ || led >= leds_.size()) return QColor(0x20, 0x20, 0x20);
    return QColor::fromRgb(leds_[led]);
}

void StripView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x30, 0x30, 0x30));
    if (sides_)
        paintRing(painter);
    else
        paintRows(painter);
    if (released_) {
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("released"));
    }
}

void StripView::paintRing(QPainter& painter) {
    const auto [top, right, bottom, left] = *sides_;
    const int most = qMax(1, qMax(qMax(top, bottom) + 2, qMax(left, right) + 2));
    const int size = qMax(2, qMin((width() - 2 * kMargin) / most, (height() - 2 * kMargin) / most));
    const QRect outer = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    // The screen, inside the ring of LEDs.
    painter.fillRect(outer.adjusted(size + 4, size + 4, -size - 4, -size - 4), QColor(0x10, 0x10, 0x10));

    // Each side runs clockwise between the corners, its LEDs spread evenly along it.
    const QPointF corners[] = {{outer.left() + size * 0.5, outer.top() + size * 0.5},
                               {outer.right() - size * 0.5, outer.top() + size * 0.5},
                               {outer.right() - size * 0.5, outer.bottom() - size * 0.5},
                               {outer.left() + size * 0.5, outer.bottom() - size * 0.5}};
    const int counts[] = {top, right, bottom, left};
    qsizetype led = 0;
    for (int side = 0; side < 4; ++side) {
        const QPointF from = corners[side], to = corners[(side + 1) % 4];
        for (int i = 0; i < counts[side]; ++i, ++led) {
            const QPointF centre = from + (to - from) * ((i + 0.5) / counts[side]);
            painter.fillRect(QRectF(centre.x() - size * 0.4, centre.y() - size * 0.4, size * 0.8, size * 0.8),
                             colourOf(led));
        }
    }
}

void StripView::paintRows(QPainter& painter) {
    const qsizetype count = qMax<qsizetype>(1, leds_.size());
    const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    // The largest square size at which every LED fits.
    int size = qMax(2, int(std::sqrt(double(area.width()) * area.height() / count)));
    while (size > 2 && (area.width() / size) * qsizetype(area.height() / size) < count) --size;
    const int perRow = qMax(1, area.width() / size);
    for (qsizetype led = 0; led < leds_.size(); ++led) {
        const QRect square(area.left() + int(led % perRow) * size, area.top() + int(led / perRow) * size,
                           size - 2, size - 2);
        painter.fillRect(square, colourOf(led));
    }
}

StripWindow::StripWindow(const QString& sources, const std::optional<StripSides>& sides)
    : sources_(sources), view_(new StripView(this)), status_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Varnex virtual strip"));
    setObjectName(QStringLiteral("StripWindow"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);
    if (sides) view_->SetSides(*sides);
    status_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    resize(800, 560);
    // The counters change with every frame; the line is redrawn four times a second.
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &StripWindow::refreshStatus);
    clock->start(250);
    refreshStatus();
}

void StripWindow::ShowFrame(const QString& source, const StripColours& leds) {
    view_->SetLeds(leds);
    ++frames_;
    last_ = QStringLiteral("%1: %2 LEDs").arg(source).arg(leds.size());
}

void StripWindow::ShowReleased() {
    view_->SetReleased(true);
    last_ = QStringLiteral("wled: released");
    refreshStatus();
}

void StripWindow::SetCounters(const QString& counters) {
    counters_ = counters;
}

void StripWindow::refreshStatus() {
    status_->setText(QStringLiteral("%1\nframes %2, last %3\n%4")
                         .arg(sources_)
                         .arg(frames_)
                         .arg(last_.isEmpty() ? QStringLiteral("none") : last_, counters_));
}
