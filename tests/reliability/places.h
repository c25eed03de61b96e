#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace qb::test {

// Mounts made by these tests stay private to the test process: they are invisible to the rest
// of the machine and go away with the process, however it ends. Call first thing in main().
// Without the right to mount (not root, or a container without CAP_SYS_ADMIN) nothing happens
// and the places below use their fallbacks.
void enterPrivateMountNamespace();
bool canMount();
bool isRoot();

// A small file system at a folder that can be filled to the last byte: a tmpfs when the
// process may mount. Otherwise the folder is an ordinary one and fill() lowers the process's
// file-size limit to nothing, so that every write to a regular file fails (SIGXFSZ ignored).
class FullFileSystem {
public:
    explicit FullFileSystem(const QString& folder);
    ~FullFileSystem();
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;

    const QString& folder() const { return m_folder; }
    // From now on no file can grow: a filler file takes every free block.
    void fill();
    // Gives the space back.
    void release();
    // What fills it: "tmpfs" or "file-size limit".
    QString kind() const;

private:
    QString m_folder;
    bool m_mounted = false;
    bool m_limited = false;
    unsigned long long m_oldLimit = 0;
};

// Makes a folder or a single file read-only for everyone, root included: a read-only bind
// mount of it onto itself when the process may mount, else its permission bits (which stop
// everyone but root). works() says whether writes are now refused.
class ReadOnlyPlace {
public:
    explicit ReadOnlyPlace(const QString& path);
    ~ReadOnlyPlace();
    ReadOnlyPlace(const ReadOnlyPlace&) = delete;
    ReadOnlyPlace& operator=(const ReadOnlyPlace&) = delete;

    bool works() const { return m_works; }
    // Why it does not work, for QSKIP.
    static QString unavailableReason();

private:
    QString m_path;
    bool m_mounted = false;
    unsigned m_oldMode = 0;
    bool m_works = false;
};

// The file's content and modification time (to the nanosecond), or "<missing>": two equal
// fingerprints mean nothing wrote to the file in between.
QString fingerprint(const QString& file);
// The names in a folder, sorted, hidden ones included.
QStringList folderEntries(const QString& folder);

// The text of the StoreError the action throws; empty when it throws none.
QString errorOf(const std::function<void()>& action);

} // namespace qb::test
