#pragma once

#include "connection.h"

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qb {

class SqliteStatement;
class RowCache;
struct ShownRow;

enum class DatasetState { Inactive, Browse, Edit, Insert };
enum class ColumnKind { Text, Date, Other };
// The grid's order: the key column's character codes, or its pinyin (ties by character code).
enum class KeyOrder { Code, Pinyin };

struct Column {
    QString name;
    QString declaredType;
    ColumnKind kind = ColumnKind::Text;
    int width = 0; // characters a text column holds; 0 when unbounded
    bool key = false;
};

// One book's table dataset (ADOTable1 .. ADOTable3): a current record that is browsing,
// editing or inserting, moved through in key order (by code or by pinyin). It holds only the
// ordered row ids and reads row contents on demand, so a book of a million records opens fast and
// stays small.
class BookDataset : public QObject {
    Q_OBJECT
public:
    explicit BookDataset(const QString& name, QObject* parent = nullptr);
    ~BookDataset() override;

    const QString& name() const { return m_name; }
    void setTableName(const QString& table) { m_table = table; }
    const QString& tableName() const { return m_table; }
    Connection* connection() const { return m_connection; } // while the book is open
    // Columns the bound controls need; opening fails when the table lacks one.
    void setRequiredColumns(const QStringList& columns) { m_requiredColumns = columns; }

    // Checks that the connection's file has this table and the required columns.
    void verify(Connection& connection) const;
    void open(Connection& connection);
    void close();
    bool isActive() const { return m_state != DatasetState::Inactive; }
    DatasetState state() const { return m_state; }
    bool isModified() const { return m_modified; }
    // An open book is put in the new order at once, as a refresh would, after leaving editing;
    // its current record stays current.
    void setKeyOrder(KeyOrder order);
    KeyOrder keyOrder() const { return m_keyOrder; }

    void first();
    void prior();
    void next();
    void last();
    void moveTo(int row); // a grid click: row counts from 0 in the grid's order
    bool eof() const { return m_eof; }

    void append();
    void insert();
    void edit();
    void remove();
    void post();
    void cancel();
    void refresh();
    // Partial-key locate: the first record, in ascending order of the column, whose value
    // begins with the text (binary case); the empty text finds only empty values; a date
    // column needs an equal date. In pinyin order, the key column's first is the grid's.
    bool locate(const QString& column, const QString& text);

    int recordNumber() const;
    int recordCount() const;
    int rowCount() const { return int(m_rows.size()); } // grid rows, a new record included
    int currentRow() const { return m_current; }
    // The grid row of a stored record, or -1 when the grid does not hold it.
    int rowOfRowId(qint64 rowId) const { return indexOfRowId(rowId, m_current); }

    const QVector<Column>& columns() const { return m_columns; }
    int columnIndex(const QString& name) const;
    const Column& fieldByName(const QString& name) const;

    // Value texts of the current record, pending edits included.
    QString valueText(int column) const;
    QString valueText(const QString& column) const;
    // Value texts of any grid row, read through the row cache.
    QString rowValueText(int row, int column) const;
    // A bound control's typed text; starts editing by itself when the record is browsing.
    void setFieldText(int column, const QString& text);
    // Throws the data layer's error when the column cannot hold the text.
    void checkWidth(int column, const QString& text) const;

    // Each record with its grid row (from 0), as the walks below deliver them.
    using RecordCallback = std::function<void(const SqliteStatement& row, int gridRow)>;
    // Reads every record in grid order without moving the cursor or telling the grid; the
    // callback gets the row's stored values (dates as stored) and may throw to stop. Leaves
    // editing first. Grid rows another program deleted are left out.
    void forEachRecord(const RecordCallback& callback);
    // The same records in the table's own order, the fastest way through a big book. Records
    // another program added since the last refresh are not in the grid and are skipped. Big
    // walks that need no order, or place records by grid row, use this and then call last().
    void forEachRecordInTableOrder(const RecordCallback& callback);
    // The value text of a stored value as forEachRecord delivers it.
    QString storedValueText(const SqliteStatement& row, int column) const;

Q_SIGNALS:
    void afterOpen();
    void afterRefresh();
    void afterClose();
    void rowsReset();
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void currentChanged();
    void stateChanged();

private:
    void checkActive() const;
    void checkNotEmpty() const;
    [[noreturn]] void fail(const QString& message) const;
    void leaveEditing();
    void setCurrent(int row);
    void setState(DatasetState state);
    void startInsert(int at);
    void checkOrdinaryTable(sqlite3* db) const;
    void loadColumns(sqlite3* db);
    void loadRowIds();
    void loadRowIdsInPinyinOrder();
    bool inPinyinOrder() const { return m_keyOrder == KeyOrder::Pinyin && m_keyColumn >= 0; }
    int keepCurrent(qint64 rowId);
    int firstGridRowOf(SqliteStatement& matches) const;
    void loadWholeValue(int column);
    void writeRecord();
    void insertRecord(const QVector<QVariant>& values);
    void updateRecord(const QList<int>& changed, const QVector<QVariant>& values);
    static void bindValues(SqliteStatement& statement, const QVector<QVariant>& values);
    QVariant valueToStore(int column, const QString& text) const;
    QList<int> changedColumns() const;
    void checkKeyUnique(const QString& key) const;
    QString shownCondition(int firstParam) const;
    void bindShown(SqliteStatement& statement, int firstParam, const ShownRow& shown) const;
    bool currentRowStillAsShown() const;
    // Another program changed or removed the record: says so and what was not done.
    [[noreturn]] void failStale(bool posting) const;
    void rebasePendingEdit(bool stillThere);
    qint64 currentRowId() const;
    int indexOfRowId(qint64 rowId, int hint) const;
    QString quotedTable() const;
    QString quotedColumns() const;
    QString codeOrder() const;
    const ShownRow* shownRow(int row) const;
    QStringList readRecordTexts(int row) const;
    QString pendingText(int column) const;

    QString m_name;
    QString m_table;
    QStringList m_requiredColumns;
    Connection* m_connection = nullptr;
    DatasetState m_state = DatasetState::Inactive;
    QVector<Column> m_columns;
    int m_keyColumn = -1;
    KeyOrder m_keyOrder = KeyOrder::Code;
    std::vector<qint64> m_rows; // grid order; kNewRow marks the record being inserted
    int m_current = -1;
    int m_currentBeforeInsert = -1;
    bool m_eof = true;
    // While editing or inserting: the pending value texts, and the texts the record had when
    // editing began. A column whose value was too long to show in full holds the whole value
    // once the user changes it; the control then holds only the start of it.
    QStringList m_buffer;
    QStringList m_original;
    std::vector<std::optional<QString>> m_controlText; // set for columns held in full
    std::vector<bool> m_maybeCut;
    bool m_modified = false;
    std::unique_ptr<RowCache> m_cache;
};

} // namespace qb
