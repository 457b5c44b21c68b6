#include "settings/profile_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <stdexcept>

#include "settings/cp1251.h"

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
    file.raw_ = std::move(bytes);
    file.text_ = cp1251::Decode(file.raw_);
    const QByteArrayView raw = file.raw_;
    qsizetype start = 0;
    while (start < raw.size()) {
        const qsizetype newline = raw.indexOf('\n', start);
        Line line{start, (newline < 0 ? raw.size() : newline) - start, newline < 0 ? qint8(0) : qint8(1)};
        if (line.eol == 1 && line.length > 0 && raw[newline - 1] == '\r') {
            line.length -= 1;
            line.eol = 2;
        }
        file.lines_.push_back(line);
        start = newline < 0 ? raw.size() : newline + 1;
    }
    return file;
}

ProfileFile ProfileFile::Load(const QString& path) {
    if (!QFileInfo::exists(path)) return {};
    QFile in(path);
    QByteArray bytes;
    if (in.open(QIODevice::ReadOnly)) bytes = in.read(kMaxFileSize + 1);
    if (!in.isOpen() || in.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize) {
        ProfileFile unreadable;
        unreadable.whole_ = false;
        return unreadable;
    }
    return Parse(std::move(bytes));
}

QByteArray ProfileFile::ToBytes() const {
    // New lines end as the file's lines already do; a new file gets CR LF, as profile files always had.
    qint8 newline = 2;
    for (const Line& line : lines_) {
        if (line.eol != 0) {
            newline = line.eol;
            break;
        }
    }
    QByteArray bytes;
    bytes.reserve(raw_.size() + 64 * static_cast<qsizetype>(written_.size()));
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        bytes.append(Bytes(line));
        const qint8 eol = line.eol != 0                           ? line.eol
                          : line.written || i + 1 < lines_.size() ? newline
                                                                  : qint8(0);
        bytes.append(eol == 2 ? "\r\n" : eol == 1 ? "\n" : "");
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
    const QStringView value = Classify(Text(lines_[*entry])).value;
    return value.first(std::min(value.size(), kMaxValueLength)).toString();
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
        entries.emplaceBack(entry.name.toString(),
                            entry.value.first(std::min(entry.value.size(), kMaxValueLength)).toString());
    }
    return entries;
}

void ProfileFile::WriteString(QStringView section, QStringView key, QStringView value) {
    if (const auto existing = FindEntry(section, key)) {
        const qint8 eol = lines_[*existing].eol;
        lines_[*existing] = MakeLine(OneLine(key) + u'=' + OneLine(value));
        lines_[*existing].eol = eol;
        return;
    }
    AppendEntries(section, {{key.toString(), value.toString()}});
}

void ProfileFile::AppendEntries(QStringView section, const QList<std::pair<QString, QString>>& entries) {
    if (entries.isEmpty()) return;
    std::vector<Line> added;
    const auto found = FindSection(section);
    if (!found) added.push_back(MakeLine(u'[' + OneLine(section) + u']'));
    for (const auto& [key, value] : entries) added.push_back(MakeLine(OneLine(key) + u'=' + OneLine(value)));
    // After the section's last line that is not blank, so that blank lines before the next section stay
    // there.
    auto at = static_cast<qsizetype>(lines_.size());
    if (found) {
        at = found->end;
        while (at - 1 > found->header && Trimmed(Text(lines_[at - 1])).isEmpty()) --at;
    }
    lines_.insert(lines_.begin() + at, added.begin(), added.end());
}

void ProfileFile::RemoveKeys(QStringView section, const std::function<bool(QStringView key)>& which) {
    std::vector<bool> gone(lines_.size());
    for (auto found = FindSection(section); found; found = FindSection(section, found->end)) {
        for (qsizetype i = found->header + 1; i < found->end; ++i) {
            const Parsed parsed = Classify(Text(lines_[i]));
            gone[i] = parsed.kind == Parsed::Entry && which(parsed.name);
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!gone[i]) lines_[kept++] = lines_[i];
    }
    lines_.resize(kept);
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
    Line line{static_cast<qsizetype>(written_.size()), bytes.size(), 0, true};
    written_.emplace_back(bytes, cp1251::Decode(bytes));
    return line;
}
