#include "remote/winlirc.h"

#include <utility>

namespace {

const QString kPress = QStringLiteral("00");
const QString kHold = QStringLiteral("0a");

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

QList<RemoteAction> ActionsFor(const QString& eventKey, const RemoteKeyNames& names,
                               const std::function<bool()>& playerKeysBlocked) {
    const auto press = [&](int box) { return eventKey == kPress + names[box - 1]; };
    const auto hold = [&](int box) { return eventKey == kHold + names[box - 1]; };

    QList<RemoteAction> actions;
    if (press(5)) actions << RemoteAction::AmbiLight;
    if (hold(6)) actions << RemoteAction::ShowShutdownWindow;
    if (press(6)) actions << RemoteAction::ShutDown;
    if (press(7)) actions << RemoteAction::HideShutdownWindow;
    if (hold(8)) actions << RemoteAction::MonitorOff;
    if (press(8)) actions << RemoteAction::MonitorOn;

    const std::array<RemoteAction, 4> playerActions{RemoteAction::PlayPause, RemoteAction::NextTrack,
                                                    RemoteAction::PreviousTrack, RemoteAction::ColourMusic};
    QList<RemoteAction> player;
    for (int box = 1; box <= 4; ++box)
        if (press(box)) player << playerActions[box - 1];
    if (!player.isEmpty() && !playerKeysBlocked()) actions << player;
    return actions;
}
