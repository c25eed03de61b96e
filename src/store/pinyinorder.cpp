#include "pinyinorder.h"

#include "pinyin.h"

#include <algorithm>
#include <array>
#include <future>

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
template <typename Entry> void radixSortByHead(std::span<Entry> entries) {
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
        std::copy(sorted.begin(), sorted.end(), entries.begin());
    }
}

} // namespace

// Keys handed over at a time: few enough hand-overs to cost nothing, early enough that the
// second core starts soon.
constexpr size_t kBatchKeys = 4096;

PinyinSorter::PinyinSorter(size_t expectedRows) {
    m_entries.reserve(expectedRows);
    m_ends.reserve(expectedRows);
    m_rowIds.reserve(expectedRows);
    m_bytes.reserve(expectedRows * 16); // a name of three characters takes about 14 bytes
    m_writer = std::thread([this] { writeSortBytes(); });
}

PinyinSorter::~PinyinSorter() {
    finishWriting();
}

void PinyinSorter::add(qint64 rowId, QByteArrayView utf8Key) {
    m_rowIds.push_back(rowId);
    m_reading.bytes.append(utf8Key.data(), size_t(utf8Key.size()));
    m_reading.ends.push_back(m_reading.bytes.size());
    if (m_reading.ends.size() == kBatchKeys)
        handOver();
}

void PinyinSorter::handOver() {
    {
        const std::lock_guard lock(m_mutex);
        m_toWrite.push_back(std::exchange(m_reading, {}));
    }
    m_reading.bytes.reserve(kBatchKeys * 16);
    m_reading.ends.reserve(kBatchKeys);
    m_handedOver.notify_one();
}

void PinyinSorter::finishWriting() {
    if (!m_writer.joinable())
        return;
    handOver();
    {
        const std::lock_guard lock(m_mutex);
        m_allRead = true;
    }
    m_handedOver.notify_one();
    m_writer.join();
}

void PinyinSorter::writeSortBytes() {
    for (;;) {
        Keys keys;
        {
            std::unique_lock lock(m_mutex);
            m_handedOver.wait(lock, [this] { return !m_toWrite.empty() || m_allRead; });
            if (m_toWrite.empty())
                return;
            keys = std::move(m_toWrite.front());
            m_toWrite.pop_front();
        }
        size_t start = 0;
        for (const size_t end : keys.ends) {
            addSortBytes(QByteArrayView(keys.bytes.data() + start, qsizetype(end - start)));
            start = end;
        }
    }
}

void PinyinSorter::addSortBytes(QByteArrayView utf8Key) {
    if (!appendPinyinSortBytesOfUtf8(utf8Key, m_bytes)) {
        // Another program's bytes: read as the rest of the program reads them.
        m_text.resize(utf8Key.size()); // never more UTF-16 units than UTF-8 bytes
        const QChar* end = m_decoder.appendToBuffer(m_text.data(), utf8Key);
        appendPinyinSortBytes(QStringView(m_text.constData(), end), m_bytes);
    }
    m_ends.push_back(m_bytes.size());
    const auto index = quint32(m_entries.size());
    m_entries.push_back({bigEndianHead(bytesOf(index)), index});
}

std::string_view PinyinSorter::bytesOf(quint32 index) const {
    const size_t start = index == 0 ? 0 : m_ends[index - 1];
    return std::string_view(m_bytes).substr(start, m_ends[index] - start);
}

// Keys that begin alike (张伟, 张维) are put in order by their next 8 bytes, then the rest.
void PinyinSorter::sortEqualHeads(std::span<Entry> entries) const {
    std::vector<Entry> run;
    for (auto first = entries.begin(); first != entries.end();) {
        const auto end = std::find_if(
            first, entries.end(), [&](const Entry& entry) { return entry.head != first->head; });
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
            // The run's entries share their head: only their order changes.
            const quint64 head = first->head;
            std::transform(run.begin(), run.end(), first, [head](const Entry& entry) {
                return Entry{head, entry.index};
            });
        }
        first = end;
    }
}

void PinyinSorter::sortPart(std::span<Entry> entries) const {
    radixSortByHead(entries);
    sortEqualHeads(entries);
}

// The two halves are sorted on two cores at once, then merged; the merge keeps the first
// half's keys before equal ones of the second, so equal pinyin stays in the order added.
std::vector<qint64> PinyinSorter::sortedRowIds() {
    finishWriting();
    const std::span<Entry> all(m_entries);
    const size_t middle = all.size() / 2;
    std::future<void> second =
        std::async(std::launch::async, [&] { sortPart(all.subspan(middle)); });
    sortPart(all.first(middle));
    second.get();
    std::inplace_merge(m_entries.begin(), m_entries.begin() + qsizetype(middle), m_entries.end(),
                       [this](const Entry& a, const Entry& b) {
                           return a.head != b.head ? a.head < b.head
                                                   : bytesOf(a.index) < bytesOf(b.index);
                       });
    std::vector<qint64> sorted;
    sorted.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        sorted.push_back(m_rowIds[entry.index]);
    return sorted;
}

} // namespace qb
