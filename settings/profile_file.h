#pragma once

// A profile file (the "settings.ini" form): "[section]" lines open sections, "key=value" lines are entries.
//
// Reading: section names and keys match without regard to letter case; blanks around section names, keys and
// values do not count (so the key "Выбор порта " is found as written, trailing blank and all); one pair of
// matching quotes (" or ') around a value is not part of it; lines end in CR LF, LF or a lone CR; a value is
// cut to 2047 characters; the first of duplicate sections or keys wins; lines that are neither a section nor
// an entry (no "=") are ignored. The text is code page 1251, or UTF-8 where an editor saved it so.
//
// Writing changes only the lines it must: an existing entry's line is rewritten, a new key goes after the
// last line of its section, a new section at the end of the file. Every other line, known or not, keeps its
// bytes. Saving replaces the whole file at once, so a failed save leaves the old file as it was.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

class ProfileFile final {
public:
    static constexpr qsizetype kMaxValueLength = 2047;
    // A larger file is not a settings file; it is left alone (read as empty and never overwritten).
    static constexpr qsizetype kMaxFileSize = 8 * 1024 * 1024;

    // An empty file.
    ProfileFile() = default;
    // The file's bytes as they are: code page 1251, or UTF-8 (then held, and saved, in code page 1251).
    static ProfileFile Parse(QByteArray bytes);
    // The file at path. A missing file reads as empty. A file that cannot be read, is too large or is not a
    // regular file (a folder, a named pipe) reads as empty too, but is not whole: saving it would lose what
    // could not be read, so Save refuses.
    static ProfileFile Load(const QString& path);

    bool IsWhole() const { return whole_; }
    QByteArray ToBytes() const;
    // Replaces the file at path at once with ToBytes(). Throws std::runtime_error "Unable to write to <full
    // path>" when it cannot (the old file is then left as it was) or when this file is not whole.
    void Save(const QString& path) const;

    bool HasKey(QStringView section, QStringView key) const;
    QString ReadString(QStringView section, QStringView key, const QString& defaultValue = {}) const;
    // The value as a decimal or hexadecimal ("0x", "0X", "$") integer; the default when absent or not a
    // number.
    int ReadInteger(QStringView section, QStringView key, int defaultValue) const;
    // A flag: any integer but 0 is set; the default when absent or not a number.
    bool ReadFlag(QStringView section, QStringView key, bool defaultValue) const;

    // The keys and values of the first section of that name, in file order (values cut as ReadString cuts
    // them).
    QList<std::pair<QString, QString>> Entries(QStringView section) const;

    // Sets key to value in section, adding the key and the section where they are missing. Line breaks in the
    // section or the value become blanks, since they would end the line; a section must not hold "]". Throws
    // std::invalid_argument for a key the file cannot hold: one starting with "[" or holding "=" or a line
    // break.
    void WriteString(QStringView section, QStringView key, QStringView value);
    // Adds the entries after the last line of the section (adding the section where missing), without looking
    // for their keys first: for keys known to be absent, such as in a section just removed. Keys as for
    // WriteString.
    void AppendEntries(QStringView section, const QList<std::pair<QString, QString>>& entries);
    // Removes every section of that name, header and all its lines.
    void RemoveSection(QStringView section);

private:
    enum class Eol : qint8 { None, Lf, CrLf, Cr };  // the line end after a line's content
    static QByteArrayView EolBytes(Eol eol);
    struct Line {
        qsizetype start = 0;  // of the content in raw_ and text_, or its index in written_
        qsizetype length = 0;
        Eol eol = Eol::None;
        bool written = false;
    };
    struct Section {
        qsizetype header;  // index of the "[name]" line
        qsizetype end;     // index of the next section's line, or the number of lines
    };

    QStringView Text(const Line& line) const;
    QByteArrayView Bytes(const Line& line) const;
    std::optional<Section> FindSection(QStringView name, qsizetype from = 0) const;
    std::optional<qsizetype> FindEntry(QStringView section, QStringView key) const;
    Line MakeLine(const QString& text);

    QByteArray raw_;
    QString text_;  // raw_ decoded, character for byte
    std::vector<Line> lines_;
    std::vector<std::pair<QByteArray, QString>> written_;
    bool whole_ = true;
};

// The integer a profile value holds: optional sign, then decimal digits or "0x", "0X" or "$" and hexadecimal
// digits (up to 32 bits, read as signed), and nothing else. Empty when it is not such a number or out of
// range.
std::optional<int> ParseProfileInteger(QStringView value);
