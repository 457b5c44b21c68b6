#include "settings/autostart.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

#include "settings/program_folder.h"
#include "settings/whole_file.h"

namespace {

QString EntryPath(const QString& valueName) {
    return AutostartFolder() + u'/' + valueName + ".desktop";
}

// Characters that make an argument of Exec need double quotes.
bool NeedsQuotes(QChar c) {
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

// A desktop entry's string value: backslash and the control characters as escapes.
QString EscapeString(const QString& value) {
    QString escaped;
    for (QChar c : value) {
        switch (c.unicode()) {
            case u'\\':
                escaped += QStringLiteral("\\\\");
                break;
            case u'\n':
                escaped += QStringLiteral("\\n");
                break;
            case u'\t':
                escaped += QStringLiteral("\\t");
                break;
            case u'\r':
                escaped += QStringLiteral("\\r");
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

QString AutostartFolder() {
    return UserConfigFolder() + QStringLiteral("/autostart");
}

QString DesktopExecValue(const QString& path) {
    QString argument = path;
    argument.replace(u'%', QStringLiteral("%%"));  // a lone "%" would be a field code
    if (std::any_of(path.begin(), path.end(), NeedsQuotes)) {
        QString quoted = QStringLiteral("\"");
        for (QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
            quoted += c;
        }
        argument = quoted + u'"';
    }
    return EscapeString(argument);
}

void SetAutorun(bool Register, const QString& valueName, const QString& path) {
    const QString entry = EntryPath(valueName);
    if (!Register) {
        if (QFileInfo(entry).isSymLink() || QFileInfo::exists(entry)) {
            if (!QFile::remove(entry)) {
                throw std::runtime_error(("Failed to delete data for '" + valueName + "'").toStdString());
            }
        }
        return;
    }
    const QByteArray text = ("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=" +
                             EscapeString(valueName) +
                             "\n"
                             "Exec=" +
                             DesktopExecValue(path) + "\n")
                                .toUtf8();
    // A full disk leaves the old entry as it was instead of an empty one.
    if (!WriteWholeFile(entry, text)) {
        throw std::runtime_error(("Failed to set data for '" + valueName + "'").toStdString());
    }
}
