#include "common/fonts.h"

#include <fontconfig/fontconfig.h>

QFont Gothic(int pixels) {
    QFont font(QStringLiteral("Century Gothic"));
    font.setPixelSize(pixels);
    return font;
}

void InstallFontSubstitutes() {
    QFont::insertSubstitution(QStringLiteral("Century Gothic"), QStringLiteral("URW Gothic"));
    QFont::insertSubstitution(QStringLiteral("Gautami"), QStringLiteral("Nimbus Sans"));
}

void LoadFontConfiguration() {
    FcInit();
}
