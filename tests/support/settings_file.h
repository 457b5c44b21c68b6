#pragma once

// settings.ini as the tests write and read it: its bytes as they stand, or its text in code page 1251.

#include <QFile>
#include <QTest>

#include "settings/cp1251.h"

// The file's bytes, or "<unreadable>".
inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QString ReadSettingsText(const QString& path) {
    return cp1251::Decode(ReadFileBytes(path));
}

inline void WriteSettingsText(const QString& path, const QString& text) {
    WriteFileBytes(path, cp1251::Encode(text));
}
