#include "player/playlist_feed.h"

#include <QFutureWatcher>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>
#include <algorithm>

#include "player/playlist_model.h"

using playlist_import::Batch;

PlaylistFeed::PlaylistFeed(PlaylistModel& playlist, Report report, QObject* parent)
    : QObject(parent), playlist_(playlist), report_(std::move(report)) {
    pool_.setMaxThreadCount(1);
}

PlaylistFeed::~PlaylistFeed() {
    pool_.clear();  // drops not yet begun are forgotten; the one being read is waited for
    pool_.waitForDone();
}

void PlaylistFeed::Add(const QMimeData& data) {
    QStringList references;
    QString text;
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls())
            references.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    } else {
        text = data.text();
    }
    // A drop that cannot be read (out of memory, say) adds nothing and says so, and the drops after it go on.
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
    connect(watcher, &QFutureWatcher<Batch>::finished, this, [this, watcher] {
        watcher->deleteLater();
        feed();
    });
    watcher->setFuture(future);
}

// Appends the next rows of the oldest drop once it has been read; says so when a drop added nothing or left
// something out.
void PlaylistFeed::feed() {
    if (pending_.empty() || !pending_.front().future.isFinished()) return;
    Pending& front = pending_.front();
    if (!front.batch) front.batch = front.future.result();
    const QStringList& rows = front.batch->rows;
    const qsizetype count = std::min(kRowsPerTurn, rows.size() - front.applied);
    playlist_.Append(rows.mid(front.applied, count));
    front.applied += count;
    const bool done = front.applied == rows.size();
    const Batch finished = done ? *front.batch : Batch{};
    if (done) pending_.pop_front();
    if (!done || !pending_.empty()) QTimer::singleShot(0, this, [this] { feed(); });
    if (!done) return;
    // Last: the message box's own event loop may run the next turn.
    if (const QString text = ReportOf(finished); !text.isEmpty()) report_(text);
}

QString PlaylistFeed::ReportOf(const Batch& batch) {
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
    return text;
}
