#include "player/vk_links.h"

namespace vk {

QStringList ExtractLinks(QStringView markup) {
    QStringList links;
    for (qsizetype p = markup.indexOf(LinkMarker); p >= 0; p = markup.indexOf(LinkMarker, p + 1)) {
        const qsizetype comma = markup.indexOf(u',', p + LinkMarker.size());
        links.append(markup.sliced(p, (comma < 0 ? markup.size() : comma) - p).toString());
    }
    return links;
}

}  // namespace vk
