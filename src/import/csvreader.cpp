#include "csvreader.h"

#include <cstring>

namespace qb {

namespace {

// mdbtools cuts every value at 199,999 bytes; a row of 25 such values stays far below this.
constexpr qsizetype kMaxRowBytes = 16 * 1024 * 1024;

} // namespace

void MdbCsvReader::feed(QByteArrayView chunk) {
    const char* at = chunk.data();
    const char* const end = at + chunk.size();
    while (at < end) {
        if (m_inQuotes && !m_quoteSeen) {
            // Copy the run up to the next quote in one go: memo text is most of the bytes.
            const auto* quote = static_cast<const char*>(std::memchr(at, '"', size_t(end - at)));
            const char* stop = quote ? quote : end;
            m_row.append(at, stop - at);
            at = stop;
            if (quote) {
                m_quoteSeen = true;
                ++at;
            }
            checkRowSize();
            continue;
        }
        const char c = *at++;
        if (m_quoteSeen) {
            m_quoteSeen = false;
            if (c == '"') {
                m_row.append('"');
                continue;
            }
            m_inQuotes = false;
        }
        m_rowStarted = true;
        if (c == ',') {
            endField();
        } else if (c == '\n') {
            endRow();
        } else if (c == '"' && m_row.size() == (m_ends.isEmpty() ? 0 : m_ends.last())) {
            m_inQuotes = true;
        } else {
            m_row.append(c);
        }
    }
    checkRowSize();
}

void MdbCsvReader::finish() {
    if (m_quoteSeen) {
        m_quoteSeen = false;
        m_inQuotes = false;
    }
    if (m_inQuotes)
        throw CsvError(QStringLiteral("输出在引号中间结束"));
    if (m_rowStarted)
        endRow();
}

void MdbCsvReader::endField() {
    m_ends.append(m_row.size());
}

void MdbCsvReader::endRow() {
    endField();
    m_fields.clear();
    qsizetype start = 0;
    for (const qsizetype end : std::as_const(m_ends)) {
        m_fields.append(QByteArrayView(m_row).sliced(start, end - start));
        start = end;
    }
    m_onRow(m_fields);
    // Keeps the buffers' capacity for the next row.
    m_row.resize(0);
    m_ends.resize(0);
    m_rowStarted = false;
}

void MdbCsvReader::checkRowSize() const {
    if (m_row.size() > kMaxRowBytes)
        throw CsvError(QStringLiteral("一行超过了 %1 字节").arg(kMaxRowBytes));
}

} // namespace qb
