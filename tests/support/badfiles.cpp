#include "badfiles.h"

#include "books.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>
#include <stdexcept>

namespace qb::test {

namespace {

const QString kNotOurs = QStringLiteral("不是 Quillbox 数据库文件");

void writeBytes(const QString& file, const QByteArray& bytes) {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("could not write the test file");
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray accessHeader() {
    QByteArray jet(2048, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    return jet;
}

// A real book with enough contacts to fill many pages.
void makeFullBook(const QString& file) {
    const QFileInfo info(file);
    createBookFile(info.absolutePath(), info.fileName());
    runSql(file, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < 400) INSERT INTO lianxi1(姓名, 备注) SELECT '联系人' "
                                "|| i, printf('%.200c', '备') FROM n"));
}

struct Page {
    qint64 offset = -1;
    qint64 size = 0;
};

Page recordPage(const QString& file, DamagedPage which) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT (pageno - 1) * page_size, page_size FROM dbstat, pragma_page_size "
                       "WHERE name = 'lianxi1' AND pagetype = 'leaf' ORDER BY pageno * ?1 LIMIT 1",
                       -1, &stmt, nullptr);
    sqlite3_bind_int(stmt, 1, which == DamagedPage::First ? 1 : -1);
    Page page;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        page = {sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1)};
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (page.offset < 0)
        throw std::runtime_error("no record page found");
    return page;
}

// A real book that lost its tail: the cut falls among the records.
void makeTruncatedBook(const QString& file, qint64 keep) {
    makeFullBook(file);
    QFile f(file);
    if (!f.resize(keep < 0 ? f.size() / 2 : keep))
        throw std::runtime_error("could not cut the test book");
}

void makeChangedBook(const QString& file, const QString& sql) {
    const QFileInfo info(file);
    createBookFile(info.absolutePath(), info.fileName());
    runSql(file, sql);
}

// The book's table replaced by a view with all its columns, made of the given first column.
QString bookAsView(BookId book, const QString& firstColumn, const QString& from) {
    const TableSchema& schema = tableSchema(book);
    // With a rowid of its own, a view reads like a table until it is too late.
    QStringList columns{QStringLiteral("i AS rowid"),
                        firstColumn + QStringLiteral(" AS ") + schema.columnNames[0]};
    for (qsizetype c = 1; c < schema.columnNames.size(); ++c)
        columns << QStringLiteral("NULL AS ") + schema.columnNames[c];
    return QStringLiteral("DROP TABLE %1; CREATE VIEW %1 AS %2 SELECT %3 FROM n")
        .arg(schema.tableName, from, columns.join(QLatin1Char(',')));
}

// Rows without end: reading the book never finishes.
QString recursiveView() {
    return bookAsView(BookId::Contacts, QStringLiteral("'联系人' || i"),
                      QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                     "FROM n)"));
}

// Three rows of 200 MB each.
QString valueBombView() {
    return bookAsView(BookId::Websites, QStringLiteral("hex(zeroblob(100000000)) || i"),
                      QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                     "FROM n WHERE i < 3)"));
}

} // namespace

const QList<BadFileKind>& badFileKinds() {
    static const QList<BadFileKind> kinds = {
        {QStringLiteral("zero bytes"), kNotOurs, [](const QString& f) { writeBytes(f, {}); }},
        {QStringLiteral("text file"), kNotOurs,
         [](const QString& f) { writeBytes(f, "hello\r\nworld\r\n"); }},
        {QStringLiteral("random bytes"), kNotOurs,
         [](const QString& f) { writeBytes(f, randomBytes(4096)); }},
        {QStringLiteral("access file"), QStringLiteral("Access 数据库文件"),
         [](const QString& f) { writeBytes(f, accessHeader()); }},
        {QStringLiteral("cut inside the first page"), QStringLiteral("无法打开数据库文件"),
         [](const QString& f) { makeTruncatedBook(f, 1500); }},
        {QStringLiteral("cut in the middle"), QStringLiteral("database disk image is malformed"),
         [](const QString& f) { makeTruncatedBook(f, -1); }},
        {QStringLiteral("missing table"), QStringLiteral("ADOTable2: 数据库文件中没有表“wzsk1”"),
         [](const QString& f) { makeChangedBook(f, QStringLiteral("DROP TABLE wzsk1")); }},
        {QStringLiteral("missing column"),
         QStringLiteral("ADOTable3: 表“xuliehao1”中没有字段“认证码”"),
         [](const QString& f) {
             makeChangedBook(f, QStringLiteral("ALTER TABLE xuliehao1 DROP COLUMN 认证码"));
         }},
        {QStringLiteral("recursive view"),
         QStringLiteral("ADOTable1: 数据库文件中的“lianxi1”是视图"),
         [](const QString& f) { makeChangedBook(f, recursiveView()); }},
        {QStringLiteral("value bomb view"),
         QStringLiteral("ADOTable2: 数据库文件中的“wzsk1”是视图"),
         [](const QString& f) { makeChangedBook(f, valueBombView()); }},
        {QStringLiteral("virtual table"), QStringLiteral("“wzsk1”是虚拟表"),
         [](const QString& f) {
             makeChangedBook(f, QStringLiteral("DROP TABLE wzsk1; CREATE VIRTUAL TABLE wzsk1 "
                                               "USING fts5(网址名称, 网址, 注册名, 备注)"));
         }},
        {QStringLiteral("without rowid"), QStringLiteral("“xuliehao1”是没有行号的表"),
         [](const QString& f) {
             makeChangedBook(f, QStringLiteral("DROP TABLE xuliehao1; CREATE TABLE xuliehao1("
                                               "名称版本号 char(100) PRIMARY KEY, 版本类型, "
                                               "序列号本身, 认证码, 备注) WITHOUT ROWID"));
         }},
        {QStringLiteral("rowid column"), QStringLiteral("表“lianxi1”中有名为“ROWID”的字段"),
         [](const QString& f) {
             makeChangedBook(f, QStringLiteral("ALTER TABLE lianxi1 ADD COLUMN ROWID integer"));
         }},
    };
    return kinds;
}

void makeBadFile(const QString& kind, const QString& file) {
    for (const BadFileKind& known : badFileKinds())
        if (known.name == kind)
            return known.make(file);
    throw std::invalid_argument("unknown kind of bad file");
}

void makeDamagedBook(const QString& file, DamagedPage which) {
    makeFullBook(file);
    const Page page = recordPage(file, which);
    QFile f(file);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(page.offset) ||
        f.write(randomBytes(page.size)) != page.size)
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
