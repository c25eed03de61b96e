#pragma once

#include <QStringList>
#include <QTest>

#include <array>
#include <stdexcept>

namespace qb::test {

// The path of a file under tests/data, e.g. "export/websites.txt".
QString dataFile(const QString& name);
// The bytes of a golden file under tests/data.
QByteArray goldenBytes(const QString& name);

// A table of behaviour under tests/data: one row a line, "name | cell | cell ...". Lines that
// are blank or start with '#' are skipped. Blanks around a cell are dropped; in a cell \s is
// a blank, \r \n \t \| \\ stand for themselves, \xHH and \uHHHH for the character of that
// code, \[N]c for N times the character c, and a cell of \0 alone is missing (null).
struct TableRow {
    QString name;
    QStringList cells;
};
QList<TableRow> readTable(const QString& name);

// Adds one QString column per name and one row per line of the table.
void addTableRows(const QString& name, const QList<const char*>& columns);

// Adds one row per line of the table, with its cells in one column that cells<N>() hands
// back, as in: const auto [input, expected] = test::cells<2>();
void addTableRows(const QString& name);
template <std::size_t N> std::array<QString, N> cells() {
    QFETCH(QStringList, cells);
    if (cells.size() != qsizetype(N))
        throw std::runtime_error("wrong number of cells in a table row");
    std::array<QString, N> out;
    std::ranges::copy(cells, out.begin());
    return out;
}

// The bytes a cell stands for: characters up to \xFF are one byte each, the others their
// UTF-8 bytes; a missing cell gives a null array.
QByteArray bytesOf(const QString& cell);

} // namespace qb::test
