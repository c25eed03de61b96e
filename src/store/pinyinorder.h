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
        quint64 prefix; // the key's first bytes, most significant first: most compares end here
        size_t offset;
        quint32 size;
        quint32 index; // into m_rowIds
    };

    std::string m_bytes;
    std::vector<Entry> m_entries;
    std::vector<qint64> m_rowIds;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    QString m_text; // the key being added, decoded
};

} // namespace qb
