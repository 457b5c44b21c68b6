// Filling the playlist without VK: addresses, audio files, folders and playlist files dropped onto PlayList
// or pasted into it with Ctrl+V. Reading them (a folder of thousands of files, a playlist of 50 MB) runs on a
// worker thread; the rows are appended on this thread a few thousand at a time, after the existing rows and
// in the order the drops came, so the window keeps answering and a playing track plays on.

#include <QClipboard>
#include <QDropEvent>
#include <QFuture>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>
#include <algorithm>
#include <deque>
#include <optional>

#include "app/event_hook.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "player/playlist_import.h"

using playlist_import::Batch;

class PlaylistFeed final : public QObject {
public:
    static constexpr qsizetype kRowsPerTurn = 5000;

    explicit PlaylistFeed(QListWidget* list) : QObject(list), list_(list) { pool_.setMaxThreadCount(1); }
    ~PlaylistFeed() override {
        pool_.clear();  // drops not yet begun are forgotten; the one being read is waited for
        pool_.waitForDone();
    }

    // Starts reading what `data` carries: its URLs (local files as paths), else its text, one per line.
    void Add(const QMimeData& data) {
        QStringList references;
        QString text;
        if (data.hasUrls()) {
            for (const QUrl& url : data.urls())
                references.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
        } else {
            text = data.text();
        }
        // A drop that cannot be read (out of memory, say) adds nothing and says so, and the drops after it go
        // on.
        QFuture<Batch> future = QtConcurrent::run(&pool_, [references, text] {
            using namespace playlist_import;
            try {
                return Collect(references.isEmpty() ? ListedReferences(text, ListFormat::M3u) : references);
            } catch (...) {
                return Batch{{}, int(std::max<qsizetype>(references.size(), 1))};
            }
        });
        pending_.push_back({future, std::nullopt, 0});
        auto* watcher = new QFutureWatcher<Batch>(this);
        On(watcher, &QFutureWatcher<Batch>::finished, this, [this, watcher] {
            watcher->deleteLater();
            feed();
        });
        watcher->setFuture(future);
    }

private:
    struct Pending {
        QFuture<Batch> future;
        std::optional<Batch> batch;  // taken from the future once it is done
        qsizetype applied = 0;       // rows appended so far
    };

    // Appends the next rows of the oldest drop once it has been read; says so when a drop added nothing or
    // left something out.
    void feed() {
        if (pending_.empty() || !pending_.front().future.isFinished()) return;
        Pending& front = pending_.front();
        if (!front.batch) front.batch = front.future.result();
        const QStringList& rows = front.batch->rows;
        const qsizetype count = std::min(kRowsPerTurn, rows.size() - front.applied);
        list_->addItems(rows.mid(front.applied, count));
        front.applied += count;
        const bool done = front.applied == rows.size();
        const Batch finished = done ? *front.batch : Batch{};
        if (done) pending_.pop_front();
        if (!done || !pending_.empty())
            QTimer::singleShot(0, this, [this] { RunHandler([this] { feed(); }); });
        if (done) report(finished);  // last: the box's own event loop may run the next turn
    }

    static void report(const Batch& batch) {
        QString text;
        if (batch.rows.isEmpty()) {
            text = batch.tooLarge > 0
                       ? QStringLiteral(
                             "Ничего не добавлено в плейлист: плейлист слишком велик, чтобы его прочитать.")
                   : batch.tooDeep > 0
                       ? QStringLiteral(
                             "Ничего не добавлено в плейлист: плейлисты вложены друг в друга "
                             "слишком глубоко.")
                       : QStringLiteral(
                             "Ничего не добавлено в плейлист: здесь нет ни адресов http или https, ни "
                             "звуковых файлов, ни плейлистов.");
            if (batch.skipped > 0) text += QStringLiteral("\nПропущено: %1.").arg(batch.skipped);
        } else if (batch.skipped > 0 || batch.tooLarge > 0 || batch.tooDeep > 0) {
            text = QStringLiteral("Добавлено в плейлист: %1.").arg(batch.rows.size());
            if (batch.skipped > 0)
                text += QStringLiteral(" Пропущено: %1 (не адрес и не звуковой файл).").arg(batch.skipped);
            if (batch.tooLarge > 0)
                text += QStringLiteral("\nНе прочитано слишком больших плейлистов: %1.").arg(batch.tooLarge);
        }
        if (batch.tooDeep > 0)
            text += QStringLiteral("\nНе прочитано плейлистов, вложенных глубже %1 уровней: %2.")
                        .arg(playlist_import::kMaxPlaylistDepth)
                        .arg(batch.tooDeep);
        if (!text.isEmpty()) messages::ShowMessage(text);
    }

    QListWidget* list_;
    QThreadPool pool_;  // one thread: the drops are read one after another
    std::deque<Pending> pending_;
};

namespace {

// Something a drop or the clipboard carries that the playlist takes: URLs or text.
bool takes(const QMimeData* data) {
    return data && (data->hasUrls() || data->hasText());
}

}  // namespace

void TForm1::ConnectPlaylistDrops() {
    PlayListFeed = new PlaylistFeed(PlayList);
    // Every row is one height; saying so keeps a list of a million rows quick to lay out.
    PlayList->setUniformItemSizes(true);
    PlayList->viewport()->setAcceptDrops(true);
    // Drops are copied, never moved: the file manager that a file came from keeps it.
    new EventHook(PlayList->viewport(), [this](QEvent* event) {
        const auto type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
        auto* drop = static_cast<QDropEvent*>(event);
        if (!takes(drop->mimeData()) || !(drop->possibleActions() & Qt::CopyAction)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop) RunHandler([this, drop] { PlayListDragDrop(*drop->mimeData()); });
        return true;
    });
    new EventHook(PlayList, [this](QEvent* event) {
        if (event->type() != QEvent::KeyPress ||
            !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste))
            return false;
        RunHandler([this] { PlayListPaste(); });
        return true;
    });
}

void TForm1::PlayListDragDrop(const QMimeData& data) {
    PlayListFeed->Add(data);
}

void TForm1::PlayListPaste() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (takes(data)) PlayListFeed->Add(*data);
}
