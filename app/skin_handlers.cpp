// Hover faces: each image button shows its hover bitmap while the pointer is over it. The colour music button
// keeps its lit face all the while colour music runs.

#include "app/application.h"
#include "app/main_window.h"
#include "common/handlers.h"
#include "common/image_button.h"
#include "light/light_controller.h"

void TForm1::connectSkinHandlers() {
    On(btnPlay, &TImage2::mouseEntered, this, &TForm1::btnPlayMouseEnter);
    On(btnPlay, &TImage2::mouseLeft, this, &TForm1::btnPlayMouseLeave);
    On(btnPause, &TImage2::mouseEntered, this, &TForm1::btnPauseMouseEnter);
    On(btnPause, &TImage2::mouseLeft, this, &TForm1::btnPauseMouseLeave);
    On(btnNext, &TImage2::mouseEntered, this, &TForm1::btnNextMouseEnter);
    On(btnNext, &TImage2::mouseLeft, this, &TForm1::btnNextMouseLeave);
    On(btnPrev, &TImage2::mouseEntered, this, &TForm1::btnPrevMouseEnter);
    On(btnPrev, &TImage2::mouseLeft, this, &TForm1::btnPrevMouseLeave);
    On(btnPlaylist, &TImage2::mouseEntered, this, &TForm1::btnPlaylistMouseEnter);
    On(btnPlaylist, &TImage2::mouseLeft, this, &TForm1::btnPlaylistMouseLeave);
    On(btnVisual1, &TImage2::mouseEntered, this, &TForm1::btnVisual1MouseEnter);
    On(btnVisual1, &TImage2::mouseLeft, this, &TForm1::btnVisual1MouseLeave);
    On(btnVk, &TImage2::mouseEntered, this, &TForm1::btnVkMouseEnter);
    On(btnVk, &TImage2::mouseLeft, this, &TForm1::btnVkMouseLeave);
}

void TForm1::btnPlayMouseEnter() {
    btnPlay->LoadBitmap(QStringLiteral("PLAY2"));
}
void TForm1::btnPlayMouseLeave() {
    btnPlay->LoadBitmap(QStringLiteral("PLAY1"));
}
void TForm1::btnPauseMouseEnter() {
    btnPause->LoadBitmap(QStringLiteral("PAUSE2"));
}
void TForm1::btnPauseMouseLeave() {
    btnPause->LoadBitmap(QStringLiteral("PAUSE1"));
}
void TForm1::btnNextMouseEnter() {
    btnNext->LoadBitmap(QStringLiteral("NEXT2"));
}
void TForm1::btnNextMouseLeave() {
    btnNext->LoadBitmap(QStringLiteral("NEXT1"));
}
void TForm1::btnPrevMouseEnter() {
    btnPrev->LoadBitmap(QStringLiteral("PREV2"));
}
void TForm1::btnPrevMouseLeave() {
    btnPrev->LoadBitmap(QStringLiteral("PREV1"));
}
void TForm1::btnPlaylistMouseEnter() {
    btnPlaylist->LoadBitmap(QStringLiteral("PLAYLIST2"));
}
void TForm1::btnPlaylistMouseLeave() {
    btnPlaylist->LoadBitmap(QStringLiteral("PLAYLIST1"));
}
void TForm1::btnVkMouseEnter() {
    btnVk->LoadBitmap(QStringLiteral("VK2"));
}
void TForm1::btnVkMouseLeave() {
    btnVk->LoadBitmap(QStringLiteral("VK1"));
}

void TForm1::btnVisual1MouseEnter() {
    if (!app.Light().ColourMusicOn()) btnVisual1->LoadBitmap(QStringLiteral("VISUAL12"));
}

void TForm1::btnVisual1MouseLeave() {
    if (!app.Light().ColourMusicOn()) btnVisual1->LoadBitmap(QStringLiteral("VISUAL1"));
}
