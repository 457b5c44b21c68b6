// The tray icon and its menu, the menu bar, hiding to the tray and the stay-on-top switch.

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include "app/about_window.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/status_notifier.h"
#include "common/handlers.h"
#include "settings/settings_window.h"

namespace {

const QString kMinimise = QStringLiteral("Свернуть");
const QString kRestore = QStringLiteral("Развернуть");

void showWindow(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

void TForm1::connectShellHandlers() {
    On(N6, &QAction::triggered, this, &TForm1::N6Click);
    On(N7, &QAction::triggered, this, &TForm1::N7Click);
    On(N9, &QAction::triggered, this, &TForm1::N9Click);
    On(N1, &QAction::triggered, this, &TForm1::N1Click);
    On(N2, &QAction::triggered, this, &TForm1::N2Click);
    On(N3, &QAction::triggered, this, &TForm1::N3Click);
    On(N4, &QAction::triggered, this, &TForm1::N4Click);
    On(Tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick ||
            (reason == QSystemTrayIcon::Trigger && statusNotifier_ && statusNotifier_->ItemRegistered()))
            TrayDblClick();
    });
}

// The minimise command hides the main window to the tray instead of minimising it. Without a notification
// area there would be no way back, so the window is then minimised as usual.
void TForm1::WMSysCommand(int command) {
    if ((command & 0xFFF0) != SC_MINIMIZE) return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    N6->setText(kRestore);
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMinimized)) return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    // The title bar's minimise box or the window menu: hide to the tray once the state change is over, and
    // leave the window unminimised so that showing it brings it back at its old place and size.
    QTimer::singleShot(0, this, [this] {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        RunHandler([this] { WMSysCommand(SC_MINIMIZE); });
    });
}

void TForm1::N6Click() {
    if (isVisible()) {
        hide();
        N6->setText(kRestore);
    } else {
        restoreFromTray();
    }
}

void TForm1::TrayDblClick() {
    restoreFromTray();
}

// Shows the window at its old place and size, in front, and never left minimised.
void TForm1::restoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showWindow(this);
    N6->setText(kMinimise);
}

bool TForm1::StaysOnTop() const {
    return windowFlags() & Qt::WindowStaysOnTopHint;
}

void TForm1::N3Click() {
    const Qt::WindowFlags flags = windowFlags() ^ Qt::WindowStaysOnTopHint;
    if (QWindow* window = windowHandle()) {
        // The native window takes the flag without being hidden (setWindowFlags would hide a shown window);
        // the widget's own flags say the same, so that a later setWindowFlags keeps it.
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void TForm1::N1Click() {
    QCoreApplication::quit();
}

void TForm1::N2Click() {
    showWindow(app.Form2.get());
}

void TForm1::N7Click() {
    showWindow(app.Form2.get());
}

void TForm1::N4Click() {
    showWindow(app.Form6.get());
}

// The same as the main window's "выкл. монитор" button, whether or not the button is enabled.
void TForm1::N9Click() {
    Button4Click();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program, whatever other windows are open.
    event->accept();
    QCoreApplication::quit();
}
