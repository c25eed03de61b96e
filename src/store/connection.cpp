#include "connection.h"

#include "databasefile.h"
#include "dataerror.h"
#include "sqlitestatement.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <sqlite3.h>

namespace qb {

namespace {

// No value of a sane book comes near this; a file whose schema makes bigger values (a view
// or default that repeats a text) fails with "string or blob too big" instead of taking
// gigabytes. Values up to it still load, shown cut (see the book dataset).
constexpr int kMaxValueBytes = 64 * 1024 * 1024;
// The program's own statements are a few hundred bytes.
constexpr int kMaxSqlBytes = 1024 * 1024;

// SQLite's advice for database files from elsewhere: nothing in the file may run code of
// its own on our behalf (triggers, views, schema functions not marked harmless) or change
// the file's structure behind the engine's back, and no statement may run away.
void defendAgainstHostileFile(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, kMaxSqlBytes);
    installStatementDeadline(db);
}

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.data());
}

} // namespace

Connection::Connection()
    : m_qtName(QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Connection::~Connection() {
    close();
}

void Connection::acquire() {
    if (m_users == 0)
        open();
    ++m_users;
}

void Connection::release() {
    if (m_users > 0 && --m_users == 0)
        close();
}

sqlite3* Connection::handle() const {
    if (!m_handle)
        throw DataError(QStringLiteral("数据库连接没有打开"));
    return m_handle;
}

void Connection::open() {
    const QString file = fileName();
    checkDatabaseFile(file);
    const auto failure = [&file](const QString& reason) {
        return DataError(QStringLiteral("无法打开数据库文件“%1”：%2").arg(file, reason));
    };
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
        // mode=rw never creates a missing file; a write-protected file opens read-only, so it
        // can still be browsed and a post reports the engine's error.
        db.setDatabaseName(
            QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString(QUrl::FullyEncoded) +
            QStringLiteral("?mode=rw"));
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (db.open())
            m_handle = sqliteHandle(db);
        else
            m_openError = db.lastError().text();
    }
    if (!m_handle) {
        close();
        throw failure(m_openError);
    }
    defendAgainstHostileFile(m_handle);
    try {
        // A record whose post has returned must survive the program being killed and the
        // power failing. With a rollback journal (DELETE) the committed records are in the
        // book file itself, so the one file users copy is always complete (a WAL would keep
        // them in a side file until a checkpoint). A kill mid-post leaves a journal that the
        // next opening rolls back, so the file never holds half a record. Syncing makes the
        // order hold on disk: the journal before the book is changed, the book before the
        // journal is deleted (FULL), and the deletion itself, which is the commit, before the
        // post returns (EXTRA): otherwise a power cut could bring the journal back and roll
        // the record back. One more sync per post is nothing for one record typed by hand.
        execSql(m_handle, QStringLiteral("PRAGMA journal_mode=DELETE"));
        execSql(m_handle, QStringLiteral("PRAGMA synchronous=EXTRA"));
        // Grid pages read rows scattered through the table in key order; an 8 MiB page cache
        // (instead of 2 MiB) keeps the pages of recently shown rows at hand.
        execSql(m_handle, QStringLiteral("PRAGMA cache_size=-8192"));
        execSql(m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const DataError& error) {
        close();
        throw failure(error.message());
    }
}

void Connection::close() {
    m_handle = nullptr;
    m_users = 0;
    if (!QSqlDatabase::contains(m_qtName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_qtName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_qtName);
}

ReadOnlyConnection::ReadOnlyConnection(const QString& fileName, int busyTimeoutMs) {
    if (sqlite3_open_v2(fileName.toUtf8().constData(), &m_handle,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const QString message = engineError(m_handle);
        sqlite3_close(m_handle);
        throw DataError(message);
    }
    sqlite3_busy_timeout(m_handle, busyTimeoutMs);
    defendAgainstHostileFile(m_handle);
}

ReadOnlyConnection::~ReadOnlyConnection() {
    sqlite3_close(m_handle);
}

} // namespace qb
