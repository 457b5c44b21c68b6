#include "light/board_parser.h"

namespace {

bool isChannel(char c) {
    return c >= FirstChannel && c <= LastChannel;
}
bool isControl(char c) {
    return c == 'S' || c == 'P';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void BoardParser::Feed(QByteArrayView bytes) {
    for (char byte : bytes) take(byte);
}

void BoardParser::take(char byte) {
    if (letter_) {
        const char letter = letter_;
        letter_ = 0;
        if (isDigit(byte)) {
            const int value = byte - '0';
            if (isControl(letter)) {
                ++controlItems_;
                ++items_;
            } else if (value <= MaxLevel) {
                levels_[letter - FirstChannel] = value;
                ++items_;
            } else {
                ++faults_;
            }
            afterItem_ = true;
            return;
        }
        ++faults_;          // the letter lost its digit; the byte may still start the next item
        afterItem_ = true;  // and a space here only separates
    }
    if (isChannel(byte) || isControl(byte)) {
        letter_ = byte;
        afterItem_ = false;
    } else if (byte == ' ' && afterItem_) {
        afterItem_ = false;
    } else {
        ++faults_;
        afterItem_ = false;
    }
}

QByteArray BoardParser::LevelDigits() const {
    QByteArray digits;
    for (int level : levels_) digits.append(char('0' + level));
    return digits;
}
