#pragma once

// The audio library: a small set of calls in the shape the player and colour music use, implemented over
// GStreamer. Streams are addressed by 32-bit handles; 0 means "no stream".

#include <cstdint>
#include <string>

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using HSTREAM = DWORD;

// Initialises the library for the default output (device -1). Fails when GStreamer cannot be initialised or
// the audio sink cannot be made. The sink is the default audio output, or the GStreamer description held in
// the environment variable VARNEX_AUDIO_SINK (for example "fakesink sync=true").
bool BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);

namespace audio_library {

// Why the last BASS_Init failed, in English, for the one line the program prints before it exits.
std::string LastInitError();

}  // namespace audio_library
