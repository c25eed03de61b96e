#pragma once

#include <QString>
#include <QStringList>

namespace qb::test {

// Writes a file that must never open as a book, made as a row of
// tests/data/reliability/badfiles.txt says: how (bytes, sql, cut, damage) and
// what. Books it needs are made in the file's folder.
void makeBadFile(const QString& how, const QString& what, const QString& file);

// Runs SQL on a database file through the plain SQLite library, as another program would
// (which also rolls back what a killed writer left): the first column of the rows it gives.
QStringList runSql(const QString& file, const QString& sql);

} // namespace qb::test
