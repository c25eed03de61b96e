#include "quickfindindex.h"

#include "store/dataerror.h"
#include "store/pinyinorder.h"
#include "store/sqlitestatement.h"

#include <algorithm>
#include <future>
#include <iterator>
#include <limits>
#include <span>
#include <sqlite3.h>

namespace qb {

namespace {

// Ends each column's text in the buffer; no typed text holds it, so no match crosses it.
constexpr QChar kColumnEnd = QChar(0x1F);
// Checking for a newer key press costs little but not nothing: once per this many characters.
constexpr qsizetype kCancelCheckChars = 1 << 16;
// Places kept for the next, longer search: at least a few MiB, and in a big book one for every
// few characters, so that the key press after a first letter or digit narrows too.
constexpr size_t kKeptPlaces = 1 << 20;
constexpr qsizetype kCharactersPerKeptPlace = 8;
// Rows read at a time; between slices the file is free for writers and the end of the
// program need not wait for a big book's index.
constexpr size_t kSliceRows = 4096;

} // namespace

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
            index.addRecord(folded);
        }
        if (index.m_rowIds.size() - before < kSliceRows)
            break;
    }
    index.m_text.squeeze();
    index.rankByPinyin(db, table);
    return index;
}

void BookIndex::addRecord(const QStringList& folded) {
    m_recordStarts.push_back(quint32(m_text.size()));
    for (const QString& column : folded)
        m_text += column + kColumnEnd;
}

// Pinyin order, and the order of character codes between equal readings: the key index
// gives the keys in code order and the store's sorter keeps it between equals. A record
// another program removed since the index was read has no rank and goes last.
void BookIndex::rankByPinyin(sqlite3* db, const QString& table) {
    SqliteStatement keys(
        db, QStringLiteral("SELECT rowid, %2 FROM %1 ORDER BY %2")
                .arg(quotedIdentifier(table), quotedIdentifier(m_columns[m_keyColumn])));
    PinyinSorter sorter(m_rowIds.size());
    while (keys.step()) {
        int length = 0;
        const char* key = keys.utf8(1, &length);
        sorter.add(keys.int64(0), QByteArrayView(key, length));
    }
    m_pinyinRanks.assign(m_rowIds.size(), quint32(m_rowIds.size()));
    quint32 rank = 0;
    for (const qint64 rowId : sorter.sortedRowIds()) {
        const auto record = std::lower_bound(m_rowIds.begin(), m_rowIds.end(), rowId);
        if (record != m_rowIds.end() && *record == rowId)
            m_pinyinRanks[size_t(record - m_rowIds.begin())] = rank++;
    }
}

size_t BookIndex::keptPlaces() const {
    return std::max(kKeptPlaces, size_t(m_text.size() / kCharactersPerKeptPlace));
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
    found.text = findText(query, cancelled, earlier ? &earlier->text : nullptr);
    found.pinyinSearched = query.hasPinyin();
    if (found.pinyinSearched)
        found.pinyin = findPinyin(query, cancelled,
                                  earlier && earlier->pinyinSearched ? &earlier->pinyin : nullptr);
    found.complete = !cancelled() && found.text.size() + found.pinyin.size() <= keptPlaces();
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

// A search reads the buffer's two halves, split between records so that no match is cut, on
// two cores at once, and puts what they found together in the buffer's order.
template <typename Found>
std::vector<Found> BookIndex::inHalves(const PartSearch<Found>& search) const {
    std::vector<Found> found;
    const size_t middle = m_recordStarts.size() / 2;
    if (middle == 0) {
        search(0, m_text.size(), found);
        return found;
    }
    const qsizetype split = m_recordStarts[middle];
    std::vector<Found> secondHalf;
    std::future<void> second =
        std::async(std::launch::async, [&] { search(split, m_text.size(), secondHalf); });
    search(0, split, found);
    second.get();
    found.insert(found.end(), secondHalf.begin(), secondHalf.end());
    return found;
}

namespace {

// The places of a rising list that are in part of the buffer.
std::span<const quint32> placesIn(const std::vector<quint32>& places, qsizetype from,
                                  qsizetype to) {
    const auto first = std::lower_bound(places.begin(), places.end(), quint32(from));
    return {first, std::lower_bound(first, places.end(), quint32(to))};
}

} // namespace

// Each record's best match among places in rising order. A record's key is looked for once,
// and a record's other places are skipped once no later one can match better: a first letter
// typed matches nearly every record many times.
std::vector<BookIndex::Hit> BookIndex::hitsAt(const std::vector<quint32>& places) const {
    const QStringView text(m_text);
    // A column's end, found inline: keys are short.
    const auto columnEnd = [&text](qsizetype from) {
        return qsizetype(std::find(text.begin() + from, text.end(), kColumnEnd) - text.begin());
    };
    return inHalves<Hit>([&](qsizetype from, qsizetype to, std::vector<Hit>& hits) {
        const std::span<const quint32> part = placesIn(places, from, to);
        auto record = m_recordStarts.begin();
        qsizetype nextRecord = 0; // where the record after the current one starts
        qsizetype keyStart = 0;
        qsizetype keyEnd = 0;
        for (auto place = part.begin(); place != part.end(); ++place) {
            const qsizetype at = *place;
            if (at >= nextRecord) {
                // Places rise, so the record is at or after the last one.
                record = std::upper_bound(record, m_recordStarts.end(), quint32(at)) - 1;
                nextRecord = record + 1 != m_recordStarts.end() ? *(record + 1) : text.size();
                keyStart = *record;
                for (int c = 0; c < m_keyColumn; ++c)
                    keyStart = columnEnd(keyStart) + 1;
                keyEnd = columnEnd(keyStart);
                hits.push_back({quint32(record - m_recordStarts.begin()), quint32(at), 4});
            }
            const bool key = at >= keyStart && at < keyEnd;
            const bool atStart = at == 0 || text[at - 1] == kColumnEnd;
            const int rank = (key ? 0 : 2) + (atStart ? 0 : 1);
            if (rank < hits.back().rank)
                hits.back() = {hits.back().record, quint32(at), rank};
            // Past the key, only another column's start can still do better.
            const int bestLeft = at < keyEnd ? 0 : 2;
            if (hits.back().rank <= bestLeft)
                place = std::lower_bound(place, part.end(), quint32(nextRecord)) - 1;
        }
    });
}

int BookIndex::columnOf(const Hit& hit) const {
    const auto start = m_text.cbegin() + m_recordStarts[hit.record];
    return int(std::count(start, m_text.cbegin() + hit.place, kColumnEnd));
}

// The places where `matchesAt` holds: only among the earlier places when there are some,
// else at each place `next(from, to)` offers in the buffer (`to` when there are no more).
template <typename Next, typename Matches>
std::vector<quint32> BookIndex::findPlaces(const Next& next, const Matches& matchesAt,
                                           const std::function<bool()>& cancelled,
                                           const std::vector<quint32>* earlier) const {
    return inHalves<quint32>([&](qsizetype from, qsizetype to, std::vector<quint32>& found) {
        if (earlier) {
            for (const quint32 at : placesIn(*earlier, from, to))
                if (matchesAt(at))
                    found.push_back(at);
            return;
        }
        qsizetype checked = from;
        for (qsizetype at = next(from, to); at < to; at = next(at + 1, to)) {
            if (at - checked > kCancelCheckChars) {
                if (cancelled())
                    return;
                checked = at;
            }
            if (matchesAt(at))
                found.push_back(quint32(at));
        }
    });
}

std::vector<quint32> BookIndex::findText(const MatchQuery& query,
                                         const std::function<bool()>& cancelled,
                                         const std::vector<quint32>* earlier) const {
    const QStringView text(m_text);
    const auto next = [&](qsizetype from, qsizetype to) {
        const qsizetype at = text.first(to).indexOf(query.folded(), from);
        return at < 0 ? to : at;
    };
    // Where the search found the text it is there; only earlier places need a look.
    const auto matchesAt = [&](qsizetype at) {
        return !earlier || text.sliced(at).startsWith(query.folded());
    };
    return findPlaces(next, matchesAt, cancelled, earlier);
}

std::vector<quint32> BookIndex::findPinyin(const MatchQuery& query,
                                           const std::function<bool()>& cancelled,
                                           const std::vector<quint32>* earlier) const {
    const QStringView text(m_text);
    // A match never runs past its column: the column end matches nothing typed.
    const auto next = [&](qsizetype from, qsizetype to) {
        return query.nextPinyinStart(text, from, to);
    };
    const auto matchesAt = [&](qsizetype at) { return query.pinyinMatchAt(text, at) >= 0; };
    return findPlaces(next, matchesAt, cancelled, earlier);
}

} // namespace qb
