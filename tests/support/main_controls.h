#pragma once

// All of the main window's controls, found by their names: the light controls, the panels, the player, the
// menus' actions and the tray icon.

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QSystemTrayIcon>

#include "common/skin_slider.h"
#include "light_controls.h"

struct MainControlsOf : LightControlsOf {
    explicit MainControlsOf(const QWidget& window) : LightControlsOf(window) {}

    QFrame* Panel2 = find<QFrame>("Panel2");
    QFrame* Panel1 = find<QFrame>("Panel1");
    QFrame* PanelMusic = find<QFrame>("PanelMusic");
    QPushButton* Button4 = find<QPushButton>("Button4");

    TImage2* btnVk = find<TImage2>("btnVk");
    TImage2* btnPrev = find<TImage2>("btnPrev");
    TImage2* btnPause = find<TImage2>("btnPause");
    TImage2* btnPlay = find<TImage2>("btnPlay");
    TImage2* btnNext = find<TImage2>("btnNext");
    TImage2* btnPlaylist = find<TImage2>("btnPlaylist");
    QLabel* Time1 = find<QLabel>("Time1");
    QLabel* Time2 = find<QLabel>("Time2");
    SkinSlider* ProgressBar = find<SkinSlider>("ProgressBar");
    QListView* PlayList = find<QListView>("PlayList");

    QAction* N1 = find<QAction>("N1");
    QAction* N2 = find<QAction>("N2");
    QAction* N3 = find<QAction>("N3");
    QAction* N4 = find<QAction>("N4");
    QAction* N6 = find<QAction>("N6");
    QAction* N7 = find<QAction>("N7");
    QAction* N9 = find<QAction>("N9");
    QSystemTrayIcon* Tray = find<QSystemTrayIcon>("Tray");
};

// A left double click at `at` in the list's viewport, as the mouse sends it, without the press before it.
inline void DoubleClick(QAbstractItemView& list, QPoint at) {
    QMouseEvent click(QEvent::MouseButtonDblClick, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list.viewport(), &click);
}
