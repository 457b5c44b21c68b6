#include "common/color_edit.h"

#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QWidgetAction>

namespace {
constexpr int kButtonWidth = 13;
constexpr int kGridColumns = 8;
}  // namespace

QColor ColorFromBgr(quint32 bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

quint32 BgrFromColor(const QColor& color) {
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

ColorEdit::ColorEdit(QWidget* parent) : QWidget(parent) {}

const QList<quint32>& ColorEdit::GridColors() {
    // Forty standard colours, five rows of eight, darkest row first (0x00BBGGRR).
    static const QList<quint32> colors = {
        0x000000, 0x003399, 0x003333, 0x003300, 0x663300, 0x800000, 0x993333, 0x333333,  //
        0x000080, 0x0066FF, 0x008080, 0x008000, 0x808000, 0xFF0000, 0x996666, 0x808080,  //
        0x0000FF, 0x0099FF, 0x00CC99, 0x669933, 0xCCCC33, 0xFF6633, 0x800080, 0x999999,  //
        0xFF00FF, 0x00CCFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFFCC00, 0x663399, 0xC0C0C0,  //
        0xCC99FF, 0x99CCFF, 0x99FFFF, 0xCCFFCC, 0xFFFFCC, 0xFFCC99, 0xFF99CC, 0xFFFFFF,
    };
    return colors;
}

void ColorEdit::SetSelectedColor(quint32 bgr) {
    selected_ = bgr & 0x00FFFFFF;
    update();
}

void ColorEdit::ChooseFromGrid(quint32 bgr) {
    SetSelectedColor(bgr);
    emit Change();
}

void ColorEdit::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect swatch(0, 0, width() - kButtonWidth, height());
    p.fillRect(rect(), Qt::white);
    if (isEnabled() && selected_) p.fillRect(swatch.adjusted(3, 3, -3, -3), ColorFromBgr(*selected_));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    // The drop-down button with its arrow.
    const QRect button(width() - kButtonWidth, 0, kButtonWidth, height());
    p.fillRect(button.adjusted(0, 1, -1, -1), QColor(0xF0, 0xF0, 0xF0));
    p.setPen(isEnabled() ? Qt::black : QColor(0xA0, 0xA0, 0xA0));
    p.setBrush(p.pen().color());
    const QPoint c = button.center();
    p.drawPolygon(QPolygon({c + QPoint(-3, -1), c + QPoint(3, -1), c + QPoint(0, 2)}));
}

void ColorEdit::mousePressEvent(QMouseEvent*) {
    if (isEnabled()) openGrid();
}

void ColorEdit::openGrid() {
    QMenu menu(this);
    auto* grid = new QWidget(&menu);
    auto* layout = new QGridLayout(grid);
    layout->setSpacing(2);
    layout->setContentsMargins(4, 4, 4, 4);
    const QList<quint32>& colors = GridColors();
    for (int i = 0; i < colors.size(); ++i) {
        auto* cell = new QToolButton(grid);
        cell->setFixedSize(16, 16);
        cell->setAutoRaise(true);
        cell->setStyleSheet(
            QStringLiteral("background: %1; border: 1px solid #808080;").arg(ColorFromBgr(colors[i]).name()));
        const quint32 color = colors[i];
        connect(cell, &QToolButton::clicked, &menu, [this, &menu, color] {
            menu.close();
            ChooseFromGrid(color);
        });
        layout->addWidget(cell, i / kGridColumns, i % kGridColumns);
    }
    auto* action = new QWidgetAction(&menu);
    action->setDefaultWidget(grid);
    menu.addAction(action);
    menu.exec(mapToGlobal(QPoint(0, height())));
}
