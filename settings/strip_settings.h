#pragma once

// The LED strip as settings.ini keeps it: section "Strip", beside the board's settings and apart from them,
// so that the board and every key it reads behave as before. The keys are the program's own, in the style of
// its "Varnex" section:
//
//   Output           Board (the default: the strip is not used), Adalight, WLED or DDP
//   SerialPort       Adalight: the port's name as the port list shows it; empty when none is chosen
//   Baud             Adalight: 115200 to 2000000 (115200)
//   Host, UdpPort    WLED and DDP: a host name or address (empty), and 1 to 65535, or 0 for the protocol's
//                    own port (21324 for WLED, 4048 for DDP)
//   ColourOrder      the order the controller takes an LED's components in: RGB (the default), RBG, GRB,
//                    GBR, BRG or BGR
//   BrightnessLimit  percent of full brightness, 1 to 100 (100)
//   Gamma            1 (none, the default) to 3, in hundredths: "2.2"
//   Smoothing        ms over which a new colour is blended in: 0 (off, the default) to 500
//   LedsTop, LedsRight, LedsBottom, LedsLeft, StartCorner (TopLeft, TopRight, BottomRight, BottomLeft),
//   Direction (Clockwise, CounterClockwise), BottomGap, Depth: the layout (see light/strip_layout.h), each
//                    count 0 to 1000, the depth 1 to 50 percent
//
// Each key is read on its own: a missing key, or a value that is not one of its key's (a word it does not
// know, a number out of its range), gives that key's default and leaves the others as the file has them.
// Words read without regard to letter case. A layout read so may still not fit the screen; StripLayoutFault
// says so when it is used.

#include <QString>

#include "light/strip_output.h"

class ProfileFile;

inline const QString kStripSection = QStringLiteral("Strip");

StripSettings ReadStripSettings(const ProfileFile& file);
// Writes every key of the section, each in place where the file has it (other keys of the section, and every
// other line of the file, keep their bytes). The gamma is written in hundredths; a value out of its key's
// range is written as it is, and reads back as the key's default.
void WriteStripSettings(ProfileFile& file, const StripSettings& settings);
