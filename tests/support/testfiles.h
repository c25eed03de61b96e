#pragma once

#include <QDir>
#include <QStringEncoder>
#include <QTest>

// Byte-level helpers for tests that write files in temporary folders and read back what the
// program wrote.
namespace qb::test {

inline QByteArray gb18030(const QString& text) {
    return QStringEncoder("GB18030").encode(text);
}

// Writes the bytes, making missing folders on the way.
inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace qb::test
