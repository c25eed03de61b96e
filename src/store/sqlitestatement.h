#pragma once

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

namespace qb {

// A prepared statement on a connection's SQLite handle. Qt SQL's QSqlQuery costs several
// times more per row, which matters for the row-id load and for bulk reads of big books.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bindText(int index, const QString& text);
    void bindNull(int index);
    void bindInt64(int index, qint64 value);
    // Binds the bytes as text as they are, valid UTF-8 or not.
    void bindUtf8(int index, QByteArrayView bytes);
    void bindValue(int index, const sqlite3_value* value);
    // True while a row is ready; throws the engine's error text on failure.
    bool step();
    void reset();

    qint64 int64(int column) const;
    bool isNull(int column) const;
    QString text(int column) const;
    bool isBlob(int column) const;
    // The column's UTF-8 bytes without a copy; valid until the next step.
    const char* utf8(int column, int* length) const;
    int columnCount() const;
    sqlite3_stmt* raw() const { return m_stmt; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// A read transaction over several statements, so that the book cannot change between them,
// unless the connection is in a transaction already. It ends without error: a read changes
// nothing.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

    bool isOwn() const { return m_own; }

private:
    sqlite3* m_db;
    bool m_own;
};

// A table or column name as SQL text: in double quotes, a double quote inside doubled.
QString quotedIdentifier(const QString& name);

// Runs a statement that returns no rows.
void execSql(sqlite3* db, const QString& sql);
QString engineError(sqlite3* db);

// A file from elsewhere may hold a schema that makes one step run for ever. Every step on a
// connection with the deadline installed is interrupted after the time given here, with a
// clear error and nothing changed. A statement that may rightly run long (a backup of a big
// book) lifts the deadline for its own duration; 0 means no deadline.
void installStatementDeadline(sqlite3* db);
class ScopedStatementDeadline {
public:
    explicit ScopedStatementDeadline(int milliseconds);
    ~ScopedStatementDeadline();
    ScopedStatementDeadline(const ScopedStatementDeadline&) = delete;
    ScopedStatementDeadline& operator=(const ScopedStatementDeadline&) = delete;

private:
    int m_previous;
};

} // namespace qb
