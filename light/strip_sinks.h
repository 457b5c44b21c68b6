#pragma once

// The two lines a strip is sent on, as sinks for StripSender.
//
// The serial port of an Adalight board: opened exclusively, raw 8N1 without flow control, at any rate from
// 115200 to 2000000 baud (set as a number, so that rates outside the classic list work on adapters that can
// make them). Each write returns once the bytes have left the driver's queue and the line has had their time
// at 10 bits a byte, so that no driver holds frames ahead of the line. A write that makes no progress for
// WriteStallMs fails.
//
// A UDP address: a host name or a numeric address and a port. The name is resolved when the sink opens (on
// the sender's thread); where it has IPv4 addresses, the first of them is taken, as WLED and most other
// controllers speak only IPv4. Every packet goes to that one address and nowhere else.
//
// The user's texts of the failures:
//   "Не удалось открыть порт <port>! (<reason>)"
//   "Не удалось найти адрес <host>! (<reason>)"
//   "Не удалось отправить данные в порт <port>! (<reason>)"
//   "Не удалось отправить данные на <host>:<port>! (<reason>)"

#include <QString>
#include <memory>

#include "light/strip_sender.h"

inline constexpr int SerialStripMinBaud = 115200;
inline constexpr int SerialStripMaxBaud = 2000000;
inline constexpr int WriteStallMs = 3000;

// `port` is named as in the port list ("ttyUSB0") or by its full path; `baud` is clamped to the range above.
std::unique_ptr<StripSink> MakeSerialStripSink(const QString& port, int baud);
std::unique_ptr<StripSink> MakeUdpStripSink(const QString& host, quint16 port);
