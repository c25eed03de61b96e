#include "places.h"

#include "store/sqlitestatement.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::test {

using namespace Qt::StringLiterals;

namespace {

bool g_canMount = false;

// Room for the few small files a test puts there before filling it.
constexpr const char* kTmpfsOptions = "size=512k,mode=0755";

// Writes until the file system refuses: afterwards not one more block is free.
void fillUp(const QString& file) {
    const int fd =
        ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray chunk(4096, 'f');
    while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
    }
    // Fill the last partial block too.
    while (::write(fd, chunk.constData(), 1) > 0) {
    }
    ::close(fd);
}

} // namespace

void enterPrivateMountNamespace() {
    // QB_TEST_NO_MOUNT=1 tries the fallbacks on a machine that could mount.
    if (geteuid() != 0 || qEnvironmentVariableIntValue("QB_TEST_NO_MOUNT") == 1)
        return;
    if (::unshare(CLONE_NEWNS) != 0)
        return;
    // Without this, mounts below a shared mount would show up in the machine's namespace.
    g_canMount = ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool canMount() {
    return g_canMount;
}

UnwritablePlace::UnwritablePlace(const QString& path, Kind kind)
    : m_path(path)
    , m_kind(kind) {
    if (kind == Kind::Full && g_canMount && QDir().mkpath(path))
        m_tmpfs = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs",
                          MS_NOSUID | MS_NODEV, kTmpfsOptions) == 0;
}

UnwritablePlace::~UnwritablePlace() {
    unlock();
    if (m_tmpfs)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

bool UnwritablePlace::lock() {
    if (m_kind == Kind::ReadOnly)
        return makeReadOnly();
    if (m_tmpfs) {
        const QString filler = QDir(m_path).filePath(u".filler"_s);
        fillUp(filler);
        m_undo = [filler] { QFile::remove(filler); };
        return true;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit none = old;
    none.rlim_cur = 0;
    if (::setrlimit(RLIMIT_FSIZE, &none) != 0)
        return false;
    m_undo = [old] { ::setrlimit(RLIMIT_FSIZE, &old); };
    return true;
}

bool UnwritablePlace::makeReadOnly() {
    const QByteArray name = QFile::encodeName(m_path);
    if (g_canMount) {
        if (::mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        m_undo = [name] { ::umount2(name.constData(), MNT_DETACH); };
        return ::mount(nullptr, name.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }
    struct stat info {};
    if (geteuid() == 0 || ::stat(name.constData(), &info) != 0)
        return false;
    const mode_t mode = info.st_mode & 07777;
    if (::chmod(name.constData(), mode & ~0222U) != 0)
        return false;
    m_undo = [name, mode] { ::chmod(name.constData(), mode); };
    return true;
}

void UnwritablePlace::unlock() {
    if (const std::function<void()> undo = std::exchange(m_undo, {}))
        undo();
}

QString UnwritablePlace::whyNotLocked() {
    return u"running as root without the right to mount: nothing makes a place read-only for "
           "root here"_s;
}

QString fingerprint(const QString& file) {
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0)
        return u"<missing>"_s;
    QFile f(file);
    const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    return u"%1 bytes, sha256 %2, modified %3.%4"_s.arg(bytes.size())
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()))
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec, 9, 10, QLatin1Char('0'));
}

QStringList folderEntries(const QString& folder) {
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    names.sort();
    return names;
}

QStringList firstColumn(const QString& databaseFile, const QString& sql) {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(QFile::encodeName(databaseFile).constData(), &handle, SQLITE_OPEN_READWRITE,
                    nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(handle, sqlite3_close);
    SqliteStatement statement(db.get(), sql);
    QStringList values;
    while (statement.step())
        values << statement.text(0);
    return values;
}

} // namespace qb::test
