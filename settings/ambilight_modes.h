#pragma once

// The user-made AmbiLight modes in settings.ini: section "AmbiLight", keys "1", "2", ... in list order, each
// value a mode string. The built-in first mode is never stored.

#include <QStringList>

class ProfileFile;

// The values of keys 1, 2, 3 ... up to the first missing number; a gap ends the list. Values are not checked.
QStringList ReadModes(const ProfileFile& file);
// Numbers the modes anew from 1: every numbered key of the section goes, then key i holds modes[i - 1]. Other
// lines of the section stay.
void WriteModes(ProfileFile& file, const QStringList& modes);
