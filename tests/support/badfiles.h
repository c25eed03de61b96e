#pragma once

#include <QList>
#include <QString>

namespace qb::test {

// Files that must never open as a book, each with a piece of the error it gives and how it
// is made (tests/data/reliability/badfiles.txt). The same kinds are tried on the record store
// and on the main window.
struct BadFileKind {
    QString name, error, how = {}, what = {};
};
const QList<BadFileKind>& badFileKinds();

// Writes a file of the named kind; books it needs are made in the file's folder.
void makeBadFile(const QString& kind, const QString& file);

// A book of 400 contacts whose key index is whole but one page of records is overwritten: the
// first page is read as soon as a window opens the book, the last only when scrolled to.
enum class DamagedPage { First, Last };
void makeDamagedBook(const QString& file, DamagedPage page);

// Runs SQL on a database file through the plain SQLite library, as another program would.
void runSql(const QString& file, const QString& sql);

} // namespace qb::test
