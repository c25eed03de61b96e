#include "quickfindindex.h"

#include "store/dataerror.h"
#include "store/pinyin.h"
#include "store/sqlitestatement.h"

#include <algorithm>
#include <future>
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

// Each record's best match among places in rising order. A record's key is looked for once,
// and once a record matched at its key's start its other places are skipped: a first letter
// typed matches nearly every record many times.
std::vector<BookIndex::Hit> BookIndex::hitsAt(const std::vector<quint32>& places) const {
    std::vector<Hit> hits;
    const QStringView text(m_text);
    qsizetype nextRecord = 0; // where the record after the current one starts
    qsizetype keyStart = 0;
    qsizetype keyEnd = 0;
    for (auto place = places.begin(); place != places.end(); ++place) {
        const qsizetype at = *place;
        if (at >= nextRecord) {
            const auto record = quint32(
                std::upper_bound(m_recordStarts.begin(), m_recordStarts.end(), quint32(at)) -
                m_recordStarts.begin() - 1);
            nextRecord =
                record + 1 < m_recordStarts.size() ? m_recordStarts[record + 1] : text.size();
            keyStart = m_recordStarts[record];
            for (int c = 0; c < m_keyColumn; ++c)
                keyStart = text.indexOf(kColumnEnd, keyStart) + 1;
            keyEnd = text.indexOf(kColumnEnd, keyStart);
            hits.push_back({record, quint32(at), 4});
        }
        const bool key = at >= keyStart && at < keyEnd;
        const bool atStart = at == 0 || text[at - 1] == kColumnEnd;
        const int rank = (key ? 0 : 2) + (atStart ? 0 : 1);
        if (rank < hits.back().rank)
            hits.back() = {hits.back().record, quint32(at), rank};
        if (rank == 0)
            place = std::lower_bound(place, places.end(), quint32(nextRecord)) - 1;
    }
    return hits;
}

int BookIndex::columnOf(const Hit& hit) const {
    const auto start = m_text.cbegin() + m_recordStarts[hit.record];
    return int(std::count(start, m_text.cbegin() + hit.place, kColumnEnd));
}

// A search with no earlier places reads the whole buffer: its two halves, split between
// records so that no match is cut, are read on two cores at once.
void BookIndex::scanInHalves(const Scan& scan, std::vector<quint32>& places) const {
    const size_t middle = m_recordStarts.size() / 2;
    if (middle == 0)
        return scan(0, m_text.size(), places);
    const qsizetype split = m_recordStarts[middle];
    std::vector<quint32> secondHalf;
    std::future<void> second =
        std::async(std::launch::async, [&] { scan(split, m_text.size(), secondHalf); });
    scan(0, split, places);
    second.get();
    places.insert(places.end(), secondHalf.begin(), secondHalf.end());
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
    scanInHalves(
        [&](qsizetype from, qsizetype to, std::vector<quint32>& found) {
            const QStringView part = text.first(to);
            qsizetype checked = from;
            for (qsizetype at = part.indexOf(query.folded(), from); at >= 0;
                 at = part.indexOf(query.folded(), at + 1)) {
                if (at - checked > kCancelCheckChars) {
                    if (cancelled())
                        return;
                    checked = at;
                }
                found.push_back(quint32(at));
            }
        },
        places);
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
    scanInHalves(
        [&](qsizetype from, qsizetype to, std::vector<quint32>& found) {
            for (qsizetype at = from; at < to; ++at) {
                if (at % kCancelCheckChars == 0 && cancelled())
                    return;
                if (query.mayStartPinyin(text[at]) && query.pinyinMatchAt(text, at) >= 0)
                    found.push_back(quint32(at));
            }
        },
        places);
}

} // namespace qb
