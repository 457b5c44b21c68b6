#include "channels/channel_strip.h"

StripPosition NextChannel(StripPosition now) {
    // Past the ninth channel, and for any channel out of range, the strip starts over.
    if (now.channel < 1 || now.channel >= LogoCount) return StripStart;
    int panelLeft = now.panelLeft;
    if (now.channel > 3) panelLeft -= LogoPlaces[now.channel - 1].width();
    const QRect next = LogoPlaces[now.channel];
    return {now.channel + 1, panelLeft, next.left() + next.width() / 2 - 38};
}
