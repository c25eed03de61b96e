#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryFile>

class QLockFile;
#include <functional>
#include <memory>
#include <vector>

namespace qb {

// Ends each column's text; no typed text holds it, so no match crosses it.
inline constexpr QChar kColumnEnd = QChar(0x1F);

// Folded record texts one after another, each column followed by kColumnEnd, searched a slice
// of whole records at a time. Kept in memory, or in a temporary file: a big book's addresses
// and notes take hundreds of MiB, and the system reads them back far faster than a search
// looks at them.
class SearchText {
public:
    enum class Storage { Memory, File };
    // Throws DataError when no temporary file can be made.
    explicit SearchText(Storage storage);
    ~SearchText();
    SearchText(SearchText&&) noexcept;
    SearchText& operator=(SearchText&&) noexcept;

    // Throws DataError when the file cannot take it, or the text outgrows a place's range.
    void addRecord(const QStringList& folded);
    // Writes what is still held back; throws DataError like addRecord.
    void finish();
    void reserveRecords(size_t count) { m_recordStarts.reserve(count); }

    qsizetype size() const { return m_size; }
    qsizetype recordCount() const { return qsizetype(m_recordStarts.size()); }
    // Where a record starts; the record after the last starts at size().
    qsizetype recordStart(qsizetype record) const;
    // The record holding a place, looked for from `from`, a record at or before it.
    qsizetype recordAt(qsizetype place, qsizetype from = 0) const;
    QString recordText(qsizetype record) const;
    qsizetype memoryBytes() const;
    qsizetype fileBytes() const { return m_file ? m_size * qsizetype(sizeof(QChar)) : 0; }

    // Where the next slice should start: the first wanted place from a place on, or size().
    using Wanted = std::function<qsizetype(qsizetype from)>;
    // A slice of whole records and where it starts; false stops the walk.
    using Visit = std::function<bool(QStringView slice, qsizetype offset)>;
    // Hands the records from `first` to before `last` to `visit` in rising slices; with
    // `wanted`, only the slices holding a wanted place. Throws DataError when reading fails.
    void forEachSlice(qsizetype first, qsizetype last, const Wanted* wanted,
                      const Visit& visit) const;

private:
    void openToRead(QFile& file) const;
    qsizetype sliceEnd(qsizetype record, qsizetype last) const;
    QStringView read(qsizetype from, qsizetype to, QFile* file, QString& buffer) const;
    void flush();

    QString m_text; // all of it in memory, or what the file has not been given yet
    // Declared first so that it goes last, after the file.
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QTemporaryFile> m_file;
    QString m_fileName;
    qsizetype m_size = 0;
    std::vector<quint32> m_recordStarts;
};

} // namespace qb
