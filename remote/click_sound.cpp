#include "remote/click_sound.h"

#include <QFileInfo>
#include <QUrl>

#include "player/audio_library.h"

#include <gst/gst.h>

ClickSound::ClickSound(std::function<void()> bell, QObject* parent)
    : QObject(parent), bell_(std::move(bell)) {}

ClickSound::~ClickSound() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
}

void ClickSound::Play(const QString& path) {
    if (!pipeline_ && QFileInfo(path).isFile() && gst_init_check(nullptr, nullptr, nullptr)) {
        pipeline_ = gst_element_factory_make("playbin", "click");
        if (pipeline_) {
            gst_object_ref_sink(pipeline_);
            std::string error;  // without the library's sink, playbin picks one of its own
            if (GstElement* sink = MakeAudioSink(error)) g_object_set(pipeline_, "audio-sink", sink, nullptr);
        }
    }
    if (!pipeline_ || !QFileInfo(path).isFile()) {
        bell_();
        emit Started(false);
        return;
    }
    // From the start again, also when the last click has not finished: it is cut short.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
    g_object_set(pipeline_, "uri", uri.constData(), nullptr);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        bell_();
        emit Started(false);
        return;
    }
    emit Started(true);
}
