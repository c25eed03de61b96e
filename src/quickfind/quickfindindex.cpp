#include "quickfindindex.h"

#include "store/dataerror.h"
#include "store/pinyin.h"
#include "store/sqlitestatement.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <numeric>
#include <sqlite3.h>

namespace qb {

namespace {

// Ends each column's text in the buffer; no typed text holds it, so no match crosses it.
constexpr QChar kColumnEnd = QChar(0x1F);
// Checking for a newer key press costs little but not nothing: once per this many characters.
constexpr qsizetype kCancelCheckChars = 1 << 16;
// Places kept for the next, longer search: a few MiB, enough for any text but the first
// letter or digit typed in a big book.
constexpr size_t kKeptPlaces = 1 << 20;
// Rows read at a time; between slices the file is free for writers and the end of the
// program need not wait for a big book's index.
constexpr size_t kSliceRows = 4096;

} // namespace

// Turns buffer places, visited in rising order, into records and columns.
class BookIndex::Cursor {
public:
    explicit Cursor(const BookIndex& index)
        : m_index(index) {}

    // Places come in rising order, many in the same column: the column's end is looked for
    // once, not at every place.
    void moveTo(qsizetype at) {
        const auto& starts = m_index.m_recordStarts;
        if (at >= m_nextRecordStart) {
            m_record =
                quint32(std::upper_bound(starts.begin() + m_record, starts.end(), quint32(at)) -
                        starts.begin() - 1);
            m_nextRecordStart = m_record + 1 < starts.size() ? qsizetype(starts[m_record + 1])
                                                             : m_index.m_text.size();
            m_column = 0;
            enterColumn(starts[m_record]);
        }
        while (m_columnEnd < at) {
            ++m_column;
            enterColumn(m_columnEnd + 1);
        }
    }
    Hit hit(qsizetype at) {
        moveTo(at);
        const bool key = m_column == m_index.m_keyColumn;
        return {m_record, m_column, (key ? 0 : 2) + (at == m_columnStart ? 0 : 1)};
    }

private:
    void enterColumn(qsizetype start) {
        m_columnStart = start;
        m_columnEnd = QStringView(m_index.m_text).indexOf(kColumnEnd, start);
    }

    const BookIndex& m_index;
    quint32 m_record = 0;
    qsizetype m_nextRecordStart = 0; // the first place is always in another record
    int m_column = 0;
    qsizetype m_columnStart = 0;
    qsizetype m_columnEnd = 0;
};

std::optional<BookIndex> BookIndex::build(sqlite3* db, const QString& table,
                                          const QString& keyColumn,
                                          const std::function<bool()>& stopped) {
    BookIndex index;
    // Read in slices, each its own short read: a long one would keep the main window from
    // saving a record for as long as a big book takes to read.
    SqliteStatement rows(db, QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid > ?1 ORDER BY "
                                            "rowid LIMIT %2")
                                 .arg(quotedIdentifier(table))
                                 .arg(kSliceRows));
    for (int c = 1; c < rows.columnCount(); ++c)
        index.m_columns << QString::fromUtf8(sqlite3_column_name(rows.raw(), c));
    index.m_keyColumn = int(index.m_columns.indexOf(keyColumn));
    if (index.m_keyColumn < 0)
        throw DataError(QStringLiteral("%1 没有列 %2").arg(table, keyColumn));
    std::vector<QString> keys;
    QStringList folded;
    for (qint64 last = std::numeric_limits<qint64>::min();; rows.reset()) {
        if (stopped())
            return std::nullopt;
        rows.bindInt64(1, last);
        const size_t before = index.m_rowIds.size();
        while (rows.step()) {
            last = rows.int64(0);
            index.m_rowIds.push_back(last);
            folded.clear();
            for (int c = 1; c < rows.columnCount(); ++c)
                folded << foldText(rows.text(c));
            keys.push_back(pinyinSortKey(rows.text(index.m_keyColumn + 1)) + QChar(0) +
                           rows.text(index.m_keyColumn + 1));
            index.addRecord(folded);
        }
        if (index.m_rowIds.size() - before < kSliceRows)
            break;
    }
    index.m_text.squeeze();
    index.rankByPinyin(keys);
    return index;
}

void BookIndex::addRecord(const QStringList& folded) {
    m_recordStarts.push_back(quint32(m_text.size()));
    for (const QString& column : folded)
        m_text += column + kColumnEnd;
}

void BookIndex::rankByPinyin(const std::vector<QString>& keys) {
    // Pinyin order, and the order of character codes between equal readings.
    std::vector<quint32> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) { return keys[a] < keys[b]; });
    m_pinyinRanks.resize(keys.size());
    for (quint32 rank = 0; rank < order.size(); ++rank)
        m_pinyinRanks[order[rank]] = rank;
}

qsizetype BookIndex::memoryBytes() const {
    return m_text.capacity() * qsizetype(sizeof(QChar)) +
           qsizetype(m_recordStarts.capacity() * sizeof(quint32) +
                     m_rowIds.capacity() * sizeof(qint64) +
                     m_pinyinRanks.capacity() * sizeof(quint32));
}

std::vector<BookIndex::Hit> BookIndex::find(const MatchQuery& query,
                                            const std::function<bool()>& cancelled,
                                            const Places* earlier, Places& found) const {
    found = {};
    std::vector<Hit> hits;
    if (query.isEmpty())
        return hits;
    findText(query, cancelled, earlier ? &earlier->text : nullptr, found.text);
    found.pinyinSearched = query.hasPinyin();
    if (found.pinyinSearched)
        findPinyin(query, cancelled,
                   earlier && earlier->pinyinSearched ? &earlier->pinyin : nullptr, found.pinyin);
    found.complete = !cancelled() && found.text.size() + found.pinyin.size() <= kKeptPlaces;
    // Each search delivers its hits in record order, so one merge puts them together.
    const std::vector<Hit> textHits = hitsAt(found.text);
    const std::vector<Hit> pinyinHits = hitsAt(found.pinyin);
    if (!found.complete)
        found = {};
    std::vector<Hit> merged;
    merged.reserve(textHits.size() + pinyinHits.size());
    std::merge(textHits.begin(), textHits.end(), pinyinHits.begin(), pinyinHits.end(),
               std::back_inserter(merged),
               [](const Hit& a, const Hit& b) { return a.record < b.record; });
    // One hit per record: the best, and between equals the first found.
    for (const Hit& hit : merged) {
        if (hits.empty() || hits.back().record != hit.record)
            hits.push_back(hit);
        else if (hit.rank < hits.back().rank)
            hits.back() = hit;
    }
    return hits;
}

std::vector<BookIndex::Hit> BookIndex::hitsAt(const std::vector<quint32>& places) const {
    std::vector<Hit> hits;
    hits.reserve(places.size());
    Cursor cursor(*this);
    for (const quint32 at : places)
        hits.push_back(cursor.hit(at));
    return hits;
}

void BookIndex::findText(const MatchQuery& query, const std::function<bool()>& cancelled,
                         const std::vector<quint32>* earlier, std::vector<quint32>& places) const {
    const QStringView text(m_text);
    if (earlier) {
        for (const quint32 at : *earlier)
            if (text.sliced(at).startsWith(query.folded()))
                places.push_back(at);
        return;
    }
    qsizetype checked = 0;
    for (qsizetype at = text.indexOf(query.folded()); at >= 0;
         at = text.indexOf(query.folded(), at + 1)) {
        if (at - checked > kCancelCheckChars) {
            if (cancelled())
                return;
            checked = at;
        }
        places.push_back(quint32(at));
    }
}

void BookIndex::findPinyin(const MatchQuery& query, const std::function<bool()>& cancelled,
                           const std::vector<quint32>* earlier,
                           std::vector<quint32>& places) const {
    const QStringView text(m_text);
    // A match never runs past its column: the column end matches nothing typed.
    if (earlier) {
        for (const quint32 at : *earlier)
            if (query.pinyinMatchAt(text, at) >= 0)
                places.push_back(at);
        return;
    }
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (at % kCancelCheckChars == 0 && cancelled())
            return;
        if (query.mayStartPinyin(text[at]) && query.pinyinMatchAt(text, at) >= 0)
            places.push_back(quint32(at));
    }
}

} // namespace qb
