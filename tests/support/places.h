#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

namespace qb::test {

// Mounts made by these tests stay private to the test process and go away with it, however it
// ends. Call before the application starts threads. Without the right to mount (not root, or a
// container without CAP_SYS_ADMIN) nothing happens and UnwritablePlace uses its fallbacks.
void enterPrivateMountNamespace();
bool canMount();

// A folder or a single file that a test first fills with good files and then locks:
// - Full: a small tmpfs mounted on the folder at once, which lock() fills to the last block;
//   without the right to mount, a file-size limit of nothing (EFBIG, SIGXFSZ ignored).
// - ReadOnly: bind-mounted read-only onto itself, which stops root too; without the right to
//   mount, the write bits cleared, which stops everyone but root.
// lock() is false when nothing can lock it here.
class UnwritablePlace {
public:
    enum class Kind { Full, ReadOnly };
    UnwritablePlace(const QString& path, Kind kind);
    ~UnwritablePlace();
    Q_DISABLE_COPY(UnwritablePlace)
    bool lock();
    void unlock() {
        std::exchange(m_undo, [] {})();
    }

private:
    QByteArray m_path;
    Kind m_kind;
    bool m_tmpfs = false;
    std::function<void()> m_undo = [] {};
};

// The file's content and modification time, or "<missing>": two equal fingerprints mean
// nothing wrote to the file in between.
QString fingerprint(const QString& file);
// The names in a folder, sorted, hidden ones included.
QStringList folderEntries(const QString& folder);

} // namespace qb::test
