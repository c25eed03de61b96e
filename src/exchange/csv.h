#pragma once

#include "records.h"

#include <QHash>

namespace qb {

// RFC 4180 text: UTF-8, CR LF after every row, a header row of the column names, and a
// value in double quotes (quotes doubled) when it holds a comma, a quote or a line break.
class CsvWriter : public RecordWriter {
public:
    explicit CsvWriter(const QStringList& columnNames);
    QByteArray header() const { return m_header; }
    void writeRecord(const Utf8Record& record, QByteArray& out) override;

private:
    QByteArray m_header;
};

// Reads a CSV file whose header row names the columns; columns are matched by name, in any
// order, and the ones the book does not have are reported and left out.
class CsvReader : public RecordReader {
public:
    CsvReader(QIODevice& device, const QStringList& columnNames);
    bool next(Utf8Values& values) override;
    QStringList notes() const override { return m_notes; }

private:
    bool readRow(std::vector<QByteArray>& fields);
    bool nextByte(char& c);
    void mapHeader(const QStringList& columnNames);

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_line = 1;
    int m_columnCount = 0;
    std::vector<int> m_targets; // file column -> book column, -1 when unknown
    QStringList m_notes;
};

} // namespace qb
