#pragma once

// The audio links of a contact's audio page. Every link in the page's markup starts with the marker
// "http://cs" (a host of the network's audio servers) and runs up to, not including, the next comma; a marker
// with no comma after it takes the rest of the text. The search is case-sensitive and restarts one character
// after each marker found, so a marker inside a link yields a link of its own: "http://cshttp://cs1," gives
// "http://cshttp://cs1" and then "http://cs1". Links come in page order, duplicates kept, with no limit on
// their number. A link longer than MaxLinkLength is no address (a page of markers and no comma would
// otherwise give a copy of the rest of the page for each) and is left out.

#include <QStringList>
#include <QStringView>

namespace vk {

inline constexpr QStringView LinkMarker = u"http://cs";
inline constexpr qsizetype MaxLinkLength = 8192;

QStringList ExtractLinks(QStringView markup);

}  // namespace vk
