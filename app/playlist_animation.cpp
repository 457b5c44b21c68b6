#include <QCoreApplication>

#include "app/main_window.h"

// Grows the window to show the playlist, or shrinks it to hide it, one pixel a step. Pending events run
// between the steps, so the window repaints and other handlers (timers, the socket, a second click) run
// meanwhile; a second click during growing shrinks the window back to its short height, after which the first
// click's growing goes on.
void TForm1::btnPlaylistClick() {
    if (ClientHeight() == CollapsedHeight) {
        while (ClientHeight() < ExpandedHeight) {
            SetClientHeight(ClientHeight() + 1);
            QCoreApplication::processEvents();
        }
    } else {
        while (ClientHeight() > CollapsedHeight) {
            SetClientHeight(ClientHeight() - 1);
            QCoreApplication::processEvents();
        }
    }
}
