#include "light/strip_protocol.h"

#include <algorithm>
#include <cmath>

namespace {

// Where red, green and blue go among a LED's three bytes, for each order.
struct Positions {
    int red;
    int green;
    int blue;
};

Positions positionsOf(ColourOrder order) {
    switch (order) {
        case ColourOrder::RGB:
            return {0, 1, 2};
        case ColourOrder::GRB:
            return {1, 0, 2};
        case ColourOrder::BRG:
            return {1, 2, 0};
        case ColourOrder::RBG:
            return {0, 2, 1};
        case ColourOrder::GBR:
            return {2, 0, 1};
        case ColourOrder::BGR:
            return {2, 1, 0};
    }
    return {0, 1, 2};
}

void appendBigEndian(QByteArray& bytes, quint32 value, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8) bytes.append(char((value >> shift) & 0xFF));
}

}  // namespace

ComponentTable MakeComponentTable(int limitPercent, double gamma) {
    const double limit = std::clamp(limitPercent, 0, 100) / 100.0;
    gamma = std::clamp(gamma, 1.0, 3.0);
    ComponentTable table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = quint8(std::floor(255.0 * std::pow(c / 255.0, gamma) * limit + 0.5));
    return table;
}

QByteArray LedBytes(const QList<quint32>& colours, ColourOrder order, const ComponentTable& table) {
    const Positions at = positionsOf(order);
    QByteArray bytes(colours.size() * 3, Qt::Uninitialized);
    char* led = bytes.data();
    for (const quint32 colour : colours) {
        led[at.red] = char(table[colour & 0xFF]);
        led[at.green] = char(table[(colour >> 8) & 0xFF]);
        led[at.blue] = char(table[(colour >> 16) & 0xFF]);
        led += 3;
    }
    return bytes;
}

QByteArray AdalightFrame(const QByteArray& ledBytes) {
    const qsizetype count = ledBytes.size() / 3;
    if (count == 0 || count > AdalightMaxLeds) return {};
    const quint8 high = quint8((count - 1) >> 8);
    const quint8 low = quint8((count - 1) & 0xFF);
    QByteArray frame("Ada");
    frame.reserve(6 + count * 3);
    frame.append(char(high));
    frame.append(char(low));
    frame.append(char(high ^ low ^ 0x55));
    frame.append(ledBytes.constData(), count * 3);
    return frame;
}

QList<QByteArray> WledPackets(const QByteArray& rgbBytes, quint8 timeoutSeconds) {
    const qsizetype count = rgbBytes.size() / 3;
    QList<QByteArray> packets;
    if (count == 0) return packets;
    if (count <= WledDrgbMaxLeds) {
        QByteArray packet;
        packet.append(char(2));
        packet.append(char(timeoutSeconds));
        packet.append(rgbBytes.constData(), count * 3);
        packets.append(packet);
        return packets;
    }
    for (qsizetype start = 0; start < count && start <= 0xFFFF; start += WledDnrgbMaxLeds) {
        const qsizetype leds = std::min<qsizetype>(WledDnrgbMaxLeds, count - start);
        QByteArray packet;
        packet.reserve(4 + leds * 3);
        packet.append(char(4));
        packet.append(char(timeoutSeconds));
        appendBigEndian(packet, quint32(start), 2);
        packet.append(rgbBytes.constData() + start * 3, leds * 3);
        packets.append(packet);
    }
    return packets;
}

QList<QByteArray> DdpPackets(const QByteArray& rgbBytes, quint8& sequence) {
    const qsizetype size = rgbBytes.size() / 3 * 3;
    QList<QByteArray> packets;
    for (qsizetype offset = 0; offset < size; offset += DdpMaxData) {
        const qsizetype length = std::min<qsizetype>(DdpMaxData, size - offset);
        const bool last = offset + length == size;
        sequence = sequence % 15 + 1;
        QByteArray packet;
        packet.reserve(DdpHeaderSize + length);
        packet.append(char(DdpVersion1 | (last ? DdpPush : 0)));
        packet.append(char(sequence));
        packet.append(char(DdpRgb8));
        packet.append(char(DdpDefaultOutput));
        appendBigEndian(packet, quint32(offset), 4);
        appendBigEndian(packet, quint32(length), 2);
        packet.append(rgbBytes.constData() + offset, length);
        packets.append(packet);
    }
    return packets;
}
