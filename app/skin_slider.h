#pragma once

// The player's position slider, drawn from a ruler bitmap and a thumb bitmap.

#include <QSlider>

class SkinSlider final : public QSlider {
    Q_OBJECT

public:
    explicit SkinSlider(QWidget* parent = nullptr);
    // Sets the ruler and thumb to the bitmap resources of those names.
    void SetSkin(const QString& rulerResource, const QString& thumbResource);
};
