#pragma once

#include <QStyledItemDelegate>

// Draws list rows at a fixed height (the mode list and the playlist have 17-pixel rows).
class FixedRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    FixedRowDelegate(int rowHeight, QObject* parent) : QStyledItemDelegate(parent), rowHeight_(rowHeight) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight_};
    }

private:
    int rowHeight_;
};
