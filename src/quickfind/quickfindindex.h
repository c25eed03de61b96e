#pragma once

#include "textmatch.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

struct sqlite3;

namespace qb {

// One book's records as a search reads them: every column's folded text in one buffer, the
// row ids, and each record's place in the pinyin order of its key. Searching the buffer is
// far faster than reading the table again for every key press.
class BookIndex {
public:
    struct Hit {
        quint32 record = 0;
        quint32 place = 0; // where in the buffer the match starts
        // 0 key at its start, 1 key inside, 2 other column at its start, 3 other inside.
        int rank = 0;
    };

    // Reads the table through the given connection; keyColumn names its key. Nothing when
    // stopped() says so before the end.
    static std::optional<BookIndex> build(sqlite3* db, const QString& table,
                                          const QString& keyColumn,
                                          const std::function<bool()>& stopped);

    const QStringList& columnNames() const { return m_columns; }
    int keyColumn() const { return m_keyColumn; }
    qsizetype recordCount() const { return qsizetype(m_rowIds.size()); }
    qint64 rowId(quint32 record) const { return m_rowIds[record]; }
    quint32 pinyinRank(quint32 record) const { return m_pinyinRanks[record]; }
    // The column a hit is in.
    int columnOf(const Hit& hit) const;
    // The bytes the index holds.
    qsizetype memoryBytes() const;

    // Where a search matched in the buffer, in rising order. A search for a longer text typed
    // after it only has to look at these places: each match of "zhangw" starts where "zhang"
    // matched. Left incomplete when the search was cancelled or matched too often to keep.
    struct Places {
        std::vector<quint32> text;
        std::vector<quint32> pinyin;
        bool pinyinSearched = false; // a query of digits only has no pinyin places
        bool complete = false;
    };

    // Every matching record once, with its best match; stops early when cancelled() says so.
    // With `earlier`, the places of a search whose text the query's begins with, only those are
    // looked at; `found` gets the query's own.
    std::vector<Hit> find(const MatchQuery& query, const std::function<bool()>& cancelled,
                          const Places* earlier, Places& found) const;

private:
    void addRecord(const QStringList& folded);
    void rankByPinyin(sqlite3* db, const QString& table);
    std::vector<quint32> findText(const MatchQuery& query, const std::function<bool()>& cancelled,
                                  const std::vector<quint32>* earlier) const;
    std::vector<quint32> findPinyin(const MatchQuery& query, const std::function<bool()>& cancelled,
                                    const std::vector<quint32>* earlier) const;
    std::vector<Hit> hitsAt(const std::vector<quint32>& places) const;
    size_t keptPlaces() const;
    // Looks in part of the buffer, from one place to another, and adds what it finds.
    template <typename Found>
    using PartSearch = std::function<void(qsizetype from, qsizetype to, std::vector<Found>& found)>;
    template <typename Found> std::vector<Found> inHalves(const PartSearch<Found>& search) const;
    template <typename Next, typename Matches>
    std::vector<quint32> findPlaces(const Next& next, const Matches& matchesAt,
                                    const std::function<bool()>& cancelled,
                                    const std::vector<quint32>* earlier) const;

    QStringList m_columns;
    int m_keyColumn = 0;
    QString m_text; // per record its columns, each followed by kColumnEnd
    std::vector<quint32> m_recordStarts;
    std::vector<qint64> m_rowIds;
    std::vector<quint32> m_pinyinRanks;
};

} // namespace qb
