#pragma once

#include "store/dataerror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <functional>

namespace qb {

// Output that cannot be what the tool prints for a readable file.
class CsvError : public DataError {
public:
    using DataError::DataError;
};

// Reads the comma-separated rows mdb-export prints, as they arrive: text fields in double
// quotes with inner quotes doubled (a quoted field may span lines), other fields bare, one
// row per line. A row's fields are views into one buffer that is reused for every row, so a
// big table costs no allocation per value; they stay valid only during the handler's call.
class MdbCsvReader {
public:
    using RowHandler = std::function<void(const QList<QByteArrayView>& fields)>;
    explicit MdbCsvReader(RowHandler onRow)
        : m_onRow(std::move(onRow)) {}

    // Throws CsvError when a row grows beyond any value the tool can print (a damaged file
    // that makes it print endlessly).
    void feed(QByteArrayView chunk);
    // Throws CsvError when the output ends inside a row.
    void finish();

private:
    void endField();
    void endRow();
    void checkRowSize() const;

    RowHandler m_onRow;
    QByteArray m_row;        // the unquoted bytes of the row's fields, one after another
    QList<qsizetype> m_ends; // where each finished field ends in m_row
    QList<QByteArrayView> m_fields;
    bool m_inQuotes = false;
    bool m_quoteSeen = false; // a quote inside quotes: the end, or the first of a doubled pair
    bool m_rowStarted = false;
};

} // namespace qb
