#pragma once

// An edit box with its label to the right; the label's text names the setting the box holds.

#include <QLineEdit>

class QLabel;

class LabeledEdit final : public QLineEdit {
    Q_OBJECT

public:
    // The box at `geometry` in `parent`, its label `labelText` `spacing` pixels to the right.
    LabeledEdit(QWidget* parent, const char* name, QRect geometry, const QString& labelText,
                int spacing = 15);

    QLabel* EditLabel;
};
