#pragma once

// The social network the playlist is built from, and the built-in account the program logs in with. These are
// fixed: the program has no setting or switch that changes them (tests reach a local site through the web
// engine's proxy setting instead).
//
// Three plain-HTTP addresses chain the build: the login address (which the site answers by redirecting to the
// account's own profile), the profile address, and the audio address of a contact, whose markup holds the
// audio links.

#include <QString>
#include <QUrl>

namespace vk {

inline constexpr char16_t LoginHost[] = u"login.vk.com";
inline constexpr char16_t MainHost[] = u"vk.com";
inline constexpr char16_t AccountEmail[] = u"varnex.player@mail.ru";
inline constexpr char16_t AccountPassword[] = u"vx7Lq2mR9";  // nine characters
inline constexpr char16_t AccountNumber[] = u"210734563";

inline QString LoginAddress() {
    return QStringLiteral("http://%1/?act=login&email=%2&pass=%3")
        .arg(LoginHost, AccountEmail, AccountPassword);
}

inline QString ProfileAddress() {
    return QStringLiteral("http://%1/id%2").arg(MainHost, AccountNumber);
}

// The contact's id is appended as it stands: the edit filters typed text, not pasted text.
inline QString AudioAddress(const QString& contactId) {
    return QStringLiteral("http://%1/audio?id=").arg(MainHost) + contactId;
}

// An address as the web engine reports a loaded document's address (percent-encoded, host in lower case, "/"
// as the path of a bare host), so that whole-string comparisons with the engine's addresses hold.
inline QString AsLoaded(const QString& address) {
    return QUrl(address).toString(QUrl::FullyEncoded);
}

}  // namespace vk
