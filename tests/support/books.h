#pragma once

#include "store/recordstore.h"

#include <QString>
#include <QStringList>
#include <QTest>
#include <functional>

namespace qb::test {

// A new database file with the three empty books, made the way the program makes one.
QString createBookFile(const QString& folder, const QString& name = QStringLiteral("book.mdb"));

// Appends and posts one record; values are given in table order, missing ones stay empty.
void addRecord(BookDataset& book, const QStringList& values);

// The text in the named column of the row a data-driven test runs.
inline QString cell(const char* column) {
    return *static_cast<QString*>(QTest::qData(column, QMetaType::QString));
}

// The message of the DataError the action throws; empty when it throws none.
QString storeErrorOf(const std::function<void()>& action);

} // namespace qb::test
