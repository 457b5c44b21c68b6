// VK link extraction on the pages the network may send: markers back to back with no comma (each link would
// run to the end of the page), markers back to back with a comma every 8 KB (every marker a link of up to
// 8 KB, stopped by the page's bound on characters), and an ordinary page of links, by page size. Prints the
// median time of 5 runs, the links kept, and the peak resident memory of the process so far.
//
//   build/bench/bench_vk_links [characters ...]      (default 100000 200000 1000000)

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_util.h"
#include "player/vk_links.h"

int main(int argc, char** argv) {
    std::vector<qsizetype> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
    if (sizes.empty()) sizes = {100'000, 200'000, 1'000'000};
    for (const qsizetype size : sizes) {
        const QString worst = vk::LinkMarker.toString().repeated(size / vk::LinkMarker.size());
        const QString overlap = (vk::LinkMarker.toString().repeated(900) + u',').repeated(size / 8101);
        QString ordinary;
        for (int i = 0; ordinary.size() < size; ++i)
            ordinary +=
                QStringLiteral("<div>Исполнитель — Песня %1</div>'http://cs%1.test/%1.mp3',\n").arg(i);
        using Page = std::pair<const char*, const QString*>;
        for (const auto& [name, page] :
             {Page{"no comma", &worst}, Page{"overlap", &overlap}, Page{"ordinary", &ordinary}}) {
            std::vector<double> ms;
            qsizetype links = 0;
            for (int run = 0; run < 5; ++run) {
                QElapsedTimer timer;
                timer.start();
                links = vk::ExtractLinks(*page).links.size();
                ms.push_back(timer.nsecsElapsed() / 1e6);
            }
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("%-8s page of %7lld characters: %9.2f ms, %6lld links, peak resident %6.0f MB\n",
                        name, static_cast<long long>(page->size()), median(ms), static_cast<long long>(links),
                        usage.ru_maxrss / 1024.0);
        }
    }
    return 0;
}
