#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <string>
#include <vector>

namespace qb {

// Puts row ids in the pinyin order of their keys, the order of pinyinSortKey; keys of equal
// pinyin stay in the order they were added. The keys are kept as compact bytes in one buffer,
// not as a string each, so a book of a million records sorts in a fraction of a second.
class PinyinSorter {
public:
    explicit PinyinSorter(size_t expectedRows);

    // A key as stored (UTF-8, null for none).
    void add(qint64 rowId, QByteArrayView utf8Key);
    std::vector<qint64> sortedRowIds();

private:
    struct Entry {
        quint64 head;  // the key's first 8 bytes, most significant first
        quint32 index; // of the key and its row id, in the order added
    };

    std::string_view bytesOf(quint32 index) const;
    void sortEqualHeads();

    std::string m_bytes;
    std::vector<size_t> m_ends; // of each key's bytes
    std::vector<Entry> m_entries;
    std::vector<qint64> m_rowIds;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                       QStringDecoder::Flag::ConvertInitialBom};
    QString m_text; // the key being added, decoded
};

} // namespace qb
