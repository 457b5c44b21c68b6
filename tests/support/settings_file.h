#pragma once

// settings.ini as the tests write and read it: the text of the one in a folder, in code page 1251, or the
// bytes of any file as they stand.

#include <QFile>
#include <QTest>

#include "common/cp1251.h"

// The file's bytes, or "<unreadable>".
inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
inline QString ReadSettings(const QString& folder) {
    return cp1251::Decode(ReadFileBytes(folder + QStringLiteral("/settings.ini")));
}

inline void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}
inline void WriteSettings(const QString& folder, const QString& text) {
    WriteFileBytes(folder + QStringLiteral("/settings.ini"), cp1251::Encode(text));
}
