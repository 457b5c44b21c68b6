#include "player/vk_playlist_builder.h"

#include <QFutureWatcher>
#include <QtConcurrent>
#include <functional>

#include "player/playlist_model.h"
#include "player/vk_links.h"
#include "player/vk_page.h"
#include "player/vk_site.h"

// Takes the links of one audio page at a time off this thread. A page that completes while the one before is
// still being read replaces it: only the newest page's links are handed on.
class VkLinksReader final : public QObject {
public:
    using Done = std::function<void(const vk::PageLinks&)>;

    VkLinksReader(QObject* parent, Done done) : QObject(parent), done_(std::move(done)) {}

    void Read(const QString& markup) {
        if (current_) current_->deleteLater();  // its page is read to the end, its links dropped
        auto* watcher = new QFutureWatcher<vk::PageLinks>(this);
        current_ = watcher;
        connect(watcher, &QFutureWatcher<vk::PageLinks>::finished, this, [this, watcher] {
            if (watcher != current_) return;
            current_ = nullptr;
            watcher->deleteLater();
            done_(watcher->result());
        });
        watcher->setFuture(QtConcurrent::run([markup] { return vk::ExtractLinks(markup); }));
    }

private:
    Done done_;
    QFutureWatcher<vk::PageLinks>* current_ = nullptr;
};

VkPlaylistBuilder::VkPlaylistBuilder(PlaylistModel& playlist, QObject* parent)
    : QObject(parent),
      playlist_(playlist),
      reader_(new VkLinksReader(this, [this](const vk::PageLinks& page) {
          playlist_.Replace(page.links);
          if (page.leftOut > 0)
              emit message(QStringLiteral("Добавлено в плейлист: %1. Страница слишком велика, не "
                                          "добавлено ссылок: %2.")
                               .arg(page.links.size())
                               .arg(page.leftOut));
      })) {}

VkPlaylistBuilder::~VkPlaylistBuilder() = default;

void VkPlaylistBuilder::Build(const QString& contactId) {
    contactId_ = contactId;
    if (contactId_.isEmpty()) {
        emit message(NoContactId);
        return;
    }
    if (!browser_) {
        browser_ = CreateVkPage(this);
        browser_->OnDocumentComplete(
            [this](const QString& address, const QString& body) { BrowserDocumentComplete(address, body); });
    }
    browser_->Navigate(vk::LoginAddress());
}

void VkPlaylistBuilder::BrowserDocumentComplete(const QString& address, const QString& body) {
    if (address == vk::AsLoaded(vk::ProfileAddress())) browser_->Navigate(vk::AudioAddress(contactId_));
    if (address == vk::AsLoaded(vk::AudioAddress(contactId_))) reader_->Read(body);
}
