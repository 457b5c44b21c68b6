#pragma once

// Filling the playlist without VK: addresses, audio files, folders and playlist files dropped onto the list
// or pasted into it. Reading them (a folder of thousands of files, a playlist of 50 MB) runs on a worker
// thread; the rows are appended on this thread a few thousand at a time, after the existing rows and in the
// order the drops came, so that the program keeps answering and a playing track plays on.

#include <QFuture>
#include <QObject>
#include <QThreadPool>
#include <deque>
#include <functional>
#include <optional>

#include "player/playlist_import.h"

class PlaylistModel;
class QMimeData;

class PlaylistFeed final : public QObject {
public:
    static constexpr qsizetype kRowsPerTurn = 5000;
    using Report = std::function<void(const QString& text)>;

    // `report` is told when a drop added nothing or left something out.
    PlaylistFeed(PlaylistModel& playlist, Report report, QObject* parent);
    ~PlaylistFeed() override;

    // Starts reading what `data` carries: its URLs (local files as paths), else its text, one per line.
    void Add(const QMimeData& data);

    // What a drop's outcome says to the user; empty when all of it was added.
    static QString ReportOf(const playlist_import::Batch& batch);

private:
    struct Pending {
        QFuture<playlist_import::Batch> future;
        std::optional<playlist_import::Batch> batch;  // taken from the future once it is done
        qsizetype applied = 0;                        // rows appended so far
    };

    void feed();

    PlaylistModel& playlist_;
    Report report_;
    QThreadPool pool_;  // one thread: the drops are read one after another
    std::deque<Pending> pending_;
};
