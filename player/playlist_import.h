#pragma once

// Filling the playlist from outside VK: http and https addresses, local audio files, folders of them and
// playlist files (.m3u, .m3u8, .pls), as dropped onto the playlist or pasted into it.
//
// A playlist row is the text the player plays: an address exactly as it was given, or a local file as a
// file:// URL in its readable form (blanks and letters as they are; only "%", "#" and "?" escaped), which the
// audio library's URL stream opens. Nothing here touches a widget, so it runs off the user-interface thread;
// it reads the file system (folders, playlist files, whether a listed file exists) and nothing else.

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace playlist_import {

// Playlist files larger than this are not read: no playlist is that big, and reading one would only fill the
// memory.
inline constexpr qint64 kMaxPlaylistBytes = 64 * 1024 * 1024;

// How deep playlists are read inside playlists: the one given is the first level. A station's playlist that
// lists a playlist of its own is two; a chain of thousands (each file listing the next) would only exhaust
// the reader's stack.
inline constexpr int kMaxPlaylistDepth = 16;

enum class ListFormat {
    M3u,  // one reference a line, "#" lines are comments (#EXTM3U, #EXTINF); dropped text reads the same way
    Pls,  // an ini-like text whose FileN keys hold the references
};

// The text of a playlist file: by its byte-order mark when it has one (UTF-8, UTF-16, UTF-32), otherwise
// UTF-8 when the bytes are valid UTF-8, otherwise code page 1251 when `cp1251Fallback` (the .m3u files of
// Russian Windows players), otherwise UTF-8 with replacement characters.
QString DecodeText(QByteArrayView bytes, bool cp1251Fallback);

// The references `text` lists: M3u lines as written (only the line end is not part of them), in order;
// Pls values without the blanks around them, in the order of their FileN numbers (equal numbers in line
// order). Lines end in CR LF, LF or CR; blank lines are skipped.
QStringList ListedReferences(QStringView text, ListFormat format);

struct Batch {
    QStringList rows;  // new playlist rows, in order
    // references that were neither an address nor an existing audio file, folder or playlist, and audio
    // files that could not be added
    int skipped = 0;
    int tooLarge = 0;  // playlist files larger than kMaxPlaylistBytes, not read
    int tooDeep = 0;   // playlist files listed deeper than kMaxPlaylistDepth, not read
};

// Turns references into rows, in order:
// - an http or https address with a host is a row as written; any other scheme is skipped;
// - a file:// URL or a path (relative ones against `baseFolder`, and skipped without one; a path is tried
//   as written, then without the blanks around it) names:
//   - an audio file (by its extension): one row;
//   - a folder: a row for each audio file directly in it, in name order with numbers compared as numbers
//     (subfolders and other files are left out; a folder without audio files counts as skipped, and so does
//     each audio file whose name is not UTF-8, which Qt cannot list);
//   - a playlist file (.m3u, .m3u8, .pls): its references in turn, relative ones against its folder. Each
//     playlist is read once per call, so one that lists itself (or a loop of them) ends there; one larger
//     than kMaxPlaylistBytes is not read but counted in tooLarge, and so is one nested deeper than
//     kMaxPlaylistDepth, in tooDeep.
// Anything else (a missing file, another kind of file, text that is no address) is counted as skipped.
Batch Collect(const QStringList& references, const QString& baseFolder = {});

}  // namespace playlist_import
