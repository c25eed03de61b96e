#include "pinyinorder.h"

#include "pinyin.h"

#include <algorithm>
#include <cstring>

namespace qb {

PinyinSorter::PinyinSorter(size_t expectedRows) {
    m_entries.reserve(expectedRows);
    m_rowIds.reserve(expectedRows);
    m_bytes.reserve(expectedRows * 16); // a name of three characters takes about 14 bytes
}

void PinyinSorter::add(qint64 rowId, QByteArrayView utf8Key) {
    m_text.resize(utf8Key.size()); // never more UTF-16 units than UTF-8 bytes
    const QChar* end = m_decoder.appendToBuffer(m_text.data(), utf8Key);
    const size_t offset = m_bytes.size();
    appendPinyinSortBytes(QStringView(m_text.constData(), end), m_bytes);
    const size_t size = m_bytes.size() - offset;
    quint64 prefix = 0;
    for (size_t i = 0; i < sizeof prefix; ++i)
        prefix = prefix << 8 | (i < size ? quint8(m_bytes[offset + i]) : 0);
    m_entries.push_back(
        {prefix, offset, quint32(std::min<size_t>(size, UINT32_MAX)), quint32(m_rowIds.size())});
    m_rowIds.push_back(rowId);
}

std::vector<qint64> PinyinSorter::sortedRowIds() {
    const auto bytesOf = [this](const Entry& entry) {
        return std::string_view(m_bytes).substr(entry.offset, entry.size);
    };
    std::stable_sort(m_entries.begin(), m_entries.end(), [&](const Entry& a, const Entry& b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : bytesOf(a) < bytesOf(b);
    });
    std::vector<qint64> sorted;
    sorted.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        sorted.push_back(m_rowIds[entry.index]);
    return sorted;
}

} // namespace qb
