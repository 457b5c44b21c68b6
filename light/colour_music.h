#pragma once

// Colour music: the light follows the level of the music. The audio library reports the level of the playing
// stream as one 32-bit value, the left channel in the low 16 bits and the right in the high 16 bits (0 to
// 32768 each while playing, all bits set while nothing plays). Each channel's level is cut into steps of
// 4000, and steps 1 to 8 each have a fixed pattern: the right channel's lights the two left zones (channels
// A to F), the left channel's the two right zones (G to L); both zones of a side get the same colour. Step 0
// and steps above 8 have no pattern, so that side's lights keep what they were last given.
//
//   step  levels          colour of each zone of the side
//   1..4  4000..19999     blue 1, 2, 3, 4
//   5, 6  20000..27999    blue 7, red 6
//   7     28000..31999    red 8, green 6
//   8     32000..35999    red 8, green 5

#include <QByteArray>
#include <QtGlobal>

inline constexpr int ColourMusicStep = 4000;
inline constexpr int ColourMusicInterval = 33;  // ms between two readings of the level

// The command for one reading of the level: the right channel's pattern directly followed by the left
// channel's, with nothing between them ("A2 B0 C0 D2 E0 F0I1 H0 G0 L1 K0 J0"); either may be missing, and
// the command is empty when both are.
QByteArray ColourMusicCommand(quint32 level);
