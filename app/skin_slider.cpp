#include "app/skin_slider.h"

#include <QPixmap>

#include "app/image_button.h"

SkinSlider::SkinSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setCursor(Qt::PointingHandCursor);
    setTracking(true);
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
