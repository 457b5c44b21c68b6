#include "settings/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "common/cp1251.h"

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QStringView Trimmed(QStringView s) {
    while (!s.isEmpty() && IsBlank(s.front())) s = s.sliced(1);
    while (!s.isEmpty() && IsBlank(s.back())) s.chop(1);
    return s;
}

bool SameName(QStringView a, QStringView b) {
    return Trimmed(a).compare(Trimmed(b), Qt::CaseInsensitive) == 0;
}

// What one line of the file is.
struct Parsed {
    enum Kind { Other, Section, Entry } kind = Other;
    QStringView name;  // the section name or the key, without blanks around
    QStringView value;
};

Parsed Classify(QStringView line) {
    const QStringView text = Trimmed(line);
    if (text.startsWith(u'[')) {
        const qsizetype close = text.lastIndexOf(u']');
        if (close < 0) return {};
        return {Parsed::Section, Trimmed(text.sliced(1, close - 1)), {}};
    }
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0) return {};
    return {Parsed::Entry, Trimmed(text.first(equals)), Trimmed(text.sliced(equals + 1))};
}

// A value as it reads: one pair of matching quotes around it removed (an unpaired quote stays), then cut.
QString ValueRead(QStringView value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value.first(std::min(value.size(), ProfileFile::kMaxValueLength)).toString();
}

// A key that would not read back as itself: one starting with "[" reads as a section header, "=" ends the
// key, and a line break ends the line.
void CheckKey(QStringView key) {
    if (Trimmed(key).startsWith(u'[') || key.contains(u'=') || key.contains(u'\r') || key.contains(u'\n')) {
        throw std::invalid_argument(
            ("A settings key cannot start with \"[\" or hold \"=\" or a line break: " + key.toString())
                .toStdString());
    }
}

// A text editor may have saved the file as UTF-8, with or without the signature EF BB BF. A file that is
// valid UTF-8 and not plain ASCII is read so, and held in the code page from then on, so that a save writes
// the whole file in one encoding (a character the code page cannot hold becomes "?"). Any other file is the
// code page's already.
QByteArray InCodePage(QByteArray bytes) {
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return c >= 0; });
    if (ascii || !QByteArrayView(bytes).isValidUtf8()) return bytes;
    QByteArrayView text = bytes;
    if (text.startsWith("\xEF\xBB\xBF")) text = text.sliced(3);
    return cp1251::Encode(QString::fromUtf8(text));
}

// Line breaks would split an entry into two lines; written text keeps them as blanks.
QString OneLine(QStringView text) {
    QString line = text.toString();
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    return line;
}

int DigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return 99;
}

// Up to 32 bits of digits in base 10 or 16.
std::optional<quint32> ParseDigits(QStringView digits, int base) {
    if (digits.isEmpty()) return std::nullopt;
    quint64 value = 0;
    for (QChar c : digits) {
        const int digit = DigitValue(c);
        if (digit >= base) return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<quint32>(value);
}

}  // namespace

std::optional<int> ParseProfileInteger(QStringView value) {
    bool negative = false;
    if (value.startsWith(u'+') || value.startsWith(u'-')) {
        negative = value.front() == u'-';
        value = value.sliced(1);
    }
    if (value.startsWith(u'$') || value.startsWith(u"0x") || value.startsWith(u"0X")) {
        // Hexadecimal covers all 32 bits: 0xFFFFFFFF is -1.
        const auto bits = ParseDigits(value.sliced(value.front() == u'$' ? 1 : 2), 16);
        if (!bits) return std::nullopt;
        return static_cast<qint32>(negative ? 0u - *bits : *bits);
    }
    const auto magnitude = ParseDigits(value, 10);
    const quint32 limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    if (!magnitude || *magnitude > limit) return std::nullopt;
    return static_cast<qint32>(negative ? 0u - *magnitude : *magnitude);
}

ProfileFile ProfileFile::Parse(QByteArray bytes) {
    ProfileFile file;
    file.raw_ = InCodePage(std::move(bytes));
    file.text_ = cp1251::Decode(file.raw_);
    const char* const raw = file.raw_.constData();
    const qsizetype size = file.raw_.size();
    for (qsizetype start = 0; start < size;) {
        const char* end =
            std::find_if(raw + start, raw + size, [](char c) { return c == '\n' || c == '\r'; });
        const qsizetype at = end - raw;
        const Eol eol = at == size                        ? Eol::None
                        : *end == '\n'                    ? Eol::Lf
                        : at + 1 < size && end[1] == '\n' ? Eol::CrLf
                                                          : Eol::Cr;
        file.lines_.push_back(Line{start, at - start, eol});
        start = at + EolBytes(eol).size();
    }
    return file;
}

ProfileFile ProfileFile::Load(const QString& path) {
    // Opened without waiting, since a named pipe would wait for a writer; anything but a regular file is
    // unreadable.
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0 && errno == ENOENT) return {};
    struct stat info {};
    const bool regular = handle >= 0 && fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
    if (handle >= 0 && !regular) ::close(handle);
    QFile in;
    QByteArray bytes;
    if (regular && in.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        bytes = in.read(kMaxFileSize + 1);
    if (!in.isOpen() || in.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize) {
        ProfileFile unreadable;
        unreadable.whole_ = false;
        return unreadable;
    }
    return Parse(std::move(bytes));
}

QByteArray ProfileFile::ToBytes() const {
    // New lines end as the file's first line does; a new file gets CR LF, as profile files always had.
    Eol newline = Eol::CrLf;
    for (const Line& line : lines_) {
        if (line.eol != Eol::None) {
            newline = line.eol;
            break;
        }
    }
    QByteArray bytes;
    bytes.reserve(raw_.size() + 64 * static_cast<qsizetype>(written_.size()));
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        bytes.append(Bytes(line));
        bytes.append(EolBytes(line.eol != Eol::None                   ? line.eol
                              : line.written || i + 1 < lines_.size() ? newline
                                                                      : Eol::None));
    }
    return bytes;
}

void ProfileFile::Save(const QString& path) const {
    const QByteArray bytes = ToBytes();
    QSaveFile out(path);
    // A writable file in a folder that is not writable can still be written in place.
    out.setDirectWriteFallback(true);
    if (!whole_ || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        throw std::runtime_error(("Unable to write to " + QFileInfo(path).absoluteFilePath()).toStdString());
    }
}

bool ProfileFile::HasKey(QStringView section, QStringView key) const {
    return FindEntry(section, key).has_value();
}

QString ProfileFile::ReadString(QStringView section, QStringView key, const QString& defaultValue) const {
    const auto entry = FindEntry(section, key);
    if (!entry) return defaultValue;
    return ValueRead(Classify(Text(lines_[*entry])).value);
}

int ProfileFile::ReadInteger(QStringView section, QStringView key, int defaultValue) const {
    return ParseProfileInteger(ReadString(section, key)).value_or(defaultValue);
}

bool ProfileFile::ReadFlag(QStringView section, QStringView key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

QList<std::pair<QString, QString>> ProfileFile::Entries(QStringView section) const {
    QList<std::pair<QString, QString>> entries;
    const auto found = FindSection(section);
    for (qsizetype i = found ? found->header + 1 : 0; found && i < found->end; ++i) {
        const Parsed entry = Classify(Text(lines_[i]));
        if (entry.kind != Parsed::Entry) continue;
        entries.emplaceBack(entry.name.toString(), ValueRead(entry.value));
    }
    return entries;
}

void ProfileFile::WriteString(QStringView section, QStringView key, QStringView value) {
    CheckKey(key);
    if (const auto existing = FindEntry(section, key)) {
        const Eol eol = lines_[*existing].eol;
        lines_[*existing] = MakeLine(key.toString() + u'=' + OneLine(value));
        lines_[*existing].eol = eol;
        return;
    }
    AppendEntries(section, {{key.toString(), value.toString()}});
}

void ProfileFile::AppendEntries(QStringView section, const QList<std::pair<QString, QString>>& entries) {
    if (entries.isEmpty()) return;
    for (const auto& entry : entries) CheckKey(entry.first);
    std::vector<Line> added;
    const auto found = FindSection(section);
    if (!found) added.push_back(MakeLine(u'[' + OneLine(section) + u']'));
    for (const auto& [key, value] : entries) added.push_back(MakeLine(key + u'=' + OneLine(value)));
    // After the section's last line that is not blank, so that blank lines before the next section stay
    // there.
    auto at = static_cast<qsizetype>(lines_.size());
    if (found) {
        at = found->end;
        while (at - 1 > found->header && Trimmed(Text(lines_[at - 1])).isEmpty()) --at;
    }
    lines_.insert(lines_.begin() + at, added.begin(), added.end());
}

void ProfileFile::RemoveSection(QStringView section) {
    for (auto found = FindSection(section); found; found = FindSection(section, found->header)) {
        lines_.erase(lines_.begin() + found->header, lines_.begin() + found->end);
    }
}

QByteArrayView ProfileFile::EolBytes(Eol eol) {
    switch (eol) {
        case Eol::Lf:
            return "\n";
        case Eol::CrLf:
            return "\r\n";
        case Eol::Cr:
            return "\r";
        case Eol::None:
            break;
    }
    return {};
}

QStringView ProfileFile::Text(const Line& line) const {
    return line.written ? QStringView(written_[line.start].second)
                        : QStringView(text_).sliced(line.start, line.length);
}

QByteArrayView ProfileFile::Bytes(const Line& line) const {
    return line.written ? QByteArrayView(written_[line.start].first)
                        : QByteArrayView(raw_).sliced(line.start, line.length);
}

std::optional<ProfileFile::Section> ProfileFile::FindSection(QStringView name, qsizetype from) const {
    const auto size = static_cast<qsizetype>(lines_.size());
    for (qsizetype i = from; i < size; ++i) {
        const Parsed header = Classify(Text(lines_[i]));
        if (header.kind != Parsed::Section || !SameName(header.name, name)) continue;
        qsizetype end = i + 1;
        while (end < size && Classify(Text(lines_[end])).kind != Parsed::Section) ++end;
        return Section{i, end};
    }
    return std::nullopt;
}

std::optional<qsizetype> ProfileFile::FindEntry(QStringView section, QStringView key) const {
    const auto found = FindSection(section);
    if (!found) return std::nullopt;
    for (qsizetype i = found->header + 1; i < found->end; ++i) {
        const Parsed entry = Classify(Text(lines_[i]));
        if (entry.kind == Parsed::Entry && SameName(entry.name, key)) return i;
    }
    return std::nullopt;
}

ProfileFile::Line ProfileFile::MakeLine(const QString& text) {
    // The line reads back as its bytes will: a character the code page cannot hold is "?" here too.
    QByteArray bytes = cp1251::Encode(text);
    Line line{static_cast<qsizetype>(written_.size()), bytes.size(), Eol::None, true};
    written_.emplace_back(bytes, cp1251::Decode(bytes));
    return line;
}
