#include "csv.h"

#include <QIODevice>

namespace qb {

namespace {

// Far beyond any value a book holds (255 characters) and any sane header, yet small enough
// that a file with no line breaks at all is refused before it costs much memory.
constexpr qsizetype kMaxFieldBytes = 1024 * 1024;
constexpr int kMaxFields = 1000;
constexpr qsizetype kReadBytes = 256 * 1024;

bool needsQuotes(QByteArrayView value) {
    for (const char c : value)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

void appendField(QByteArrayView value, QByteArray& out) {
    if (!needsQuotes(value)) {
        out.append(value);
        return;
    }
    out.append('"');
    for (const char c : value) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}

} // namespace

CsvWriter::CsvWriter(const QStringList& columnNames) {
    for (qsizetype c = 0; c < columnNames.size(); ++c) {
        if (c > 0)
            m_header.append(',');
        appendField(columnNames[c].toUtf8(), m_header);
    }
    m_header.append("\r\n");
}

void CsvWriter::writeRecord(const Utf8Record& record, QByteArray& out) {
    for (size_t c = 0; c < record.size(); ++c) {
        if (c > 0)
            out.append(',');
        appendField(record[c], out);
    }
    out.append("\r\n");
}

CsvReader::CsvReader(QIODevice& device, const QStringList& columnNames)
    : m_device(device) {
    mapHeader(columnNames);
}

bool CsvReader::nextByte(char& c) {
    if (m_pos == m_buffer.size()) {
        m_buffer = m_device.read(kReadBytes);
        m_pos = 0;
        if (m_buffer.isEmpty())
            return false;
    }
    c = m_buffer[m_pos++];
    return true;
}

// One row's fields as raw bytes; false at the end of the file.
bool CsvReader::readRow(std::vector<QByteArray>& fields) {
    fields.clear();
    QByteArray field;
    bool quoted = false;
    bool any = false;
    char c = 0;
    const qint64 startLine = m_line;
    while (nextByte(c)) {
        any = true;
        if (quoted) {
            if (c == '"') {
                char after = 0;
                if (!nextByte(after)) {
                    quoted = false;
                    break;
                }
                if (after != '"') {
                    quoted = false;
                    --m_pos; // not a doubled quote: read it again outside the quotes
                    continue;
                }
            } else if (c == '\n') {
                ++m_line;
            }
            field.append(c);
        } else if (c == '"' && field.isEmpty()) {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
            if (fields.size() > size_t(kMaxFields))
                failAtLine(startLine, QStringLiteral("一行的列太多（超过 %1 列）").arg(kMaxFields));
        } else if (c == '\n') {
            ++m_line;
            if (field.endsWith('\r'))
                field.chop(1);
            fields.push_back(field);
            return true;
        } else {
            field.append(c);
        }
        if (field.size() > kMaxFieldBytes)
            failAtLine(
                startLine,
                QStringLiteral("值太长（超过 %1 字节），这不像是 CSV 表格").arg(kMaxFieldBytes));
    }
    if (quoted)
        failAtLine(startLine, QStringLiteral("引号没有结束，文件不完整"));
    if (!any)
        return false;
    if (field.endsWith('\r'))
        field.chop(1);
    fields.push_back(field);
    return true;
}

void CsvReader::mapHeader(const QStringList& columnNames) {
    std::vector<QByteArray> fields;
    if (!readRow(fields))
        throw DataError(QStringLiteral("CSV 文件是空的，没有标题行"));
    if (fields[0].startsWith("\xEF\xBB\xBF"))
        fields[0].remove(0, 3);
    bool keyFound = false;
    for (const QByteArray& field : fields) {
        const std::optional<QString> name = utf8Text(field);
        if (!name)
            failAtLine(1, QStringLiteral("标题行不是 UTF-8 文本"));
        const int column = int(columnNames.indexOf(name->trimmed()));
        m_targets.push_back(column);
        keyFound = keyFound || column == 0;
        if (column < 0)
            m_notes << QStringLiteral("不认识的列“%1”，没有导入").arg(*name);
    }
    if (!keyFound)
        throw DataError(QStringLiteral("CSV 文件的标题行中没有“%1”列").arg(columnNames[0]));
    m_columnCount = int(columnNames.size());
}

bool CsvReader::next(Utf8Values& values) {
    std::vector<QByteArray> fields;
    for (;;) {
        const qint64 line = m_line;
        if (!readRow(fields))
            return false;
        if (fields.size() == 1 && fields[0].isEmpty())
            continue; // a blank line holds no record
        clearValues(values, m_columnCount);
        for (size_t f = 0; f < fields.size() && f < m_targets.size(); ++f) {
            if (m_targets[f] < 0)
                continue;
            const std::optional<QString> text = utf8Text(fields[f]);
            if (!text)
                failAtLine(line, QStringLiteral("不是 UTF-8 文本"));
            values[size_t(m_targets[f])] = text->toUtf8();
        }
        return true;
    }
}

} // namespace qb
