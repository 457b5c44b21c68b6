#include "common/image_button.h"

#include <QMouseEvent>
#include <QPainter>

QPixmap LoadBitmapResource(const QString& resourceName) {
    return QPixmap(ResourcePath(resourceName));
}

QString ResourcePath(const QString& resourceName) {
    return QStringLiteral(":/%1.png").arg(resourceName);
}

namespace {

constexpr qreal DisabledOpacity = 0.35;

}  // namespace

TImage2::TImage2(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TImage2::LoadBitmap(const QString& resourceName) {
    pixmap_ = LoadBitmapResource(resourceName);
    name_ = resourceName;
    update();
}

void TImage2::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Disabled, the face fades into its panel, as the text of the other disabled controls fades.
    if (!isEnabled()) painter.setOpacity(DisabledOpacity);
    painter.drawPixmap(0, 0, pixmap_);
}

void TImage2::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
}

void TImage2::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) emit clicked();
}

void TImage2::enterEvent(QEnterEvent*) {
    emit mouseEntered();
}

void TImage2::leaveEvent(QEvent*) {
    emit mouseLeft();
}
