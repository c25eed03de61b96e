#include "databasefile.h"

#include "dataerror.h"
#include "sqlitestatement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace qb {

namespace {

// "QBOX": marks files this program made, for tools such as file(1).
constexpr int kApplicationId = 0x51424F58;

qsizetype lastSeparator(const QString& name) {
    qsizetype at = -1;
    for (const QChar separator : {u'\\', u'/', u':'})
        at = std::max(at, name.lastIndexOf(separator));
    return at;
}

QByteArray readHeader(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw DataError(
            QStringLiteral("无法读取数据库文件“%1”：%2").arg(fileName, file.errorString()));
    return file.read(100);
}

} // namespace

QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > lastSeparator(name) ? name.mid(dot) : QString();
}

QString withMdbExtension(const QString& chosenName) {
    const QString mdb = QStringLiteral(".mdb");
    return extensionOf(chosenName) == mdb ? chosenName : chosenName + mdb;
}

void SplitFileName(const QString& name, FileNameParts& parts) {
    parts = FileNameParts{};
    if (!QFileInfo::exists(name))
        return;
    const qsizetype slash =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    parts.fileName = name.mid(slash + 1);
}

void checkDatabaseFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile())
        throw DataError(QStringLiteral("数据库文件“%1”不存在").arg(fileName));
    const QByteArray header = readHeader(fileName);
    if (header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return;
    if (header.mid(4, 15) == QByteArrayLiteral("Standard Jet DB"))
        throw DataError(
            QStringLiteral("“%1”是 Access 数据库文件。Quillbox 只能打开它自己的数据库文件，"
                           "用“文件 → 导入 Access 数据库…”可以把它的记录导入新的数据库。")
                .arg(fileName));
    throw DataError(QStringLiteral("“%1”不是 Quillbox 数据库文件").arg(fileName));
}

void CreateDatabaseFile(const QString& fileName) {
    if (QFileInfo::exists(fileName))
        throw DataError(QStringLiteral("文件“%1”已经存在").arg(fileName));
    sqlite3* db = nullptr;
    const QByteArray path = QFile::encodeName(fileName);
    int rc =
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        try {
            // Writing a header field makes the file a real database instead of an empty one.
            execSql(db, QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId));
        } catch (const DataError& e) {
            error = e.message();
        }
    } else {
        error = db ? engineError(db) : QStringLiteral("out of memory");
    }
    sqlite3_close(db);
    if (!error.isEmpty()) {
        QFile::remove(fileName);
        throw DataError(QStringLiteral("无法创建数据库文件“%1”：%2").arg(fileName, error));
    }
}

void copyDatabaseFile(sqlite3* source, const QString& target) {
    // A link counts as a file even when what it names is missing: the engine would write the
    // copy wherever it points.
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink())
        throw DataError(QStringLiteral("文件“%1”已经存在，备份没有进行").arg(target));
    // Copying a big book may rightly take longer than one step of browsing.
    const ScopedStatementDeadline noDeadline(0);
    SqliteStatement vacuum(source, QStringLiteral("VACUUM INTO ?1"));
    vacuum.bindText(1, QFileInfo(target).absoluteFilePath());
    try {
        vacuum.step();
    } catch (const DataError& error) {
        QFile::remove(target);
        throw DataError(QStringLiteral("备份到“%1”失败：%2").arg(target, error.message()));
    }
}

} // namespace qb
