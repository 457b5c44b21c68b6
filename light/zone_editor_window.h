#pragma once

// TForm5, the AmbiLight zone editor: a borderless window over the whole primary screen, so that its
// coordinates are screen coordinates. Only its four zone panels (and, while a mode is being made, the
// instruction box) are seen: a shape mask cuts the purple background away, which makes the rest of the
// window see-through and lets clicks there reach the windows below, with or without a compositor.
//
// It is shown in two ways. Making a mode ("новый" in the main window): the instruction box and the drag
// handle show, the main window is disabled and translucent; dragging the handle moves the left upper panel,
// the other three follow as its mirror images, and "Создать режим" adds the panel's position as a mode.
// Preview ("обзор" held down): the panels at the selected mode, nothing else.

#include <QPoint>
#include <QWidget>

class LightController;
class QFrame;
class QLabel;
class QPushButton;
class TImage2;

class TForm5 final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    // "Создать режим" adds the mode to `light`'s list.
    explicit TForm5(LightController& light);

    // Places the instruction box at the centre of the screen; runs once, when the window is made.
    void FormCreate();
    // Each time the window is shown: covers the screen as it is now, disables "Создать режим" and places
    // the other three panels from the left upper one.
    void FormShow();

    void btnMoveMouseDown(QPoint at);
    void btnMoveMouseMove(QPoint at);
    void btnMoveMouseUp();
    void btnMoveMouseEnter();
    void btnMoveMouseLeave();
    void Button1Click();  // "Создать режим"
    void Button2Click();  // "Отмена"

    QFrame* PnTopLeft;
    QFrame* PnTopRight;
    QFrame* PnBottomLeft;
    QFrame* PnBottomRight;
    TImage2* btnMove;
    QFrame* Panel1;  // the instruction box
    QLabel* Label1;
    QPushButton* Button1;
    QPushButton* Button2;

    // True from "новый" until the window closes: closing it then, in whatever way, gives the main window
    // back.
    bool MakingMode = false;

signals:
    // A mode has been made or given up: the main window is to be given back.
    void MakingModeEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Puts the left upper panel at `leftUpper` and the other three where AmbiLight would sample them, then
    // cuts the window's shape to what is shown.
    void placePanels(QPoint leftUpper);
    void restoreMainWindow() { emit MakingModeEnded(); }

    LightController& light_;
    bool dragging_ = false;
    QPoint pressedAt_;  // in btnMove's coordinates
};
