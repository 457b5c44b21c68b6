// The VK playlist builder: a click logs in with the built-in account, the site's redirect to the account's
// profile leads on to the contact's audio page, and that page's audio links become the playlist. The steps
// are chained only by the addresses of the documents that complete; the contact's id is read from the
// settings window at every step, so an audio page of an id that has since changed is not read.

#include <QListWidget>

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
    if (address == vk::AsLoaded(vk::AudioAddress(ContactId(app)))) {
        PlayList->clear();
        PlayList->addItems(vk::ExtractLinks(body));
    }
}

void TForm1::ConnectVkHandlers() {
    On(btnVk, &TImage2::clicked, this, &TForm1::btnVkClick);
}
