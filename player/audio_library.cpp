#include "player/audio_library.h"

#include <gst/gst.h>

#include <cstdlib>

namespace {

struct Library {
    bool initialised = false;
    std::string sinkDescription;  // empty: the default output
    std::string lastInitError;
};

Library& library() {
    static Library instance;
    return instance;
}

// Makes one audio sink element as configured; nullptr with the reason in `error` when it cannot be made.
GstElement* makeSink(const std::string& description, std::string& error) {
    if (description.empty()) {
        GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
        if (!sink) error = "the GStreamer element autoaudiosink is not installed";
        return sink;
    }
    GError* gerror = nullptr;
    GstElement* sink = gst_parse_bin_from_description(description.c_str(), TRUE, &gerror);
    if (gerror) {
        error = "cannot make the audio sink \"" + description + "\": " + gerror->message;
        g_clear_error(&gerror);
        if (sink) gst_object_unref(sink);
        return nullptr;
    }
    return sink;
}

}  // namespace

bool BASS_Init(int /*device*/, DWORD /*freq*/, DWORD /*flags*/, void* /*win*/, const void* /*clsid*/) {
    Library& lib = library();
    GError* gerror = nullptr;
    if (!gst_init_check(nullptr, nullptr, &gerror)) {
        lib.lastInitError =
            std::string("GStreamer cannot be initialised: ") + (gerror ? gerror->message : "");
        g_clear_error(&gerror);
        return false;
    }
    const char* env = std::getenv("VARNEX_AUDIO_SINK");
    std::string description = env ? env : "";
    std::string error;
    GstElement* sink = makeSink(description, error);
    if (!sink) {
        lib.lastInitError = error;
        return false;
    }
    gst_object_unref(gst_object_ref_sink(sink));
    lib.sinkDescription = description;
    lib.initialised = true;
    lib.lastInitError.clear();
    return true;
}

namespace audio_library {

std::string LastInitError() {
    return library().lastInitError;
}

}  // namespace audio_library
