#include "badfiles.h"

#include "books.h"
#include "places.h"
#include "tables.h"
#include "testfiles.h"

#include <QRandomGenerator>

#include <algorithm>

#include <sqlite3.h>
#include <stdexcept>

namespace qb::test {

using namespace Qt::StringLiterals;

namespace {

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QString makeBook(const QString& file, int contacts) {
    const QFileInfo info(file);
    createBookFile(info.absolutePath(), info.fileName());
    if (contacts > 0)
        runSql(file,
               u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
               "INSERT INTO lianxi1(姓名, 备注) SELECT '联系人' || i, printf('%.200c', '备') "
               "FROM n"_s.arg(contacts));
    return file;
}

} // namespace

const QList<BadFileKind>& badFileKinds() {
    static const QList<BadFileKind> kinds = [] {
        QList<BadFileKind> all;
        for (const TableRow& row : readTable(u"reliability/badfiles.txt"_s))
            all.append({row.name, row.cells[0], row.cells[1], row.cells[2]});
        return all;
    }();
    return kinds;
}

void makeBadFile(const QString& kind, const QString& file) {
    const auto k = std::find_if(badFileKinds().begin(), badFileKinds().end(),
                                [&](const BadFileKind& known) { return known.name == kind; });
    if (k->how == u"bytes"_s)
        return writeBytes(file, bytesOf(k->what));
    if (k->how == u"random"_s)
        return writeBytes(file, randomBytes(k->what.toInt()));
    if (k->how == u"access"_s)
        return writeBytes(file, QByteArray(4, '\0') + "Standard Jet DB" + QByteArray(2029, '\0'));
    makeBook(file, k->how == u"cut"_s ? 400 : 0);
    if (k->how == u"sql"_s)
        return runSql(file, k->what);
    const qint64 cut = k->what.toLongLong();
    QVERIFY(QFile(file).resize(cut < 0 ? QFileInfo(file).size() / 2 : cut));
}

void makeDamagedBook(const QString& file, DamagedPage which) {
    const QStringList page =
        firstColumn(
            makeBook(file, 400),
            u"SELECT ((pageno - 1) * page_size) || ' ' || page_size FROM dbstat, pragma_page_size "
            "WHERE name = 'lianxi1' AND pagetype = 'leaf' ORDER BY pageno * %1 LIMIT 1"_s.arg(
                which == DamagedPage::First ? 1 : -1))
            .value(0)
            .split(u' ');
    QFile f(file);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(page[0].toLongLong()) ||
        f.write(randomBytes(page.value(1).toLongLong())) != page.value(1).toLongLong())
        throw std::runtime_error("could not damage the test book");
}

void runSql(const QString& file, const QString& sql) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(message);
}

} // namespace qb::test
