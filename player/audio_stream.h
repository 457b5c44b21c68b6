#pragma once

// One stream of the audio library: a playbin pipeline that plays one URL into its own audio sink. It answers
// in bytes of the decoded stream as 16-bit PCM, keeps the peaks of what is being heard, and reads GStreamer's
// messages on the user-interface thread. Both a bus watch and a pump read them: the watch, run by the main
// loop, lets the stream act while nobody calls (resume after buffering, end at a failure); the pump, run at
// the start of every call, makes the answer reflect every message posted so far even when the main loop has
// not run since (several calls in one handler, a caller without a main loop).

#include <gst/gst.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "player/pcm_units.h"
#include "player/peak_meter.h"

class AudioStream final {
public:
    // Opens `uri` with `sink` (which the stream takes over) and prerolls it, waiting at most `limit`. Returns
    // nullptr when the stream cannot be opened: refused, not found, not audio, or not ready in time; the
    // reason goes to stderr.
    static std::unique_ptr<AudioStream> Open(const std::string& uri, GstElement* sink,
                                             std::chrono::milliseconds limit);
    ~AudioStream();
    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    bool Play();   // starts, or resumes where it was paused
    bool Pause();  // halts, keeping the position
    bool Stop();   // halts for good: the stream is freed next

    std::int64_t Length();    // bytes; -1 while unknown
    std::int64_t Position();  // bytes; equals Length() once the stream has played to its end
    bool SetPosition(std::int64_t bytes);
    double BytesToSeconds(std::uint64_t bytes) const;
    std::uint32_t Level();  // packed peaks while playing, audio_units::kNoLevel otherwise

private:
    enum class State { Ready, Playing, Paused, Stopped, Ended };

    // The peaks and the format are read from the samples that reach `sink`.
    AudioStream(GstElement* pipeline, GstElement* sink, std::string uri);
    bool preroll(std::chrono::milliseconds limit);
    void pump();
    void handle(GstMessage* message);
    void report(const std::string& why);  // the stream's one line on stderr
    void readHeaders(const GstStructure* headers);
    void readDuration();
    void end();
    void applyPipelineState();
    std::int64_t queryPosition() const;  // ns, -1 when not known

    static gboolean onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    GstElement* pipeline_;
    GstBus* bus_;
    std::string uri_;
    guint watch_ = 0;
    std::shared_ptr<PeakMeter> meter_;
    audio_units::PcmFormat format_{0, 0};  // as the decoder gives it out; no rate until audio arrives
    State state_ = State::Ready;
    bool reported_ = false;
    bool seekAllowed_ = false;  // false for a server that has not said it serves byte ranges
    int buffering_ = 100;
    std::int64_t duration_ = -1;  // ns, -1 while unknown
    std::uint32_t bitrate_ = 0;
    std::int64_t lastPosition_ = 0;  // bytes
};
