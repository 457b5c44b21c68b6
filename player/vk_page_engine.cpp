// The hidden browser over Qt WebEngine: one page with no view, in a profile of its own kept in memory (its
// cookies last for the run and nothing is written to disk). This file is the module varnex_web.so; the
// program loads it on first use (player/vk_page.cpp).

#include <QLoggingCategory>
#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include "player/vk_page.h"

namespace {

class EnginePage final : public QObject, public VkPage {
public:
    explicit EnginePage(QObject* parent)
        : QObject(parent), profile_(new QWebEngineProfile(this)), page_(new QWebEnginePage(profile_, this)) {
        connect(page_, &QWebEnginePage::loadStarted, this, [this] { ++loads_; });
        connect(page_, &QWebEnginePage::loadFinished, this, &EnginePage::loadFinished);
    }

    ~EnginePage() override {
        handler_ = nullptr;
        delete page_;  // before its profile
    }

    void Navigate(const QString& address) override { page_->load(QUrl(address)); }
    void OnDocumentComplete(DocumentComplete handler) override { handler_ = std::move(handler); }

private:
    // A failed load leaves the engine's error page at the requested address: it is not the document asked
    // for. The body is read in a world of its own (the page's scripts cannot stand in for the DOM's own
    // properties) and dropped when another load has started meanwhile, since it would then belong to another
    // document.
    void loadFinished(bool ok) {
        if (!ok) return;
        const QString address = page_->url().toString(QUrl::FullyEncoded);
        page_->runJavaScript(QStringLiteral("document.body ? document.body.innerHTML : ''"),
                             QWebEngineScript::ApplicationWorld,
                             [self = QPointer(this), load = loads_, address](const QVariant& body) {
                                 if (self && self->handler_ && self->loads_ == load)
                                     self->handler_(address, body.toString());
                             });
    }

    QWebEngineProfile* profile_;
    QWebEnginePage* page_;
    DocumentComplete handler_;
    quint64 loads_ = 0;
};

}  // namespace

extern "C" Q_DECL_EXPORT VkPage* VarnexCreateVkPage(QObject* parent) {
    // The environment the engine reads was prepared by PrepareVkPageEnvironment. Its report of the graphics
    // set-up is left out of standard error.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    return new EnginePage(parent);
}
