// A contact's audio page as the site may send it: the links taken from it, within the page's bounds.

#include "fuzz/fuzz_check.h"
#include "player/vk_links.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString markup = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const vk::PageLinks page = vk::ExtractLinks(markup);
    FUZZ_CHECK(page.links.size() + page.leftOut <= markup.count(vk::LinkMarker));
    FUZZ_CHECK(page.links.size() <= vk::MaxLinks);
    qsizetype taken = 0;
    for (const QString& link : page.links) {
        FUZZ_CHECK(link.startsWith(vk::LinkMarker) && !link.contains(','));
        FUZZ_CHECK(markup.contains(link));
        taken += link.size();
    }
    FUZZ_CHECK(taken <= vk::MaxLinksLength);
    return 0;
}
