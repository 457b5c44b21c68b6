#include "player/audio_stream.h"

#include <gst/audio/audio.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <bit>
#include <cstdio>
#include <map>
#include <thread>
#include <utility>

#include "player/reach_check.h"

namespace {

// playbin's flags: audio only (no video or subtitle branches), in the decoder's own format (the sink brings
// its own conversion, so the format the decoder gives out is the one seen at the sink).
constexpr guint kPlayAudioOnly = 1u << 1;
constexpr guint kNativeAudio = 1u << 5;
constexpr const char* kFormatMessage = "varnex-format";
constexpr const char* kUnreachableMessage = "varnex-unreachable";
// How long the check of a failed address waits for its connection.
constexpr std::chrono::milliseconds kReachLimit{2000};

// What the streaming thread needs to stamp samples with their stream time; owned by the pad probe.
struct ProbeContext {
    std::shared_ptr<PeakMeter> meter;
    GstSegment segment;
};

// How the peak meter reads samples of `format`; Unknown for formats it does not read.
std::pair<PeakMeter::SampleFormat, std::endian> sampleFormatOf(GstAudioFormat format) {
    using F = PeakMeter::SampleFormat;
    constexpr auto le = std::endian::little, be = std::endian::big;
    switch (format) {
        case GST_AUDIO_FORMAT_U8:
            return {F::U8, std::endian::native};
        case GST_AUDIO_FORMAT_S16LE:
            return {F::S16, le};
        case GST_AUDIO_FORMAT_S16BE:
            return {F::S16, be};
        case GST_AUDIO_FORMAT_S24LE:
            return {F::S24, le};
        case GST_AUDIO_FORMAT_S24BE:
            return {F::S24, be};
        case GST_AUDIO_FORMAT_S24_32LE:
            return {F::S24_32, le};
        case GST_AUDIO_FORMAT_S24_32BE:
            return {F::S24_32, be};
        case GST_AUDIO_FORMAT_S32LE:
            return {F::S32, le};
        case GST_AUDIO_FORMAT_S32BE:
            return {F::S32, be};
        case GST_AUDIO_FORMAT_F32LE:
            return {F::F32, le};
        case GST_AUDIO_FORMAT_F32BE:
            return {F::F32, be};
        case GST_AUDIO_FORMAT_F64LE:
            return {F::F64, le};
        case GST_AUDIO_FORMAT_F64BE:
            return {F::F64, be};
        default:
            return {F::Unknown, std::endian::native};
    }
}

// The format of the samples from now on, for the peak meter at once and for the stream, in order with its
// other messages, on the bus.
void readCaps(GstPad* pad, GstEvent* event, PeakMeter& meter) {
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    GstAudioInfo audio;
    if (!gst_audio_info_from_caps(&audio, caps)) {
        meter.SetFormat(PeakMeter::SampleFormat::Unknown, std::endian::native, 0, 0);
        return;
    }
    const int rate = GST_AUDIO_INFO_RATE(&audio), channels = GST_AUDIO_INFO_CHANNELS(&audio);
    if (GST_AUDIO_INFO_LAYOUT(&audio) == GST_AUDIO_LAYOUT_INTERLEAVED) {
        const auto [format, order] = sampleFormatOf(GST_AUDIO_INFO_FORMAT(&audio));
        meter.SetFormat(format, order, channels, rate);
    } else {
        meter.SetFormat(PeakMeter::SampleFormat::Unknown, std::endian::native, 0, 0);
    }
    if (GstElement* sink = gst_pad_get_parent_element(pad)) {
        gst_element_post_message(
            sink, gst_message_new_application(GST_OBJECT(sink),
                                              gst_structure_new(kFormatMessage, "rate", G_TYPE_INT, rate,
                                                                "channels", G_TYPE_INT, channels, nullptr)));
        gst_object_unref(sink);
    }
}

GstPadProbeReturn onSinkData(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* context = static_cast<ProbeContext*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        switch (GST_EVENT_TYPE(event)) {
            case GST_EVENT_CAPS:
                readCaps(pad, event, *context->meter);
                break;
            case GST_EVENT_SEGMENT:
                gst_event_copy_segment(event, &context->segment);
                break;
            case GST_EVENT_FLUSH_STOP:
                context->meter->Clear();
                break;
            default:
                break;
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer) || context->segment.format != GST_FORMAT_TIME)
        return GST_PAD_PROBE_OK;
    const guint64 start =
        gst_segment_to_stream_time(&context->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (start == GST_CLOCK_TIME_NONE) return GST_PAD_PROBE_OK;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        context->meter->Add(static_cast<std::int64_t>(start), map.data, map.size);
        gst_buffer_unmap(buffer, &map);
    }
    return GST_PAD_PROBE_OK;
}

// A source's error while the pipeline changes state aborts the change, and a pipeline that starts again
// starts the download over. A source that fails after it has read something (a body shorter than its
// server said, a server gone mid-way) has delivered audio that is worth hearing, and it ends the stream
// after it in any case: its error goes on as a warning, which stops nothing.
GstBusSyncReply demoteLateSourceErrors(GstBus*, GstMessage* message, gpointer parentBus) {
    gint64 read = 0;
    GstObject* source = GST_MESSAGE_SRC(message);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && GST_IS_ELEMENT(source) &&
        gst_element_query_position(GST_ELEMENT(source), GST_FORMAT_BYTES, &read) && read > 0) {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        gst_message_unref(message);
        message = gst_message_new_warning(source, error, debug);
        g_clear_error(&error);
        g_free(debug);
    }
    gst_bus_post(static_cast<GstBus*>(parentBus), message);
    return GST_BUS_DROP;
}

// Puts demoteLateSourceErrors between each source element and the bin that holds it.
void onElementSetup(GstElement*, GstElement* element, gpointer) {
    if (GST_IS_BIN(element) || !GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SOURCE)) return;
    GstBus* parentBus = gst_element_get_bus(element);
    if (!parentBus) return;
    GstBus* filter = gst_bus_new();
    gst_bus_set_sync_handler(filter, demoteLateSourceErrors, parentBus, gst_object_unref);
    gst_element_set_bus(element, filter);
    gst_object_unref(filter);
}

bool isHttp(const std::string& uri) {
    return uri.rfind("http://", 0) == 0 || uri.rfind("https://", 0) == 0;
}

}  // namespace

// Brings the streams' bus messages to the thread that made them: GStreamer's threads post one wake-up per
// message, naming the stream by its key, and the stream reads its bus when the wake-up is delivered. A key
// of a stream gone meanwhile names nothing. Made by the first stream, never destroyed.
class AudioStream::BusRouter final : public QObject {
public:
    static BusRouter& instance() {
        static BusRouter* router = new BusRouter;
        return *router;
    }
    static void post(std::uint64_t key) { QCoreApplication::postEvent(&instance(), new Wake(key)); }

    std::map<std::uint64_t, AudioStream*> streams;  // touched on the streams' thread only
    std::uint64_t nextKey = 1;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != wakeType()) return;
        const auto found = streams.find(static_cast<Wake*>(event)->key);
        if (found == streams.end()) return;
        AudioStream* stream = found->second;
        stream->pump();
        if (stream->openEnds_ && stream->settleOpen() != Opening::Pending)
            std::exchange(stream->openEnds_, nullptr)();  // may destroy the stream
    }

private:
    static QEvent::Type wakeType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    struct Wake final : QEvent {
        explicit Wake(std::uint64_t k) : QEvent(wakeType()), key(k) {}
        std::uint64_t key;
    };
};

std::unique_ptr<AudioStream> AudioStream::Start(const std::string& uri, GstElement* sink) {
    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    if (!pipeline) {
        gst_object_unref(gst_object_ref_sink(sink));
        return nullptr;
    }
    g_object_set(pipeline, "uri", uri.c_str(), "flags", kPlayAudioOnly | kNativeAudio, "audio-sink", sink,
                 nullptr);
    g_signal_connect(pipeline, "element-setup", G_CALLBACK(onElementSetup), nullptr);
    std::unique_ptr<AudioStream> stream(new AudioStream(pipeline, sink, uri));
    // Files and other local sources seek when their pipeline says it can; HTTP only once the server has
    // said it serves byte ranges.
    stream->seekAllowed_ = !isHttp(uri);
    const GstStateChangeReturn change = gst_element_set_state(pipeline, GST_STATE_PAUSED);
    if (change == GST_STATE_CHANGE_FAILURE) {
        stream->pump();  // the error that says why comes first
        stream->report("the pipeline cannot start");
        return nullptr;
    }
    stream->prerolled_ = change != GST_STATE_CHANGE_ASYNC;
    return stream;
}
AudioStream::AudioStream(GstElement* pipeline, GstElement* sink, std::string uri)
    : pipeline_(pipeline),
      bus_(gst_element_get_bus(pipeline)),
      uri_(std::move(uri)),
      meter_(std::make_shared<PeakMeter>()) {
    BusRouter& router = BusRouter::instance();
    key_ = router.nextKey++;
    router.streams.emplace(key_, this);
    gst_bus_set_sync_handler(bus_, &AudioStream::onPosted, GSIZE_TO_POINTER(key_), nullptr);
    // The peaks are read from the samples as the decoder gives them out, in whatever format that is:
    // converting them to one format for the meter would cost every stream a conversion it does not need.
    if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
        auto* context = new ProbeContext{meter_, {}};
        gst_segment_init(&context->segment, GST_FORMAT_UNDEFINED);
        gst_pad_add_probe(pad,
                          GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          onSinkData, context, [](gpointer c) { delete static_cast<ProbeContext*>(c); });
        gst_object_unref(pad);
    }
}

AudioStream::~AudioStream() {
    // Wake-ups already posted find no stream under the key.
    gst_bus_set_sync_handler(bus_, nullptr, nullptr, nullptr);
    BusRouter::instance().streams.erase(key_);
    gst_object_unref(bus_);
    // Shutting a network pipeline down joins its threads; that happens off the user-interface thread.
    gst_element_call_async(
        pipeline_, [](GstElement* pipeline, gpointer) { gst_element_set_state(pipeline, GST_STATE_NULL); },
        nullptr, nullptr);
    gst_object_unref(pipeline_);
}

AudioStream::Opening AudioStream::OpenProgress() {
    pump();
    return settleOpen();
}

AudioStream::Opening AudioStream::settleOpen() {
    if (opening_ == Opening::Pending && (prerolled_ || state_ == State::Ended))
        opening_ = finishOpen() ? Opening::Ready : Opening::Failed;
    return opening_;
}

bool AudioStream::WaitOpen(std::chrono::milliseconds limit) {
    const gint64 deadline = g_get_monotonic_time() + std::chrono::microseconds(limit).count();
    while (OpenProgress() == Opening::Pending) {
        const gint64 left = deadline - g_get_monotonic_time();
        GstMessage* message = left > 0 ? gst_bus_timed_pop(bus_, GstClockTime(left) * GST_USECOND) : nullptr;
        if (!message) {
            GiveUp(limit);
            return false;
        }
        handle(message);
        gst_message_unref(message);
    }
    return opening_ == Opening::Ready;
}

void AudioStream::GiveUp(std::chrono::milliseconds limit) {
    report("not ready within " + std::to_string(limit.count() / 1000) + " s");
    opening_ = Opening::Failed;
    openEnds_ = nullptr;
}

void AudioStream::WhenOpenEnds(std::function<void()> decided) {
    openEnds_ = std::move(decided);
}

bool AudioStream::finishOpen() {
    if (state_ == State::Ended) return false;
    if (format_.rate <= 0) {
        report("no audio in it");  // nothing reached the audio sink
        return false;
    }
    readDuration();
    if (duration_ < 0) {
        // A plain MP3 tells its duration only after a while of playing; until then estimate it from the size
        // and the bitrate, which is exact for constant-bitrate files.
        gint64 contentBytes = -1;
        if (!gst_element_query_duration(pipeline_, GST_FORMAT_BYTES, &contentBytes)) contentBytes = -1;
        duration_ = audio_units::EstimateDuration(contentBytes, bitrate_);
    }
    return true;
}

void AudioStream::report(const std::string& why) {
    if (reported_) return;
    reported_ = true;
    std::fprintf(stderr, "varnex: %s: %s\n", uri_.c_str(), why.c_str());
}

GstBusSyncReply AudioStream::onPosted(GstBus*, GstMessage*, gpointer key) {
    BusRouter::post(GPOINTER_TO_SIZE(key));
    return GST_BUS_PASS;
}

void AudioStream::pump() {
    while (GstMessage* message = gst_bus_pop(bus_)) {
        handle(message);
        gst_message_unref(message);
    }
}

void AudioStream::handle(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE:
            if (GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_)) prerolled_ = true;
            break;
        case GST_MESSAGE_EOS:
            end();
            break;
        case GST_MESSAGE_ERROR: {
            // Nothing could be read, or the audio cannot be decoded: the track is over. While the address
            // is being checked, later errors only follow from the first.
            if (checking_) break;
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            const std::string text = error ? error->message : "failed";
            g_clear_error(&error);
            if (!isSource(GST_MESSAGE_SRC(message))) {
                report(std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) + ": " + text);
            } else if (httpStatus_ >= 300) {
                report("source: HTTP " + std::to_string(httpStatus_) + " " + text);
            } else if (isHttp(uri_) && httpStatus_ < 100) {
                // No HTTP answer came. The network library may not say why (libsoup 3 under GStreamer
                // 1.22 leaves only "Internal data stream error"): the address is checked, and the stream
                // ends when the check tells why.
                checkAddress("source: " + text);
                break;
            } else {
                report("source: " + text);
            }
            end();
            break;
        }
        case GST_MESSAGE_WARNING: {
            // A source that failed after it had read something (see demoteLateSourceErrors): what it
            // delivered plays out, then the stream ends.
            if (isSource(GST_MESSAGE_SRC(message))) {
                GError* error = nullptr;
                gst_message_parse_warning(message, &error, nullptr);
                report(std::string("source: ") + (error ? error->message : "failed"));
                g_clear_error(&error);
            }
            break;
        }
        case GST_MESSAGE_APPLICATION: {
            const GstStructure* s = gst_message_get_structure(message);
            if (s && gst_structure_has_name(s, kFormatMessage)) {
                gst_structure_get_int(s, "rate", &format_.rate);
                gst_structure_get_int(s, "channels", &format_.channels);
            } else if (s && gst_structure_has_name(s, kUnreachableMessage) && checking_) {
                checking_ = false;
                const char* why = gst_structure_get_string(s, "why");
                report(why && *why ? std::string("source: ") + why : failure_);
                end();
            }
            break;
        }
        case GST_MESSAGE_DURATION_CHANGED:
            readDuration();
            break;
        case GST_MESSAGE_BUFFERING:
            gst_message_parse_buffering(message, &buffering_);
            applyPipelineState();
            break;
        case GST_MESSAGE_CLOCK_LOST:
            if (state_ == State::Playing) {
                gst_element_set_state(pipeline_, GST_STATE_PAUSED);
                applyPipelineState();
            }
            break;
        case GST_MESSAGE_TAG: {
            GstTagList* tags = nullptr;
            gst_message_parse_tag(message, &tags);
            guint bitrate = 0;
            if (gst_tag_list_get_uint(tags, GST_TAG_NOMINAL_BITRATE, &bitrate) ||
                gst_tag_list_get_uint(tags, GST_TAG_BITRATE, &bitrate))
                bitrate_ = bitrate;
            gst_tag_list_unref(tags);
            break;
        }
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* s = gst_message_get_structure(message);
            if (s && gst_structure_has_name(s, "http-headers")) readHeaders(s);
            break;
        }
        default:
            break;
    }
}

bool AudioStream::isSource(GstObject* object) const {
    GstElement* source = nullptr;
    g_object_get(pipeline_, "source", &source, nullptr);
    const bool is = source && object == GST_OBJECT(source);
    if (source) gst_object_unref(source);
    return is;
}

void AudioStream::checkAddress(const std::string& failure) {
    checking_ = true;
    failure_ = failure;
    // The proxy the source was given (souphttpsrc takes http_proxy's); without one the request went where
    // the system's proxy settings send it.
    std::string proxy;
    GstElement* source = nullptr;
    g_object_get(pipeline_, "source", &source, nullptr);
    if (source && g_object_class_find_property(G_OBJECT_GET_CLASS(source), "proxy")) {
        gchar* given = nullptr;
        g_object_get(source, "proxy", &given, nullptr);
        if (given) proxy = given;
        g_free(given);
    }
    if (source) gst_object_unref(source);
    // The look-up may take as long as the name service does: it runs on a thread of its own and answers on
    // the bus, which outlives the stream as long as the thread holds it.
    std::thread([bus = GST_BUS(gst_object_ref(bus_)), uri = uri_, proxy] {
        const std::optional<reach_check::Endpoint> endpoint =
            reach_check::EndpointOf(uri, proxy.empty() ? reach_check::SystemProxyFor(uri) : proxy);
        const std::string why = endpoint ? reach_check::WhyUnreachable(*endpoint, kReachLimit) : "";
        gst_bus_post(bus, gst_message_new_application(
                              nullptr, gst_structure_new(kUnreachableMessage, "why", G_TYPE_STRING,
                                                         why.c_str(), nullptr)));
        gst_object_unref(bus);
    }).detach();
}

void AudioStream::readHeaders(const GstStructure* headers) {
    // The status of the answer: the HTTP status, or below 100 when no answer came.
    gst_structure_get_uint(headers, "http-status-code", &httpStatus_);
    // Seeking over HTTP asks the server for a byte range. A server that does not say it serves ranges would
    // answer with the whole file, which GStreamer treats as a fatal error, so such a stream is not seeked.
    const GValue* response = gst_structure_get_value(headers, "response-headers");
    if (!response || !GST_VALUE_HOLDS_STRUCTURE(response)) return;
    const GstStructure* fields = gst_value_get_structure(response);
    bool accepted = false;
    gst_structure_foreach(
        fields,
        [](GQuark field, const GValue* value, gpointer result) -> gboolean {
            if (g_ascii_strcasecmp(g_quark_to_string(field), "Accept-Ranges") == 0 &&
                G_VALUE_HOLDS_STRING(value))
                *static_cast<bool*>(result) = g_ascii_strcasecmp(g_value_get_string(value), "bytes") == 0;
            return TRUE;
        },
        &accepted);
    if (httpStatus_ == 200 || httpStatus_ == 206) seekAllowed_ = accepted;
}

void AudioStream::readDuration() {
    if (state_ == State::Ended) return;
    gint64 duration = -1;
    if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration) && duration > 0)
        duration_ = duration;
}

void AudioStream::end() {
    if (state_ == State::Ended) return;
    // A stream that ends short of its length is as long as what was heard, so that the time displays agree
    // with it instead of jumping to a length that was only promised.
    std::int64_t at = queryPosition();
    if (at < 0) at = audio_units::BytesToTime(lastPosition_, format_);
    if (at >= 0 && (duration_ < 0 || at < duration_)) duration_ = at;
    state_ = State::Ended;
    meter_->Clear();
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
}

void AudioStream::applyPipelineState() {
    // While the network buffer refills, the pipeline waits instead of stuttering.
    if (state_ != State::Playing) return;
    gst_element_set_state(pipeline_, buffering_ < 100 ? GST_STATE_PAUSED : GST_STATE_PLAYING);
}

std::int64_t AudioStream::queryPosition() const {
    gint64 at = -1;
    if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &at)) return -1;
    return at;
}

bool AudioStream::Play() {
    pump();
    if (state_ == State::Stopped || state_ == State::Ended) return false;
    state_ = State::Playing;
    applyPipelineState();
    return true;
}

bool AudioStream::Pause() {
    pump();
    if (state_ != State::Playing) return false;
    state_ = State::Paused;
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    return true;
}

bool AudioStream::Stop() {
    pump();
    if (state_ != State::Ended) state_ = State::Stopped;
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    return true;
}

std::int64_t AudioStream::Length() {
    pump();
    return duration_ >= 0 ? audio_units::TimeToBytes(duration_, format_) : -1;
}

std::int64_t AudioStream::Position() {
    const std::int64_t length = Length();
    if (state_ != State::Ended && state_ != State::Stopped) {
        const std::int64_t at = queryPosition();
        if (at >= 0) lastPosition_ = audio_units::TimeToBytes(at, format_);
    }
    return audio_units::ReportedPosition(lastPosition_, length, state_ == State::Ended, format_);
}

bool AudioStream::SetPosition(std::int64_t bytes) {
    const std::int64_t length = Length();
    if (state_ == State::Stopped || state_ == State::Ended || bytes < 0) return false;
    if (length >= 0 && bytes > length) return false;
    if (!sourceSeekable()) return false;
    const std::int64_t at = audio_units::BytesToTime(bytes, format_);
    if (!gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                                 GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), at))
        return false;
    meter_->Clear();
    lastPosition_ = bytes - bytes % format_.frameBytes();
    return true;
}

bool AudioStream::Seekable() {
    const std::int64_t length = Length();
    return state_ != State::Stopped && state_ != State::Ended && length > 0 && sourceSeekable();
}

bool AudioStream::sourceSeekable() const {
    if (!seekAllowed_) return false;
    GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
    gboolean seekable = FALSE;
    if (gst_element_query(pipeline_, query))
        gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
    gst_query_unref(query);
    return seekable;
}

double AudioStream::BytesToSeconds(std::uint64_t bytes) const {
    return audio_units::BytesToSeconds(bytes, format_);
}

std::uint32_t AudioStream::Level() {
    pump();
    if (state_ != State::Playing) return audio_units::kNoLevel;
    const std::int64_t at = queryPosition();
    return at < 0 ? 0 : meter_->LevelAt(at);
}
