#include "places.h"

#include "filesizelimit.h"
#include "testfiles.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::test {

using namespace Qt::StringLiterals;

namespace {

bool g_canMount = false;

// Writes until the file system refuses, the last partial block too.
void fillUp(const QByteArray& file) {
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const QByteArray chunk(4096, 'f');
    for (const size_t size : {4096, 1})
        while (fd >= 0 && ::write(fd, chunk.constData(), size) > 0) {
        }
    ::close(fd);
}

} // namespace

void enterPrivateMountNamespace() {
    // QB_TEST_NO_MOUNT=1 tries the fallbacks on a machine that could mount.
    if (geteuid() == 0 && qEnvironmentVariableIntValue("QB_TEST_NO_MOUNT") != 1 &&
        ::unshare(CLONE_NEWNS) == 0)
        // Else mounts below a shared mount would show up in the machine's namespace.
        g_canMount = ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool canMount() {
    return g_canMount;
}

UnwritablePlace::UnwritablePlace(const QString& path, Kind kind)
    : m_path(QFile::encodeName(path))
    , m_kind(kind) {
    // Room for the few small files a test puts there before filling it.
    if (kind == Kind::Full && g_canMount && QDir().mkpath(path))
        m_tmpfs = ::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                          "size=512k,mode=0755") == 0;
}

UnwritablePlace::~UnwritablePlace() {
    unlock();
    if (m_tmpfs)
        ::umount2(m_path.constData(), MNT_DETACH);
}

bool UnwritablePlace::lock() {
    const QByteArray name = m_path;
    if (m_tmpfs) {
        fillUp(name + "/.filler");
        m_undo = [name] { QFile::remove(QFile::decodeName(name + "/.filler")); };
    } else if (m_kind == Kind::Full) {
        m_undo = [limit = std::make_shared<FileSizeLimit>(0)] {};
    } else if (g_canMount) {
        m_undo = [name] { ::umount2(name.constData(), MNT_DETACH); };
        return ::mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) == 0 &&
               ::mount(nullptr, name.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    } else {
        struct stat info {};
        if (geteuid() == 0 || ::stat(name.constData(), &info) != 0 ||
            ::chmod(name.constData(), info.st_mode & 07555) != 0)
            return false;
        m_undo = [name, info] { ::chmod(name.constData(), info.st_mode & 07777); };
    }
    return true;
}

QString fingerprint(const QString& file) {
    const QFileInfo info(file);
    return info.exists() ? QString::fromLatin1(
                               QCryptographicHash::hash(readBytes(file), QCryptographicHash::Sha256)
                                   .toHex()) +
                               info.lastModified().toString(Qt::ISODateWithMs)
                         : u"<missing>"_s;
}

QStringList folderEntries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace qb::test
