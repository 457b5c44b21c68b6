#pragma once

// The receiving end of an addressable LED strip's three wire formats, as a controller reads them. Each LED is
// one colour of 8 bits per component, red, green and blue; a strip is its LEDs in wire order, LED 0 first.
//
// Adalight (a serial line, an Arduino-style controller): a frame is the bytes "Ada", the LED count minus one
// as a high and a low byte, a checksum byte (high ^ low ^ 0x55), then three bytes per LED. There is no frame
// end and no escaping: a reader that lost its place looks for the next "Ada" whose checksum holds.
//
// WLED realtime UDP (port 21324): byte 0 names the protocol, byte 1 is the timeout, the seconds the
// controller keeps showing what it got after the last packet before it goes back to its own effect (255: it
// never goes back on its own). DRGB (2) carries three bytes per LED from LED 0 on; DNRGB (4) carries the
// index of its first LED as a big-endian 16-bit number in bytes 2 and 3, then three bytes per LED, so that a
// long strip arrives in pieces. Each packet shows at once.
//
// DDP, the Distributed Display Protocol (port 4048): a 10-byte header, then data.
//   byte 0    flags: bits 7-6 the version (01), bit 4 a timecode follows the header (which is then 14 bytes
//             long), bit 3 storage, bit 2 reply, bit 1 query, bit 0 push
//   byte 1    sequence number in the low four bits (0: not used)
//   byte 2    data type: bits 5-3 the kind (0 undefined, 1 RGB, 3 RGBW, ...), bits 2-0 the bits per element
//   byte 3    destination: 1 the default output device, 255 all of them; 246 and up are control, config,
//             status and DMX messages
//   bytes 4-7 offset of the data in the device's buffer, in bytes, big-endian
//   bytes 8-9 length of the data, in bytes, big-endian
// The data of several packets lands in one buffer by their offsets; the packet with the push flag makes the
// buffer the frame that shows.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QRgb>
#include <optional>

using StripColours = QList<QRgb>;

// One line for a frame: "leds N sum XXXXXXXX" and the colours of its first LEDs as rrggbb, "..." after the
// sixteenth. The sum is FNV-1a (32 bits) over the red, green and blue bytes of every LED in order, so that a
// reader can check a long strip exactly without its every colour in the line.
QByteArray DescribeFrame(const StripColours& leds);
quint32 FrameSum(const StripColours& leds);

class AdalightParser {
public:
    // The stream may arrive split anywhere: a frame cut between two reads completes with the second.
    void Feed(QByteArrayView bytes);
    // The frames completed so far, oldest first; taking them empties the list.
    QList<StripColours> TakeFrames();

    qint64 Frames() const { return frames_; }
    // Bytes passed over while looking for a header: stray bytes, and headers whose checksum failed.
    qint64 SkippedBytes() const { return skipped_; }

private:
    void skip(qsizetype count);

    QByteArray pending_;
    QList<StripColours> completed_;
    qint64 frames_ = 0;
    qint64 skipped_ = 0;
};

struct WledPacket {
    static constexpr int Drgb = 2;
    static constexpr int Dnrgb = 4;
    static constexpr int NoTimeout = 255;

    int protocol = Drgb;
    int timeoutSeconds = 0;
    int start = 0;  // index of the first LED the packet sets
    StripColours colours;
};

// The packet, or nothing for another protocol or a packet too short for its header. Bytes after the last
// whole LED are left out.
std::optional<WledPacket> ParseWled(QByteArrayView datagram);

// The strip a WLED controller shows from realtime packets. It is as long as the furthest LED any packet set.
class WledStrip {
public:
    // `nowMs` is any steady clock in milliseconds. A packet after the strip was released starts from a dark
    // strip, so that nothing of the frames before the release shows again.
    void Apply(const WledPacket& packet, qint64 nowMs);
    // When the strip goes back to the controller's own effect unless another packet comes; none for a packet
    // that asked to stay, or before any packet.
    std::optional<qint64> ReleaseAt() const { return releaseAt_; }
    bool Released(qint64 nowMs) const;
    const StripColours& Leds() const { return leds_; }

private:
    StripColours leds_;
    bool live_ = false;
    std::optional<qint64> releaseAt_;
};

struct DdpPacket {
    bool push = false;
    quint32 offset = 0;  // in bytes
    QByteArray data;
};

// The packet if it carries pixel data this strip can show: version 1, not a query or a reply, RGB (or an
// undefined kind, read as RGB) for the default or every output device, and the whole length the header
// names present; nothing otherwise.
std::optional<DdpPacket> ParseDdp(QByteArrayView datagram);

class DdpStrip {
public:
    // The largest buffer a strip takes; data beyond it is refused whole (65536 LEDs).
    static constexpr qint64 MaxBytes = 3 * 65536;

    // Writes the packet's data at its offset; on push, answers the frame: the buffer up to the furthest byte
    // written since the previous push, in whole LEDs (a push with nothing written since the previous one
    // shows that frame again). A packet reaching beyond MaxBytes is dropped and answers nothing, even with
    // push.
    std::optional<StripColours> Apply(const DdpPacket& packet);
    qint64 Refused() const { return refused_; }

private:
    QByteArray buffer_;
    qint64 frameEnd_ = 0;  // furthest byte written since the last push
    qint64 shownEnd_ = 0;
    qint64 refused_ = 0;
};
