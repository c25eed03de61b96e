#pragma once

#include "books.h"
#include "platform/scriptedplatform.h"
#include "store/sqlitestatement.h"

#include <QTemporaryDir>

namespace qb::test {

// A new database file in a temporary folder, opened, with error boxes recorded, not shown.
struct OpenBooks {
    ScopedScriptedPlatform platform;
    QTemporaryDir dir;
    RecordStore store;

    OpenBooks() { store.openDatabase(createBookFile(dir.path())); }
    BookDataset& contacts() { return store.book(BookId::Contacts); }
    BookDataset& websites() { return store.book(BookId::Websites); }

    // Contacts named n00000, n00001, ... written in one transaction, so big books are quick;
    // the contacts book is refreshed to show them.
    void addContacts(int count) {
        sqlite3* db = store.connection().handle();
        execSql(db, QStringLiteral("BEGIN"));
        SqliteStatement insert(db, QStringLiteral("INSERT INTO lianxi1 (姓名) VALUES (?1)"));
        for (int i = 0; i < count; ++i) {
            insert.reset();
            insert.bindText(1, QStringLiteral("n%1").arg(i, 5, 10, QLatin1Char('0')));
            insert.step();
        }
        execSql(db, QStringLiteral("COMMIT"));
        contacts().refresh();
    }

    // The texts of the error boxes shown so far.
    QStringList errors() const {
        QStringList texts;
        for (const ScriptedPlatform::Message& message : platform.messages)
            texts << message.text;
        return texts;
    }
};

// The named columns (all when none are named) of every record in grid order: values joined
// by "¦", records by "¶".
inline QString shown(const BookDataset& book, const QString& columns = {}) {
    QList<int> at;
    for (const QString& column : columns.split(u'¦', Qt::SkipEmptyParts))
        at << book.columnIndex(column);
    for (int c = 0; columns.isEmpty() && c < book.columns().size(); ++c)
        at << c;
    QStringList records;
    for (int r = 0; r < book.rowCount(); ++r) {
        QStringList values;
        for (int c : at)
            values << book.rowValueText(r, c);
        records << values.join(u'¦');
    }
    return records.join(u'¶');
}

} // namespace qb::test
