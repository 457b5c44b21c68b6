#pragma once

#include <QFont>

// Century Gothic with the given character height in pixels; URW Gothic stands in where it is not installed.
QFont Gothic(int pixels);
void InstallFontSubstitutes();
