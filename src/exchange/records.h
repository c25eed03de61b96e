#pragma once

#include "store/dataerror.h"

#include <QByteArrayView>
#include <QStringList>

#include <optional>
#include <vector>

class QIODevice;

namespace qb {

struct Column;

// One record on its way out: each column's stored UTF-8 bytes in table order (dates as
// stored ISO text, NULL as empty), valid only during the call that hands it over.
using Utf8Record = std::vector<QByteArrayView>;

// A file format's writer: told the book's columns once, then handed every record.
class RecordWriter {
public:
    virtual ~RecordWriter() = default;
    virtual void writeRecord(const Utf8Record& record, QByteArray& out) = 0;
};

// One record on its way in: each column's value as UTF-8 in the book's column order (missing
// ones empty). The arrays are kept from record to record, so their room is allocated once.
using Utf8Values = std::vector<QByteArray>;

// A file format's reader. next() fills the values of the next record and says false at the
// end of the file; a file that is broken throws DataError with a message that names the place.
class RecordReader {
public:
    virtual ~RecordReader() = default;
    virtual bool next(Utf8Values& values) = 0;
    // What the reader could not use (columns it does not know), for the import's report.
    virtual QStringList notes() const { return {}; }
};

// Reads a file a piece at a time and hands out its lines, so memory stays flat however big
// the file is. A line longer than maxLineBytes is an error rather than a reason to grow.
class LineSource {
public:
    LineSource(QIODevice& device, qsizetype maxLineBytes);
    // The next line without its line break (LF or CR LF); false at the end of the file. The
    // line is a view of the read buffer, valid until the next call: no line is copied.
    bool next(QByteArrayView& line);
    // Whether a line follows the one handed out last, and its first byte.
    bool hasNext() const { return m_pos < m_buffer.size(); }
    char peek() const { return m_buffer[m_pos]; }
    qint64 lineNumber() const { return m_lineNumber; }

private:
    bool fill();

    QIODevice& m_device;
    qsizetype m_maxLineBytes;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_lineNumber = 0;
    bool m_atEnd = false;
};

// Strict UTF-8 to text; nothing when the bytes are not UTF-8.
std::optional<QString> utf8Text(QByteArrayView bytes);
// Whether the bytes are a date the calendar has, written "YYYY-MM-DD" as dates are stored:
// most files' dates, checked without making text of them.
bool isIsoDate(QByteArrayView bytes);
// Replaces the value's bytes, keeping its room.
void setBytes(QByteArray& value, QByteArrayView bytes);
// Every value empty, as many as the book has columns.
void clearValues(Utf8Values& values, qsizetype columnCount);
// The file does not read as the format expects: one clear message naming the line.
[[noreturn]] void failAtLine(qint64 line, const QString& what);

} // namespace qb
