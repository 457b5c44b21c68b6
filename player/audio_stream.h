#pragma once

// One stream of the audio library: a playbin pipeline that plays one URL into its own audio sink. It answers
// in bytes of the decoded stream as 16-bit PCM, keeps the peaks of what is being heard, and reads GStreamer's
// messages on the user-interface thread (from a bus watch on the default main context, and before every
// call).

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
    // nullptr when the stream cannot be opened: refused, not found, not audio, or not ready in time.
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

    // The peaks are read from the samples that reach `sink`.
    AudioStream(GstElement* pipeline, GstElement* sink);
    bool preroll(std::chrono::milliseconds limit);
    void pump();
    void handle(GstMessage* message);
    void readHeaders(const GstStructure* headers);
    void readFormat();
    void readDuration();
    void end();
    void applyPipelineState();
    std::int64_t queryPosition() const;  // ns, -1 when not known

    static gboolean onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    GstElement* pipeline_;
    GstBus* bus_;
    guint watch_ = 0;
    std::shared_ptr<PeakMeter> meter_;
    audio_units::PcmFormat format_;
    State state_ = State::Ready;
    bool seekAllowed_ = false;  // false for a server that has not said it serves byte ranges
    int buffering_ = 100;
    std::int64_t duration_ = -1;  // ns, -1 while unknown
    std::uint32_t bitrate_ = 0;
    std::int64_t lastPosition_ = 0;  // bytes
};
