#include "tools/board/strip_receiver.h"

namespace {

constexpr QByteArrayView kAdalightMagic = "Ada";
constexpr qsizetype kAdalightHeader = 6;
constexpr int kShownColours = 16;

quint8 byteAt(QByteArrayView bytes, qsizetype index) {
    return quint8(bytes[index]);
}

// Three bytes per LED, red green blue; a last partial LED is left out.
StripColours coloursOf(QByteArrayView bytes) {
    StripColours colours;
    colours.reserve(bytes.size() / 3);
    for (qsizetype at = 0; at + 3 <= bytes.size(); at += 3)
        colours.append(qRgb(byteAt(bytes, at), byteAt(bytes, at + 1), byteAt(bytes, at + 2)));
    return colours;
}

}  // namespace

quint32 FrameSum(const StripColours& leds) {
    quint32 sum = 2166136261u;
    auto add = [&sum](int byte) { sum = (sum ^ quint32(byte)) * 16777619u; };
    for (const QRgb led : leds) {
        add(qRed(led));
        add(qGreen(led));
        add(qBlue(led));
    }
    return sum;
}

QByteArray DescribeFrame(const StripColours& leds) {
    QByteArray line = "leds " + QByteArray::number(leds.size()) + " sum " +
                      QByteArray::number(FrameSum(leds), 16).rightJustified(8, '0');
    for (qsizetype i = 0; i < qMin<qsizetype>(leds.size(), kShownColours); ++i)
        line += ' ' + QByteArray::number(leds[i] & 0xFFFFFF, 16).rightJustified(6, '0');
    if (leds.size() > kShownColours) line += " ...";
    return line;
}

void AdalightParser::Feed(QByteArrayView bytes) {
    pending_.append(bytes);
    for (;;) {
        const qsizetype at = pending_.indexOf(kAdalightMagic);
        if (at < 0) {
            // Keep a tail that may be the start of a header cut by the read.
            qsizetype keep = 0;
            if (pending_.endsWith("Ad"))
                keep = 2;
            else if (pending_.endsWith('A'))
                keep = 1;
            skip(pending_.size() - keep);
            return;
        }
        skip(at);
        if (pending_.size() < kAdalightHeader) return;
        const int high = byteAt(pending_, 3), low = byteAt(pending_, 4);
        if (byteAt(pending_, 5) != (high ^ low ^ 0x55)) {
            skip(1);  // not a header: look again from the byte after its 'A'
            continue;
        }
        const qsizetype size = kAdalightHeader + 3 * ((high << 8 | low) + 1);
        if (pending_.size() < size) return;
        completed_.append(
            coloursOf(QByteArrayView(pending_).sliced(kAdalightHeader, size - kAdalightHeader)));
        ++frames_;
        pending_.remove(0, size);
    }
}

void AdalightParser::skip(qsizetype count) {
    if (count <= 0) return;
    pending_.remove(0, count);
    skipped_ += count;
}

QList<StripColours> AdalightParser::TakeFrames() {
    return std::exchange(completed_, {});
}

std::optional<WledPacket> ParseWled(QByteArrayView datagram) {
    if (datagram.size() < 2) return std::nullopt;
    WledPacket packet;
    packet.protocol = byteAt(datagram, 0);
    packet.timeoutSeconds = byteAt(datagram, 1);
    qsizetype data = 2;
    if (packet.protocol == WledPacket::Dnrgb) {
        if (datagram.size() < 4) return std::nullopt;
        packet.start = byteAt(datagram, 2) << 8 | byteAt(datagram, 3);
        data = 4;
    } else if (packet.protocol != WledPacket::Drgb) {
        return std::nullopt;
    }
    packet.colours = coloursOf(datagram.sliced(data));
    return packet;
}

void WledStrip::Apply(const WledPacket& packet, qint64 nowMs) {
    if (Released(nowMs)) leds_.fill(qRgb(0, 0, 0));
    live_ = true;
    const qsizetype end = packet.start + packet.colours.size();
    if (leds_.size() < end) leds_.resize(end, qRgb(0, 0, 0));
    std::copy(packet.colours.begin(), packet.colours.end(), leds_.begin() + packet.start);
    if (packet.timeoutSeconds == WledPacket::NoTimeout)
        releaseAt_.reset();
    else
        releaseAt_ = nowMs + 1000 * qint64(packet.timeoutSeconds);
}

bool WledStrip::Released(qint64 nowMs) const {
    return !live_ || (releaseAt_ && nowMs >= *releaseAt_);
}

std::optional<DdpPacket> ParseDdp(QByteArrayView datagram) {
    constexpr qsizetype kHeader = 10, kTimecode = 4;
    constexpr int kVersion1 = 0x40, kVersionMask = 0xC0;
    constexpr int kTimecodeFlag = 0x10, kReplyFlag = 0x04, kQueryFlag = 0x02, kPushFlag = 0x01;
    constexpr int kKindRgb = 1, kKindUndefined = 0;
    constexpr int kDefaultOutput = 1, kAllOutputs = 255;

    if (datagram.size() < kHeader) return std::nullopt;
    const int flags = byteAt(datagram, 0);
    if ((flags & kVersionMask) != kVersion1 || (flags & (kReplyFlag | kQueryFlag))) return std::nullopt;
    const int kind = byteAt(datagram, 2) >> 3 & 0x7;
    if (kind != kKindRgb && kind != kKindUndefined) return std::nullopt;
    const int destination = byteAt(datagram, 3);
    if (destination != kDefaultOutput && destination != kAllOutputs) return std::nullopt;
    const qsizetype header = (flags & kTimecodeFlag) ? kHeader + kTimecode : kHeader;
    const quint32 offset = quint32(byteAt(datagram, 4)) << 24 | quint32(byteAt(datagram, 5)) << 16 |
                           quint32(byteAt(datagram, 6)) << 8 | byteAt(datagram, 7);
    const qsizetype length = byteAt(datagram, 8) << 8 | byteAt(datagram, 9);
    if (datagram.size() < header + length) return std::nullopt;
    return DdpPacket{bool(flags & kPushFlag), offset, datagram.sliced(header, length).toByteArray()};
}

std::optional<StripColours> DdpStrip::Apply(const DdpPacket& packet) {
    const qint64 end = qint64(packet.offset) + packet.data.size();
    if (end > MaxBytes) {
        ++refused_;
        return std::nullopt;
    }
    if (buffer_.size() < end) buffer_.resize(end, '\0');
    std::copy(packet.data.begin(), packet.data.end(), buffer_.begin() + packet.offset);
    frameEnd_ = qMax(frameEnd_, end);
    if (!packet.push) return std::nullopt;
    // A push with nothing written since the last one shows the last frame again.
    if (frameEnd_ > 0) shownEnd_ = frameEnd_;
    frameEnd_ = 0;
    return coloursOf(QByteArrayView(buffer_).first(shownEnd_));
}
