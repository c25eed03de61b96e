#pragma once

#include "platform/scriptedplatform.h"
#include "store/testbooks.h"

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
    void addContacts(int count);
    // The texts of the error boxes shown so far.
    QStringList errors() const;
};

} // namespace qb::test
