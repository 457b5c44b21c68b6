#pragma once

// Reads the byte stream on the light line the way the board does: items of one letter and one digit, single
// spaces between them or none, no terminator. A channel item (A..L with 0..8) sets that channel's level; the
// control items S and P are taken and have no level. The stream may arrive split anywhere: state carries over
// from one Feed to the next.

#include <QByteArrayView>
#include <array>

#include "light/light_protocol.h"

class BoardParser {
public:
    void Feed(QByteArrayView bytes);

    // Level of channel 'A'..'L'.
    int Level(char channel) const { return levels_[channel - FirstChannel]; }
    const std::array<int, ChannelCount>& Levels() const { return levels_; }
    // The twelve levels as digits, A first ("000080000000").
    QByteArray LevelDigits() const;

    qint64 Items() const { return items_; }
    qint64 ControlItems() const { return controlItems_; }
    // Bytes that break the item grammar: stray characters, a letter without its digit, two spaces in a row, a
    // space before the first item or after a space, a channel digit above 8.
    qint64 Faults() const { return faults_; }

private:
    void take(char byte);

    std::array<int, ChannelCount> levels_{};
    char letter_ = 0;         // a letter waiting for its digit
    bool afterItem_ = false;  // a space may follow
    qint64 items_ = 0;
    qint64 controlItems_ = 0;
    qint64 faults_ = 0;
};
