#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace qb::test {

// Mounts made by these tests stay private to the test process: they are invisible to the rest
// of the machine and go away with the process, however it ends. Call first thing in main().
// Without the right to mount (not root, or a container without CAP_SYS_ADMIN) nothing happens
// and UnwritablePlace uses its fallbacks.
void enterPrivateMountNamespace();
bool canMount();

// A folder or a single file that a test first fills with good files and then locks:
// - Full: a small tmpfs mounted on the folder at once, which lock() fills to the last block.
//   Without the right to mount, lock() lowers the process's file-size limit to nothing
//   instead, so that every write to a regular file fails (EFBIG, SIGXFSZ ignored).
// - ReadOnly: lock() bind-mounts the place read-only onto itself, which stops root too;
//   without the right to mount it clears the write bits, which stops everyone but root.
class UnwritablePlace {
public:
    enum class Kind { Full, ReadOnly };
    UnwritablePlace(const QString& path, Kind kind);
    ~UnwritablePlace();
    UnwritablePlace(const UnwritablePlace&) = delete;
    UnwritablePlace& operator=(const UnwritablePlace&) = delete;

    // False when nothing can lock it here; the reason is whyNotLocked().
    bool lock();
    void unlock();
    static QString whyNotLocked();

private:
    bool makeReadOnly();

    QString m_path;
    Kind m_kind;
    bool m_tmpfs = false;
    std::function<void()> m_undo;
};

// The file's content and modification time (to the nanosecond), or "<missing>": two equal
// fingerprints mean nothing wrote to the file in between.
QString fingerprint(const QString& file);
// The names in a folder, sorted, hidden ones included.
QStringList folderEntries(const QString& folder);
// The first column of every row the SQL gives, read on a connection of its own as another
// program would (which also rolls back what a killed writer left).
QStringList firstColumn(const QString& databaseFile, const QString& sql);

} // namespace qb::test
