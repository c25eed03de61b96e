#include "favorites.h"

#include "besidefile.h"
#include "gb18030.h"
#include "platform/platform.h"
#include "store/dataerror.h"
#include "store/recordstore.h"
#include "store/sqlitestatement.h"
#include "store/valuetext.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qb {

namespace {

const QLatin1Char kSeparator('/');

// The runtime's input/output error texts, by the system error number (errno).
QString ioErrorText(int systemError) {
    switch (systemError) {
    case ENOENT:
        return QStringLiteral("File not found");
    case EINVAL:
    case ENAMETOOLONG:
    case ENOTDIR: // a folder on the way is a file: the path cannot exist
        return QStringLiteral("Invalid filename");
    case EMFILE:
        return QStringLiteral("Too many open files");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: // a folder of that name is in the way
        return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(systemError);
    }
}

[[noreturn]] void throwIoError(int systemError) {
    throw DataError(ioErrorText(systemError));
}

// 0 when every byte was written, else the error number.
int writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            return n == 0 ? EIO : errno;
    }
    return 0;
}

// A line break inside the address would add lines of its own to the file; a browser ignores
// line breaks in an address anyway.
QByteArray shortcutContent(Gb18030Encoder& encoder, const QString& address) {
    QString url = address;
    url.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    return encoder.encode(
        QString(QStringLiteral("[InternetShortcut]\r\nURL=") + url + QStringLiteral("\r\n")));
}

// The file is complete before it takes the name: a full disk never leaves a cut-off shortcut
// in place of a good one, and a link of that name is replaced, never written through.
void writeShortcut(Gb18030Encoder& encoder, const QString& fileName, const QString& address) {
    const QByteArray name = QFile::encodeName(fileName);
    if (name.contains('\0')) // the system would silently cut the name there
        throwIoError(EINVAL);
    const QByteArray content = shortcutContent(encoder, address);
    const QByteArray temporary = temporaryNameBeside(name);
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throwIoError(errno);
    int error = writeAll(fd, content);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), name.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        throwIoError(error);
    }
}

// The longest file name the folder takes, in bytes; the common limit when the system cannot
// tell.
qsizetype nameLimitOf(const QString& folder) {
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : 255;
}

// The name cut at a whole character so that it and the extension fit the folder's limit: a
// website's name may take 300 bytes, more than a file name here may have.
QString fittedFileName(const QString& name, const QString& extension, qsizetype limit) {
    qsizetype bytes = QFile::encodeName(extension).size();
    qsizetype end = 0;
    while (end < name.size()) {
        const qsizetype length = name[end].isHighSurrogate() && end + 1 < name.size() ? 2 : 1;
        bytes += QFile::encodeName(name.mid(end, length)).size();
        if (bytes > limit)
            break;
        end += length;
    }
    return name.left(end) + extension;
}

// Writes one shortcut per website in grid order. When a file fails, the book is moved to
// that website's record so the user sees which one it was.
void writeShortcuts(BookDataset& websites, const QString& folder) {
    Gb18030Encoder encoder;
    const qsizetype nameLimit = nameLimitOf(folder);
    int failedRow = -1;
    try {
        websites.forEachRecord([&](const SqliteStatement& record, int row) {
            const QString fileName =
                folder + fittedFileName(CleanFileName(websites.storedValueText(record, 0)),
                                        QStringLiteral(".url"), nameLimit);
            const QString address = trimmedValue(websites.storedValueText(record, 1));
            try {
                writeShortcut(encoder, fileName, address);
            } catch (const DataError&) {
                failedRow = row;
                throw;
            }
        });
    } catch (const DataError&) {
        if (failedRow >= 0)
            websites.moveTo(failedRow);
        throw;
    }
}

} // namespace

QString GetFavoritesFolder() {
    const QString folder = platform().favoritesFolder();
    // Never turn "no folder" into "/", the root of the file system.
    return folder.isEmpty() ? QString() : AddTrailingBackslash(folder);
}

QString AddTrailingBackslash(const QString& path) {
    return path.endsWith(kSeparator) ? path : path + kSeparator;
}

QString CleanFileName(const QString& name) {
    static const QString kRefused = QStringLiteral("\"*/:<>?\\|");
    QString cleaned = trimmedValue(name);
    cleaned.removeIf([](QChar c) { return kRefused.contains(c); });
    return cleaned;
}

void WriteUrlShortcut(const QString& fileName, const QString& address) {
    Gb18030Encoder encoder;
    writeShortcut(encoder, fileName, address);
}

void importWebsitesToFavorites(RecordStore& store) {
    if (!store.isOpen())
        return;
    const QString favorites = GetFavoritesFolder();
    if (favorites.isEmpty())
        throw DataError(QStringLiteral("找不到收藏夹文件夹，网址没有导入"));
    const QString folder = favorites + QStringLiteral("Inkwren网址收集");
    // A folder that cannot be made shows up as the first shortcut's error.
    QDir().mkpath(folder);
    BookDataset& websites = store.book(BookId::Websites);
    writeShortcuts(websites, AddTrailingBackslash(folder));
    websites.last();
    OpenUrl(GetFavoritesFolder());
}

} // namespace qb
