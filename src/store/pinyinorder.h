#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

namespace qb {

// Puts row ids in the pinyin order of their keys, the order of pinyinSortKey; keys of equal
// pinyin stay in the order they were added. The keys are kept as compact bytes in one buffer,
// not as a string each, so a book of a million records sorts in a fraction of a second.
//
// The sort bytes are written on a second core while the keys are still being read: the keys
// are handed over in batches, copied as they come from the book.
class PinyinSorter {
public:
    explicit PinyinSorter(size_t expectedRows);
    ~PinyinSorter();
    PinyinSorter(const PinyinSorter&) = delete;
    PinyinSorter& operator=(const PinyinSorter&) = delete;

    // A key as stored (UTF-8, null for none).
    void add(qint64 rowId, QByteArrayView utf8Key);
    std::vector<qint64> sortedRowIds();

private:
    // Packed to 12 bytes: a sort of a million keys holds two or three arrays of them at once.
#pragma pack(push, 4)
    struct Entry {
        quint64 head;  // the key's first 8 bytes, most significant first
        quint32 index; // of the key and its row id, in the order added
    };
#pragma pack(pop)
    struct Keys {
        std::string bytes;
        std::vector<size_t> ends;
    };

    void handOver();
    void finishWriting();
    void writeSortBytes(); // the second core's work, batch after batch
    void addSortBytes(QByteArrayView utf8Key);
    std::string_view bytesOf(quint32 index) const;
    void sortEqualHeads(std::span<Entry> entries) const;
    void sortPart(std::span<Entry> entries) const;

    std::string m_bytes;
    std::vector<size_t> m_ends; // of each key's bytes
    std::vector<Entry> m_entries;
    std::vector<qint64> m_rowIds;
    Keys m_reading; // keys read and not yet handed over
    std::mutex m_mutex;
    std::condition_variable m_handedOver;
    std::deque<Keys> m_toWrite;
    bool m_allRead = false;
    std::thread m_writer; // started last, once everything it uses is there
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                       QStringDecoder::Flag::ConvertInitialBom};
    QString m_text; // the key being added, decoded
};

// A table's row ids in the pinyin order of a key column, and between equal readings in the order
// of character codes: the key's index gives the keys in that order and the sorter keeps it.
// expectedRows only sizes the buffers.
std::vector<qint64> rowIdsInPinyinOrder(sqlite3* db, const QString& table, const QString& keyColumn,
                                        size_t expectedRows);

} // namespace qb
