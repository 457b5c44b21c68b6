#pragma once

// WinLIRC's TCP protocol, client side, and the remote's key table.
//
// The server sends one line of text for every key event it decodes: four fields separated by single spaces,
// then a line end (LF; CR LF from some servers):
//
//     0000000000000001 00 KEY_PLAY TESTREMOTE
//     code             |  key name  remote name
//                      repeat count: "00" on the first line of a press, then one more (lower-case hex) on
//                      each repeat line while the key is held: 01..09, 0a, 0b ...
//
// A press is the "00" line; a hold is the line whose repeat count is exactly "0a" (the eleventh line of one
// continuous press). LIRC's lircd also sends BEGIN ... END blocks (replies to commands, and a broadcast when
// it reloads); they carry no key event and are skipped. Several lines may arrive in one read and one line may
// be split across reads, so the reader joins and splits them.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <functional>

// Splits the bytes a server sends into complete key lines.
class LircLineReader {
public:
    // A line longer than this is no key event: it is dropped up to its line end, and reading goes on after
    // it.
    static constexpr qsizetype MaxLineLength = 1024;

    // Takes the bytes that have arrived and returns the complete key lines among them, in order, without
    // their line ends. A partial line waits for its rest.
    QList<QByteArray> Feed(QByteArrayView bytes);

private:
    QByteArray partial_;
    bool overlong_ = false;  // dropping a line that went past MaxLineLength
    bool inBlock_ = false;   // inside a BEGIN ... END block
};

// The fields of one line, taken apart at its first three spaces. Where no space is left a field is empty; the
// rest (remote name and anything after) is kept whole.
struct LircFields {
    QString code;
    QString repeat;
    QString key;
    QString rest;
};
LircFields SplitLircLine(const QString& line);

// The event key: the repeat count followed directly by the key name ("00KEY_PLAY").
inline QString EventKey(const LircFields& fields) {
    return fields.repeat + fields.key;
}
inline bool IsPress(const LircFields& fields) {
    return fields.repeat == QLatin1String("00");
}

// What a key event can do.
enum class RemoteAction {
    AmbiLight,           // press of LEdit5
    ShowShutdownWindow,  // hold of LEdit6
    ShutDown,            // press of LEdit6: shuts down only while the confirmation is showing
    HideShutdownWindow,  // press of LEdit7
    MonitorOff,          // hold of LEdit8
    MonitorOn,           // press of LEdit8
    PlayPause,           // press of LEdit1
    NextTrack,           // press of LEdit2
    PreviousTrack,       // press of LEdit3
    ColourMusic,         // press of LEdit4
};

// Runs the key table for an event key. The boxes that always act (LEdit5 .. LEdit8) are compared first, each
// match's action running before the next comparison; then, only while `playerKeysBlocked` answers false,
// the player keys (LEdit1 .. LEdit4). `name(box)` gives a box's text at the moment of its comparison, so an
// action may change what the next comparison sees; `playerKeysBlocked` is asked only when a player key
// matches. Names are compared whole, letter case significant, nothing trimmed, so a name in two boxes runs
// both actions and an empty box matches only an empty key name.
void RunKeyTable(const QString& eventKey, const std::function<QString(int box)>& name,
                 const std::function<bool()>& playerKeysBlocked,
                 const std::function<void(RemoteAction)>& run);
