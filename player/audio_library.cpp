#include "player/audio_library.h"

#include <gst/gst.h>

#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>

#include "player/audio_stream.h"

namespace {

constexpr std::chrono::milliseconds kPrerollLimit{5000};
constexpr QWORD kFailed = ~QWORD{0};

// An open that nobody waits for: the stream being opened, and what to do once the open has ended.
struct PendingOpen {
    struct DeleteLater {
        void operator()(QObject* object) const { object->deleteLater(); }
    };
    std::unique_ptr<AudioStream> stream;  // null when it could not even start
    std::function<void(HSTREAM handle, bool noAnswer)> then;
    std::unique_ptr<QTimer, DeleteLater> limit;  // its own signal may be what ends the open
};

struct Library {
    bool initialised = false;
    std::string sinkDescription;  // empty: the default output
    std::string lastInitError;
    std::map<HSTREAM, std::unique_ptr<AudioStream>> streams;
    HSTREAM nextHandle = 1;
    std::map<audio_library::OpenTicket, PendingOpen> opening;
    audio_library::OpenTicket nextTicket = 1;
};

// Never destroyed: streams still open when the program ends are left to the process's end.
Library& library() {
    static Library* instance = new Library;
    return *instance;
}

AudioStream* find(DWORD handle) {
    auto& streams = library().streams;
    const auto it = streams.find(handle);
    return it == streams.end() ? nullptr : it->second.get();
}

// Makes one audio sink as configured, with its own conversion in front so that it takes the decoder's
// samples as they are; nullptr with the reason in `error` when it cannot be made.
GstElement* makeSink(const std::string& description, std::string& error) {
    if (description.empty()) {
        GstElementFactory* factory = gst_element_factory_find("autoaudiosink");
        if (!factory) {
            error = "the GStreamer element autoaudiosink is not installed";
            return nullptr;
        }
        gst_object_unref(factory);
    }
    const std::string output = description.empty() ? "autoaudiosink" : description;
    GError* gerror = nullptr;
    GstElement* sink =
        gst_parse_bin_from_description(("audioconvert ! audioresample ! " + output).c_str(), TRUE, &gerror);
    if (gerror) {
        error = "cannot make the audio sink \"" + output + "\": " + gerror->message;
        g_clear_error(&gerror);
        if (sink) gst_object_unref(sink);
        return nullptr;
    }
    return sink;
}

// Whether the output as configured can be made; the reason in `error` when not. The default output is only
// looked up in the registry: its plugins load with the first stream, not at start-up. A configured one is
// made once, since only parsing its description tells whether it is sound.
bool outputAvailable(const std::string& description, std::string& error) {
    if (!description.empty()) {
        GstElement* sink = makeSink(description, error);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        return sink != nullptr;
    }
    for (const char* element : {"audioconvert", "audioresample", "autoaudiosink"}) {
        GstElementFactory* factory = gst_element_factory_find(element);
        if (!factory) {
            error = std::string("the GStreamer element ") + element + " is not installed";
            return false;
        }
        gst_object_unref(factory);
    }
    return true;
}

// The sink's GStreamer description as the environment gives it; empty for the default output.
std::string configuredSink() {
    const char* env = std::getenv("VARNEX_AUDIO_SINK");
    return env ? env : "";
}

// `url` as a URI that the library plays: http, https or file (a local path becomes a file URI); empty for
// any other scheme, since a playlist row may come from a web page.
std::string toUri(const char* url) {
    gchar* uri = gst_uri_is_valid(url) ? g_strdup(url) : gst_filename_to_uri(url, nullptr);
    gchar* scheme = uri ? gst_uri_get_protocol(uri) : nullptr;  // lower case
    const std::string result =
        scheme && (g_str_equal(scheme, "http") || g_str_equal(scheme, "https") || g_str_equal(scheme, "file"))
            ? uri
            : "";
    g_free(scheme);
    g_free(uri);
    return result;
}

// What starting the library found: the output to use, or why it cannot start.
struct InitOutcome {
    bool ok = false;
    std::string sinkDescription;
    std::string error;
};

// Touches nothing but GStreamer, so it may run on any thread.
InitOutcome initialise() {
    InitOutcome outcome;
    GError* gerror = nullptr;
    if (!gst_init_check(nullptr, nullptr, &gerror)) {
        outcome.error = std::string("GStreamer cannot be initialised: ") + (gerror ? gerror->message : "");
        g_clear_error(&gerror);
        return outcome;
    }
    outcome.sinkDescription = configuredSink();
    outcome.ok = outputAvailable(outcome.sinkDescription, outcome.error);
    return outcome;
}

// The start begun by BeginInit, until BASS_Init takes its outcome.
std::future<InitOutcome>& begunInit() {
    static std::future<InitOutcome> begun;
    return begun;
}

}  // namespace

void audio_library::BeginInit() {
    begunInit() = std::async(std::launch::async, initialise);
}

bool BASS_Init(int /*device*/, DWORD /*freq*/, DWORD /*flags*/, void* /*win*/, const void* /*clsid*/) {
    std::future<InitOutcome>& begun = begunInit();
    const InitOutcome outcome = begun.valid() ? begun.get() : initialise();
    Library& lib = library();
    lib.lastInitError = outcome.error;
    if (!outcome.ok) return false;
    lib.sinkDescription = outcome.sinkDescription;
    lib.initialised = true;
    return true;
}

GstElement* MakeAudioSink(std::string& error) {
    return makeSink(configuredSink(), error);
}

namespace {

// A stream of `url` on its way to being open; nullptr, with the reason on stderr, when it cannot start.
std::unique_ptr<AudioStream> startStream(const char* url) {
    Library& lib = library();
    if (!lib.initialised || !url || !*url) return nullptr;
    const std::string uri = toUri(url);
    if (uri.empty()) {
        std::fprintf(stderr, "varnex: %s: not an http, https or file URL\n", url);
        return nullptr;
    }
    std::string error;
    GstElement* sink = makeSink(lib.sinkDescription, error);
    if (!sink) {
        std::fprintf(stderr, "varnex: %s: %s\n", url, error.c_str());
        return nullptr;
    }
    return AudioStream::Start(uri, sink);
}

HSTREAM adopt(std::unique_ptr<AudioStream> stream) {
    Library& lib = library();
    HSTREAM handle = lib.nextHandle++;
    while (handle == 0 || lib.streams.count(handle)) handle = lib.nextHandle++;
    lib.streams.emplace(handle, std::move(stream));
    return handle;
}

// Ends the open of `ticket`, if it is still waited for: the stream gets its handle when it is ready, is
// given up when it has not answered yet, and the waiter learns which.
void endOpen(audio_library::OpenTicket ticket) {
    auto& opening = library().opening;
    const auto found = opening.find(ticket);
    if (found == opening.end()) return;
    PendingOpen open = std::move(found->second);
    opening.erase(found);
    open.limit->stop();
    const AudioStream::Opening progress =
        open.stream ? open.stream->OpenProgress() : AudioStream::Opening::Failed;
    if (progress == AudioStream::Opening::Pending) open.stream->GiveUp(kPrerollLimit);
    const HSTREAM handle = progress == AudioStream::Opening::Ready ? adopt(std::move(open.stream)) : 0;
    open.stream.reset();
    open.then(handle, progress == AudioStream::Opening::Pending);
}

}  // namespace

HSTREAM BASS_StreamCreateURL(const char* url, DWORD /*offset*/, DWORD /*flags*/, DOWNLOADPROC* /*proc*/,
                             void* /*user*/) {
    std::unique_ptr<AudioStream> stream = startStream(url);
    if (!stream || !stream->WaitOpen(kPrerollLimit)) return 0;
    return adopt(std::move(stream));
}

bool BASS_StreamFree(HSTREAM handle) {
    return library().streams.erase(handle) > 0;
}

bool BASS_ChannelPlay(DWORD handle, bool /*restart*/) {
    AudioStream* stream = find(handle);
    return stream && stream->Play();
}

bool BASS_ChannelPause(DWORD handle) {
    AudioStream* stream = find(handle);
    return stream && stream->Pause();
}

bool BASS_ChannelStop(DWORD handle) {
    AudioStream* stream = find(handle);
    return stream && stream->Stop();
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    AudioStream* stream = find(handle);
    if (!stream || mode != 0) return kFailed;
    return static_cast<QWORD>(stream->Length());
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    AudioStream* stream = find(handle);
    if (!stream || mode != 0) return kFailed;
    return static_cast<QWORD>(stream->Position());
}

bool BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    AudioStream* stream = find(handle);
    return stream && mode == 0 && stream->SetPosition(static_cast<std::int64_t>(pos));
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    AudioStream* stream = find(handle);
    return stream ? stream->BytesToSeconds(pos) : -1;
}

DWORD BASS_ChannelGetLevel(DWORD handle) {
    AudioStream* stream = find(handle);
    return stream ? stream->Level() : audio_units::kNoLevel;
}

namespace audio_library {

std::string LastInitError() {
    return library().lastInitError;
}

OpenTicket OpenStreamURL(const char* url, std::function<void(HSTREAM handle, bool noAnswer)> then) {
    Library& lib = library();
    const OpenTicket ticket = lib.nextTicket++;
    PendingOpen& open = lib.opening[ticket];
    open.then = std::move(then);
    open.stream = startStream(url);
    // The limit ends the open when the stream has not answered by then; one that could not start ends as
    // soon as the event loop runs, never inside this call.
    open.limit.reset(new QTimer);
    open.limit->setSingleShot(true);
    open.limit->setTimerType(Qt::PreciseTimer);  // five seconds, not a coarse timer's 5 % less
    QObject::connect(open.limit.get(), &QTimer::timeout, [ticket] { endOpen(ticket); });
    open.limit->start(open.stream ? kPrerollLimit : std::chrono::milliseconds(0));
    if (open.stream) open.stream->WhenOpenEnds([ticket] { endOpen(ticket); });
    return ticket;
}

void CancelOpen(OpenTicket ticket) {
    library().opening.erase(ticket);
}

bool StreamSeekable(HSTREAM handle) {
    AudioStream* stream = find(handle);
    return stream && stream->Seekable();
}

}  // namespace audio_library
