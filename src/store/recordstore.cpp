#include "recordstore.h"

#include "databasefile.h"
#include "dataerror.h"
#include "sqlitestatement.h"

#include <QFile>

namespace qb {

RecordStore::RecordStore(QObject* parent)
    : QObject(parent) {
    for (BookId id : allBooks()) {
        const TableSchema& schema = tableSchema(id);
        auto dataset = std::make_unique<BookDataset>(schema.datasetName);
        dataset->setTableName(schema.tableName);
        m_books[size_t(id)] = std::move(dataset);
    }
}

RecordStore::~RecordStore() {
    closeBooks();
}

void RecordStore::closeBooks() {
    for (BookId id : allBooks())
        book(id).close();
}

void RecordStore::openBooks() {
    try {
        for (BookId id : allBooks())
            book(id).open(m_connection);
    } catch (...) {
        closeBooks();
        throw;
    }
}

void RecordStore::openDatabase(const QString& fileName) {
    Connection probe;
    probe.setFileName(fileName);
    for (BookId id : allBooks())
        book(id).verify(probe);
    const QString previous = isOpen() ? m_connection.fileName() : QString();
    closeBooks();
    m_connection.setFileName(fileName);
    try {
        openBooks();
    } catch (...) {
        // Damage the check cannot see (records that cannot be read when the book opens): the
        // database that was open comes back, and the first error is the one reported.
        reopenPrevious(previous);
        throw;
    }
}

void RecordStore::reopenPrevious(const QString& previousFile) {
    if (previousFile.isEmpty())
        return;
    m_connection.setFileName(previousFile);
    try {
        openBooks();
    } catch (const DataError&) {
    }
}

void RecordStore::reopenBooks() {
    closeBooks();
    openBooks();
}

RecordStore::CreateResult RecordStore::createDatabase(const QString& fileName) {
    if (QFile::exists(fileName))
        return CreateResult::AlreadyExists;
    try {
        CreateDatabaseFile(fileName);
    } catch (const DataError&) {
        return CreateResult::FileCreationFailed;
    }
    closeBooks();
    m_connection.setFileName(fileName);
    m_connection.acquire();
    QString error;
    {
        // ADOQuery1: the three creation statements, as one transaction so that a failure
        // leaves no half-made book behind.
        sqlite3* handle = m_connection.handle();
        try {
            execSql(handle, QStringLiteral("BEGIN"));
            for (BookId id : allBooks())
                execSql(handle, tableSchema(id).createStatement());
            execSql(handle, QStringLiteral("COMMIT"));
        } catch (const DataError& e) {
            error = e.message();
        }
    }
    m_connection.release();
    if (!error.isEmpty()) {
        QFile::remove(fileName);
        throw DataError(error);
    }
    return CreateResult::Created;
}

void RecordStore::backupDatabase(const QString& target) {
    if (!isOpen())
        return;
    copyDatabaseFile(m_connection.handle(), target);
    closeBooks();
    m_connection.setFileName(target);
    openBooks();
}

} // namespace qb
