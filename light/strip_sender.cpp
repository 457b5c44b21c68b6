#include "light/strip_sender.h"

#include <chrono>

StripSender::StripSender(std::unique_ptr<StripSink> sink, QObject* parent)
    : QObject(parent), line_(std::make_shared<Line>()) {
    line_->sink = std::move(sink);
    thread_ = std::thread(&StripSender::run, line_, this);
}

StripSender::~StripSender() {
    Stop();
}

void StripSender::Send(const QList<QByteArray>& frame) {
    {
        const std::lock_guard lock(line_->mutex);
        if (line_->stopping || line_->failed) return;
        line_->pending = frame;
    }
    line_->wake.notify_all();
}

void StripSender::Stop() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard lock(line_->mutex);
        line_->stopping = true;
        line_->pending.reset();
    }
    line_->wake.notify_all();
    line_->sink->Interrupt();
    std::unique_lock lock(line_->mutex);
    const bool finished = line_->wake.wait_for(lock, std::chrono::milliseconds(StopTimeoutMs),
                                               [this] { return line_->finished; });
    lock.unlock();
    if (finished) {
        thread_.join();
    } else {
        // The sink did not come back (a host name still being resolved): the thread is let go and ends with
        // it, touching only what it shares.
        qWarning("The strip's line did not stop within %d ms", StopTimeoutMs);
        thread_.detach();
    }
}

void StripSender::Finish() {
    if (!thread_.joinable()) return;
    {
        std::unique_lock lock(line_->mutex);
        line_->finishing = true;
        line_->wake.notify_all();
        line_->wake.wait_for(lock, std::chrono::milliseconds(StopTimeoutMs),
                             [this] { return line_->finished; });
    }
    Stop();
}

void StripSender::run(const std::shared_ptr<Line>& line, StripSender* sender) {
    QString failure;
    try {
        line->sink->Open();
        for (;;) {
            QList<QByteArray> frame;
            {
                std::unique_lock lock(line->mutex);
                line->wake.wait(
                    lock, [&] { return line->stopping || line->finishing || line->pending.has_value(); });
                if (line->stopping || !line->pending) break;
                frame = std::move(*line->pending);
                line->pending.reset();
            }
            for (const QByteArray& packet : frame) line->sink->Write(packet);
        }
    } catch (const StripError& error) {
        failure = error.message();
    } catch (const StripInterrupted&) {
    }
    {
        const std::lock_guard lock(line->mutex);
        // Posted only while the sender has not begun to stop, so it is still alive; the event goes with it if
        // it is destroyed before the event loop gets there.
        if (!failure.isEmpty() && !line->stopping) {
            line->failed = true;
            line->pending.reset();
            QMetaObject::invokeMethod(
                sender, [sender, failure] { emit sender->Failed(failure); }, Qt::QueuedConnection);
        }
        line->finished = true;
    }
    line->wake.notify_all();
}
