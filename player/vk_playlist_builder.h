#pragma once

// The VK playlist builder: Build logs in with the built-in account, the site's redirect to the account's
// profile leads on to the contact's audio page, and that page's audio links replace the playlist. The steps
// are chained only by the addresses of the documents that complete, each compared with the contact id in
// force at that step, so that an audio page of an id that has since changed is not read. The links are
// taken from the page on a worker thread (a page may be megabytes). The hidden browser (VkPage) is made by
// the first Build, which loads the web engine's module.

#include <QObject>
#include <QString>

class PlaylistModel;
class VkLinksReader;
class VkPage;

class VkPlaylistBuilder final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VkPlaylistBuilder)

public:
    static inline const QString NoContactId = QStringLiteral("Не указан ID контакта!");

    VkPlaylistBuilder(PlaylistModel& playlist, QObject* parent = nullptr);
    ~VkPlaylistBuilder() override;

    // Builds the playlist of `contactId`'s audio page; with no id, only says so. Throws std::runtime_error
    // when the web engine's module cannot be loaded.
    void Build(const QString& contactId);
    // The contact id changed while a build may be under way: its later steps follow the new id.
    void SetContactId(const QString& contactId) { contactId_ = contactId; }
    // The hidden browser finished loading a document: the step that address leads to.
    void BrowserDocumentComplete(const QString& address, const QString& body);

    // The hidden browser; nullptr until the first build with an id.
    VkPage* Browser() const { return browser_; }

signals:
    void message(const QString& text);

private:
    PlaylistModel& playlist_;
    QString contactId_;
    VkPage* browser_ = nullptr;
    VkLinksReader* reader_;
};
