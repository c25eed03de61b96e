#pragma once

#include "store/recordstore.h"

#include <QString>
#include <QStringList>

namespace qb::test {

// A new database file with the three empty books, made the way the program makes one.
QString createBookFile(const QString& folder, const QString& name = QStringLiteral("book.mdb"));

// Appends and posts one record; values are given in table order, missing ones stay empty.
void addRecord(BookDataset& book, const QStringList& values);

// The value texts of the key column in grid order.
QStringList keysInGridOrder(const BookDataset& book);

} // namespace qb::test
