#include "importer.h"

#include "readahead.h"

#include "store/bookdataset.h"
#include "store/sqlitestatement.h"
#include "store/valuetext.h"

#include <sqlite3.h>

#include <QDate>

#include <algorithm>
#include <optional>

namespace qb {

namespace {

// A report lists this many reasons; the rest are counted. A file of a million bad records
// must not make a message box a million lines high.
constexpr int kListedReasons = 20;
// Records between two progress calls: often enough to keep the window responsive.
constexpr int kProgressEvery = 256;

// Characters, not bytes: every byte but a UTF-8 continuation byte starts one.
qsizetype characterCount(QByteArrayView utf8) {
    return std::count_if(utf8.begin(), utf8.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

// ISO dates, as files from this program hold them, without the locale's slow parsing.
std::optional<QString> storedDate(const QString& text) {
    if (text.size() == 10 && text[4] == u'-' && text[7] == u'-' &&
        QDate::fromString(text, Qt::ISODate).isValid())
        return text;
    return parseDateText(text);
}

class Transaction {
public:
    explicit Transaction(sqlite3* db)
        : m_db(db) {
        execSql(m_db, QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~Transaction() {
        if (!m_done)
            sqlite3RollBack();
    }
    void commit() {
        execSql(m_db, QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    void sqlite3RollBack() noexcept {
        try {
            execSql(m_db, QStringLiteral("ROLLBACK"));
        } catch (const DataError&) {
            // SQLite has already rolled back on the error that brought us here
        }
    }
    sqlite3* m_db;
    bool m_done = false;
};

class Importer {
public:
    Importer(BookDataset& book, const DuplicateQuestion& ask)
        : m_book(book)
        , m_ask(ask)
        , m_columns(book.columns())
        , m_find(book.connection()->handle(),
                 QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ?1")
                     .arg(quotedIdentifier(book.tableName()),
                          quotedIdentifier(m_columns[keyColumn()].name)))
        , m_insert(book.connection()->handle(), insertSql())
        , m_update(book.connection()->handle(), updateSql()) {}

    void add(Utf8Values& values, qint64 number) {
        const QString problem = problemOf(values);
        if (!problem.isEmpty())
            return skip(number, values, problem);
        if (write(m_insert, values, std::nullopt)) {
            ++m_report.added;
            return;
        }
        const QString key = QString::fromUtf8(values[size_t(keyColumn())]);
        const std::optional<qint64> existing = rowIdOf(key);
        if (!existing) // a second unique column of a book made elsewhere
            return skip(number, values, QStringLiteral("和簿中已有的记录冲突"));
        if (!m_choice)
            m_choice = m_ask(key);
        if (*m_choice == DuplicateChoice::Skip)
            return skip(number, values, QStringLiteral("已经有这一条"));
        if (*m_choice == DuplicateChoice::Replace) {
            write(m_update, values, existing);
            ++m_report.replaced;
            return;
        }
        const std::optional<QString> numbered = freeNumberedKey(key);
        if (!numbered)
            return skip(number, values, QStringLiteral("已经有这一条，编号后的名称又太长"));
        values[size_t(keyColumn())] = numbered->toUtf8();
        write(m_insert, values, std::nullopt);
        ++m_report.added;
    }

    ExchangeImportReport& report() { return m_report; }

private:
    int keyColumn() const {
        for (int c = 0; c < m_columns.size(); ++c)
            if (m_columns[c].key)
                return c;
        return 0;
    }
    QString insertSql() const {
        QStringList names;
        QStringList params;
        for (int c = 0; c < m_columns.size(); ++c) {
            names << quotedIdentifier(m_columns[c].name);
            params << QStringLiteral("?%1").arg(c + 1);
        }
        // Trying the insert first spares a lookup per record; a key the book already has
        // changes nothing, and only then is the record looked up.
        return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT DO NOTHING")
            .arg(quotedIdentifier(m_book.tableName()), names.join(QLatin1Char(',')),
                 params.join(QLatin1Char(',')));
    }
    QString updateSql() const {
        QStringList sets;
        for (int c = 0; c < m_columns.size(); ++c)
            sets << QStringLiteral("%1 = ?%2").arg(quotedIdentifier(m_columns[c].name)).arg(c + 1);
        return QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
            .arg(quotedIdentifier(m_book.tableName()), sets.join(QLatin1Char(',')))
            .arg(m_columns.size() + 1);
    }

    // Why the record cannot be stored as it is; empty when it can. Dates become stored text.
    QString problemOf(Utf8Values& values) const {
        for (int c = 0; c < m_columns.size(); ++c) {
            const Column& column = m_columns[c];
            QByteArray& value = values[size_t(c)];
            if (column.key && QString::fromUtf8(value).trimmed().isEmpty())
                return QStringLiteral("%1为空").arg(column.name);
            // A character takes at least one byte: only a value with more bytes is counted.
            if (column.width > 0 && value.size() > column.width &&
                characterCount(value) > column.width)
                return QStringLiteral("%1有 %2 个字符，超过了 %3 个")
                    .arg(column.name)
                    .arg(characterCount(value))
                    .arg(column.width);
            if (column.kind == ColumnKind::Date && !value.isEmpty() && !isIsoDate(value)) {
                const QString text = QString::fromUtf8(value);
                const std::optional<QString> date = storedDate(text);
                if (!date)
                    return QStringLiteral("%1“%2”不是日期").arg(column.name, text);
                value = date->toUtf8();
            }
        }
        return {};
    }

    std::optional<qint64> rowIdOf(const QString& key) {
        m_find.bindText(1, key);
        const bool found = m_find.step();
        const qint64 rowId = found ? m_find.int64(0) : 0;
        m_find.reset(); // no statement may stay open across the commit
        if (!found)
            return std::nullopt;
        return rowId;
    }

    // 张伟 (2), 张伟 (3), ...: the first that neither the book nor the file has yet.
    std::optional<QString> freeNumberedKey(const QString& key) {
        const int width = m_columns[keyColumn()].width;
        for (int n = 2;; ++n) {
            const QString candidate = QStringLiteral("%1 (%2)").arg(key).arg(n);
            if (width > 0 && characterCount(candidate.toUtf8()) > width)
                return std::nullopt;
            if (!rowIdOf(candidate))
                return candidate;
        }
    }

    // True when the statement changed the book (an insert on a taken key does not).
    // The values are bound without a copy: they stay as they are until the statement has run.
    bool write(SqliteStatement& statement, const Utf8Values& values, std::optional<qint64> row) {
        // Empty text is stored as NULL, as typing stores it: reset() leaves every parameter
        // NULL, so only the values are bound.
        for (int c = 0; c < m_columns.size(); ++c) {
            const QByteArray& value = values[size_t(c)];
            if (!value.isEmpty())
                sqlite3_bind_text(statement.raw(), c + 1, value.constData(), int(value.size()),
                                  SQLITE_STATIC);
        }
        if (row)
            statement.bindInt64(int(m_columns.size()) + 1, *row);
        statement.step();
        statement.reset();
        return sqlite3_changes(m_book.connection()->handle()) > 0;
    }

    void skip(qint64 number, const Utf8Values& values, const QString& why) {
        ++m_report.skipped;
        if (m_report.reasons.size() >= kListedReasons) {
            ++m_report.unlistedReasons;
            return;
        }
        const QString key = QString::fromUtf8(values[size_t(keyColumn())]).trimmed();
        m_report.reasons << (key.isEmpty()
                                 ? QStringLiteral("第 %1 条：%2").arg(number).arg(why)
                                 : QStringLiteral("第 %1 条（%2）：%3").arg(number).arg(key, why));
    }

    BookDataset& m_book;
    const DuplicateQuestion& m_ask;
    const QVector<Column>& m_columns;
    SqliteStatement m_find;
    SqliteStatement m_insert;
    SqliteStatement m_update;
    std::optional<DuplicateChoice> m_choice;
    ExchangeImportReport m_report;
};

} // namespace

QString ExchangeImportReport::text() const {
    QString text = cancelled ? QStringLiteral("导入已取消，簿中的记录没有任何改变。")
                             : QStringLiteral("导入完成：新增 %1 条，替换 %2 条，跳过 %3 条。")
                                   .arg(added)
                                   .arg(replaced)
                                   .arg(skipped);
    if (cancelled)
        return text;
    for (const QString& line : notes + reasons)
        text += QLatin1Char('\n') + line;
    if (unlistedReasons > 0)
        text += QStringLiteral("\n另有 %1 条跳过的记录没有列出。").arg(unlistedReasons);
    return text;
}

ExchangeImportReport importRecords(BookDataset& book, RecordReader& reader,
                                   const DuplicateQuestion& ask, const Progress& progress) {
    book.refresh(); // a record being typed is posted first, as any move would
    ExchangeImportReport report;
    {
        Transaction transaction(book.connection()->handle());
        Importer importer(book, ask);
        ReadAhead records(reader);
        qint64 number = 0;
        while (Utf8Values* values = records.next()) {
            importer.add(*values, ++number);
            if (number % kProgressEvery == 0 && progress && !progress()) {
                report.cancelled = true;
                return report; // the transaction rolls back
            }
        }
        transaction.commit();
        report = importer.report();
    }
    report.notes = reader.notes();
    book.refresh();
    return report;
}

} // namespace qb
