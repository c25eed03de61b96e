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

    // Contacts named n00000, n00001, ... written in one statement, so big books are quick;
    // the contacts book is refreshed to show them.
    void addContacts(int count) {
        execSql(store.connection().handle(),
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                               "LIMIT %1) INSERT INTO lianxi1 (姓名) SELECT printf('n%05d', i) "
                               "FROM n")
                    .arg(count));
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
