#include "sqlitestatement.h"

#include "dataerror.h"

#include <sqlite3.h>

#include <chrono>
#include <utility>

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

// Far longer than any step of a sane book takes (a sort of a million rows without an index
// is about a second), short enough that a runaway file does not look like a hung program.
constexpr int kStepDeadlineMs = 10000;
// The handler runs every this many virtual-machine instructions: a clock read each time costs
// nothing measurable, and an interrupt comes within microseconds of the deadline.
constexpr int kProgressInstructions = 1000;

// Everything runs on one thread; each thread that uses the store keeps its own clock.
thread_local int t_deadlineMs = kStepDeadlineMs;
// Unset at each step and set by the step's first handler call, a few microseconds in: most
// steps end before that, and a clock read for each row of a big book costs a tenth of its
// loading time.
thread_local Clock::time_point t_stepStarted;

int pastDeadline(void*) {
    if (t_deadlineMs <= 0)
        return 0;
    const Clock::time_point now = Clock::now();
    if (t_stepStarted == Clock::time_point()) {
        t_stepStarted = now;
        return 0;
    }
    return now - t_stepStarted > std::chrono::milliseconds(t_deadlineMs);
}

// The engine says "readonly" both for a write-protected file and for one that was moved or
// deleted while open; the user needs to know which, and that nothing was written.
QString readOnlyReason(sqlite3* db) {
    const int code = sqlite3_extended_errcode(db);
    if (code == SQLITE_READONLY_DBMOVED)
        return QStringLiteral("（数据库文件在打开之后被移动或删除了，没有写入；"
                              "用“备份数据库”可以把打开的数据存到新文件）");
    if ((code & 0xFF) == SQLITE_READONLY)
        return QStringLiteral("（数据库文件是只读的，没有写入）");
    if (code == SQLITE_INTERRUPT)
        return QStringLiteral("（一条语句运行超过 %1 秒，已经中止，数据库文件没有改变）")
            .arg(t_deadlineMs / 1000.0);
    return {};
}

} // namespace

QString engineError(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db)) + readOnlyReason(db);
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql)
    : m_db(db) {
    // Preparing may read the schema, which runs statements of its own.
    t_stepStarted = {};
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
        throw DataError(engineError(db));
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::bindText(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
}

void SqliteStatement::bindInt64(int index, qint64 value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

void SqliteStatement::bindUtf8(int index, QByteArrayView bytes) {
    sqlite3_bind_text(m_stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bindValue(int index, const sqlite3_value* value) {
    sqlite3_bind_value(m_stmt, index, value);
}

bool SqliteStatement::step() {
    t_stepStarted = {};
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = engineError(m_db);
    sqlite3_reset(m_stmt);
    throw DataError(message);
}

void SqliteStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 SqliteStatement::int64(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QString SqliteStatement::text(int column) const {
    int length = 0;
    const char* bytes = utf8(column, &length);
    return QString::fromUtf8(bytes, length);
}

bool SqliteStatement::isBlob(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_BLOB;
}

const char* SqliteStatement::utf8(int column, int* length) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    *length = sqlite3_column_bytes(m_stmt, column);
    return bytes;
}

int SqliteStatement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

void installStatementDeadline(sqlite3* db) {
    sqlite3_progress_handler(db, kProgressInstructions, pastDeadline, nullptr);
}

ScopedStatementDeadline::ScopedStatementDeadline(int milliseconds)
    : m_previous(std::exchange(t_deadlineMs, milliseconds)) {}

ScopedStatementDeadline::~ScopedStatementDeadline() {
    t_deadlineMs = m_previous;
}

ReadTransaction::ReadTransaction(sqlite3* db)
    : m_db(db)
    , m_own(sqlite3_get_autocommit(db) != 0) {
    if (m_own)
        execSql(db, QStringLiteral("BEGIN"));
}

ReadTransaction::~ReadTransaction() {
    if (!m_own)
        return;
    // A connection left in a transaction would hold back every later post from the file.
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

QString quotedIdentifier(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

void execSql(sqlite3* db, const QString& sql) {
    SqliteStatement statement(db, sql);
    while (statement.step()) {
    }
}

} // namespace qb
