#include "pinyinorder.h"

#include "pinyin.h"
#include "sqlitestatement.h"

#include <algorithm>
#include <array>
#include <future>
#include <memory>

namespace qb {

namespace {

// The lowest bit of a head: the whole key is in it, so keys of equal heads sort alike.
constexpr quint64 kWholeKey = 1;

// A byte's code in a head and its width in bits: a blank or a letter takes 5 bits, any other
// byte an escape code for where it falls among them and then its own 8 bits, so that codes
// compare as the bytes do. Code 0 ends a key: a key before every longer one it begins.
std::pair<quint32, int> headCode(quint8 byte) {
    constexpr int kShort = 5;
    constexpr int kEscaped = kShort + 8;
    if (byte >= 'a' && byte <= 'z')
        return {4u + byte - 'a', kShort};
    if (byte == ' ')
        return {2, kShort};
    const quint32 escape = byte < ' ' ? 1 : byte < 'a' ? 3 : 30;
    return {escape << 8 | byte, kEscaped};
}

// The first 63 bits of a key's codes, then kWholeKey if they hold all of it. Readings are
// letters and blanks, so most names of three characters fit whole ("zhang wei" takes 50 bits
// with its end), where eight plain bytes would hold "zhang we".
quint64 packedHead(std::string_view bytes) {
    constexpr int kRoom = 63;
    quint64 head = 0;
    int used = 0;
    bool whole = true;
    for (size_t i = 0; i <= bytes.size() && whole; ++i) {
        const auto [code, width] =
            i < bytes.size() ? headCode(quint8(bytes[i])) : std::pair<quint32, int>{0, 5};
        const int fits = std::min(width, kRoom - used);
        head = fits == 0 ? head : head << fits | code >> (width - fits);
        used += fits;
        whole = fits == width;
    }
    return (head << (kRoom - used)) << 1 | (whole ? kWholeKey : 0);
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
    // Left uninitialised: every entry is written before it is read.
    const std::unique_ptr<Entry[]> sorted(new Entry[entries.size()]);
    for (int byte = 0; byte < kBytes; ++byte) {
        std::array<size_t, 256>& start = starts[size_t(byte)];
        if (std::find(start.begin(), start.end(), entries.size()) != start.end())
            continue;
        size_t total = 0;
        for (size_t& count : start)
            total += std::exchange(count, total);
        for (const Entry& entry : entries)
            sorted[start[entry.head >> (8 * byte) & 0xFF]++] = entry;
        std::copy_n(sorted.get(), entries.size(), entries.begin());
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
    m_entries.push_back({packedHead(bytesOf(index)), index});
}

std::string_view PinyinSorter::bytesOf(quint32 index) const {
    const size_t start = index == 0 ? 0 : m_ends[index - 1];
    return std::string_view(m_bytes).substr(start, m_ends[index] - start);
}

// Keys whose heads are alike but do not fit them are put in order by all their bytes; those
// that fit are in order already, as they were added.
void PinyinSorter::sortEqualHeads(std::span<Entry> entries) const {
    for (auto first = entries.begin(); first != entries.end();) {
        const auto end = std::find_if(
            first, entries.end(), [&](const Entry& entry) { return entry.head != first->head; });
        if (end - first > 1 && (first->head & kWholeKey) == 0)
            std::sort(first, end, [this](const Entry& a, const Entry& b) {
                const int order = bytesOf(a.index).compare(bytesOf(b.index));
                return order != 0 ? order < 0 : a.index < b.index;
            });
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

std::vector<qint64> rowIdsInPinyinOrder(sqlite3* db, const QString& table, const QString& keyColumn,
                                        size_t expectedRows) {
    SqliteStatement keys(db, QStringLiteral("SELECT rowid, %2 FROM %1 ORDER BY %2")
                                 .arg(quotedIdentifier(table), quotedIdentifier(keyColumn)));
    PinyinSorter sorter(expectedRows);
    while (keys.step()) {
        int length = 0;
        const char* key = keys.utf8(1, &length);
        sorter.add(keys.int64(0), QByteArrayView(key, length));
    }
    return sorter.sortedRowIds();
}

} // namespace qb
