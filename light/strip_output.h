#pragma once

// Where the light goes when it goes to an LED strip, and how the strip lies: what the light controller and
// the strip's driver work from. settings/strip_settings.h reads and writes it in settings.ini, and says what
// each value means there.

#include <QString>

#include "light/strip_layout.h"
#include "light/strip_protocol.h"

struct StripOutput {
    enum class Kind { Board, Adalight, Wled, Ddp };

    static constexpr int MinBaud = 115200;
    static constexpr int MaxBaud = 2000000;
    static constexpr int MaxSmoothing = 500;

    Kind kind = Kind::Board;
    QString serialPort;
    int baud = MinBaud;
    QString host;
    int udpPort = 0;
    ColourOrder order = ColourOrder::RGB;
    int brightnessLimit = 100;
    double gamma = 1.0;
    int smoothing = 0;

    // The UDP port to send to: the one chosen, or the protocol's own.
    int UdpPort() const {
        return udpPort != 0 ? udpPort : kind == Kind::Ddp ? DdpDefaultPort : WledDefaultPort;
    }

    bool operator==(const StripOutput&) const = default;
};

struct StripSettings {
    StripLayout layout;
    StripOutput output;

    bool operator==(const StripSettings&) const = default;
};
