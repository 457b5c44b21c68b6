#pragma once

// How the player shows a stream: times as "hh:mm:ss" and byte positions on a slider whose range is a signed
// 32-bit integer.

#include <cstdint>
#include <string>

namespace track_display {

// Seconds as a time of day: taken to the nearest millisecond, the fraction of a second dropped, hours counted
// modulo 24. Negative or unknown times read "00:00:00".
std::string FormatTime(double seconds);

// The right shift that makes a stream of `length` bytes fit the slider: 0 below 2^31 bytes, so that the
// slider counts bytes; otherwise the smallest shift that keeps the length at or below the slider's largest
// value.
int SliderShift(std::int64_t length);
// A byte count on the slider: shifted, then its low 32 bits (failure values such as -1 stay -1).
std::int32_t ToSlider(std::int64_t bytes, int shift);
// A slider value as a byte position, widened with its sign.
std::int64_t FromSlider(std::int32_t value, int shift);

}  // namespace track_display
