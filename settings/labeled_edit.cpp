#include "settings/labeled_edit.h"

#include <QLabel>

LabeledEdit::LabeledEdit(QWidget* parent, const char* name, QRect geometry, const QString& labelText,
                         int spacing)
    : QLineEdit(parent) {
    setObjectName(QLatin1String(name));
    setGeometry(geometry);
    EditLabel = new QLabel(labelText, parent);
    EditLabel->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
    EditLabel->adjustSize();
    EditLabel->move(geometry.right() + 1 + spacing,
                    geometry.top() + (geometry.height() - EditLabel->height()) / 2);
}
