#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace qb::test {

// Files that must never open as a book, each with a piece of the error it gives. The same
// kinds are tried on the record store and on the main window.
struct BadFileKind {
    QString name;  // row name of the data-driven tests
    QString error; // a part of the error text it gives
    std::function<void(const QString& file)> make;
};
const QList<BadFileKind>& badFileKinds();

// Writes a file of the named kind; books it needs are made in the file's folder.
void makeBadFile(const QString& kind, const QString& file);

// A book of contacts whose key index is whole but one page of records is overwritten: its
// records cannot be read. The first page holds the first records in key order, which a window
// shows as soon as the book opens; the last page holds records from the middle.
enum class DamagedPage { First, Last };
void makeDamagedBook(const QString& file, DamagedPage page);

// Runs SQL on a database file through the plain SQLite library, as another program would.
void runSql(const QString& file, const QString& sql);

} // namespace qb::test
