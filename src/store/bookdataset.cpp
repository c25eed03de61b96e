#include "bookdataset.h"

#include "sqlitestatement.h"
#include "storeerror.h"
#include "valuetext.h"

#include <QHash>
#include <QRegularExpression>
#include <QVariant>

#include <algorithm>
#include <limits>
#include <sqlite3.h>

namespace qb {

namespace {

constexpr qint64 kNewRow = std::numeric_limits<qint64>::min();
// A grid shows a few dozen rows; one read fetches a page of them by row id, and the cache
// keeps a few pages so that scrolling back and forth does not hit the file again.
constexpr int kPageRows = 64;
constexpr int kCacheRows = 16 * kPageRows;

QString quoted(const QString& identifier) {
    QString text = identifier;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

Column columnFromDeclaration(const QString& name, const QString& declared, bool key) {
    static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
    const QString type = declared.toLower();
    Column column{name, declared, ColumnKind::Other, 0, key};
    if (type.startsWith(QStringLiteral("date")))
        column.kind = ColumnKind::Date;
    else if (type.contains(QStringLiteral("char")) || type.contains(QStringLiteral("text")) ||
             type.contains(QStringLiteral("clob")) || type.isEmpty())
        column.kind = ColumnKind::Text;
    const QRegularExpressionMatch match = sized.match(type);
    if (column.kind == ColumnKind::Text && match.hasMatch())
        column.width = match.captured(1).toInt();
    return column;
}

} // namespace

// Value texts of recently shown rows, keyed by row id.
class RowCache {
public:
    RowCache(sqlite3* db, const QString& table, const QString& columns) {
        QStringList params;
        for (int i = 1; i <= kPageRows; ++i)
            params << QStringLiteral("?%1").arg(i);
        m_page = std::make_unique<SqliteStatement>(
            db, QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid IN (%3)")
                    .arg(columns, table, params.join(QLatin1Char(','))));
    }

    const QStringList* find(qint64 rowId) const {
        const auto it = m_rows.constFind(rowId);
        return it == m_rows.constEnd() ? nullptr : &it.value();
    }
    void forget(qint64 rowId) { m_rows.remove(rowId); }
    void clear() { m_rows.clear(); }

    // Reads the rows among ids that are not cached yet, in one statement.
    void fetch(const std::vector<qint64>& ids,
               const std::function<QString(const SqliteStatement&, int)>& valueText,
               int columnCount) {
        if (m_rows.size() + kPageRows > kCacheRows)
            m_rows.clear();
        m_page->reset();
        int bound = 0;
        for (qint64 id : ids)
            if (id != kNewRow && !m_rows.contains(id))
                m_page->bindInt64(++bound, id);
        if (bound == 0)
            return;
        while (m_page->step()) {
            QStringList texts;
            texts.reserve(columnCount);
            for (int c = 0; c < columnCount; ++c)
                texts << valueText(*m_page, c);
            m_rows.insert(m_page->int64(0), texts);
        }
    }

private:
    std::unique_ptr<SqliteStatement> m_page;
    QHash<qint64, QStringList> m_rows;
};

BookDataset::BookDataset(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name) {}

BookDataset::~BookDataset() {
    close();
}

void BookDataset::fail(const QString& message) const {
    throw StoreError(m_name + QStringLiteral(": ") + message);
}

void BookDataset::checkActive() const {
    if (!isActive())
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void BookDataset::checkNotEmpty() const {
    if (recordCount() == 0)
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
}

QString BookDataset::quotedTable() const {
    return quoted(m_table);
}

QString BookDataset::quotedColumns() const {
    QStringList names;
    for (const Column& column : m_columns)
        names << quoted(column.name);
    return names.join(QLatin1Char(','));
}

QString BookDataset::keyOrder() const {
    return m_keyColumn < 0 ? QStringLiteral("rowid") : quoted(m_columns[m_keyColumn].name);
}

void BookDataset::verify(Connection& connection) const {
    connection.acquire();
    struct Release {
        Connection& c;
        ~Release() { c.release(); }
    } release{connection};
    SqliteStatement info(connection.handle(),
                         QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
    info.bindText(1, m_table);
    QStringList present;
    while (info.step())
        present << info.text(0);
    if (present.isEmpty())
        fail(QStringLiteral("数据库文件中没有表“%1”").arg(m_table));
    for (const QString& required : m_requiredColumns)
        if (!present.contains(required))
            fail(QStringLiteral("表“%1”中没有字段“%2”").arg(m_table, required));
}

void BookDataset::loadColumns(sqlite3* db) {
    SqliteStatement info(db, QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?1)"));
    info.bindText(1, m_table);
    m_columns.clear();
    m_keyColumn = -1;
    while (info.step()) {
        const bool key = info.int64(2) == 1;
        if (key)
            m_keyColumn = int(m_columns.size());
        m_columns << columnFromDeclaration(info.text(0), info.text(1), key);
    }
}

void BookDataset::loadRowIds() {
    SqliteStatement ids(
        m_connection->handle(),
        QStringLiteral("SELECT rowid FROM %1 ORDER BY %2").arg(quotedTable(), keyOrder()));
    m_rows.clear();
    while (ids.step())
        m_rows.push_back(ids.int64(0));
}

void BookDataset::open(Connection& connection) {
    if (isActive())
        return;
    verify(connection);
    connection.acquire();
    m_connection = &connection;
    try {
        loadColumns(connection.handle());
        loadRowIds();
        m_cache = std::make_unique<RowCache>(connection.handle(), quotedTable(), quotedColumns());
    } catch (...) {
        m_cache.reset();
        m_rows.clear();
        m_connection = nullptr;
        connection.release();
        throw;
    }
    m_current = m_rows.empty() ? -1 : 0;
    m_eof = m_rows.empty();
    m_buffer.clear();
    m_modified = false;
    m_state = DatasetState::Browse;
    Q_EMIT rowsReset();
    Q_EMIT stateChanged();
    Q_EMIT currentChanged();
    Q_EMIT afterOpen();
}

void BookDataset::close() {
    if (!isActive())
        return;
    m_cache.reset();
    m_rows.clear();
    m_current = -1;
    m_eof = true;
    m_buffer.clear();
    m_modified = false;
    m_state = DatasetState::Inactive;
    Connection* connection = std::exchange(m_connection, nullptr);
    connection->release();
    Q_EMIT rowsReset();
    Q_EMIT stateChanged();
    Q_EMIT currentChanged();
    Q_EMIT afterClose();
}

void BookDataset::setState(DatasetState state) {
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void BookDataset::setCurrent(int row) {
    m_current = row;
    m_eof = false;
    Q_EMIT currentChanged();
}

void BookDataset::leaveEditing() {
    if (m_state != DatasetState::Edit && m_state != DatasetState::Insert)
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void BookDataset::first() {
    checkActive();
    leaveEditing();
    if (m_rows.empty()) {
        m_eof = true;
        return;
    }
    setCurrent(0);
}

void BookDataset::last() {
    checkActive();
    leaveEditing();
    if (!m_rows.empty())
        setCurrent(rowCount() - 1);
    m_eof = true;
}

void BookDataset::next() {
    checkActive();
    leaveEditing();
    if (m_current + 1 < rowCount())
        setCurrent(m_current + 1);
    else
        m_eof = true;
}

void BookDataset::prior() {
    checkActive();
    leaveEditing();
    if (m_current > 0)
        setCurrent(m_current - 1);
}

void BookDataset::moveTo(int row) {
    checkActive();
    if (row < 0 || row >= rowCount() || row == m_current)
        return;
    const qint64 target = m_rows[size_t(row)];
    leaveEditing();
    setCurrent(indexOfRowId(target, row));
}

void BookDataset::startInsert(int at) {
    m_currentBeforeInsert = m_current;
    m_rows.insert(m_rows.begin() + at, kNewRow);
    m_buffer = QStringList(m_columns.size(), QString());
    m_modified = false;
    m_current = at;
    m_eof = false;
    Q_EMIT rowInserted(at);
    setState(DatasetState::Insert);
    Q_EMIT currentChanged();
}

void BookDataset::append() {
    checkActive();
    leaveEditing();
    startInsert(rowCount());
}

void BookDataset::insert() {
    checkActive();
    leaveEditing();
    startInsert(std::max(m_current, 0));
}

void BookDataset::edit() {
    checkActive();
    if (m_state != DatasetState::Browse)
        return;
    if (m_rows.empty()) {
        insert();
        return;
    }
    m_buffer = readRecordTexts(m_current);
    m_modified = false;
    setState(DatasetState::Edit);
}

void BookDataset::remove() {
    checkActive();
    if (m_state == DatasetState::Insert) {
        cancel();
        return;
    }
    checkNotEmpty();
    const qint64 rowId = currentRowId();
    SqliteStatement del(m_connection->handle(),
                        QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(quotedTable()));
    del.bindInt64(1, rowId);
    del.step();
    m_cache->forget(rowId);
    m_buffer.clear();
    m_modified = false;
    const bool wasEditing = m_state != DatasetState::Browse;
    m_state = DatasetState::Browse;
    const int row = m_current;
    m_rows.erase(m_rows.begin() + row);
    m_current = std::min(row, rowCount() - 1);
    m_eof = m_rows.empty();
    Q_EMIT rowRemoved(row);
    if (wasEditing)
        Q_EMIT stateChanged();
    Q_EMIT currentChanged();
}

void BookDataset::post() {
    if (m_state != DatasetState::Edit && m_state != DatasetState::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    writeRecord();
    m_buffer.clear();
    m_modified = false;
    setState(DatasetState::Browse);
    Q_EMIT rowChanged(m_current);
    Q_EMIT currentChanged();
}

void BookDataset::cancel() {
    const DatasetState state = m_state;
    if (state != DatasetState::Edit && state != DatasetState::Insert)
        return;
    const int row = m_current;
    m_buffer.clear();
    m_modified = false;
    // Listeners hear of a removed row only once the dataset is browsing again, so what they
    // read is the stored rows, not the dropped record.
    m_state = DatasetState::Browse;
    if (state == DatasetState::Insert) {
        m_rows.erase(m_rows.begin() + row);
        m_current = std::min(m_currentBeforeInsert, rowCount() - 1);
        Q_EMIT rowRemoved(row);
    } else {
        Q_EMIT rowChanged(row);
    }
    Q_EMIT stateChanged();
    Q_EMIT currentChanged();
}

void BookDataset::refresh() {
    checkActive();
    leaveEditing();
    const qint64 current = m_current >= 0 ? m_rows[size_t(m_current)] : kNewRow;
    loadRowIds();
    m_cache->clear();
    const int found = indexOfRowId(current, m_current);
    m_current = found >= 0 ? found : std::clamp(m_current, 0, rowCount() - 1);
    if (m_rows.empty())
        m_current = -1;
    m_eof = m_rows.empty();
    Q_EMIT rowsReset();
    Q_EMIT currentChanged();
    Q_EMIT afterRefresh();
}

bool BookDataset::locate(const QString& column, const QString& text) {
    checkActive();
    leaveEditing();
    const Column& field = fieldByName(column);
    const QString col = quoted(field.name);
    // A column of another program's making (numbers, say) is searched by the text it shows:
    // compared as they are, "12" would find 50 before 123.
    const QString shown =
        field.kind == ColumnKind::Other ? QStringLiteral("CAST(%1 AS TEXT)").arg(col) : col;
    QString condition = QStringLiteral("%1 >= ?1 AND %1 < ?1 || x'FF'").arg(shown);
    QString value = text;
    if (text.isEmpty()) {
        condition = QStringLiteral("(%1 IS NULL OR %1 = '')").arg(col);
    } else if (field.kind == ColumnKind::Date) {
        const std::optional<QString> date = parseDateText(text);
        if (!date)
            return false;
        condition = QStringLiteral("%1 = ?1").arg(col);
        value = *date;
    }
    SqliteStatement find(m_connection->handle(),
                         QStringLiteral("SELECT rowid FROM %1 WHERE %2 ORDER BY %3, %4 LIMIT 1")
                             .arg(quotedTable(), condition, col, keyOrder()));
    find.bindText(1, value);
    if (!find.step())
        return false;
    const int row = indexOfRowId(find.int64(0), m_current);
    if (row < 0)
        return false; // stored by another program since the last refresh
    setCurrent(row);
    return true;
}

int BookDataset::indexOfRowId(qint64 rowId, int hint) const {
    if (hint >= 0 && hint < rowCount() && m_rows[size_t(hint)] == rowId)
        return hint;
    const auto it = std::find(m_rows.begin(), m_rows.end(), rowId);
    return it == m_rows.end() ? -1 : int(it - m_rows.begin());
}

qint64 BookDataset::currentRowId() const {
    return m_current >= 0 ? m_rows[size_t(m_current)] : kNewRow;
}

int BookDataset::recordNumber() const {
    if (m_state == DatasetState::Insert || m_current < 0)
        return -1;
    return m_current + 1;
}

int BookDataset::recordCount() const {
    return rowCount() - (m_state == DatasetState::Insert ? 1 : 0);
}

int BookDataset::columnIndex(const QString& name) const {
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name == name)
            return i;
    return -1;
}

const Column& BookDataset::fieldByName(const QString& name) const {
    checkActive();
    const int index = columnIndex(name);
    if (index < 0)
        fail(QStringLiteral("找不到字段“%1”").arg(name));
    return m_columns[index];
}

QString BookDataset::storedValueText(const SqliteStatement& row, int column) const {
    // Row statements deliver the row id first, then the columns in table order.
    if (row.isNull(column + 1))
        return {};
    const QString text = row.text(column + 1);
    return m_columns[column].kind == ColumnKind::Date ? dateValueText(text) : text;
}

QStringList BookDataset::readRecordTexts(int row) const {
    const qint64 rowId = m_rows[size_t(row)];
    if (const QStringList* texts = m_cache->find(rowId))
        return *texts;
    const int start = row - row % kPageRows;
    const int end = std::min(start + kPageRows, rowCount());
    std::vector<qint64> ids(m_rows.begin() + start, m_rows.begin() + end);
    if (std::find(ids.begin(), ids.end(), rowId) == ids.end())
        ids.push_back(rowId);
    m_cache->fetch(
        ids, [this](const SqliteStatement& r, int c) { return storedValueText(r, c); },
        int(m_columns.size()));
    if (const QStringList* texts = m_cache->find(rowId))
        return *texts;
    // Removed by another program since the last refresh: shown as an empty row.
    return QStringList(m_columns.size(), QString());
}

QString BookDataset::rowValueText(int row, int column) const {
    if (!isActive() || row < 0 || row >= rowCount() || column < 0 || column >= m_columns.size())
        return {};
    if (row == m_current && m_state != DatasetState::Browse)
        return m_buffer.value(column);
    return readRecordTexts(row).value(column);
}

QString BookDataset::valueText(int column) const {
    return rowValueText(m_current, column);
}

QString BookDataset::valueText(const QString& column) const {
    return valueText(columnIndex(fieldByName(column).name));
}

void BookDataset::setFieldText(int column, const QString& text) {
    checkActive();
    if (column < 0 || column >= m_columns.size())
        return;
    if (m_state == DatasetState::Browse)
        edit();
    if (m_buffer[column] == text)
        return;
    m_buffer[column] = text;
    m_modified = true;
    Q_EMIT rowChanged(m_current);
}

void BookDataset::checkKeyUnique(const QString& key) const {
    if (m_keyColumn < 0)
        return;
    SqliteStatement same(m_connection->handle(),
                         QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?1 AND rowid <> ?2 LIMIT 1")
                             .arg(quotedTable(), keyOrder()));
    same.bindText(1, key);
    same.bindInt64(2, m_state == DatasetState::Insert ? kNewRow : currentRowId());
    if (same.step())
        fail(QStringLiteral("%1“%2”已经存在，不能重复").arg(m_columns[m_keyColumn].name, key));
}

void BookDataset::checkWidth(int column, const QString& text) const {
    const Column& field = m_columns[column];
    if (field.width > 0 && text.toUcs4().size() > field.width)
        fail(QStringLiteral("%1最多只能有 %2 个字符").arg(field.name).arg(field.width));
}

void BookDataset::validateBuffer(QVector<QVariant>& values) const {
    values.clear();
    for (int c = 0; c < m_columns.size(); ++c) {
        const Column& column = m_columns[c];
        const QString& text = m_buffer[c];
        if (column.key && text.trimmed().isEmpty())
            fail(QStringLiteral("%1不能为空").arg(column.name));
        checkWidth(c, text);
        if (text.isEmpty()) {
            values << QVariant();
        } else if (column.kind == ColumnKind::Date) {
            const std::optional<QString> date = parseDateText(text);
            if (!date)
                fail(QStringLiteral("“%1”不是有效的日期").arg(text));
            values << *date;
        } else {
            values << text;
        }
    }
    if (m_keyColumn >= 0)
        checkKeyUnique(m_buffer[m_keyColumn]);
}

void BookDataset::writeRecord() {
    QVector<QVariant> values;
    validateBuffer(values);
    sqlite3* db = m_connection->handle();
    const bool inserting = m_state == DatasetState::Insert;
    QStringList params;
    for (int c = 0; c < m_columns.size(); ++c)
        params << (inserting ? QStringLiteral("?%1")
                             : quoted(m_columns[c].name) + QStringLiteral(" = ?%1"))
                      .arg(c + 1);
    const QString sql =
        inserting ? QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(quotedTable(), quotedColumns(), params.join(QLatin1Char(',')))
                  : QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                        .arg(quotedTable(), params.join(QLatin1Char(',')))
                        .arg(m_columns.size() + 1);
    SqliteStatement write(db, sql);
    for (int c = 0; c < values.size(); ++c) {
        if (values[c].isNull())
            write.bindNull(c + 1);
        else
            write.bindText(c + 1, values[c].toString());
    }
    if (!inserting)
        write.bindInt64(int(m_columns.size()) + 1, currentRowId());
    write.step();
    if (!inserting && sqlite3_changes(db) == 0)
        fail(QStringLiteral("这条记录已被其他程序删除，修改没有保存"));
    if (inserting)
        m_rows[size_t(m_current)] = sqlite3_last_insert_rowid(db);
    else
        m_cache->forget(currentRowId());
}

void BookDataset::forEachRecord(const RecordCallback& callback) {
    checkActive();
    leaveEditing();
    sqlite3* db = m_connection->handle();
    // Streaming in key order is the fast path; records posted since the last refresh keep the
    // place they were entered at, so from the first row that differs each row is read by id.
    SqliteStatement stream(db, QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY %3")
                                   .arg(quotedColumns(), quotedTable(), keyOrder()));
    size_t row = 0;
    while (row < m_rows.size() && stream.step() && stream.int64(0) == m_rows[row]) {
        callback(stream, int(row));
        ++row;
    }
    if (row == m_rows.size())
        return;
    SqliteStatement byId(db, QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ?1")
                                 .arg(quotedColumns(), quotedTable()));
    for (; row < m_rows.size(); ++row) {
        byId.reset();
        byId.bindInt64(1, m_rows[row]);
        if (byId.step())
            callback(byId, int(row));
    }
}

void BookDataset::forEachRecordInTableOrder(const RecordCallback& callback) {
    checkActive();
    leaveEditing();
    // Sorted by row id, the grid rows can be matched to the scan by walking both together.
    std::vector<std::pair<qint64, int>> gridRows;
    gridRows.reserve(m_rows.size());
    for (size_t row = 0; row < m_rows.size(); ++row)
        gridRows.emplace_back(m_rows[row], int(row));
    std::sort(gridRows.begin(), gridRows.end());
    SqliteStatement scan(m_connection->handle(),
                         QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                             .arg(quotedColumns(), quotedTable()));
    auto next = gridRows.cbegin();
    while (next != gridRows.cend() && scan.step()) {
        const qint64 rowId = scan.int64(0);
        while (next != gridRows.cend() && next->first < rowId)
            ++next;
        if (next != gridRows.cend() && next->first == rowId)
            callback(scan, (next++)->second);
    }
}

} // namespace qb
