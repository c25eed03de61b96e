#include "preferences.h"

#include "profilefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace qb {

namespace {

const QString kPathSection = QStringLiteral("lastpath");
const QString kPathKey = QStringLiteral("pathmdb");
const QString kHistorySection = QStringLiteral("findstr");
// Only "1" means pinyin order: a missing or broken value leaves the books in code order.
const QString kOrderSection = QStringLiteral("order");
const QString kPinyinKey = QStringLiteral("pinyin");

QString countKey(BookId book) {
    return tableSchema(book).tableName + QStringLiteral("count");
}

QString entrySuffix(BookId book) {
    return u'.' + tableSchema(book).tableName + QStringLiteral("str");
}

QString entryKey(BookId book, qsizetype index) {
    return QString::number(index) + entrySuffix(book);
}

QStringList& historyOf(Preferences& preferences, BookId book) {
    return preferences.histories[static_cast<std::size_t>(book)];
}

const QStringList& historyOf(const Preferences& preferences, BookId book) {
    return preferences.histories[static_cast<std::size_t>(book)];
}

// The entries stored for a book: the highest I with a key "I.<table>str" (-1 when there is
// none) and how many such keys there are. Only the spelling the loader asks for counts:
// "07.lianxi1str" is another key than "7.lianxi1str".
struct StoredEntries {
    qsizetype highest = -1;
    qsizetype count = 0;
};

StoredEntries storedEntries(const QStringList& keys, BookId book) {
    const QString suffix = entrySuffix(book);
    StoredEntries stored;
    for (const QString& key : keys) {
        if (!key.endsWith(suffix, Qt::CaseInsensitive))
            continue;
        const QStringView number = QStringView(key).chopped(suffix.size());
        bool ok = false;
        const int index = number.toInt(&ok);
        if (ok && index >= 0 && QString::number(index) == number) {
            stored.highest = std::max<qsizetype>(stored.highest, index);
            ++stored.count;
        }
    }
    return stored;
}

// A count beyond the stored entries (a damaged or hand-edited file) must not make the start
// read millions of missing keys, so the highest stored entry bounds it, and so does the number
// of stored entries plus a bounded number of gaps.
QStringList loadHistory(const ProfileFile& file, const QStringList& keys, BookId book) {
    const StoredEntries stored = storedEntries(keys, book);
    const qsizetype count =
        std::min<qsizetype>({file.readInt(kHistorySection, countKey(book), 0), stored.highest + 1,
                             stored.count + kMaxHistoryGaps});
    QStringList history;
    for (qsizetype i = 0; i < count; ++i)
        history.append(file.readString(kHistorySection, entryKey(book, i), QString()));
    return history;
}

// The profile functions drop surrounding blanks and one pair of quotes when reading; a path
// that has them is written in quotes, so it comes back as it was and names the same file.
QString exactValue(const QString& value) {
    const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                        value.back() == value.front();
    return quoted || value.trimmed() != value ? u'"' + value + u'"' : value;
}

void writeHistory(ProfileFile& file, const QStringList& history, BookId book) {
    file.writeString(kHistorySection, countKey(book), QString::number(history.size()));
    for (qsizetype i = 0; i < history.size(); ++i)
        file.writeString(kHistorySection, entryKey(book, i), history[i]);
}

} // namespace

QString IniFileName() {
    return iniFileNameFor(QCoreApplication::applicationFilePath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString iniFileNameFor(const QString& programFile, const QString& configFolder) {
    const QFileInfo program(programFile);
    const QString name =
        (program.suffix().isEmpty() ? program.fileName() : program.completeBaseName()) +
        QStringLiteral(".ini");
    const QFileInfo programFolder(program.absolutePath());
    if (programFolder.isDir() && programFolder.isWritable())
        return QDir(program.absolutePath()).filePath(name);
    QDir().mkpath(configFolder);
    return QDir(configFolder).filePath(name);
}

Preferences LoadPreferences(const QString& iniPath) {
    const ProfileFile file(iniPath);
    const QStringList keys = file.sectionKeys(kHistorySection);
    Preferences preferences;
    preferences.databasePath = file.readString(kPathSection, kPathKey, QString());
    for (BookId book : allBooks())
        historyOf(preferences, book) = loadHistory(file, keys, book);
    preferences.pinyinOrder = file.readInt(kOrderSection, kPinyinKey, 0) == 1;
    return preferences;
}

void saveDatabasePath(const QString& iniPath, const QString& databasePath) {
    ProfileFile file(iniPath);
    file.writeString(kPathSection, kPathKey, exactValue(databasePath));
    file.save();
}

void SavePreferences(const QString& iniPath, const Preferences& preferences) {
    ProfileFile file(iniPath);
    file.writeString(kPathSection, kPathKey, exactValue(preferences.databasePath));
    for (BookId book : allBooks())
        writeHistory(file, historyOf(preferences, book), book);
    if (preferences.pinyinOrder ||
        file.sectionKeys(kOrderSection).contains(kPinyinKey, Qt::CaseInsensitive))
        file.writeString(kOrderSection, kPinyinKey, QString::number(int(preferences.pinyinOrder)));
    file.save();
}

} // namespace qb
