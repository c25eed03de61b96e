#include "places.h"

#include "store/storeerror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::test {

namespace {

bool g_canMount = false;

// Room for the few small files a test puts there before filling it.
constexpr const char* kTmpfsOptions = "size=512k,mode=0755";
constexpr const char* kFillerName = ".filler";

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

bool isRoot() {
    return geteuid() == 0;
}

FullFileSystem::FullFileSystem(const QString& folder)
    : m_folder(folder) {
    QDir().mkpath(folder);
    if (g_canMount)
        m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs",
                            MS_NOSUID | MS_NODEV, kTmpfsOptions) == 0;
}

FullFileSystem::~FullFileSystem() {
    release();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

QString FullFileSystem::kind() const {
    return m_mounted ? QStringLiteral("tmpfs") : QStringLiteral("file-size limit");
}

void FullFileSystem::fill() {
    if (m_mounted) {
        fillUp(QDir(m_folder).filePath(QString::fromLatin1(kFillerName)));
        return;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_oldLimit = limit.rlim_cur;
    limit.rlim_cur = 0;
    m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

void FullFileSystem::release() {
    if (m_mounted)
        QFile::remove(QDir(m_folder).filePath(QString::fromLatin1(kFillerName)));
    if (std::exchange(m_limited, false)) {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = m_oldLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
}

ReadOnlyPlace::ReadOnlyPlace(const QString& path)
    : m_path(path) {
    const QByteArray name = QFile::encodeName(path);
    if (g_canMount) {
        m_mounted = ::mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) == 0;
        m_works = m_mounted && ::mount(nullptr, name.constData(), nullptr,
                                       MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        return;
    }
    struct stat info {};
    if (isRoot() || ::stat(name.constData(), &info) != 0)
        return;
    m_oldMode = info.st_mode & 07777;
    m_works = ::chmod(name.constData(), m_oldMode & ~0222U) == 0;
}

ReadOnlyPlace::~ReadOnlyPlace() {
    const QByteArray name = QFile::encodeName(m_path);
    if (m_mounted)
        ::umount2(name.constData(), MNT_DETACH);
    else if (m_works)
        ::chmod(name.constData(), m_oldMode);
}

QString ReadOnlyPlace::unavailableReason() {
    return QStringLiteral("running as root without the right to mount: nothing makes a place "
                          "read-only for root here");
}

QString fingerprint(const QString& file) {
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0)
        return QStringLiteral("<missing>");
    QFile f(file);
    const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    return QStringLiteral("%1 bytes, sha256 %2, modified %3.%4")
        .arg(bytes.size())
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

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const StoreError& error) {
        return error.message();
    }
    return {};
}

} // namespace qb::test
