#pragma once

// The user-made AmbiLight modes in settings.ini: section "AmbiLight", keys "1", "2", ... in list order, each
// value a mode string. The built-in first mode is never stored.

#include <QStringList>

class ProfileFile;

// The values of keys 1, 2, 3 ... up to the first missing number; a gap ends the list. Values are not checked.
QStringList ReadModes(const ProfileFile& file);
// Erases the whole section and writes it anew at the end of the file, numbered from 1: key i holds
// modes[i - 1]. Without modes the file has no such section.
void WriteModes(ProfileFile& file, const QStringList& modes);
