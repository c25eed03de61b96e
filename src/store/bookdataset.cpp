#include "bookdataset.h"

#include "dataerror.h"
#include "pinyinorder.h"
#include "sqlitestatement.h"
#include "valuetext.h"

#include <QHash>
#include <QRegularExpression>
#include <QVariant>

#include <algorithm>
#include <limits>
#include <sqlite3.h>
#include <unordered_map>
#include <unordered_set>

namespace qb {

namespace {

constexpr qint64 kNewRow = std::numeric_limits<qint64>::min();
// A grid shows a few dozen rows; one read fetches a page of them by row id, and the cache
// keeps a few pages so that scrolling back and forth does not hit the file again.
constexpr int kPageRows = 64;
constexpr int kCacheRows = 16 * kPageRows;
// A grid cell shows one line and an entry field a screenful: values are read cut to this many
// characters, so a book with values of megabytes (written by another program) still opens
// and moves at once. The whole value is read only when its column is edited, or exported.
constexpr int kShownCharacters = 4096;
const QStringList kRowIdNames = {QStringLiteral("rowid"), QStringLiteral("oid"),
                                 QStringLiteral("_rowid_")};

// The column as a browsing read kept it: its first characters as text. A write is made only
// while the row still starts the same.
QString shownExpression(const QString& column) {
    return QStringLiteral("CAST(substr(%1, 1, %2) AS TEXT)")
        .arg(quotedIdentifier(column))
        .arg(kShownCharacters);
}

// The first kShownCharacters characters of a stored value, counted as substr() counts them:
// bytes of a blob; in a text, a byte from 0xC0 up with the continuation bytes after it, or any
// other byte, up to the first zero byte. So the engine can compare what was read.
QByteArrayView shownStart(QByteArrayView bytes, bool blob) {
    if (blob)
        return bytes.first(std::min<qsizetype>(bytes.size(), kShownCharacters));
    if (bytes.size() <= kShownCharacters) { // no more characters than bytes: nearly every value
        const qsizetype zero = bytes.indexOf('\0');
        return zero < 0 ? bytes : bytes.first(zero);
    }
    qsizetype at = 0;
    for (int characters = 0;
         characters < kShownCharacters && at < bytes.size() && bytes[at] != '\0'; ++characters) {
        if (static_cast<unsigned char>(bytes[at++]) < 0xC0)
            continue;
        while (at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80)
            ++at;
    }
    return bytes.first(at);
}

// The control showed `before`, the start of `full`, and the user made it `after`: the same
// change is made to the full value, whose part beyond what the control showed stays.
QString spliced(const QString& before, const QString& after, const QString& full) {
    const qsizetype common = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < common && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < common - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    return full.left(head) + after.mid(head, after.size() - head - tail) +
           full.mid(before.size() - tail);
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

// One row as the book last read it.
struct ShownRow {
    QStringList texts; // value texts, cut to kShownCharacters
    // The start of each value as read, one after another: what a write must still find.
    QByteArray starts;
    std::vector<qsizetype> ends;
    std::vector<bool> nulls;
    std::vector<bool> cut; // the value goes on beyond its text

    QByteArrayView start(int column) const {
        const qsizetype from = column == 0 ? 0 : ends[size_t(column) - 1];
        return QByteArrayView(starts).sliced(from, ends[size_t(column)] - from);
    }
};

// Recently shown rows, keyed by row id.
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

    const ShownRow* find(qint64 rowId) const {
        const auto it = m_rows.find(rowId);
        return it == m_rows.end() ? nullptr : &it->second;
    }
    void forget(qint64 rowId) { m_rows.erase(rowId); }
    void clear() { m_rows.clear(); }

    // Reads the rows among ids that are not cached yet, in one statement. The row `keep` stays
    // when the cache is emptied: it is the current record, and what the book showed of it is
    // the condition of its next write.
    void fetch(const std::vector<qint64>& ids,
               const std::function<QString(int column, QByteArrayView start)>& valueText,
               int columnCount, qint64 keep) {
        if (m_rows.size() + kPageRows > kCacheRows)
            clearAllBut(keep);
        m_page->reset();
        int bound = 0;
        for (qint64 id : ids)
            if (!m_rows.contains(id))
                m_page->bindInt64(++bound, id);
        if (bound == 0)
            return;
        while (m_page->step())
            m_rows.insert_or_assign(m_page->int64(0), readRow(valueText, columnCount));
    }

private:
    ShownRow readRow(const std::function<QString(int, QByteArrayView)>& valueText,
                     int columnCount) const {
        ShownRow row;
        row.texts.reserve(columnCount);
        row.ends.reserve(size_t(columnCount));
        for (int c = 0; c < columnCount; ++c) {
            const bool blob = m_page->isBlob(c + 1); // before the text is taken
            int length = 0;
            const char* bytes = m_page->utf8(c + 1, &length); // the row id comes first
            const QByteArrayView start = shownStart(QByteArrayView(bytes, length), blob);
            row.nulls.push_back(bytes == nullptr);
            row.cut.push_back(start.size() < length);
            row.starts += start;
            row.ends.push_back(row.starts.size());
            row.texts << (bytes ? valueText(c, start) : QString());
        }
        return row;
    }

    void clearAllBut(qint64 keep) {
        auto kept = m_rows.extract(keep);
        m_rows.clear();
        if (!kept.empty())
            m_rows.insert(std::move(kept));
    }

    std::unique_ptr<SqliteStatement> m_page;
    std::unordered_map<qint64, ShownRow> m_rows;
};

BookDataset::BookDataset(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name) {}

BookDataset::~BookDataset() {
    close();
}

void BookDataset::fail(const QString& message) const {
    throw DataError(m_name + QStringLiteral(": ") + message);
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
    return quotedIdentifier(m_table);
}

QString BookDataset::quotedColumns() const {
    QStringList names;
    for (const Column& column : m_columns)
        names << quotedIdentifier(column.name);
    return names.join(QLatin1Char(','));
}

QString BookDataset::codeOrder() const {
    return m_keyColumn < 0 ? QStringLiteral("rowid")
                           : quotedIdentifier(m_columns[m_keyColumn].name);
}

void BookDataset::verify(Connection& connection) const {
    connection.acquire();
    struct Release {
        Connection& c;
        ~Release() { c.release(); }
    } release{connection};
    checkOrdinaryTable(connection.handle());
    SqliteStatement info(connection.handle(),
                         QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
    info.bindText(1, m_table);
    QStringList present;
    while (info.step())
        present << info.text(0);
    for (const QString& required : m_requiredColumns)
        if (!present.contains(required))
            fail(QStringLiteral("表“%1”中没有字段“%2”").arg(m_table, required));
    // Such a column hides the row id that every write names the record by.
    for (const QString& name : present)
        if (kRowIdNames.contains(name, Qt::CaseInsensitive))
            fail(QStringLiteral("表“%1”中有名为“%2”的字段，会和记录的行号混淆，"
                                "Quillbox 不能打开这个文件")
                     .arg(m_table, name));
}

void BookDataset::checkOrdinaryTable(sqlite3* db) const {
    // A view or virtual table in the place of a book would run someone else's query at every
    // read (a recursive view never ends); a table without row ids cannot be written safely.
    SqliteStatement kind(db, QStringLiteral("SELECT type, sql FROM sqlite_schema WHERE name = ?1 "
                                            "COLLATE NOCASE AND type IN ('table', 'view')"));
    kind.bindText(1, m_table);
    if (!kind.step())
        fail(QStringLiteral("数据库文件中没有表“%1”").arg(m_table));
    const auto refuse = [this](const QString& what) {
        fail(QStringLiteral("数据库文件中的“%1”是%2，不是普通的表，Quillbox 不能打开这个文件")
                 .arg(m_table, what));
    };
    if (kind.text(0) == QStringLiteral("view"))
        refuse(QStringLiteral("视图"));
    if (kind.text(1).startsWith(QStringLiteral("create virtual"), Qt::CaseInsensitive))
        refuse(QStringLiteral("虚拟表"));
    try {
        SqliteStatement rowIds(db,
                               QStringLiteral("SELECT rowid FROM %1 LIMIT 0").arg(quotedTable()));
    } catch (const DataError&) {
        refuse(QStringLiteral("没有行号的表"));
    }
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
    if (inPinyinOrder())
        return loadRowIdsInPinyinOrder();
    SqliteStatement ids(
        m_connection->handle(),
        QStringLiteral("SELECT rowid FROM %1 ORDER BY %2").arg(quotedTable(), codeOrder()));
    m_rows.clear();
    while (ids.step())
        m_rows.push_back(ids.int64(0));
}

void BookDataset::loadRowIdsInPinyinOrder() {
    m_rows = rowIdsInPinyinOrder(m_connection->handle(), m_table, m_columns[m_keyColumn].name);
}

void BookDataset::setKeyOrder(KeyOrder order) {
    if (isActive())
        leaveEditing();
    if (std::exchange(m_keyOrder, order) == order || !isActive())
        return;
    const qint64 current = currentRowId();
    loadRowIds();
    keepCurrent(current);
    m_eof = m_rows.empty();
    Q_EMIT rowsReset();
    Q_EMIT currentChanged();
}

// After the rows were read again: the record that was current stays current where it still
// is, else the row at its place. Returns its row, or -1 when it is gone.
int BookDataset::keepCurrent(qint64 rowId) {
    const int found = indexOfRowId(rowId, m_current);
    if (m_rows.empty())
        m_current = -1;
    else
        m_current = found >= 0 ? found : std::clamp(m_current, 0, rowCount() - 1);
    return found;
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
    m_original = m_buffer;
    m_controlText.assign(size_t(m_columns.size()), std::nullopt);
    m_maybeCut.assign(size_t(m_columns.size()), false);
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
    m_original = m_buffer;
    m_controlText.assign(size_t(m_columns.size()), std::nullopt);
    const ShownRow* shown = m_cache->find(currentRowId());
    m_maybeCut = shown ? shown->cut : std::vector<bool>(size_t(m_columns.size()), false);
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
    const ShownRow* shown = shownRow(m_current);
    if (!shown)
        failStale(false);
    SqliteStatement del(
        m_connection->handle(),
        QStringLiteral("DELETE FROM %1 WHERE rowid = ?1%2").arg(quotedTable(), shownCondition(2)));
    del.bindInt64(1, rowId);
    bindShown(del, 2, *shown);
    del.step();
    if (sqlite3_changes(m_connection->handle()) == 0)
        failStale(false);
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
    // Changes another program made to the record being edited do not throw the typed values
    // away: they stay, on top of what the record holds now.
    const bool keepPending =
        m_state == DatasetState::Edit && m_modified && !currentRowStillAsShown();
    if (!keepPending)
        leaveEditing();
    const qint64 current = currentRowId();
    loadRowIds();
    m_cache->clear();
    const int found = keepCurrent(current);
    if (keepPending)
        rebasePendingEdit(found >= 0);
    m_eof = m_rows.empty();
    Q_EMIT rowsReset();
    Q_EMIT currentChanged();
    Q_EMIT afterRefresh();
}

bool BookDataset::locate(const QString& column, const QString& text) {
    checkActive();
    leaveEditing();
    const Column& field = fieldByName(column);
    const QString col = quotedIdentifier(field.name);
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
    const bool byGridRow = field.key && inPinyinOrder();
    SqliteStatement find(
        m_connection->handle(),
        QStringLiteral("SELECT rowid FROM %1 WHERE %2%3")
            .arg(quotedTable(), condition,
                 byGridRow ? QString()
                           : QStringLiteral(" ORDER BY %1, %2 LIMIT 1").arg(col, codeOrder())));
    find.bindText(1, value);
    int row = -1;
    if (byGridRow)
        row = firstGridRowOf(find);
    else if (find.step())
        row = indexOfRowId(find.int64(0), m_current);
    if (row < 0)
        return false; // none, or stored by another program since the last refresh
    setCurrent(row);
    return true;
}

// The lowest grid row among the statement's row ids: one pass over the grid, however many.
int BookDataset::firstGridRowOf(SqliteStatement& matches) const {
    std::unordered_set<qint64> rowIds;
    while (matches.step())
        rowIds.insert(matches.int64(0));
    if (rowIds.empty())
        return -1;
    const auto first = std::find_if(m_rows.begin(), m_rows.end(),
                                    [&](qint64 rowId) { return rowIds.contains(rowId); });
    return first == m_rows.end() ? -1 : int(first - m_rows.begin());
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

const ShownRow* BookDataset::shownRow(int row) const {
    const qint64 rowId = m_rows[size_t(row)];
    if (const ShownRow* shown = m_cache->find(rowId))
        return shown;
    const int start = row - row % kPageRows;
    const int end = std::min(start + kPageRows, rowCount());
    std::vector<qint64> ids(m_rows.begin() + start, m_rows.begin() + end);
    if (std::find(ids.begin(), ids.end(), rowId) == ids.end())
        ids.push_back(rowId);
    m_cache->fetch(
        ids,
        [this](int c, QByteArrayView start) {
            const QString text = QString::fromUtf8(start);
            return m_columns[c].kind == ColumnKind::Date ? dateValueText(text) : text;
        },
        int(m_columns.size()), currentRowId());
    return m_cache->find(rowId);
}

QStringList BookDataset::readRecordTexts(int row) const {
    if (const ShownRow* shown = shownRow(row))
        return shown->texts;
    // Removed by another program since the last refresh: shown as an empty row.
    return QStringList(m_columns.size(), QString());
}

QString BookDataset::pendingText(int column) const {
    const std::optional<QString>& control = m_controlText[size_t(column)];
    return control ? *control : m_buffer.value(column);
}

QString BookDataset::rowValueText(int row, int column) const {
    if (!isActive() || row < 0 || row >= rowCount() || column < 0 || column >= m_columns.size())
        return {};
    if (row == m_current && m_state != DatasetState::Browse)
        return pendingText(column);
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
    if (pendingText(column) == text)
        return;
    if (m_maybeCut[size_t(column)] && !m_controlText[size_t(column)])
        loadWholeValue(column);
    if (std::optional<QString>& control = m_controlText[size_t(column)]) {
        m_buffer[column] = spliced(*control, text, m_buffer[column]);
        control = text;
    } else {
        m_buffer[column] = text;
    }
    m_modified = true;
    Q_EMIT rowChanged(m_current);
}

void BookDataset::loadWholeValue(int column) {
    SqliteStatement whole(m_connection->handle(),
                          QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ?1")
                              .arg(quotedIdentifier(m_columns[column].name), quotedTable()));
    whole.bindInt64(1, currentRowId());
    if (!whole.step())
        return; // removed meanwhile: the post will say so
    const QString stored = whole.isNull(1) ? QString() : whole.text(1);
    const QString text =
        m_columns[column].kind == ColumnKind::Date ? dateValueText(stored) : stored;
    m_controlText[size_t(column)] = m_buffer[column];
    m_buffer[column] = text;
    m_original[column] = text;
}

void BookDataset::checkKeyUnique(const QString& key) const {
    if (m_keyColumn < 0)
        return;
    SqliteStatement same(m_connection->handle(),
                         QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?1 AND rowid <> ?2 LIMIT 1")
                             .arg(quotedTable(), codeOrder()));
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

QVariant BookDataset::valueToStore(int column, const QString& text) const {
    const Column& field = m_columns[column];
    if (field.key && text.trimmed().isEmpty())
        fail(QStringLiteral("%1不能为空").arg(field.name));
    checkWidth(column, text);
    if (text.isEmpty())
        return {};
    if (field.kind != ColumnKind::Date)
        return text;
    const std::optional<QString> date = parseDateText(text);
    if (!date)
        fail(QStringLiteral("“%1”不是有效的日期").arg(text));
    return *date;
}

QList<int> BookDataset::changedColumns() const {
    QList<int> changed;
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_state == DatasetState::Insert || m_buffer[c] != m_original[c])
            changed << c;
    return changed;
}

QString BookDataset::shownCondition(int firstParam) const {
    QString condition;
    for (int c = 0; c < m_columns.size(); ++c)
        condition += QStringLiteral(" AND %1 IS ?%2")
                         .arg(shownExpression(m_columns[c].name))
                         .arg(firstParam + c);
    return condition;
}

void BookDataset::bindShown(SqliteStatement& statement, int firstParam,
                            const ShownRow& shown) const {
    for (int c = 0; c < m_columns.size(); ++c) {
        if (shown.nulls[size_t(c)])
            statement.bindNull(firstParam + c);
        else
            statement.bindUtf8(firstParam + c, shown.start(c));
    }
}

bool BookDataset::currentRowStillAsShown() const {
    const ShownRow* shown = m_cache->find(currentRowId());
    if (!shown)
        return false;
    SqliteStatement same(m_connection->handle(),
                         QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?1%2")
                             .arg(quotedTable(), shownCondition(2)));
    same.bindInt64(1, currentRowId());
    bindShown(same, 2, *shown);
    return same.step();
}

void BookDataset::failStale(bool posting) const {
    SqliteStatement exists(m_connection->handle(),
                           QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?1").arg(quotedTable()));
    exists.bindInt64(1, currentRowId());
    const bool changed = exists.step();
    const QString what = changed ? QStringLiteral("这条记录已被另一个程序修改")
                                 : QStringLiteral("这条记录已被另一个程序删除");
    if (posting)
        fail(what + QStringLiteral("，这次修改没有保存，输入的内容仍在。请按“刷新”查看记录现在的"
                                   "内容，再提交。"));
    fail(what + (changed ? QStringLiteral("，没有删除。请按“刷新”查看记录现在的内容。")
                         : QStringLiteral("。请按“刷新”查看现在的记录。")));
}

void BookDataset::rebasePendingEdit(bool stillThere) {
    const QStringList now = stillThere ? readRecordTexts(m_current) : QStringList();
    // Another key under the same row id is another record (one added after a delete).
    if (!stillThere || (m_keyColumn >= 0 && now[m_keyColumn] != m_original[m_keyColumn])) {
        // Removed by the other program: what was typed stays, as a new record in its place.
        m_currentBeforeInsert = m_current;
        const int at = std::clamp(m_current, 0, rowCount());
        m_rows.insert(m_rows.begin() + at, kNewRow);
        m_current = at;
        setState(DatasetState::Insert);
        return;
    }
    const ShownRow* shown = m_cache->find(currentRowId());
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_buffer[c] == m_original[c]) {
            m_buffer[c] = now[c];
            m_controlText[size_t(c)].reset();
            m_maybeCut[size_t(c)] = shown && shown->cut[size_t(c)];
        }
        m_original[c] = now[c];
    }
}

void BookDataset::writeRecord() {
    const QList<int> changed = changedColumns();
    if (changed.isEmpty())
        return;
    QVector<QVariant> values;
    for (int c : changed)
        values << valueToStore(c, m_buffer[c]);
    if (m_keyColumn >= 0 && changed.contains(m_keyColumn))
        checkKeyUnique(m_buffer[m_keyColumn]);
    if (m_state == DatasetState::Insert)
        insertRecord(values);
    else
        updateRecord(changed, values);
}

void BookDataset::insertRecord(const QVector<QVariant>& values) {
    QStringList params;
    for (int c = 1; c <= m_columns.size(); ++c)
        params << QStringLiteral("?%1").arg(c);
    SqliteStatement write(m_connection->handle(),
                          QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                              .arg(quotedTable(), quotedColumns(), params.join(QLatin1Char(','))));
    bindValues(write, values);
    write.step();
    m_rows[size_t(m_current)] = sqlite3_last_insert_rowid(m_connection->handle());
}

// Only the columns the user changed are written, so values another program stored in the
// others keep their bytes and types; and only while the row still holds what the book showed,
// so a record another program changed, or a new one that took its row id, is never hit.
void BookDataset::updateRecord(const QList<int>& changed, const QVector<QVariant>& values) {
    const ShownRow* shown = m_cache->find(currentRowId());
    if (!shown)
        failStale(true);
    QStringList assignments;
    for (qsizetype i = 0; i < changed.size(); ++i)
        assignments << QStringLiteral("%1 = ?%2")
                           .arg(quotedIdentifier(m_columns[changed[i]].name))
                           .arg(i + 1);
    const int rowIdParam = int(changed.size()) + 1;
    SqliteStatement write(m_connection->handle(),
                          QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3%4")
                              .arg(quotedTable(), assignments.join(QLatin1Char(',')))
                              .arg(rowIdParam)
                              .arg(shownCondition(rowIdParam + 1)));
    bindValues(write, values);
    write.bindInt64(rowIdParam, currentRowId());
    bindShown(write, rowIdParam + 1, *shown);
    write.step();
    if (sqlite3_changes(m_connection->handle()) == 0)
        failStale(true);
    m_cache->forget(currentRowId());
}

void BookDataset::bindValues(SqliteStatement& statement, const QVector<QVariant>& values) {
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].isNull())
            statement.bindNull(i + 1);
        else
            statement.bindText(i + 1, values[i].toString());
    }
}

void BookDataset::forEachRecord(const RecordCallback& callback) {
    checkActive();
    leaveEditing();
    sqlite3* db = m_connection->handle();
    // Streaming in key order is the fast path; records posted since the last refresh keep the
    // place they were entered at, so from the first row that differs each row is read by id.
    SqliteStatement stream(db, QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY %3")
                                   .arg(quotedColumns(), quotedTable(), codeOrder()));
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
