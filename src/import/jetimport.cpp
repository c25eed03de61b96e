#include "jetimport.h"

#include "csvreader.h"
#include "store/databasefile.h"
#include "store/dataerror.h"
#include "store/recordstore.h"
#include "store/sqlitestatement.h"
#include "store/valuetext.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUuid>

#include <sqlite3.h>

namespace qb {

namespace {

// Jet pages are 4096 bytes and hold at most 255 rows: a tool that prints more rows than the
// file could hold is reading a damaged file in circles.
constexpr qint64 kJetPage = 4096;
constexpr qint64 kMaxRowsPerPage = 255;
// What mdb-export prints for dates it cannot convert (before 1899-12-30, after 4637-11-26).
const QByteArray kUnreadableDate = QByteArrayLiteral("1900-01-00");
// What mdbtools prints for each half of a character outside the Basic Multilingual Plane.
const QByteArray kUnreadableCharacters = QByteArrayLiteral("??");
// Longest value shown in the report; longer ones are cut there with "…".
constexpr qsizetype kShownValue = 40;

QString quotedName(const QString& name) {
    return QStringLiteral("“%1”").arg(name);
}

QString tableKey(const QString& name) {
    return name.toCaseFolded(); // Jet names are not case-sensitive
}

qsizetype characterCount(const QByteArray& utf8) {
    qsizetype count = 0;
    for (const char byte : utf8)
        count += (byte & 0xC0) != 0x80;
    return count;
}

QString shown(const QByteArray& utf8) {
    const QString text = QString::fromUtf8(utf8);
    return text.size() > kShownValue ? text.left(kShownValue) + QStringLiteral("…") : text;
}

// "YYYY-MM-DD HH:MM:SS" as the books store it: the time only when there is one.
std::optional<QByteArray> storedDate(const QByteArray& printed) {
    const QDate date = QDate::fromString(QString::fromLatin1(printed.left(10)), Qt::ISODate);
    if (printed.size() == 19 && printed[10] == ' ' && date.isValid()) {
        const QByteArray time = printed.mid(11);
        if (!QTime::fromString(QString::fromLatin1(time), Qt::ISODate).isValid())
            return std::nullopt;
        return time == "00:00:00" ? printed.left(10) : printed;
    }
    // A date kept as text in the Access file: the forms a user types are accepted.
    const std::optional<QString> typed = parseDateText(QString::fromUtf8(printed));
    if (!typed)
        return std::nullopt;
    return typed->toUtf8();
}

// Removes the new file and its journal unless the import finished.
struct PartFile {
    QString path;
    bool keep = false;
    ~PartFile() {
        if (keep)
            return;
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
    }
};

// One book's table: maps the Access columns by name and writes the accepted records.
class BookImport {
public:
    BookImport(BookId book, BookDataset& dataset, sqlite3* db, ImportReport& report)
        : m_book(book)
        , m_columns(dataset.columns())
        , m_report(report)
        , m_insert(db, insertStatement(dataset)) {
        for (int c = 0; c < m_columns.size(); ++c) {
            if (m_columns[c].key)
                m_key = c;
            // Access pads its fixed-width columns, the char(n) ones, with blanks to their width.
            m_padded << m_columns[c].declaredType.startsWith(QStringLiteral("char"),
                                                             Qt::CaseInsensitive);
        }
    }

    void row(const QList<QByteArrayView>& fields, const QString& table) {
        if (!m_mapped)
            return mapColumns(fields, table);
        if (fields.size() != m_jetColumns)
            throw CsvError(QStringLiteral("表“%1”的第 %2 条记录有 %3 个字段，应有 %4 个")
                               .arg(table)
                               .arg(m_record + 1)
                               .arg(fields.size())
                               .arg(m_jetColumns));
        ++m_record;
        if (acceptRecord(fields))
            ++m_report.imported[int(m_book)];
    }

    qint64 records() const { return m_record; }

private:
    static QString insertStatement(const BookDataset& dataset) {
        QStringList names;
        QStringList params;
        for (const Column& column : dataset.columns()) {
            names << QLatin1Char('"') + column.name + QLatin1Char('"');
            params << QStringLiteral("?%1").arg(params.size() + 1);
        }
        return QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
            .arg(dataset.tableName(), names.join(QLatin1Char(',')), params.join(QLatin1Char(',')));
    }

    void mapColumns(const QList<QByteArrayView>& header, const QString& table) {
        m_mapped = true;
        m_jetColumns = header.size();
        QHash<QString, int> jet;
        for (int j = 0; j < header.size(); ++j)
            jet.insert(tableKey(QString::fromUtf8(header[j])), j);
        QStringList missing;
        for (const Column& column : m_columns) {
            m_source << jet.value(tableKey(column.name), -1);
            if (m_source.last() < 0)
                missing << quotedName(column.name);
        }
        QStringList extra;
        for (int j = 0; j < header.size(); ++j)
            if (!m_source.contains(j))
                extra << quotedName(QString::fromUtf8(header[j]));
        if (!missing.isEmpty())
            m_report.tableNotes << QStringLiteral("表“%1”中没有字段%2：%3的这些项都是空的。")
                                       .arg(table, missing.join(QStringLiteral("、")),
                                            bookTitle(m_book));
        if (!extra.isEmpty())
            m_report.tableNotes << QStringLiteral(
                                       "表“%1”的字段%2在 Quillbox 中没有对应的字段，没有导入。")
                                       .arg(table, extra.join(QStringLiteral("、")));
    }

    void note(const QByteArray& key, const QString& column, const QString& reason) {
        // Padding around a key is no part of it.
        m_report.issues.append(
            {m_book, m_record, QString::fromUtf8(key).trimmed(), column, reason});
    }

    // The value as the book stores it, or nothing when it cannot be stored (noted).
    std::optional<QByteArray> value(int c, QByteArray raw, const QByteArray& key) {
        const Column& column = m_columns[c];
        if (m_padded[c]) {
            qsizetype end = raw.size();
            while (end > 0 && raw.at(end - 1) == ' ')
                --end;
            raw = QByteArray::fromRawData(raw.constData(), end);
        }
        if (raw.isEmpty())
            return raw;
        if (column.kind == ColumnKind::Date)
            return dateValue(column, raw, key);
        const qsizetype length = characterCount(raw);
        if (column.width > 0 && length > column.width) {
            note(key, column.name,
                 QStringLiteral("有 %1 个字符，超过了字段的宽度 %2，没有导入（原文：%3）")
                     .arg(length)
                     .arg(column.width)
                     .arg(shown(raw)));
            return std::nullopt;
        }
        if (raw.contains(kUnreadableCharacters))
            note(key, column.name,
                 QStringLiteral("含有“??”，可能是 mdbtools 读不出的字符（如表情符号、"
                                "生僻字），已照原样导入，请核对"));
        return raw;
    }

    std::optional<QByteArray> dateValue(const Column& column, const QByteArray& raw,
                                        const QByteArray& key) {
        if (raw.startsWith(kUnreadableDate)) {
            note(key, column.name,
                 QStringLiteral("mdbtools 读不出这个日期（早于 1899-12-30 或晚于 4637-11-26），"
                                "没有导入"));
            return std::nullopt;
        }
        std::optional<QByteArray> date = storedDate(raw);
        if (!date)
            note(key, column.name, QStringLiteral("“%1”不是有效的日期，没有导入").arg(shown(raw)));
        return date;
    }

    bool acceptRecord(const QList<QByteArrayView>& fields) {
        // The values point into the reader's row: no copy is made of what is stored as read.
        const auto raw = [&](int c) {
            const QByteArrayView field = m_source[c] < 0 ? QByteArrayView() : fields[m_source[c]];
            return QByteArray::fromRawData(field.data(), field.size());
        };
        const QByteArray rawKey = raw(m_key);
        const std::optional<QByteArray> key = value(m_key, rawKey, rawKey);
        if (!key)
            return refuse(rawKey, QStringLiteral("这条记录没有导入"));
        if (key->isEmpty())
            return refuse(*key,
                          QStringLiteral("%1为空，这条记录没有导入").arg(m_columns[m_key].name));
        if (m_keys.contains(*key))
            return refuse(
                *key,
                QStringLiteral("%1与前面的记录重复，这条记录没有导入").arg(m_columns[m_key].name));
        m_keys.insert(QByteArray(key->constData(), key->size()));
        sqlite3_stmt* stmt = m_insert.raw();
        // Bound without a copy: the values stay where they are until the insert is done.
        m_values.resize(m_columns.size());
        for (int c = 0; c < m_columns.size(); ++c) {
            m_values[c] = c == m_key ? *key : value(c, raw(c), *key).value_or(QByteArray());
            if (m_values[c].isEmpty())
                sqlite3_bind_null(stmt, c + 1);
            else
                sqlite3_bind_text(stmt, c + 1, m_values[c].constData(), int(m_values[c].size()),
                                  SQLITE_STATIC);
        }
        m_insert.step();
        m_insert.reset();
        return true;
    }

    bool refuse(const QByteArray& key, const QString& reason) {
        note(key, QString(), reason);
        return false;
    }

    BookId m_book;
    QVector<Column> m_columns;
    ImportReport& m_report;
    SqliteStatement m_insert;
    int m_key = 0;
    QVector<bool> m_padded; // per book column
    QVector<int> m_source;  // per book column: the Access column it takes, or -1
    bool m_mapped = false;  // the first row, the column names, has been read
    qsizetype m_jetColumns = 0;
    qint64 m_record = 0;
    QSet<QByteArray> m_keys;
    QVector<QByteArray> m_values; // the record being inserted
};

// One import: the Access file's tables found by name, each book's table read into the new
// database, the tables left over noted.
class JetImport {
public:
    JetImport(const QString& source, const QString& target, const ImportProgress& progress,
              const MdbTools& tools)
        : m_source(source)
        , m_progress(progress)
        , m_tools(tools)
        , m_report{source, target, {}, {}, {}}
        , m_maxRows(QFileInfo(source).size() / kJetPage * kMaxRowsPerPage) {}

    std::optional<ImportReport> run() {
        readCatalog();
        const QFileInfo target(m_report.target);
        PartFile part{target.dir().filePath(
            QStringLiteral(".%1.%2.part")
                .arg(target.fileName(), QUuid::createUuid().toString(QUuid::WithoutBraces)))};
        RecordStore store;
        if (store.createDatabase(part.path) != RecordStore::CreateResult::Created)
            throw DataError(QStringLiteral("无法在“%1”中创建数据库文件").arg(target.path()));
        store.openDatabase(part.path);
        sqlite3* db = store.connection().handle();
        execSql(db, QStringLiteral("BEGIN"));
        for (BookId book : allBooks())
            if (!importBook(book, store.book(book), db))
                return std::nullopt;
        for (const QString& other : std::as_const(m_jetTables))
            m_report.tableNotes
                << QStringLiteral("表“%1”不是 Quillbox 的表，没有导入。").arg(other);
        execSql(db, QStringLiteral("COMMIT"));
        store.closeBooks();
        if (!QFile::rename(part.path, m_report.target))
            throw DataError(QStringLiteral("无法创建文件“%1”").arg(m_report.target));
        part.keep = true;
        m_progress(m_done, m_total);
        return m_report;
    }

private:
    // The Access tables by their case-blind names, and how many records the books' ones hold.
    void readCatalog() {
        for (const QString& name : m_tools.tables(m_source))
            m_jetTables.insert(tableKey(name), name);
        for (BookId book : allBooks()) {
            const QString table = m_jetTables.value(tableKey(tableSchema(book).tableName));
            if (!table.isEmpty())
                m_total += m_tools.rowCount(m_source, table);
        }
    }

    // False when cancelled.
    bool importBook(BookId book, BookDataset& dataset, sqlite3* db) {
        const QString table = m_jetTables.take(tableKey(tableSchema(book).tableName));
        if (table.isEmpty()) {
            m_report.tableNotes << QStringLiteral("没有表“%1”：%2没有导入任何记录。")
                                       .arg(tableSchema(book).tableName, bookTitle(book));
            return true;
        }
        BookImport import(book, dataset, db, m_report);
        MdbCsvReader reader([&](const QList<QByteArrayView>& fields) {
            import.row(fields, table);
            if (import.records() > m_maxRows)
                throw CsvError(QStringLiteral("表“%1”读出的记录比文件能容纳的还多").arg(table));
        });
        try {
            const bool finished = m_tools.exportTable(
                m_source, table, [&](QByteArrayView chunk) { reader.feed(chunk); },
                [&] { return m_progress(m_done + import.records(), m_total); });
            if (!finished)
                return false;
            reader.finish();
        } catch (const CsvError& error) {
            throw damagedFileError(m_source, error.message());
        }
        m_done += import.records();
        return true;
    }

    const QString& m_source;
    const ImportProgress& m_progress;
    const MdbTools& m_tools;
    ImportReport m_report;
    const qint64 m_maxRows;
    QHash<QString, QString> m_jetTables; // by tableKey; the books' ones are taken out in turn
    qint64 m_total = 0;
    qint64 m_done = 0;
};

} // namespace

bool isJetFile(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) && f.read(19).mid(4) == QByteArrayLiteral("Standard Jet DB");
}

QString suggestedImportTarget(const QString& jetFile) {
    QString base = jetFile;
    if (extensionOf(base).compare(QStringLiteral(".mdb"), Qt::CaseInsensitive) == 0)
        base.chop(4);
    return base + QStringLiteral("-quillbox.mdb");
}

std::optional<ImportReport> importJetFile(const QString& source, const QString& target,
                                          const ImportProgress& progress, const MdbTools& tools) {
    if (QFileInfo::exists(target))
        throw DataError(QStringLiteral("文件“%1”已经存在，没有导入").arg(target));
    return JetImport(source, target, progress, tools).run();
}

} // namespace qb
