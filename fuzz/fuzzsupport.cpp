#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace qb::fuzz {

namespace {

// Removed with its files when the fuzzer ends.
QString scratchFolder() {
    static const QTemporaryDir folder;
    return folder.path();
}

} // namespace

QString scratchFile(const char* name) {
    return QDir(scratchFolder()).filePath(QString::fromLatin1(name));
}

void writeScratch(const QString& file, const uint8_t* data, size_t size) {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
}

void require(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "property does not hold: %s\n", property);
    std::abort();
}

void useChineseLocale() {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

} // namespace qb::fuzz
