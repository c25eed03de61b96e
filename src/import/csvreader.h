#pragma once

#include "store/storeerror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <functional>

namespace qb {

// Output that cannot be what the tool prints for a readable file.
class CsvError : public StoreError {
public:
    using StoreError::StoreError;
};

// Reads the comma-separated rows mdb-export prints, as they arrive: text fields in double
// quotes with inner quotes doubled (a quoted field may span lines), other fields bare, one
// row per line. Fields stay UTF-8 bytes, so a big table is never turned into strings whole.
class CsvReader {
public:
    using RowHandler = std::function<void(const QList<QByteArray>& fields)>;
    explicit CsvReader(RowHandler onRow)
        : m_onRow(std::move(onRow)) {}

    // Throws CsvError when a row grows beyond any value the tool can print (a damaged file
    // that makes it print endlessly).
    void feed(QByteArrayView chunk);
    // Throws CsvError when the output ends inside a row.
    void finish();

private:
    void endField();
    void endRow();
    void checkRowSize();

    RowHandler m_onRow;
    QList<QByteArray> m_fields;
    QByteArray m_field;
    qsizetype m_rowBytes = 0;
    bool m_inQuotes = false;
    bool m_quoteSeen = false; // a quote inside quotes: the end, or the first of a doubled pair
    bool m_rowStarted = false;
};

} // namespace qb
