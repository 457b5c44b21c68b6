#pragma once

// Audio files made by tests: WAV written directly, MP3 encoded by GStreamer's lamemp3enc.

#include <string>

namespace tones {

// A WAV of a 440 Hz sine, each channel at its own amplitude (0..1; 0 is silence), in samples of `bits`: 8
// (unsigned), 16 or 24 (signed integers), or 32 (floating point).
std::string Wav(double seconds, int rate, int channels, double leftAmplitude, double rightAmplitude,
                int bits = 16);

// A stereo MP3 of a 440 Hz sine at constant `kbps` and `rate`, with no Xing header (so its duration is known
// only from its size or after a while of playing). Empty when it cannot be encoded.
std::string Mp3(double seconds, int kbps, int rate = 44100);

}  // namespace tones
