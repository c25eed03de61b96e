#include "searchtext.h"

#include "store/dataerror.h"

#include <QDir>
#include <QLockFile>
#include <algorithm>
#include <limits>

namespace qb {

namespace {

// Characters read from the file at a time (1 MiB): big enough that reading costs no more than
// a copy, small enough that a search that has found enough early stops early.
constexpr qsizetype kFileSliceChars = 1 << 19;
// Places are 32-bit to keep their lists small.
constexpr qsizetype kMostChars = std::numeric_limits<quint32>::max();

const QString kFilePrefix = QStringLiteral("quillbox-find-");
const QString kLockSuffix = QStringLiteral(".lock");

// A lock beside each file says a running program uses it. A program that did not end in order
// (killed, crashed) leaves its lock stale, and this removes its files.
void removeLeftovers(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({kFilePrefix + QLatin1Char('*') + kLockSuffix}, QDir::Files)) {
        QLockFile lock(dir.filePath(name));
        lock.setStaleLockTime(0); // stale only when its program is gone, however old
        if (lock.tryLock(0))
            QFile::remove(dir.filePath(name.chopped(kLockSuffix.size())));
    }
}

DataError tempFileError(const QString& doing, const QFileDevice& file) {
    return DataError(QStringLiteral("无法%1快速查找的临时文件：%2").arg(doing, file.errorString()));
}

} // namespace

SearchText::SearchText(Storage storage) {
    if (storage == Storage::Memory)
        return;
    // Qt gives no folder at all for a TMPDIR that does not exist: not the root folder then.
    const QString folder = QDir::tempPath();
    if (folder.isEmpty())
        throw DataError(QStringLiteral("无法建立快速查找的临时文件：临时文件夹 %1 不存在")
                            .arg(QString::fromLocal8Bit(qgetenv("TMPDIR"))));
    removeLeftovers(folder);
    m_file = std::make_unique<QTemporaryFile>(folder + QLatin1Char('/') + kFilePrefix +
                                              QStringLiteral("XXXXXX"));
    if (!m_file->open())
        throw tempFileError(QStringLiteral("建立"), *m_file);
    // Asked once: QTemporaryFile::fileName() writes to the object, which two searching threads
    // must not do at once.
    m_fileName = m_file->fileName();
    m_lock = std::make_unique<QLockFile>(m_fileName + kLockSuffix);
    m_lock->setStaleLockTime(0);
    // Without the lock the file is still used; only a crash would leave it behind.
    m_lock->tryLock(0);
}

SearchText::~SearchText() = default;
SearchText::SearchText(SearchText&&) noexcept = default;
SearchText& SearchText::operator=(SearchText&&) noexcept = default;

void SearchText::addRecord(const QStringList& folded) {
    m_recordStarts.push_back(quint32(m_size));
    for (const QString& column : folded) {
        m_text += column;
        m_text += kColumnEnd;
        m_size += column.size() + 1;
    }
    if (m_size > kMostChars)
        throw DataError(QStringLiteral("书中的文字太多，快速查找无法为它建立索引"));
    if (m_file && m_text.size() >= kFileSliceChars)
        flush();
}

void SearchText::finish() {
    if (m_file)
        flush();
    m_text.squeeze();
    m_recordStarts.shrink_to_fit();
}

void SearchText::flush() {
    const auto bytes = qint64(m_text.size() * qsizetype(sizeof(QChar)));
    if (m_file->write(reinterpret_cast<const char*>(m_text.constData()), bytes) != bytes ||
        !m_file->flush())
        throw tempFileError(QStringLiteral("写入"), *m_file);
    m_text.resize(0); // keeps its room for the next records
}

qsizetype SearchText::recordStart(qsizetype record) const {
    return record < recordCount() ? qsizetype(m_recordStarts[size_t(record)]) : m_size;
}

qsizetype SearchText::recordAt(qsizetype place, qsizetype from) const {
    const auto starts = m_recordStarts.begin();
    return std::upper_bound(starts + from, m_recordStarts.end(), quint32(place)) - starts - 1;
}

// Each reader has a handle of its own, so that searches on two cores read at once.
void SearchText::openToRead(QFile& file) const {
    if (!m_file)
        return;
    file.setFileName(m_fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw tempFileError(QStringLiteral("读取"), file);
}

QString SearchText::recordText(qsizetype record) const {
    QFile file;
    openToRead(file);
    QString buffer;
    return read(recordStart(record), recordStart(record + 1), &file, buffer).toString();
}

qsizetype SearchText::memoryBytes() const {
    return m_text.capacity() * qsizetype(sizeof(QChar)) +
           qsizetype(m_recordStarts.capacity() * sizeof(quint32));
}

// Where a slice from the record on ends: after as many whole records as fit, at least one.
qsizetype SearchText::sliceEnd(qsizetype record, qsizetype last) const {
    if (!m_file)
        return last;
    const qsizetype limit = recordStart(record) + kFileSliceChars;
    if (recordStart(last) <= limit)
        return last;
    const auto starts = m_recordStarts.begin();
    const qsizetype past =
        std::upper_bound(starts + record + 1, starts + last, quint32(limit)) - starts;
    return std::max(past - 1, record + 1);
}

void SearchText::forEachSlice(qsizetype first, qsizetype last, const Wanted* wanted,
                              const Visit& visit) const {
    QFile file;
    openToRead(file);
    QString buffer;
    for (qsizetype record = first; record < last;) {
        if (wanted) {
            const qsizetype place = (*wanted)(recordStart(record));
            if (place >= recordStart(last))
                return;
            record = recordAt(place, record);
        }
        const qsizetype end = sliceEnd(record, last);
        const qsizetype from = recordStart(record);
        if (!visit(read(from, recordStart(end), &file, buffer), from))
            return;
        record = end;
    }
}

QStringView SearchText::read(qsizetype from, qsizetype to, QFile* file, QString& buffer) const {
    if (!m_file)
        return QStringView(m_text).sliced(from, to - from);
    buffer.resize(to - from);
    const auto bytes = qint64(buffer.size() * qsizetype(sizeof(QChar)));
    if (!file->seek(from * qint64(sizeof(QChar))) ||
        file->read(reinterpret_cast<char*>(buffer.data()), bytes) != bytes)
        throw tempFileError(QStringLiteral("读取"), *file);
    return buffer;
}

} // namespace qb
