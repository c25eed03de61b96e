#pragma once

#include <QString>

struct sqlite3;

namespace qb {

// Another program (a second Quillbox, a backup tool) may hold the file for a moment; every
// connection to a book waits this long before reporting "database is locked".
constexpr int kBusyTimeoutMs = 5000;

// The one database connection of the main window (ADOConnection1). It keeps the file it is
// pointed at and opens it only while at least one dataset uses it, so no file stays open when
// every book is closed.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setFileName(const QString& fileName) { m_fileName = fileName; }
    const QString& fileName() const { return m_fileName; }

    // A dataset starts or stops using the connection. The first acquire opens the file and
    // throws a clear error when it is missing or not a database of ours.
    void acquire();
    void release();
    bool isOpen() const { return m_handle != nullptr; }
    sqlite3* handle() const;

private:
    void open();
    void close();

    QString m_fileName;
    QString m_qtName;
    QString m_openError;
    sqlite3* m_handle = nullptr;
    int m_users = 0;
};

// A read-only connection to a book for one thread, so it goes without a lock of its own, and
// with the defences of the main connection. Throws the engine's error when the file cannot be
// opened; waits up to busyTimeoutMs for a writer.
class ReadOnlyConnection {
public:
    ReadOnlyConnection(const QString& fileName, int busyTimeoutMs);
    ~ReadOnlyConnection();
    ReadOnlyConnection(const ReadOnlyConnection&) = delete;
    ReadOnlyConnection& operator=(const ReadOnlyConnection&) = delete;

    sqlite3* handle() const { return m_handle; }

private:
    sqlite3* m_handle = nullptr;
};

} // namespace qb
