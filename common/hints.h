#pragma once

// Hints (tool tips): they come up 50 ms after the pointer rests on a control, go away after 5000 ms, on
// white.

#include <QObject>
#include <QString>

class QWidget;

// Sets the hint timing and colour for the whole application.
void SetApplicationHintTiming();

// Gives `widget` the hint `text`; a carriage return in the text breaks the hint into lines.
void SetHint(QWidget* widget, const QString& text);

// The show-hint switch of one window: while off, no control of the window shows its hint.
class HintSwitch final : public QObject {
    Q_OBJECT

public:
    explicit HintSwitch(QWidget* window);
    void SetEnabled(bool on) { on_ = on; }
    bool Enabled() const { return on_; }
    // A control that never shows a hint, whatever the switch says.
    void Exclude(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    bool on_ = false;
    QList<QWidget*> excluded_;
};
