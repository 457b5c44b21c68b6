#include "light/zone_editor_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QShowEvent>

#include "common/handlers.h"
#include "common/image_button.h"
#include "common/window_setup.h"
#include "light/ambilight_zones.h"
#include "light/light_controller.h"
#include "light/mouse_buttons.h"

namespace {

constexpr QRgb kBackground = 0x800080;  // purple, never seen: the mask cuts it away
constexpr QRgb kPanelColor = 0x64BFF0;  // red 100, green 191, blue 240
constexpr QSize kInstructionBox{233, 97};

QFrame* makeZonePanel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameShape(QFrame::NoFrame);
    panel->resize(ZoneWidth, ZoneHeight);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, QColor(kPanelColor));
    panel->setPalette(palette);
    return panel;
}

QSize screenSize() {
    return QGuiApplication::primaryScreen()->size();
}

}  // namespace

TForm5::TForm5(LightController& light) : QWidget(nullptr), light_(light) {
    SetupWindow(this, "Form5", QStringLiteral("Form5"), Qt::Window | Qt::FramelessWindowHint, QSize(),
                QColor(kBackground), 11);
    setGeometry(QGuiApplication::primaryScreen()->geometry());

    PnTopLeft = makeZonePanel(this, "PnTopLeft");
    PnTopRight = makeZonePanel(this, "PnTopRight");
    PnBottomLeft = makeZonePanel(this, "PnBottomLeft");
    PnBottomRight = makeZonePanel(this, "PnBottomRight");
    btnMove = new TImage2(PnTopLeft);
    btnMove->setObjectName(QStringLiteral("btnMove"));
    btnMove->setGeometry(8, 16, 37, 34);
    btnMove->LoadBitmap(QStringLiteral("MOVE1"));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->resize(kInstructionBox);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Label1 = MakeLabel(Panel1, "Label1", {8, 8},
                       QStringLiteral("Для перемещения панелей кликните \n"
                                      "на иконку на верхней  левой  панели \n"
                                      "и     двигайте     в     нужную    сторону!"),
                       11);
    Button1 = MakeButton(Panel1, "Button1", {16, 64, 105, 25}, QStringLiteral("Создать режим"));
    Button2 = MakeButton(Panel1, "Button2", {136, 64, 81, 25}, QStringLiteral("Отмена"));

    auto* drag = new MouseButtons(btnMove);
    On(drag, &MouseButtons::pressed, this, [this](QPoint at) { btnMoveMouseDown(at); });
    On(drag, &MouseButtons::moved, this, [this](QPoint at) { btnMoveMouseMove(at); });
    On(drag, &MouseButtons::released, this, &TForm5::btnMoveMouseUp);
    On(btnMove, &TImage2::mouseEntered, this, &TForm5::btnMoveMouseEnter);
    On(btnMove, &TImage2::mouseLeft, this, &TForm5::btnMoveMouseLeave);
    On(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    On(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);

    FormCreate();
}

void TForm5::FormCreate() {
    const QSize screen = screenSize();
    Panel1->move(screen.width() / 2 - kInstructionBox.width() / 2,
                 screen.height() / 2 - kInstructionBox.height() / 2);
}

void TForm5::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm5::FormShow() {
    setGeometry(QGuiApplication::primaryScreen()->geometry());
    Button1->setEnabled(false);
    placePanels(PnTopLeft->pos());
}

void TForm5::placePanels(QPoint leftUpper) {
    const auto origins = ZoneOrigins(leftUpper.x(), leftUpper.y(), screenSize());
    PnTopLeft->move(origins[0]);
    PnBottomLeft->move(origins[1]);
    PnTopRight->move(origins[2]);
    PnBottomRight->move(origins[3]);

    QRegion shown;
    for (const QWidget* part : {PnTopLeft, PnTopRight, PnBottomLeft, PnBottomRight, Panel1}) {
        if (!part->isHidden()) shown += part->geometry();
    }
    setMask(shown);
}

void TForm5::btnMoveMouseDown(QPoint at) {
    dragging_ = true;
    pressedAt_ = at;
}

void TForm5::btnMoveMouseMove(QPoint at) {
    if (!dragging_) return;
    Button1->setEnabled(true);
    // The handle moves with the panel, so the point pressed stays under the pointer.
    placePanels(PnTopLeft->pos() + at - pressedAt_);
}

void TForm5::btnMoveMouseUp() {
    dragging_ = false;
}

void TForm5::btnMoveMouseEnter() {
    btnMove->LoadBitmap(QStringLiteral("MOVE2"));
}

void TForm5::btnMoveMouseLeave() {
    btnMove->LoadBitmap(QStringLiteral("MOVE1"));
}

void TForm5::Button1Click() {
    const QPoint at = PnTopLeft->pos();
    restoreMainWindow();
    // A failed save leaves the editor open, so that the mode can be made again or cancelled.
    if (light_.AddMode(QStringLiteral("%1,%2").arg(at.x()).arg(at.y()))) close();
}

void TForm5::Button2Click() {
    close();
}

void TForm5::closeEvent(QCloseEvent* event) {
    dragging_ = false;
    if (MakingMode) {
        MakingMode = false;
        restoreMainWindow();
    }
    QWidget::closeEvent(event);
}
