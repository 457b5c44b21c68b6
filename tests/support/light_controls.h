#pragma once

// The main window's light controls, found by their names: the mode row, the light row and the colour music
// button.

#include <QComboBox>
#include <QPushButton>
#include <QWidget>

#include "common/color_edit.h"
#include "common/image_button.h"

struct LightControlsOf {
    explicit LightControlsOf(const QWidget& window) : window_(window) {}

    template <typename Control = QWidget>
    Control* find(const char* name) const {
        auto* control = window_.findChild<Control*>(QLatin1String(name));
        if (!control) qFatal("no control %s", name);
        return control;
    }

private:
    const QWidget& window_;

public:
    QComboBox* ComboBox1 = find<QComboBox>("ComboBox1");
    QPushButton* Button7 = find<QPushButton>("Button7");
    QPushButton* Button8 = find<QPushButton>("Button8");
    QPushButton* Button5 = find<QPushButton>("Button5");
    QPushButton* SpeedButton1 = find<QPushButton>("SpeedButton1");
    ColorEdit* RzColorEdit1 = find<ColorEdit>("RzColorEdit1");
    QPushButton* Button1 = find<QPushButton>("Button1");
    QPushButton* Button2 = find<QPushButton>("Button2");
    TImage2* btnVisual1 = find<TImage2>("btnVisual1");

    // Chooses the list's row `index` as the user does.
    void choose(int index) const {
        ComboBox1->setCurrentIndex(index);
        emit ComboBox1->activated(index);
    }
};
