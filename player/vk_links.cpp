#include "player/vk_links.h"

namespace vk {

QStringList ExtractLinks(QStringView markup) {
    QStringList links;
    // The first comma after the latest marker; markers only move on, so the text is searched for commas
    // once in all.
    qsizetype comma = -1;
    for (qsizetype p = markup.indexOf(LinkMarker); p >= 0; p = markup.indexOf(LinkMarker, p + 1)) {
        if (comma < p + LinkMarker.size()) {
            comma = markup.indexOf(u',', p + LinkMarker.size());
            if (comma < 0) comma = markup.size();
        }
        if (comma - p <= MaxLinkLength) links.append(markup.sliced(p, comma - p).toString());
    }
    return links;
}

}  // namespace vk
