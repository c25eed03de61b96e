#pragma once

#include "searchtext.h"
#include "textmatch.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

struct sqlite3;

namespace qb {

// One book's records as a search reads them, in the pinyin order of their keys: the folded
// keys in memory, every other column's folded text in a temporary file, and the row ids.
// Searching these is far faster than reading the table again for every key press, and a
// search that has found enough good matches early in the order stops there.
class BookIndex {
public:
    struct Hit {
        quint32 record = 0; // its place in the pinyin order of the keys
        quint32 place = 0;  // where in its text the match starts
        // 0 key at its start, 1 key inside, 2 other column at its start, 3 other inside.
        int rank = 0;
    };

    // Reads the table through the given connection; keyColumn names its key. Nothing when
    // stopped() says so before the end. Throws DataError.
    static std::optional<BookIndex> build(sqlite3* db, const QString& table,
                                          const QString& keyColumn,
                                          const std::function<bool()>& stopped);

    const QStringList& columnNames() const { return m_columns; }
    int keyColumn() const { return m_keyColumn; }
    qint64 rowId(quint32 record) const { return m_rowIds[record]; }
    // The column a hit is in.
    int columnOf(const Hit& hit) const;
    // The bytes the index holds in memory and in its file.
    qsizetype memoryBytes() const;
    qsizetype fileBytes() const { return m_others.fileBytes(); }

    // Where a search matched in the keys or in the other columns, in rising order. A search for
    // a longer text typed after it only has to look at these places: each match of "zhangw"
    // starts where "zhang" matched. Left incomplete when the search stopped early, was
    // cancelled or matched too often to keep.
    struct PartPlaces {
        std::vector<quint32> text;
        std::vector<quint32> pinyin;
        bool pinyinSearched = false; // a query of digits only has no pinyin places
        bool complete = false;
    };
    struct Places {
        PartPlaces keys;
        PartPlaces others;
    };

    // The best `wanted` records, best first: by rank, then in pinyin order; each with its best
    // match, between equals the first. Stops early when cancelled() says so. With `earlier`,
    // the places of a search whose text the query's begins with, only those are looked at;
    // `found` gets the query's own.
    std::vector<Hit> find(const MatchQuery& query, size_t wanted,
                          const std::function<bool()>& cancelled, const Places* earlier,
                          Places& found) const;

private:
    struct Scan;
    struct Part {
        const SearchText& text;
        int bestRank;  // of a match at a column's start
        size_t enough; // records of the best rank after which the rest cannot be wanted
    };

    // Takes the key out of the folded columns.
    void addRecord(QStringList& folded);
    std::vector<Hit> findIn(const Part& part, const MatchQuery& query,
                            const std::function<bool()>& cancelled, const PartPlaces* earlier,
                            PartPlaces& found) const;
    Scan scanRecords(const Part& part, const MatchQuery& query, qsizetype first, qsizetype last,
                     const std::function<bool()>& stopped, const PartPlaces* earlier) const;
    static void searchSlice(const Part& part, const MatchQuery& query, QStringView slice,
                            qsizetype offset, const std::function<bool()>& stopped,
                            const PartPlaces* earlier, Scan& scan);

    QStringList m_columns;
    int m_keyColumn = 0;
    std::vector<qint64> m_rowIds; // in the pinyin order of the keys
    SearchText m_keys{SearchText::Storage::Memory};
    SearchText m_others{SearchText::Storage::File};
};

} // namespace qb
