#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace qb {

// The three books' tables, in the order they are always opened and closed.
enum class BookId { Contacts = 0, Websites = 1, Serials = 2 };
inline constexpr int kBookCount = 3;

struct TableSchema {
    QString tableName;       // lianxi1, wzsk1, xuliehao1
    QString datasetName;     // ADOTable1 .. ADOTable3: prefix of the data layer's errors
    QStringList createLines; // the creation statement, one entry per line
    QStringList columnNames; // table order

    // The statement as it is executed: every line followed by CR LF.
    QString createStatement() const;
};

const TableSchema& tableSchema(BookId book);
const std::vector<BookId>& allBooks();

} // namespace qb
