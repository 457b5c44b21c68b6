// The profile file: reading and writing rules, and input that is not what the program writes.

#include <QRandomGenerator>
#include <QTest>
#include <tuple>

#include "common/cp1251.h"
#include "settings/profile_file.h"
#include "tests/support/error_of.h"

namespace {

ProfileFile FromText(const QString& text) {
    return ProfileFile::Parse(cp1251::Encode(text));
}
QString TextOf(const ProfileFile& file) {
    return cp1251::Decode(file.ToBytes());
}

}  // namespace

class ProfileFileTest : public QObject {
    Q_OBJECT

private slots:
    void codePage1251() {
        const QByteArray bytes("\xCE\xF2\xEC\xE5\xED\xE0");  // "Отмена" in code page 1251
        QCOMPARE(cp1251::Decode(bytes), QStringLiteral("Отмена"));
        QCOMPARE(cp1251::Encode(QStringLiteral("Отмена")), bytes);
        // Every byte, the unassigned 0x98 included, comes back as itself.
        QByteArray all;
        for (int b = 0; b < 256; ++b) all.append(char(b));
        const QString decoded = cp1251::Decode(all);
        QCOMPARE(decoded.size(), 256);
        QCOMPARE(decoded.at(0x98), QChar(0x98));
        QCOMPARE(cp1251::Encode(decoded), all);
        // What the code page cannot hold becomes one "?" per character, surrogate pairs included.
        QCOMPARE(cp1251::Encode(QStringLiteral("a€文😀b")), QByteArray("a\x88??b"));
        QCOMPARE(cp1251::Encode(QString(QChar(0xD800))), QByteArray("?"));

        // A file an editor saved as UTF-8, with the signature or without, reads as UTF-8 and is written back
        // whole in the code page, without the signature.
        for (const QByteArray& signature : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
            ProfileFile file = ProfileFile::Parse(signature + QStringLiteral("[Общие]\nID=ж 文\n").toUtf8());
            file.WriteString(u"Общие", u"Отмена", u"да");
            QCOMPARE(TextOf(file), QStringLiteral("[Общие]\nID=ж ?\nОтмена=да\n"));
        }
        QCOMPARE(ProfileFile::Parse("\xEF\xBB\xBF[s]\nk=v").ReadString(u"s", u"k"), QStringLiteral("v"));
    }

    void readsWindowsProfileSemantics() {
        const ProfileFile file =
            FromText(QStringLiteral("orphan=before any section\r\n"
                                    "[Общие настройки]\r\n"
                                    "  ID контакта\t =  12345  \r\n"
                                    "Путь к WinLirc=/usr/bin/lircd=1\n"
                                    "Пусто=\r\n"
                                    "[ AmbiLight ] trailing words\n"
                                    "1=0,300"));
        // Blanks around a key do not count, in the file or asked for (as the port's key "Выбор порта " is).
        QCOMPARE(file.ReadString(u"общие НАСТРОЙКИ", u"id КОНТАКТА "), QStringLiteral("12345"));
        QCOMPARE(file.ReadString(u"Общие настройки", u"путь к winlirc"), QStringLiteral("/usr/bin/lircd=1"));
        QVERIFY(file.HasKey(u"Общие настройки", u"Пусто"));
        QCOMPARE(file.ReadString(u"Общие настройки", u"Пусто", QStringLiteral("x")), QString());
        QCOMPARE(file.ReadString(u"ambilight", u"1"), QStringLiteral("0,300"));
        // Keys before the first section belong to none; keys do not leak between sections.
        QVERIFY(!file.HasKey(u"", u"orphan"));
        QVERIFY(!file.HasKey(u"AmbiLight", u"ID контакта"));
        QCOMPARE(file.ReadString(u"Нет такой", u"1", QStringLiteral("default")), QStringLiteral("default"));
        // Values are cut to 2047 characters, after one pair of matching quotes around them is removed.
        const ProfileFile longValue =
            FromText(QStringLiteral("[s]\nk=\"") + QString(5000, u'ж') + QStringLiteral("\"\n"));
        QCOMPARE(longValue.ReadString(u"s", u"k"), QString(2047, u'ж'));

        // Lone CRs end lines too; an unpaired quote stays.
        QStringList values;
        for (const auto& entry :
             ProfileFile::Parse("[s]\r1=\"/opt/Win Lirc/lircd\"\r2= 'x' \r3=\" a \"\r4=\"\"\r5=\"\r"
                                "6=\"x\r7=\"x'\r8=x'\r9=\"\"x\"\"")
                 .Entries(u"s"))
            values << entry.second;
        QCOMPARE(values,
                 (QStringList{"/opt/Win Lirc/lircd", "x", " a ", "", "\"", "\"x", "\"x'", "x'", "\"x\""}));
    }

    void integersAndFlags() {
        using Number = std::pair<const char*, int>;
        for (const auto& [text, value] :
             {Number{"1", 1}, Number{"0", 0}, Number{"0x1", 1}, Number{"0X1f", 31}, Number{"$FF", 255},
              Number{"-5", -5}, Number{"+7", 7}, Number{"007", 7}, Number{"2147483647", 2147483647},
              Number{"-2147483648", -2147483647 - 1}, Number{"0xFFFFFFFF", -1}, Number{"-$1", -1}})
            QVERIFY2(ParseProfileInteger(QString::fromUtf8(text)) == value, text);
        // An Arabic-Indic digit is not a digit here.
        for (const char* text :
             {"2147483648", "0x100000000", "yes", "", "0x", "$", "12abc", "1 2", "0x1g", "--1", "١"})
            QVERIFY2(!ParseProfileInteger(QString::fromUtf8(text)).has_value(), text);

        const ProfileFile file = FromText(
            QStringLiteral("[s]\nhex=0x1\nyes=yes\nzero=0\ntwo=2\nblank=   \nspaced=  0X10  \nminus=-1\n"));
        using Flag = std::tuple<const char16_t*, bool, bool>;  // key, default, read
        for (const auto& [key, byDefault, expected] :
             {Flag{u"hex", false, true}, Flag{u"yes", true, true}, Flag{u"yes", false, false},
              Flag{u"zero", true, false}, Flag{u"two", false, true}, Flag{u"blank", true, true},
              Flag{u"missing", true, true}, Flag{u"minus", false, true}})
            QVERIFY2(file.ReadFlag(u"s", key, byDefault) == expected, qPrintable(QString::fromUtf16(key)));
        QCOMPARE(file.ReadInteger(u"s", u"spaced", 0), 16);
        QCOMPARE(file.ReadInteger(u"s", u"yes", 42), 42);
    }

    void writingChangesOnlyWhatItMust() {
        const QString before = QStringLiteral(
            "; comment\n"
            "[Общие настройки]\n"
            "Неизвестный ключ = оставить  \n"
            "id контакта=1\n"
            "строка без равенства\n"
            "\n"
            "[Чужая секция]\n"
            "a=b\n");
        ProfileFile file = FromText(before);
        file.WriteString(u"Общие настройки", u"ID контакта", u"777");
        file.WriteString(u"Общие настройки", u"Светомузыка", u"KEY_RED");
        file.WriteString(u"Новая", u"k", u"v");
        // An existing key is rewritten where it stands; a new one ends its section (before the blank line); a
        // new section ends the file; lines end as the file's lines do (LF here).
        QCOMPARE(TextOf(file), QStringLiteral("; comment\n"
                                              "[Общие настройки]\n"
                                              "Неизвестный ключ = оставить  \n"
                                              "ID контакта=777\n"
                                              "строка без равенства\n"
                                              "Светомузыка=KEY_RED\n"
                                              "\n"
                                              "[Чужая секция]\n"
                                              "a=b\n"
                                              "[Новая]\n"
                                              "k=v\n"));

        // A new line ends as the file's first line does (CR LF in a new file); a last line without a line end
        // gets one when something follows it.
        using Ending = std::pair<QByteArray, QByteArray>;
        for (const auto& [before, after] :
             {Ending{"", "[s]\r\nb=2\r\n"}, Ending{"[s]\r\na=1", "[s]\r\na=1\r\nb=2\r\n"},
              Ending{"[s]\r\na=1\nc=3\n", "[s]\r\na=1\nc=3\nb=2\r\n"},
              Ending{"[s]\na=1\r\n", "[s]\na=1\r\nb=2\n"}, Ending{"[s]\ra=1\r", "[s]\ra=1\rb=2\r"}}) {
            ProfileFile file = ProfileFile::Parse(before);
            QCOMPARE(file.ToBytes(), before);
            file.WriteString(u"s", u"b", u"2");
            QCOMPARE(file.ToBytes(), after);
        }

        // Line breaks in a value cannot make new lines, keys or sections.
        ProfileFile injected;
        injected.WriteString(u"s", u"k", u"x\r\n[evil]\r\nk=v");
        QCOMPARE(injected.ToBytes(), QByteArray("[s]\r\nk=x  [evil]  k=v\r\n"));
        QCOMPARE(ProfileFile::Parse(injected.ToBytes()).ReadString(u"evil", u"k", QStringLiteral("none")),
                 QStringLiteral("none"));
        // A character the code page cannot hold is stored, and read back, as "?".
        injected.WriteString(u"s", u"k", u"путь/文");
        QCOMPARE(injected.ReadString(u"s", u"k"), QStringLiteral("путь/?"));
        // Keys that would not read back as themselves are refused, and nothing is written.
        for (const QString key : {"[evil]", " [x", "a=b", "a\nb", "a\rb"}) {
            QCOMPARE(ErrorOf([&] { injected.WriteString(u"s", key, u"v"); }),
                     "A settings key cannot start with \"[\" or hold \"=\" or a line break: " + key);
        }
        QCOMPARE(injected.ToBytes(), cp1251::Encode(u"[s]\r\nk=путь/?\r\n"));
    }

    // The first of duplicate keys and sections is read and written; RemoveSection removes every one.
    void sectionsAndKeysOfOneName() {
        ProfileFile file = FromText(QStringLiteral("[s]\nk=first\nK=second\n[S]\nk=third\nx=1\n"));
        QCOMPARE(file.ReadString(u"s", u"k"), QStringLiteral("first"));
        QVERIFY(!file.HasKey(u"s", u"x"));  // the second section of the name is shadowed
        file.WriteString(u"s", u"k", u"new");
        QCOMPARE(TextOf(file), QStringLiteral("[s]\nk=new\nK=second\n[S]\nk=third\nx=1\n"));
        file = FromText(QStringLiteral("[m]\n1=a\n; note\n\n[other]\n1=keep\n[ M ]\n1=c\n"));
        file.RemoveSection(u"m");
        QCOMPARE(TextOf(file), QStringLiteral("[other]\n1=keep\n"));
    }

    void badInputIsReadAndKeptWhole() {
        // Binary bytes, every byte value, an unassigned byte in a value, lines without "=" and lone CRs.
        QByteArray junk = "first line\n";
        QRandomGenerator random(1251);
        for (int i = 0; i < 20000; ++i) junk.append(char(random.bounded(256)));
        for (int b = 0; b < 256; ++b) junk.append(char(b));
        const QByteArray bytes =
            junk + "\n[s]\nbad\x98value=x\x98y\r\nno equals sign\rstill that line\n[s\nk\n";
        ProfileFile file = ProfileFile::Parse(bytes);
        QCOMPARE(file.ToBytes(), bytes);
        QCOMPARE(file.ReadString(u"s", u"bad\u0098value"), QStringLiteral("x\u0098y"));
        QVERIFY(!file.HasKey(u"s", u"no equals sign"));
        QVERIFY(!file.HasKey(u"s", u"k"));
        // "[s" is no section, so the new key ends the section [s] after "k".
        file.WriteString(u"s", u"new", u"\u0098");
        QCOMPARE(file.ToBytes(), bytes + "new=\x98\n");

        // A large file (2 MB of long lines): values are cut on reading, but saving keeps every byte.
        QByteArray large = "[s]\n";
        for (int i = 0; i < 500; ++i)
            large += "k" + QByteArray::number(i) + "=" + QByteArray(4000, 'v') + "\n";
        ProfileFile big = ProfileFile::Parse(large);
        QCOMPARE(big.ReadString(u"s", u"k499").size(), 2047);
        big.WriteString(u"s", u"k0", QString(4000, u'v'));
        QCOMPARE(big.ToBytes(), large);
    }
};

QTEST_GUILESS_MAIN(ProfileFileTest)
#include "test_profile_file.moc"
