#pragma once

// Text of the settings file is 8-bit, code page Windows-1251. Every byte is one character, so a decoded text
// has exactly as many characters as the bytes it came from, and offsets into one are offsets into the other.

#include <QByteArray>
#include <QString>

namespace cp1251 {

// Each byte becomes its character. The one byte the code page leaves unassigned, 0x98, becomes U+0098, as
// Windows reads it, so that no byte is lost or merged with another.
QString Decode(QByteArrayView bytes);

// Each character becomes its byte; U+0098 becomes 0x98 again. A character the code page cannot hold becomes
// "?".
QByteArray Encode(QStringView text);

}  // namespace cp1251
