#include "remote/winlirc.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

const QString kPress = QStringLiteral("00");
const QString kHold = QStringLiteral("0a");

// One comparison of the key table: the event key against the press or the hold of a box's name.
struct KeyComparison {
    int box;  // LEdit1 .. LEdit8
    bool hold;
    RemoteAction action;
};

using A = RemoteAction;
constexpr std::array<KeyComparison, 6> kAlwaysActing{{{5, false, A::AmbiLight},
                                                      {6, true, A::ShowShutdownWindow},
                                                      {6, false, A::ShutDown},
                                                      {7, false, A::HideShutdownWindow},
                                                      {8, true, A::MonitorOff},
                                                      {8, false, A::MonitorOn}}};
constexpr std::array<KeyComparison, 4> kPlayerKeys{{{1, false, A::PlayPause},
                                                    {2, false, A::NextTrack},
                                                    {3, false, A::PreviousTrack},
                                                    {4, false, A::ColourMusic}}};

}  // namespace

QList<QByteArray> LircLineReader::Feed(QByteArrayView bytes) {
    QList<QByteArray> lines;
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        bytes = end < 0 ? QByteArrayView() : bytes.sliced(end + 1);

        if (!overlong_) {
            if (partial_.size() + piece.size() > MaxLineLength) {
                partial_.clear();
                overlong_ = true;
            } else {
                partial_.append(piece);
            }
        }
        if (end < 0) break;  // the line goes on in a later read

        QByteArray line = std::exchange(partial_, {});
        if (std::exchange(overlong_, false)) continue;
        if (line.endsWith('\r')) line.chop(1);
        if (inBlock_) {
            inBlock_ = line != "END";
        } else if (line == "BEGIN") {
            inBlock_ = true;
        } else {
            lines.append(line);
        }
    }
    return lines;
}

LircFields SplitLircLine(const QString& line) {
    LircFields fields;
    QStringView text = line;
    for (QString* field : {&fields.code, &fields.repeat, &fields.key}) {
        const qsizetype space = text.indexOf(u' ');
        if (space < 0) continue;
        *field = text.first(space).toString();
        text = text.sliced(space + 1);
    }
    fields.rest = text.toString();
    return fields;
}

void RunKeyTable(const QString& eventKey, const std::function<QString(int box)>& name,
                 const std::function<bool()>& playerKeysBlocked,
                 const std::function<void(RemoteAction)>& run) {
    const auto matches = [&](const KeyComparison& comparison) {
        return eventKey == (comparison.hold ? kHold : kPress) + name(comparison.box);
    };
    for (const KeyComparison& comparison : kAlwaysActing)
        if (matches(comparison)) run(comparison.action);
    if (std::none_of(kPlayerKeys.begin(), kPlayerKeys.end(), matches) || playerKeysBlocked()) return;
    for (const KeyComparison& comparison : kPlayerKeys)
        if (matches(comparison)) run(comparison.action);
}
