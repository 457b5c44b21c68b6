#include "player/playlist_import.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <vector>

#include "common/cp1251.h"

namespace playlist_import {

namespace {

// What GStreamer's usual plugins decode; other files in a folder are left out.
const QSet<QString> kAudioSuffixes = {
    QStringLiteral("mp3"),  QStringLiteral("mp2"),  QStringLiteral("ogg"), QStringLiteral("oga"),
    QStringLiteral("opus"), QStringLiteral("flac"), QStringLiteral("wav"), QStringLiteral("aif"),
    QStringLiteral("aiff"), QStringLiteral("au"),   QStringLiteral("m4a"), QStringLiteral("aac"),
    QStringLiteral("wma"),  QStringLiteral("ape"),  QStringLiteral("wv"),  QStringLiteral("mka"),
    QStringLiteral("spx"),
};

bool isAudio(const QFileInfo& file) {
    return kAudioSuffixes.contains(file.suffix().toLower());
}

std::optional<ListFormat> playlistFormat(const QFileInfo& file) {
    const QString suffix = file.suffix().toLower();
    if (suffix == u"m3u" || suffix == u"m3u8") return ListFormat::M3u;
    if (suffix == u"pls") return ListFormat::Pls;
    return std::nullopt;
}

// Calls `line` with each line of `text` as written, without its line end; blank lines are left out.
template <typename Fn>
void forEachLine(QStringView text, Fn line) {
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r') ++end;
        const QStringView written = text.sliced(start, end - start);
        if (!written.trimmed().isEmpty()) line(written);
        start = end + 1;
    }
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A run of digits without its leading zeros (one zero is left of a run of zeros).
QStringView significant(QStringView digits) {
    while (digits.size() > 1 && digits.front() == u'0') digits = digits.sliced(1);
    return digits;
}

// Runs of digits compared as the numbers they are, however long.
int compareNumbers(QStringView a, QStringView b) {
    a = significant(a);
    b = significant(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

struct PlsEntry {
    QStringView number;
    QStringView value;
};

// The number and value of a PLS line "FileN=value" (N one or more digits, the key in any case); nothing for
// other lines.
std::optional<PlsEntry> plsFileEntry(QStringView line) {
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) return std::nullopt;
    const QStringView key = line.first(equals).trimmed();
    if (key.size() < 5 || !key.first(4).startsWith(u"file", Qt::CaseInsensitive)) return std::nullopt;
    if (!std::all_of(key.begin() + 4, key.end(), [](QChar c) { return c.isDigit(); })) return std::nullopt;
    return PlsEntry{key.sliced(4), line.sliced(equals + 1).trimmed()};
}

// File names in the order people read them: runs of digits compare as numbers ("2" before "10"), other
// characters without regard to case; names that this leaves equal ("01", "1") in plain order.
bool nameLess(QStringView a, QStringView b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            qsizetype endA = i, endB = j;
            while (endA < a.size() && isAsciiDigit(a[endA])) ++endA;
            while (endB < b.size() && isAsciiDigit(b[endB])) ++endB;
            const int order = compareNumbers(a.sliced(i, endA - i), b.sliced(j, endB - j));
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
        } else {
            const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
            if (x != y) return x < y;
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

// Audio files in `folder` whose names are not UTF-8: Qt cannot name them, so its listing leaves them out,
// but the user should hear that they were not added.
int audioFilesWithoutName(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    DIR* const listing = ::opendir(path.constData());
    if (!listing) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArrayView name(entry->d_name);
        const qsizetype dot = name.lastIndexOf('.');
        struct stat info {};
        if (name.startsWith('.') || name.isValidUtf8() || dot < 0 ||
            !kAudioSuffixes.contains(QString::fromLatin1(name.sliced(dot + 1)).toLower()) ||
            ::fstatat(::dirfd(listing), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
            continue;
        ++count;
    }
    ::closedir(listing);
    return count;
}

// Control characters never stand in an address or a file name: such text is a binary file read as text.
bool hasControlCharacters(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c == u'\x7f'; });
}

class Collector {
public:
    Batch batch;

    void reference(QStringView text, const QString& baseFolder) {
        const QString written = text.toString(), ref = text.trimmed().toString();
        if (ref.isEmpty()) return;
        if (hasControlCharacters(ref)) {
            ++batch.skipped;
            return;
        }
        const QUrl url(ref, QUrl::TolerantMode);
        const QString scheme = url.scheme().toLower();
        if (scheme == u"http" || scheme == u"https") {
            if (url.isValid() && !url.host().isEmpty())
                batch.rows.append(ref);
            else
                ++batch.skipped;
            return;
        }
        if (scheme == u"file") {
            if (url.isValid() && url.isLocalFile() && url.host().isEmpty())
                path(url.toLocalFile());
            else
                ++batch.skipped;
            return;
        }
        // A path: as written, since a name may start or end with a blank; else without the blanks around it;
        // else, from a Windows playlist, with backslashes between its folders.
        if (QDir::isRelativePath(ref) && baseFolder.isEmpty()) {
            ++batch.skipped;
            return;
        }
        const QDir base(baseFolder);
        QString local;
        for (const QString& name : {written, ref, QString(ref).replace(u'\\', u'/')}) {
            local = QDir::cleanPath(base.absoluteFilePath(name));
            if (QFileInfo::exists(local)) break;
        }
        path(local);
    }

private:
    void path(const QString& local) {
        const QFileInfo file(local);
        if (file.isDir()) {
            folder(file);
        } else if (!file.isFile()) {
            ++batch.skipped;
        } else if (const auto format = playlistFormat(file)) {
            playlist(file, *format);
        } else if (isAudio(file)) {
            batch.rows.append(row(file));
        } else {
            ++batch.skipped;
        }
    }

    void folder(const QFileInfo& folder) {
        QFileInfoList files = QDir(folder.absoluteFilePath()).entryInfoList(QDir::Files, QDir::NoSort);
        files.removeIf([](const QFileInfo& file) { return !isAudio(file); });
        const int unnamed = audioFilesWithoutName(folder.absoluteFilePath());
        batch.skipped += unnamed;
        if (files.isEmpty()) {
            if (unnamed == 0) ++batch.skipped;
            return;
        }
        std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
            return nameLess(a.fileName(), b.fileName());
        });
        for (const QFileInfo& file : files) batch.rows.append(row(file));
    }

    void playlist(const QFileInfo& file, ListFormat format) {
        const QString canonical = file.canonicalFilePath();
        if (depth_ == kMaxPlaylistDepth) {
            ++batch.tooDeep;
            return;
        }
        if (file.size() > kMaxPlaylistBytes) {
            ++batch.tooLarge;
            return;
        }
        if (read_.contains(canonical)) {
            ++batch.skipped;
            return;
        }
        read_.insert(canonical);
        QFile input(canonical);
        if (!input.open(QIODevice::ReadOnly)) {
            ++batch.skipped;
            return;
        }
        // .m3u8 is UTF-8 by definition; the older .m3u and .pls were written in the system's code page.
        const bool legacy = file.suffix().compare(u"m3u8", Qt::CaseInsensitive) != 0;
        const QString text = DecodeText(input.read(kMaxPlaylistBytes), legacy);
        input.close();
        const QString base = file.absolutePath();
        ++depth_;
        for (const QString& ref : ListedReferences(text, format)) reference(ref, base);
        --depth_;
    }

    static QString row(const QFileInfo& file) {
        return QUrl::fromLocalFile(file.absoluteFilePath()).toString();
    }

    QSet<QString> read_;  // playlists read so far
    int depth_ = 0;       // playlists being read, each listed by the one before
};

}  // namespace

QString DecodeText(QByteArrayView bytes, bool cp1251Fallback) {
    if (const auto marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked);
        return decoder(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError() && cp1251Fallback) return cp1251::Decode(bytes);
    return text;
}

QStringList ListedReferences(QStringView text, ListFormat format) {
    QStringList references;
    std::vector<PlsEntry> entries;
    forEachLine(text, [&](QStringView line) {
        if (format == ListFormat::M3u) {
            if (!line.trimmed().startsWith(u'#')) references.append(line.toString());
        } else if (const auto entry = plsFileEntry(line); entry && !entry->value.isEmpty()) {
            entries.push_back(*entry);
        }
    });
    std::stable_sort(entries.begin(), entries.end(), [](const PlsEntry& a, const PlsEntry& b) {
        return compareNumbers(a.number, b.number) < 0;
    });
    for (const PlsEntry& entry : entries) references.append(entry.value.toString());
    return references;
}

Batch Collect(const QStringList& references, const QString& baseFolder) {
    Collector collector;
    for (const QString& ref : references) collector.reference(ref, baseFolder);
    return std::move(collector.batch);
}

}  // namespace playlist_import
