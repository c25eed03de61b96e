#include "csvreader.h"

#include <cstring>

namespace qb {

namespace {

// mdbtools cuts every value at 199,999 bytes; a row of 25 such values stays far below this.
constexpr qsizetype kMaxRowBytes = 16 * 1024 * 1024;

} // namespace

void CsvReader::feed(QByteArrayView chunk) {
    const char* at = chunk.data();
    const char* const end = at + chunk.size();
    while (at < end) {
        if (m_inQuotes && !m_quoteSeen) {
            // Copy the run up to the next quote in one go: memo text is most of the bytes.
            const auto* quote = static_cast<const char*>(std::memchr(at, '"', size_t(end - at)));
            const char* stop = quote ? quote : end;
            m_field.append(at, stop - at);
            m_rowBytes += stop - at;
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
                m_field.append('"');
                continue;
            }
            m_inQuotes = false;
        }
        m_rowStarted = true;
        if (c == ',') {
            endField();
        } else if (c == '\n') {
            endRow();
        } else if (c == '"' && m_field.isEmpty()) {
            m_inQuotes = true;
        } else {
            m_field.append(c);
            ++m_rowBytes;
        }
    }
    checkRowSize();
}

void CsvReader::finish() {
    if (m_quoteSeen) {
        m_quoteSeen = false;
        m_inQuotes = false;
    }
    if (m_inQuotes)
        throw CsvError(QStringLiteral("输出在引号中间结束"));
    if (m_rowStarted)
        endRow();
}

void CsvReader::endField() {
    m_fields.append(std::exchange(m_field, QByteArray()));
}

void CsvReader::endRow() {
    endField();
    m_onRow(m_fields);
    m_fields.clear();
    m_rowBytes = 0;
    m_rowStarted = false;
}

void CsvReader::checkRowSize() {
    if (m_rowBytes > kMaxRowBytes)
        throw CsvError(QStringLiteral("一行超过了 %1 字节").arg(kMaxRowBytes));
}

} // namespace qb
