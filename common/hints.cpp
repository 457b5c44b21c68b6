#include "common/hints.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QProxyStyle>
#include <QToolTip>
#include <QWidget>

namespace {

class HintStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay) return 50;
        if (hint == SH_ToolTip_FallAsleepDelay) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

void SetApplicationHintTiming() {
    if (!dynamic_cast<HintStyle*>(QApplication::style())) QApplication::setStyle(new HintStyle);
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, Qt::white);
    palette.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(palette);
}

void SetHint(QWidget* widget, const QString& text) {
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    widget->setToolTip(lines);
    widget->setToolTipDuration(5000);
}

HintSwitch::HintSwitch(QWidget* window) : QObject(window), window_(window) {
    qApp->installEventFilter(this);
}

void HintSwitch::Exclude(QWidget* control) {
    excluded_.append(control);
}

bool HintSwitch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != window_) return false;
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (excluded_.contains(w)) return true;
    }
    return !on_;
}
