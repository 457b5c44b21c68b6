#include "common/skin_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>

#include "common/image_button.h"

SkinSlider::SkinSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setCursor(Qt::PointingHandCursor);
    setTracking(true);
    connect(this, &QSlider::sliderMoved, this, [this] { dragged_ = true; });
    connect(this, &QSlider::sliderReleased, this, [this] {
        if (dragged_) emit userMoved();
        dragged_ = false;
    });
}

void SkinSlider::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            triggerAction(SliderSingleStepSub);
            break;
        case Qt::Key_Right:
            triggerAction(SliderSingleStepAdd);
            break;
        case Qt::Key_Home:
            triggerAction(SliderToMinimum);
            break;
        case Qt::Key_End:
            triggerAction(SliderToMaximum);
            break;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return;
        default:
            QSlider::keyPressEvent(event);
            return;
    }
    emit userMoved();
}

void SkinSlider::wheelEvent(QWheelEvent* event) {
    event->accept();
}

void SkinSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        dragged_ = false;
    }
    QSlider::mousePressEvent(event);
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    const bool railHeld = event->button() == Qt::LeftButton && pressed_ && !isSliderDown();
    if (event->button() == Qt::LeftButton) pressed_ = false;
    QSlider::mouseReleaseEvent(event);  // a drag ends here with sliderReleased
    if (railHeld) emit userMoved();     // a hold on the rail ends here
}

void SkinSlider::SetSkin(const QString& rulerResource, const QString& thumbResource) {
    const QPixmap ruler(ResourcePath(rulerResource));
    const QPixmap thumb(ResourcePath(thumbResource));
    const int margin = (thumb.height() - ruler.height()) / 2;
    setStyleSheet(QStringLiteral("QSlider { background: #363636; }"
                                 "QSlider::groove:horizontal { border-image: url(%1) 0 0 0 0 stretch stretch;"
                                 " height: %3px; }"
                                 "QSlider::handle:horizontal { image: url(%2); width: %4px; height: %5px;"
                                 " margin: -%6px 0; }")
                      .arg(ResourcePath(rulerResource), ResourcePath(thumbResource))
                      .arg(ruler.height())
                      .arg(thumb.width())
                      .arg(thumb.height())
                      .arg(margin));
}
