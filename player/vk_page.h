#pragma once

// The hidden browser the playlist builder loads the network's pages into: a web page with no view. It
// navigates to an address and raises the document-complete event for every document that finished loading,
// with the document's address (as the engine writes it, see vk::AsLoaded) and the markup of its body, read
// after the page's scripts ran. A load that failed (unreachable host, connection cut mid-page, ...) raises
// nothing: the engine then shows an error page of its own at the requested address, which is never the
// page asked for. Cookies the site sets are kept for the later navigations of the same run, in memory only.
//
// The engine (Qt WebEngine, a whole browser) lives in a module of its own, varnex_web.so beside the
// executable, loaded on first use, so that a run that never builds a playlist does not load it at all.

#include <QString>
#include <functional>

class QObject;

class VkPage {
public:
    using DocumentComplete = std::function<void(const QString& address, const QString& body)>;

    virtual ~VkPage() = default;
    virtual void Navigate(const QString& address) = 0;
    // Replaces the handler of the document-complete event; it runs on the user-interface thread.
    virtual void OnDocumentComplete(DocumentComplete handler) = 0;
};

// Loads the engine's module and makes a page owned by `parent` (deleted with it). Throws std::runtime_error
// saying why when the module cannot be loaded. Running as root, the engine's sandbox is switched off (its
// sandbox refuses to run as root); otherwise the sandbox stays on.
VkPage* CreateVkPage(QObject* parent);

// Sets what the engine reads from the environment when it starts: the software drawing its pages need and,
// running as root, its sandbox switched off (the sandbox refuses to run as root). A variable the user set is
// kept. The environment may only change while no other thread reads it (glibc's setenv frees the array that
// a concurrent getenv walks), so the program calls this at its start, before its first thread; CreateVkPage
// calls it again, which then changes nothing.
void PrepareVkPageEnvironment();

// The module's one entry point, resolved by name.
extern "C" using CreateVkPageFunction = VkPage * (QObject * parent);
inline constexpr char CreateVkPageSymbol[] = "VarnexCreateVkPage";
inline constexpr char VkPageModule[] = "varnex_web.so";
