#pragma once

// One stream of the audio library: a playbin pipeline that plays one URL into its own audio sink. It answers
// in bytes of the decoded stream as 16-bit PCM, keeps the peaks of what is being heard, and reads GStreamer's
// messages on the thread that made it. Two things read them: each message posted on the bus wakes the stream
// through Qt's event queue (whatever event loop runs, GLib's or Qt's own), which lets the stream act while
// nobody calls (resume after buffering, end at a failure, finish opening); and a pump at the start of every
// call makes the answer reflect every message posted so far even when the event loop has not run since
// (several calls in one handler, a caller without an event loop).

#include <gst/gst.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "player/pcm_units.h"
#include "player/peak_meter.h"

class AudioStream final {
public:
    enum class Opening { Pending, Ready, Failed };

    // Starts opening `uri` with `sink` (which the stream takes over) and returns without waiting; nullptr
    // when the pipeline cannot even start. The open ends Ready, or Failed when the stream is refused, not
    // found or not audio; each failure writes its reason on stderr once.
    static std::unique_ptr<AudioStream> Start(const std::string& uri, GstElement* sink);
    ~AudioStream();

    // How the open stands, after reading the messages posted so far.
    Opening OpenProgress();
    // Waits for the open to end, at most `limit`; true when it ended Ready.
    bool WaitOpen(std::chrono::milliseconds limit);
    // Gives the open up after `limit` without an answer, saying so on stderr.
    void GiveUp(std::chrono::milliseconds limit);
    // `decided` is called once, from the event loop, when a message has ended the open (not at GiveUp). It
    // may destroy the stream.
    void WhenOpenEnds(std::function<void()> decided);

    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    bool Play();   // starts, or resumes where it was paused
    bool Pause();  // halts, keeping the position
    bool Stop();   // halts for good: the stream is freed next

    std::int64_t Length();    // bytes; -1 while unknown
    std::int64_t Position();  // bytes; equals Length() once the stream has played to its end
    bool SetPosition(std::int64_t bytes);
    // Whether SetPosition can move the stream now; false also while its length is unknown.
    bool Seekable();
    double BytesToSeconds(std::uint64_t bytes) const;
    std::uint32_t Level();  // packed peaks while playing, audio_units::kNoLevel otherwise

private:
    enum class State { Ready, Playing, Paused, Stopped, Ended };

    class BusRouter;

    // The peaks and the format are read from the samples that reach `sink`.
    AudioStream(GstElement* pipeline, GstElement* sink, std::string uri);
    Opening settleOpen();  // decides the open once its pipeline has prerolled or failed
    bool finishOpen();
    void pump();
    void handle(GstMessage* message);
    void report(const std::string& why);     // the stream's one line on stderr
    bool isSource(GstObject* object) const;  // whether `object` is the element that reads the address
    // Finds out on another thread why the address gave no answer; the stream then says so and ends, or
    // says `failure` when the check finds nothing to name.
    void checkAddress(const std::string& failure);
    void readHeaders(const GstStructure* headers);
    void readDuration();
    void end();
    void applyPipelineState();
    bool sourceSeekable() const;         // the server serves byte ranges and the pipeline says it can seek
    std::int64_t queryPosition() const;  // ns, -1 when not known

    static GstBusSyncReply onPosted(GstBus* bus, GstMessage* message, gpointer key);

    GstElement* pipeline_;
    GstBus* bus_;
    std::string uri_;
    std::uint64_t key_;  // the stream's name for its wake-ups, never reused
    Opening opening_ = Opening::Pending;
    bool prerolled_ = false;
    std::function<void()> openEnds_;
    std::shared_ptr<PeakMeter> meter_;
    audio_units::PcmFormat format_{0, 0};  // as the decoder gives it out; no rate until audio arrives
    State state_ = State::Ready;
    bool reported_ = false;
    bool checking_ = false;     // the source failed without an answer, and the address is being checked
    std::string failure_;       // what GStreamer said of that failure
    guint httpStatus_ = 0;      // of the last answer; below 100 while none came
    bool seekAllowed_ = false;  // false for a server that has not said it serves byte ranges
    int buffering_ = 100;
    std::int64_t duration_ = -1;  // ns, -1 while unknown
    std::uint32_t bitrate_ = 0;
    std::int64_t lastPosition_ = 0;  // bytes
};
