#pragma once

#include <QFont>

// Century Gothic with the given character height in pixels; URW Gothic stands in where it is not installed.
QFont Gothic(int pixels);
// The stand-ins for the fonts the windows name: URW Gothic for Century Gothic, and for Gautami (the channel
// marker) Nimbus Sans, whose caret falls below the logos at the marker's place; the usual fallback's caret
// reaches up into the logo.
void InstallFontSubstitutes();
// Loads fontconfig's configuration and font cache, which Qt needs for the first text a window measures. Safe
// on any thread; begun on a thread of its own at start, it overlaps Qt's start, and Qt then finds it loaded.
void LoadFontConfiguration();
