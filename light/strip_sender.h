#pragma once

// The line to an LED strip, written off the UI thread. A StripSender owns a thread and a sink (the serial
// port of an Adalight board, or a UDP address); the UI thread hands it frames, each the packets of one
// picture, and the thread writes them in order. A frame waits in a single slot while the one before it is
// written: a newer frame replaces it there, so a line slower than the pictures shows the newest one next,
// never a backlog.
//
// Opening the sink (and resolving a host name) happens on the thread too. A port that will not open, a host
// that does not resolve or a write that fails is announced once by Failed, on the thread the sender belongs
// to, and the sender sends nothing more. Stopping it (or destroying it) drops the frame waiting, wakes a
// write that waits on a stalled line and joins the thread. A thread that does not end within StopTimeoutMs
// (only a host name being resolved cannot be woken) is let go, to end on its own without touching the sender.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

// What a sink raises when it cannot go on: the text shown to the user.
class StripError : public std::runtime_error {
public:
    explicit StripError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// Raised by a sink whose wait was cut short by Interrupt.
struct StripInterrupted {};

// Where the packets go. Open and Write run on the sender's thread and raise StripError or StripInterrupted;
// Interrupt is called from the UI thread and makes a waiting Open or Write (and every later one) raise
// StripInterrupted at once.
class StripSink {
public:
    virtual ~StripSink() = default;
    virtual void Open() = 0;
    virtual void Write(const QByteArray& packet) = 0;
    virtual void Interrupt() = 0;
};

class StripSender final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StripSender)

public:
    // Stop waits no longer than this for the thread.
    static constexpr int StopTimeoutMs = 1000;

    // Starts the thread, which opens `sink` and then waits for frames.
    explicit StripSender(std::unique_ptr<StripSink> sink, QObject* parent = nullptr);
    ~StripSender() override;

    // Queues one frame, the packets of one picture in order, replacing a frame not yet begun. Does nothing
    // once the sender has failed or stopped.
    void Send(const QList<QByteArray>& frame);
    // Ends the thread; frames not yet begun are dropped. Safe to call twice.
    void Stop();
    // Ends the thread once the frame being written and the one waiting have gone out (a stop's all-off, the
    // last thing a line is sent before it is let go), waiting for them no longer than StopTimeoutMs; then as
    // Stop.
    void Finish();

signals:
    // The sink failed; `message` says how, in the user's words. Emitted once, and nothing is sent after it.
    void Failed(const QString& message);

private:
    // What the thread shares with the sender. Held by both, so that a thread let go by Stop (its sink would
    // not return) outlives the sender safely.
    struct Line {
        std::unique_ptr<StripSink> sink;
        std::mutex mutex;
        std::condition_variable wake;
        std::optional<QList<QByteArray>> pending;
        bool stopping = false;
        bool finishing = false;  // the thread ends once nothing waits
        bool failed = false;
        bool finished = false;
    };

    static void run(const std::shared_ptr<Line>& line, StripSender* sender);

    std::shared_ptr<Line> line_;
    std::thread thread_;
};
