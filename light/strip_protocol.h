#pragma once

// What an addressable LED strip is sent. A strip is a row of LEDs, each set to one 8-bit red, green and blue;
// colours here are 0x00BBGGRR, as everywhere in the lights, first LED first. Three kinds of controller drive
// one:
//
// - An Adalight board (an Arduino or ESP on a serial line) takes one frame per picture: the letters "Ada",
// the
//   LED count minus one as two bytes, high byte first, a checksum byte (high ^ low ^ 0x55), then three bytes
//   per LED in the order the strip's chips want them (WS2812B chips want green, red, blue).
// - WLED takes its realtime UDP protocol on port 21324. A DRGB packet (protocol byte 2) carries up to 490
//   LEDs from the first; a longer strip is sent as DNRGB packets (protocol byte 4), each with the index of
//   its first LED as two bytes, high byte first, and up to 489 LEDs. The second byte of every packet is how
//   many seconds WLED waits after the last packet before it goes back to its own effect.
// - DDP (the Distributed Display Protocol, UDP port 4048, understood by WLED and many other controllers)
//   carries the LED bytes in packets of a 10-byte header and at most 1440 bytes (480 LEDs). The header: flags
//   (protocol version 1 = 0x40, plus 0x01 "push" on the last packet of a picture, which tells the controller
//   to show what it has), a sequence number 1..15, the data type (0x0B: RGB, 8 bits a component), the
//   destination (1: the controller's default output), the packet's offset into the picture in bytes (32
//   bits) and its data length (16 bits), both high byte first.
//
// Before it is encoded, each output's colours pass through that output's brightness limit and gamma, and its
// colour order. UDP controllers put the components in their chips' order themselves: they are sent RGB.

#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <array>

// The order in which a strip's chips take the three components, named by the colours in that order.
enum class ColourOrder { RGB, GRB, BRG, RBG, GBR, BGR };

// What each 8-bit component becomes on one output: 255 × (c / 255)^gamma × limit / 100, rounded to the
// nearest integer (halves up). `limitPercent` is clamped to 0..100 and `gamma` to 1.0..3.0.
using ComponentTable = std::array<quint8, 256>;
ComponentTable MakeComponentTable(int limitPercent, double gamma);

// The three bytes per LED of `colours` (0x00BBGGRR) after `table`, in `order`.
QByteArray LedBytes(const QList<quint32>& colours, ColourOrder order, const ComponentTable& table);

// Adalight: the largest count the header can say, and the frame for `ledBytes` (three bytes per LED, already
// in the strip's order). No LEDs, or more than the header can count, make no frame.
inline constexpr int AdalightMaxLeds = 65536;
QByteArray AdalightFrame(const QByteArray& ledBytes);

// WLED's realtime protocol.
inline constexpr quint16 WledDefaultPort = 21324;
inline constexpr int WledDrgbMaxLeds = 490;
inline constexpr int WledDnrgbMaxLeds = 489;
// Two seconds after Varnex stops sending, the controller shows its own effect again.
inline constexpr quint8 WledTimeoutSeconds = 2;
// The packets of one picture from `rgbBytes` (three bytes per LED, red, green, blue): one DRGB packet for up
// to 490 LEDs, DNRGB packets otherwise. No LEDs make no packets; LEDs beyond the reach of the start index
// are left out.
QList<QByteArray> WledPackets(const QByteArray& rgbBytes, quint8 timeoutSeconds = WledTimeoutSeconds);

// DDP.
inline constexpr quint16 DdpDefaultPort = 4048;
inline constexpr int DdpHeaderSize = 10;
inline constexpr int DdpMaxData = 1440;
inline constexpr quint8 DdpVersion1 = 0x40;
inline constexpr quint8 DdpPush = 0x01;
inline constexpr quint8 DdpRgb8 = 0x0B;
inline constexpr quint8 DdpDefaultOutput = 1;
// The packets of one picture from `rgbBytes`; `sequence` is the number of the last packet sent before
// (0 at first) and comes back as that of the last packet of this picture. Each packet takes the next number,
// 15 being followed by 1. No LEDs make no packets.
QList<QByteArray> DdpPackets(const QByteArray& rgbBytes, quint8& sequence);
