// The VK playlist builder: a click logs in with the built-in account, the site's redirect to the account's
// profile leads on to the contact's audio page, and that page's audio links become the playlist. The steps
// are chained only by the addresses of the documents that complete; the contact's id is read from the
// settings window at every step, so an audio page of an id that has since changed is not read. The links
// are taken from the page on a worker thread (a page may be megabytes), and replace the playlist when taken.

#include <QFutureWatcher>
#include <QListWidget>
#include <QtConcurrent>
#include <functional>

#include "app/application.h"
#include "app/handlers.h"
#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "player/vk_links.h"
#include "player/vk_page.h"
#include "player/vk_site.h"
#include "settings/labeled_edit.h"
#include "settings/settings_window.h"

// Takes the links of one audio page at a time off the user-interface thread. A page that completes while the
// one before is still being read replaces it: only the newest page's links are handed on.
class VkLinksReader final : public QObject {
public:
    using Done = std::function<void(const vk::PageLinks&)>;

    VkLinksReader(QObject* parent, Done done) : QObject(parent), done_(std::move(done)) {}

    void Read(const QString& markup) {
        if (current_) current_->deleteLater();  // its page is read to the end, its links dropped
        auto* watcher = new QFutureWatcher<vk::PageLinks>(this);
        current_ = watcher;
        On(watcher, &QFutureWatcher<vk::PageLinks>::finished, this, [this, watcher] {
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

namespace {

QString ContactId(const App& app) {
    return app.Form2->LEdit9->text();
}

}  // namespace

void TForm1::btnVkClick() {
    if (ContactId(app).isEmpty()) {
        messages::ShowMessage(QStringLiteral("Не указан ID контакта!"));
        return;
    }
    if (!Browser) {
        Browser = CreateVkPage(this);
        Browser->OnDocumentComplete([this](const QString& address, const QString& body) {
            RunHandler([&] { BrowserDocumentComplete(address, body); });
        });
    }
    Browser->Navigate(vk::LoginAddress());
}

void TForm1::BrowserDocumentComplete(const QString& address, const QString& body) {
    if (address == vk::AsLoaded(vk::ProfileAddress())) Browser->Navigate(vk::AudioAddress(ContactId(app)));
    if (address == vk::AsLoaded(vk::AudioAddress(ContactId(app)))) VkReader->Read(body);
}

void TForm1::ConnectVkHandlers() {
    On(btnVk, &TImage2::clicked, this, &TForm1::btnVkClick);
    VkReader = new VkLinksReader(this, [this](const vk::PageLinks& page) {
        PlayList->clear();
        PlayList->addItems(page.links);
        if (page.leftOut > 0)
            messages::ShowMessage(QStringLiteral("Добавлено в плейлист: %1. Страница слишком велика, не "
                                                 "добавлено ссылок: %2.")
                                      .arg(page.links.size())
                                      .arg(page.leftOut));
    });
}
