#include "player/vk_links.h"

namespace vk {

PageLinks ExtractLinks(QStringView markup) {
    PageLinks page;
    qsizetype taken = 0;  // characters of the links taken
    // The first comma after the latest marker; markers only move on, so the text is searched for commas
    // once in all.
    qsizetype comma = -1;
    for (qsizetype p = markup.indexOf(LinkMarker); p >= 0; p = markup.indexOf(LinkMarker, p + 1)) {
        if (comma < p + LinkMarker.size()) {
            comma = markup.indexOf(u',', p + LinkMarker.size());
            if (comma < 0) comma = markup.size();
        }
        const qsizetype length = comma - p;
        if (length > MaxLinkLength) continue;
        if (page.leftOut > 0 || page.links.size() == MaxLinks || taken + length > MaxLinksLength) {
            ++page.leftOut;
            continue;
        }
        page.links.append(markup.sliced(p, length).toString());
        taken += length;
    }
    return page;
}

}  // namespace vk
