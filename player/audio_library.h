#pragma once

// The audio library: a small set of calls in the shape the player and colour music use, implemented over
// GStreamer. Streams are addressed by 32-bit handles; 0 means "no stream".

#include <functional>
#include <string>

#include "player/audio_types.h"

struct _GstElement;

// Called with downloaded data; accepted for the calls' shape, never called (the program passes none).
using DOWNLOADPROC = void(const void* buffer, DWORD length, void* user);

// Initialises the library for the default output (device -1). Fails when GStreamer cannot be initialised or
// the audio sink cannot be made. The sink is the default audio output, or the GStreamer description held in
// the environment variable VARNEX_AUDIO_SINK (for example "fakesink sync=true").
bool BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);

// A new sink that plays to the same output as the library (the default output, or VARNEX_AUDIO_SINK), with
// its own conversion in front, for the program's other sounds; nullptr with the reason in `error` when it
// cannot be made.
_GstElement* MakeAudioSink(std::string& error);

// Opens a stream from an http, https or file URL (or a local path) and makes it ready to play, waiting at
// most five seconds. Returns its handle, or 0 for any other scheme (fd://0 would read standard input) and
// when the stream cannot be opened; each failure to open writes one line on stderr saying why. A body
// shorter than its server said plays what arrived and ends there. Offset and flags are taken as 0.
HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, void* user);
// Releases the stream; its handle is dead from then on.
bool BASS_StreamFree(HSTREAM handle);

// Starts a stream, or resumes a paused one where it stopped.
bool BASS_ChannelPlay(DWORD handle, bool restart);
bool BASS_ChannelPause(DWORD handle);
bool BASS_ChannelStop(DWORD handle);

// Lengths and positions (mode 0) are bytes of the decoded stream as 16-bit PCM at the rate and channel count
// the decoder gives out (whatever the output device takes), following that format when it changes. A 0 or
// dead handle, another mode or an unknown length gives all bits set (-1). The position equals the length once
// the stream has played to its end and stays short of it before; a stream that ends short of its length
// (its source failed mid-way) takes the position reached as its length.
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
// Seeks; fails on a stream whose server does not serve byte ranges, and playback then goes on where it was.
bool BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
// Seconds in `pos` bytes of the stream; negative for a 0 or dead handle.
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
// Peaks of the last 20 ms heard: left in the low 16 bits, right in the high 16 bits, each 0..32768. All bits
// set for a 0 or dead handle and for a stream that is not playing (paused, stopped, ended).
DWORD BASS_ChannelGetLevel(DWORD handle);

namespace audio_library {

// Why the last BASS_Init failed, in English, for the one line the program prints before it exits.
std::string LastInitError();

// Begins BASS_Init's work (GStreamer's start with its plugin registry, and the check of the audio output) on
// a thread of its own and returns at once, so that the work overlaps the program's other start-up. The next
// BASS_Init waits for it and answers with its outcome instead of doing it again. For the program's entry:
// called once, before any other call of the library.
void BeginInit();

// Opens a stream as BASS_StreamCreateURL does, without waiting for it: returns at once, and `then` is called
// later from the event loop of this thread with the stream's handle (0 when it could not be opened) and
// whether that was because the address did not answer within five seconds.
using OpenTicket = unsigned;
OpenTicket OpenStreamURL(const char* url, std::function<void(HSTREAM handle, bool noAnswer)> then);
// Whether BASS_ChannelSetPosition can move the stream now: it is open, has not stopped or ended, knows its
// length, and its source can seek (for HTTP, a server that has said it serves byte ranges).
bool StreamSeekable(HSTREAM handle);

// Drops an open that has not ended: its stream is released and `then` is never called. A ticket that has
// ended, or 0, is ignored.
void CancelOpen(OpenTicket ticket);

}  // namespace audio_library
