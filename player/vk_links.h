#pragma once

// The audio links of a contact's audio page. Every link in the page's markup starts with the marker
// "http://cs" (a host of the network's audio servers) and runs up to, not including, the next comma; a marker
// with no comma after it takes the rest of the text. The search is case-sensitive and restarts one character
// after each marker found, so a marker inside a link yields a link of its own: "http://cshttp://cs1," gives
// "http://cshttp://cs1" and then "http://cs1". Links come in page order, duplicates kept. A link longer than
// MaxLinkLength is no address (a page of markers and no comma would otherwise give a copy of the rest of the
// page for each) and is left out.
//
// What one page may give is bounded: markers back to back overlap, so a page of a few megabytes could
// otherwise ask for gigabytes of links. The links are taken in page order until MaxLinks of them, or
// MaxLinksLength characters of them together, are taken; the links after that are counted, not kept. A real
// audio page (links of a few hundred characters, a few thousand of them) never comes near either bound.

#include <QStringList>
#include <QStringView>

namespace vk {

inline constexpr QStringView LinkMarker = u"http://cs";
inline constexpr qsizetype MaxLinkLength = 8192;
inline constexpr qsizetype MaxLinks = 100'000;
inline constexpr qsizetype MaxLinksLength = 16 * 1024 * 1024;  // characters, all links of a page together

struct PageLinks {
    QStringList links;
    qsizetype leftOut = 0;  // links past the bounds, not taken
};

PageLinks ExtractLinks(QStringView markup);

}  // namespace vk
