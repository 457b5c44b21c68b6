#include "remote/shutdown_window.h"

#include <QKeyEvent>
#include <QLabel>

#include "common/handlers.h"
#include "common/window_setup.h"
#include "platform/desktop.h"

// A tool frame with only a close button and no caption; owned by no other window of the program, so it shows
// and stays on top whatever the main window does.
TForm3::TForm3(Desktop& desktop) : QWidget(nullptr), desktop_(desktop) {
    SetupWindow(this, "Form3", QString(),
                Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                    Qt::WindowStaysOnTopHint,
                {963, 436}, Qt::white, 11);
    Label1 = new QLabel(QStringLiteral("Выключить компьютер?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(Gothic(67));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(rect());
    CentreOnScreen(this);
}

void TForm3::showEvent(QShowEvent* event) {
    // The window exists by now and is not yet mapped: the window manager frames it as a tool frame.
    desktop_.MakeToolFrame(winId());
    QWidget::showEvent(event);
}

void TForm3::FormKeyPress(QChar key) {
    if (key == QChar(27)) hide();
}

void TForm3::keyPressEvent(QKeyEvent* event) {
    const QChar key = event->key() == Qt::Key_Escape ? QChar(27)
                      : event->text().isEmpty()      ? QChar()
                                                     : event->text().front();
    RunHandler([this, key] { FormKeyPress(key); });
}
