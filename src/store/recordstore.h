#pragma once

#include "bookdataset.h"
#include "connection.h"
#include "schema.h"

#include <QObject>
#include <array>
#include <memory>

namespace qb {

// The main window's database components: the connection and the three book datasets, always
// handled in the order contacts, websites, serials.
class RecordStore : public QObject {
    Q_OBJECT
public:
    explicit RecordStore(QObject* parent = nullptr);
    ~RecordStore() override;

    BookDataset& book(BookId id) { return *m_books[size_t(id)]; }
    const BookDataset& book(BookId id) const { return *m_books[size_t(id)]; }
    Connection& connection() { return m_connection; }

    // A database counts as open while the contacts dataset is.
    bool isOpen() const { return book(BookId::Contacts).isActive(); }

    // Checks the new file before the open one is closed, so a file that cannot be opened
    // leaves the current database as it was.
    void openDatabase(const QString& fileName);
    void reopenBooks();
    void closeBooks();

    enum class CreateResult { Created, AlreadyExists, FileCreationFailed };
    // Makes the file and its three tables; the books stay closed for the caller to reopen.
    // Throws when a creation statement fails (the half-made file is removed).
    CreateResult createDatabase(const QString& fileName);

    // Copies the open database consistently into a new file, which then becomes the open one.
    void backupDatabase(const QString& target);

private:
    void openBooks();
    void reopenPrevious(const QString& previousFile);

    Connection m_connection;
    std::array<std::unique_ptr<BookDataset>, kBookCount> m_books;
};

} // namespace qb
