#pragma once

// The light board's command language. The board drives twelve channels (four RGB zones behind the screen),
// each named by a letter and set to a level 0..8 written as one digit. A command is a run of items, letter
// then digit, separated by single spaces or written back to back, with no terminator.

#include <QByteArray>
#include <QtGlobal>
#include <array>

// The letters of one zone's channels, always used in the order red, green, blue.
struct Zone {
    char red;
    char green;
    char blue;
};

inline constexpr Zone LeftUpperZone{'E', 'F', 'D'};
inline constexpr Zone LeftLowerZone{'B', 'C', 'A'};
inline constexpr Zone RightUpperZone{'H', 'G', 'I'};
inline constexpr Zone RightLowerZone{'K', 'J', 'L'};
inline constexpr std::array<Zone, 4> Zones{LeftUpperZone, LeftLowerZone, RightUpperZone, RightLowerZone};

inline constexpr char FirstChannel = 'A';
inline constexpr char LastChannel = 'L';
inline constexpr int ChannelCount = LastChannel - FirstChannel + 1;
inline constexpr int MaxLevel = 8;

// Every channel dark. The second form, led by P1, comes before AmbiLight's first frame and at start-up.
inline constexpr char AllOffCommand[] = "S0 A0 B0 C0 D0 E0 F0 G0 H0 I0 J0 K0 L0";
inline constexpr char P1AllOffCommand[] = "P1 S0 A0 B0 C0 D0 E0 F0 G0 H0 I0 J0 K0 L0";

// The level of an 8-bit colour component: c / 32 rounded to the nearest integer, ties to the even neighbour
// (16 gives 0, 48 gives 2, 240 gives 8).
int ComponentLevel(quint8 c);

// The six-character command that sets `zone` to `colour` (0x00BBGGRR): red letter and level, green letter and
// level, blue letter and level, for example "E8F0D0".
QByteArray ZoneCommand(Zone zone, quint32 colour);
