#pragma once

// The desktop's restore token for the screen-capture consent, as settings.ini keeps it ([Varnex]
// ScreenCastRestoreToken). What is read is always what was written: a token is kept only when the file reads
// it back as it is, so that the desktop is never handed a token that a save or the reader's length limit has
// changed on the way.

#include <QString>

class ProfileFile;

// The token kept, or empty. A value as long as the reader's limit (ProfileFile::kMaxValueLength) may have
// been cut there, and a cut token is of no use: it reads as none, and the user is asked again.
QString ReadRestoreToken(const ProfileFile& file);
// Keeps `token` for the next start; an empty token clears the one kept. A token the file would not read back
// as it is (blanks at its ends, a line break, quotes around it, a character code page 1251 lacks, or too
// long to be told from a cut one) clears it as well: the next start asks the user rather than offer the
// desktop a changed token.
void WriteRestoreToken(ProfileFile& file, const QString& token);
// What WriteRestoreToken keeps of `token`, and the next start reads: the token, or empty.
QString KeptRestoreToken(const QString& token);
