#include "pinyinorder.h"

#include "pinyin.h"

#include <algorithm>
#include <array>

namespace qb {

namespace {

// Up to the first 8 bytes as a number, most significant first: they compare as the bytes do.
quint64 bigEndianHead(std::string_view bytes) {
    quint64 number = 0;
    for (size_t i = 0; i < sizeof number; ++i)
        number = number << 8 | (i < bytes.size() ? quint8(bytes[i]) : 0);
    return number;
}

std::string_view afterHead(std::string_view bytes) {
    return bytes.size() > sizeof(quint64) ? bytes.substr(sizeof(quint64)) : std::string_view();
}

// A stable sort by the heads, a byte at a time from the last: no compares, and ties keep the
// order keys were added in. The bytes are counted in one pass; a byte that all heads share
// moves nothing and is skipped.
template <typename Entry> void radixSortByHead(std::vector<Entry>& entries) {
    constexpr int kBytes = sizeof(quint64);
    std::vector<std::array<size_t, 256>> starts(kBytes);
    for (const Entry& entry : entries)
        for (int byte = 0; byte < kBytes; ++byte)
            ++starts[size_t(byte)][entry.head >> (8 * byte) & 0xFF];
    std::vector<Entry> sorted(entries.size());
    for (int byte = 0; byte < kBytes; ++byte) {
        std::array<size_t, 256>& start = starts[size_t(byte)];
        if (std::find(start.begin(), start.end(), entries.size()) != start.end())
            continue;
        size_t total = 0;
        for (size_t& count : start)
            total += std::exchange(count, total);
        for (const Entry& entry : entries)
            sorted[start[entry.head >> (8 * byte) & 0xFF]++] = entry;
        entries.swap(sorted);
    }
}

} // namespace

PinyinSorter::PinyinSorter(size_t expectedRows) {
    m_entries.reserve(expectedRows);
    m_ends.reserve(expectedRows);
    m_rowIds.reserve(expectedRows);
    m_bytes.reserve(expectedRows * 16); // a name of three characters takes about 14 bytes
}

std::string_view PinyinSorter::bytesOf(quint32 index) const {
    const size_t start = index == 0 ? 0 : m_ends[index - 1];
    return std::string_view(m_bytes).substr(start, m_ends[index] - start);
}

void PinyinSorter::add(qint64 rowId, QByteArrayView utf8Key) {
    if (!appendPinyinSortBytesOfUtf8(utf8Key, m_bytes)) {
        // Another program's bytes: read as the rest of the program reads them.
        m_text.resize(utf8Key.size()); // never more UTF-16 units than UTF-8 bytes
        const QChar* end = m_decoder.appendToBuffer(m_text.data(), utf8Key);
        appendPinyinSortBytes(QStringView(m_text.constData(), end), m_bytes);
    }
    m_ends.push_back(m_bytes.size());
    const auto index = quint32(m_rowIds.size());
    m_entries.push_back({bigEndianHead(bytesOf(index)), index});
    m_rowIds.push_back(rowId);
}

// Keys that begin alike (张伟, 张维) are put in order by their next 8 bytes, then the rest.
void PinyinSorter::sortEqualHeads() {
    std::vector<Entry> run;
    for (auto first = m_entries.begin(); first != m_entries.end();) {
        const auto end = std::find_if(
            first, m_entries.end(), [&](const Entry& entry) { return entry.head != first->head; });
        if (end - first > 1) {
            run.clear();
            for (auto entry = first; entry != end; ++entry)
                run.push_back({bigEndianHead(afterHead(bytesOf(entry->index))), entry->index});
            std::sort(run.begin(), run.end(), [this](const Entry& a, const Entry& b) {
                if (a.head != b.head)
                    return a.head < b.head;
                const int rest = bytesOf(a.index).compare(bytesOf(b.index));
                return rest != 0 ? rest < 0 : a.index < b.index;
            });
            std::copy(run.begin(), run.end(), first);
        }
        first = end;
    }
}

std::vector<qint64> PinyinSorter::sortedRowIds() {
    radixSortByHead(m_entries);
    sortEqualHeads();
    std::vector<qint64> sorted;
    sorted.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        sorted.push_back(m_rowIds[entry.index]);
    return sorted;
}

} // namespace qb
