#include "badfiles.h"

#include "books.h"
#include "tables.h"
#include "testfiles.h"

#include <sqlite3.h>
#include <stdexcept>

namespace qb::test {

using namespace Qt::StringLiterals;

namespace {

// Overwrites the first or the last page of contacts; the key index stays whole.
void damagePage(const QString& file, bool first) {
    const QStringList page =
        runSql(file, u"SELECT ((pageno - 1) * page_size) || ' ' || page_size FROM dbstat, "
                     "pragma_page_size WHERE name = 'lianxi1' AND pagetype = 'leaf' ORDER BY "
                     "pageno * %1 LIMIT 1"_s.arg(first ? 1 : -1))
            .value(0)
            .split(u' ');
    QFile f(file);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(page[0].toLongLong()) ||
        f.write(QByteArray(page.value(1).toLongLong(), '\xa5')) != page.value(1).toLongLong())
        throw std::runtime_error("could not damage the test book");
}

} // namespace

void makeBadFile(const QString& how, const QString& what, const QString& file) {
    if (how == u"bytes"_s)
        return writeBytes(file, bytesOf(what));
    const QFileInfo info(file);
    createBookFile(info.absolutePath(), info.fileName());
    if (how == u"sql"_s) {
        runSql(file, what);
        return;
    }
    runSql(file, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                 "INSERT INTO lianxi1(姓名, 备注) SELECT '联系人' || i, printf('%.200c', '备') "
                 "FROM n"_s);
    if (how == u"damage"_s)
        return damagePage(file, what == u"first"_s);
    const qint64 cut = what.toLongLong();
    QVERIFY(QFile(file).resize(cut < 0 ? QFileInfo(file).size() / 2 : cut));
}

QStringList runSql(const QString& file, const QString& sql) {
    sqlite3* db = nullptr;
    QStringList rows;
    int rc =
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // A program under test may be reading the file at that moment, as another program would.
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(db, 5000);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(
            db, sql.toUtf8().constData(),
            [](void* out, int, char** values, char**) {
                static_cast<QStringList*>(out)->append(QString::fromUtf8(values[0]));
                return 0;
            },
            &rows, nullptr);
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(message);
    return rows;
}

} // namespace qb::test
