// A contact's audio page as the site may send it: the links taken from it.

#include "fuzz/fuzz_check.h"
#include "player/vk_links.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString markup = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList links = vk::ExtractLinks(markup);
    FUZZ_CHECK(links.size() <= markup.count(vk::LinkMarker));
    for (const QString& link : links) {
        FUZZ_CHECK(link.startsWith(vk::LinkMarker) && !link.contains(','));
        FUZZ_CHECK(markup.contains(link));
    }
    return 0;
}
