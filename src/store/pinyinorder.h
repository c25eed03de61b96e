#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <span>
#include <string>
#include <vector>

struct sqlite3;

namespace qb {

// Row ids and their keys, read in the order of character codes (upwards or downwards), put in
// the pinyin order of the keys (the order of pinyinSortKey); keys of equal pinyin stay in the
// order of character codes.
// The keys are kept as compact bytes in one buffer, not as a string each, so a book of a
// million records sorts in a fraction of a second. A run starts a cache line of its own: two
// runs are filled on two cores at once.
class alignas(64) PinyinRun {
public:
    explicit PinyinRun(Qt::SortOrder readOrder)
        : m_readOrder(readOrder) {}
    void reserve(size_t rows);
    // A key as stored (UTF-8, null for none).
    void add(qint64 rowId, QByteArrayView utf8Key);
    // A run read upwards may be sorted again after more keys were added above those sorted.
    void sort();
    size_t size() const { return m_entries.size(); }

    // Two sorted runs as one list; between equal keys the first run's come first.
    friend std::vector<qint64> mergedRowIds(const PinyinRun& first, const PinyinRun& second);

private:
    // Packed to 12 bytes: a sort of a million keys holds two or three arrays of them at once.
#pragma pack(push, 4)
    struct Entry {
        quint64 head;  // the key's first sort bytes, packed, most significant first
        quint32 index; // of the key and its row id, in the order added
    };
#pragma pack(pop)

    std::string_view bytesOf(quint32 index) const;
    bool readBefore(quint32 a, quint32 b) const; // in the order of character codes
    void sortEqualHeads(std::span<Entry> entries) const;

    Qt::SortOrder m_readOrder;
    std::string m_bytes;
    std::vector<size_t> m_ends; // of each key's bytes
    std::vector<Entry> m_entries;
    std::vector<qint64> m_rowIds;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                       QStringDecoder::Flag::ConvertInitialBom};
    QString m_text; // the key being added, decoded
};

// A table's row ids in the pinyin order of a key column, and between equal readings in the order
// of character codes: the key's index gives the keys in that order and the sort keeps it.
//
// Outside a transaction the keys are read in parts from both ends: a second connection reads
// and sorts the upper parts on another core while this one does the lower. This connection's
// read lock, taken first and held to the end, keeps every writer out meanwhile, so both read
// the same book.
std::vector<qint64> rowIdsInPinyinOrder(sqlite3* db, const QString& table,
                                        const QString& keyColumn);

} // namespace qb
