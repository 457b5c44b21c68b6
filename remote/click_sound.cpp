#include "remote/click_sound.h"

#include <QFile>
#include <QFileInfo>

#include "player/audio_library.h"

#include <gst/gst.h>

namespace {

// The decoder's output, made anew for each click, goes to the converter in front of the output.
void linkDecoded(GstElement*, GstPad* decoded, gpointer convert) {
    GstPad* input = gst_element_get_static_pad(GST_ELEMENT(convert), "sink");
    if (!gst_pad_is_linked(input)) gst_pad_link(decoded, input);
    gst_object_unref(input);
}

// One pipeline for every click, made once: a playbin would make its decoding and output elements anew for
// each click, and GStreamer keeps a few KB for every element ever made, so ten clicks a second from a held
// key would grow the program by MBs a minute.
GstElement* makePipeline() {
    GstElement* pipeline = gst_pipeline_new("click");
    gst_object_ref_sink(pipeline);
    GstElement* file = gst_element_factory_make("filesrc", "file");
    GstElement* decode = gst_element_factory_make("decodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    std::string error;  // without the library's sink, the system's default output
    GstElement* sink = MakeAudioSink(error);
    if (!sink) sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (!file || !decode || !convert || !sink) {
        for (GstElement* element : {file, decode, convert, sink})
            if (element) gst_object_unref(gst_object_ref_sink(element));
        gst_object_unref(pipeline);
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(pipeline), file, decode, convert, sink, nullptr);
    if (!gst_element_link(file, decode) || !gst_element_link(convert, sink)) {
        gst_object_unref(pipeline);
        return nullptr;
    }
    g_signal_connect(decode, "pad-added", G_CALLBACK(linkDecoded), convert);
    return pipeline;
}

}  // namespace

ClickSound::ClickSound(std::function<void()> bell, QObject* parent)
    : QObject(parent), bell_(std::move(bell)) {}

ClickSound::~ClickSound() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
}

void ClickSound::Play(const QString& path) {
    if (!pipeline_ && QFileInfo(path).isFile() && gst_init_check(nullptr, nullptr, nullptr))
        pipeline_ = makePipeline();
    if (!pipeline_ || !QFileInfo(path).isFile()) {
        bell_();
        emit Started(false);
        return;
    }
    // From the start again, also when the last click has not finished: it is cut short.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline_), "file");
    g_object_set(file, "location", QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(),
                 nullptr);
    gst_object_unref(file);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        bell_();
        emit Started(false);
        return;
    }
    emit Started(true);
}
