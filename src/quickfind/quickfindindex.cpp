#include "quickfindindex.h"

#include "store/dataerror.h"
#include "store/pinyinorder.h"
#include "store/sqlitestatement.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <iterator>
#include <limits>
#include <span>
#include <sqlite3.h>

namespace qb {

namespace {

constexpr int kKeyRank = 0;   // a match at the key's start
constexpr int kOtherRank = 2; // a match at another column's start
// Checking for a newer key press costs little but not nothing: once per this many characters.
constexpr qsizetype kCancelCheckChars = 1 << 16;
// Places kept for the next, longer search: one for every few characters, so that the key press
// after a first letter or digit narrows in a big book too, but at least and at most a few MiB.
constexpr qsizetype kCharactersPerKeptPlace = 8;
constexpr size_t kFewestKeptPlaces = 1 << 20;
constexpr size_t kMostKeptPlaces = 1 << 22;
// Records a search looks at alone before it takes two cores: a common text's best matches are
// often all among the first.
constexpr qsizetype kHeadRecords = 1024;
// Rows read under one read lock; between them the file is free for writers and the end of the
// program need not wait for a big book's index.
constexpr size_t kSliceRows = 4096;
constexpr size_t kAll = std::numeric_limits<size_t>::max();
constexpr qsizetype kNowhere = std::numeric_limits<qsizetype>::max();

using Hit = BookIndex::Hit;
using EarlierPlaces = std::optional<std::span<const quint32>>;

size_t keptPlaces(const SearchText& text) {
    return std::clamp(size_t(text.size() / kCharactersPerKeptPlace), kFewestKeptPlaces,
                      kMostKeptPlaces);
}

// The places of a rising list that are in part of the text.
std::span<const quint32> placesIn(const std::vector<quint32>& places, qsizetype from,
                                  qsizetype to) {
    const auto first = std::lower_bound(places.begin(), places.end(), quint32(from));
    return {first, std::lower_bound(first, places.end(), quint32(to))};
}

qsizetype firstPlaceFrom(const std::vector<quint32>& places, qsizetype from) {
    const auto at = std::lower_bound(places.begin(), places.end(), quint32(from));
    return at == places.end() ? kNowhere : qsizetype(*at);
}

// One hit per record from two lists in record order: the best, and between equals the first
// list's.
std::vector<Hit> bestPerRecord(const std::vector<Hit>& first, const std::vector<Hit>& second) {
    std::vector<Hit> merged;
    merged.reserve(first.size() + second.size());
    std::merge(first.begin(), first.end(), second.begin(), second.end(), std::back_inserter(merged),
               [](const Hit& a, const Hit& b) { return a.record < b.record; });
    std::vector<Hit> best;
    for (const Hit& hit : merged) {
        if (best.empty() || best.back().record != hit.record)
            best.push_back(hit);
        else if (hit.rank < best.back().rank)
            best.back() = hit;
    }
    return best;
}

// Each record's best match among places of a slice in rising order. A record's other places
// are skipped once it has a match at a column's start: a first letter typed matches nearly
// every record many times.
std::vector<Hit> hitsAt(const SearchText& text, int bestRank, QStringView slice, qsizetype offset,
                        const std::vector<quint32>& places) {
    std::vector<Hit> hits;
    qsizetype record = text.recordAt(offset);
    qsizetype nextRecord = offset; // where the record after the current one starts
    for (auto place = places.begin(); place != places.end(); ++place) {
        const qsizetype at = *place;
        if (at >= nextRecord) {
            // Places rise, so the record is at or after the last one.
            record = text.recordAt(at, record);
            nextRecord = text.recordStart(record + 1);
            hits.push_back({quint32(record), quint32(at), bestRank + 2});
        }
        // A slice starts with a record.
        const bool atStart = at == offset || slice[at - offset - 1] == kColumnEnd;
        const int rank = bestRank + (atStart ? 0 : 1);
        if (rank < hits.back().rank)
            hits.back() = {hits.back().record, quint32(at), rank};
        if (hits.back().rank == bestRank)
            place = std::lower_bound(place, places.end(), quint32(nextRecord)) - 1;
    }
    return hits;
}

// The places of a slice where `matchesAt` holds: only among the earlier places when there are
// some, else at each place `next(from)` offers (the slice's size when there are no more).
template <typename Next, typename Matches>
std::vector<quint32> findPlaces(QStringView slice, qsizetype offset, const Next& next,
                                const Matches& matchesAt, const std::function<bool()>& stopped,
                                const EarlierPlaces& earlier) {
    std::vector<quint32> found;
    if (earlier) {
        for (const quint32 at : *earlier)
            if (matchesAt(at - offset))
                found.push_back(at);
        return found;
    }
    qsizetype checked = 0;
    for (qsizetype at = next(0); at < slice.size(); at = next(at + 1)) {
        if (at - checked > kCancelCheckChars) {
            if (stopped())
                break;
            checked = at;
        }
        if (matchesAt(at))
            found.push_back(quint32(offset + at));
    }
    return found;
}

std::vector<quint32> findText(const MatchQuery& query, QStringView slice, qsizetype offset,
                              const std::function<bool()>& stopped, const EarlierPlaces& earlier) {
    const auto next = [&](qsizetype from) {
        const qsizetype at = slice.indexOf(query.folded(), from);
        return at < 0 ? slice.size() : at;
    };
    // Where the search found the text it is there; only earlier places need a look.
    const auto matchesAt = [&](qsizetype at) {
        return !earlier || slice.sliced(at).startsWith(query.folded());
    };
    return findPlaces(slice, offset, next, matchesAt, stopped, earlier);
}

std::vector<quint32> findPinyin(const MatchQuery& query, QStringView slice, qsizetype offset,
                                const std::function<bool()>& stopped,
                                const EarlierPlaces& earlier) {
    // A match never runs past its column: the column end matches nothing typed.
    const auto next = [&](qsizetype from) {
        return query.nextPinyinStart(slice, from, slice.size());
    };
    const auto matchesAt = [&](qsizetype at) { return query.pinyinMatchAt(slice, at) >= 0; };
    return findPlaces(slice, offset, next, matchesAt, stopped, earlier);
}

} // namespace

// What a search found in a run of records.
struct BookIndex::Scan {
    std::vector<Hit> hits; // one per record, in record order
    std::vector<quint32> text;
    std::vector<quint32> pinyin;
    size_t best = 0;         // records whose hit has the best rank
    bool whole = true;       // false when it stopped before the run's end
    bool keepsPlaces = true; // false once there were too many to keep

    void append(Scan&& later) {
        hits.insert(hits.end(), later.hits.begin(), later.hits.end());
        text.insert(text.end(), later.text.begin(), later.text.end());
        pinyin.insert(pinyin.end(), later.pinyin.begin(), later.pinyin.end());
        best += later.best;
        whole = whole && later.whole;
        keepsPlaces = keepsPlaces && later.keepsPlaces;
    }
    void keep(std::vector<quint32>&& textPlaces, std::vector<quint32>&& pinyinPlaces, size_t most) {
        if (!keepsPlaces)
            return;
        text.insert(text.end(), textPlaces.begin(), textPlaces.end());
        pinyin.insert(pinyin.end(), pinyinPlaces.begin(), pinyinPlaces.end());
        if (text.size() + pinyin.size() > most)
            dropPlaces();
    }
    void dropPlaces() {
        keepsPlaces = false;
        text = {};
        pinyin = {};
    }
};

std::optional<BookIndex> BookIndex::build(sqlite3* db, const QString& table,
                                          const QString& keyColumn,
                                          const std::function<bool()>& stopped) {
    BookIndex index;
    SqliteStatement row(
        db, QStringLiteral("SELECT * FROM %1 WHERE rowid = ?1").arg(quotedIdentifier(table)));
    for (int c = 0; c < row.columnCount(); ++c)
        index.m_columns << QString::fromUtf8(sqlite3_column_name(row.raw(), c));
    index.m_keyColumn = int(index.m_columns.indexOf(keyColumn));
    if (index.m_keyColumn < 0)
        throw DataError(QStringLiteral("%1 没有列 %2").arg(table, keyColumn));
    // The order's own list becomes the row ids': a second would take 8 MiB more a million.
    std::vector<qint64>& rowIds = index.m_rowIds;
    rowIds = rowIdsInPinyinOrder(db, table, keyColumn);
    index.m_keys.reserveRecords(rowIds.size());
    index.m_others.reserveRecords(rowIds.size());
    size_t kept = 0;
    QStringList folded;
    for (size_t first = 0; first < rowIds.size(); first += kSliceRows) {
        if (stopped())
            return std::nullopt;
        // A slice of rows under one read lock, instead of one lock for every row.
        const ReadTransaction slice(db);
        for (size_t i = first; i < std::min(rowIds.size(), first + kSliceRows); ++i) {
            row.bindInt64(1, rowIds[i]);
            // A record another program removed since the order was read is left out.
            if (row.step()) {
                folded.clear();
                for (int c = 0; c < row.columnCount(); ++c)
                    folded << foldText(row.text(c));
                index.addRecord(folded);
                rowIds[kept++] = rowIds[i];
            }
            row.reset();
        }
    }
    rowIds.resize(kept);
    index.m_keys.finish();
    index.m_others.finish();
    return index;
}

void BookIndex::addRecord(QStringList& folded) {
    m_keys.addRecord({folded.takeAt(m_keyColumn)});
    m_others.addRecord(folded);
}

qsizetype BookIndex::memoryBytes() const {
    return m_keys.memoryBytes() + m_others.memoryBytes() +
           qsizetype(m_rowIds.capacity() * sizeof(qint64));
}

int BookIndex::columnOf(const Hit& hit) const {
    if (hit.rank < kOtherRank)
        return m_keyColumn;
    const QString text = m_others.recordText(hit.record);
    const qsizetype before = hit.place - m_others.recordStart(hit.record);
    const int other = int(std::count(text.cbegin(), text.cbegin() + before, kColumnEnd));
    return other < m_keyColumn ? other : other + 1;
}

std::vector<Hit> BookIndex::find(const MatchQuery& query, size_t wanted,
                                 const std::function<bool()>& cancelled, const Places* earlier,
                                 Places& found) const {
    found = {};
    if (query.isEmpty() || wanted == 0)
        return {};
    std::vector<Hit> hits = findIn({m_keys, kKeyRank, kAll}, query, cancelled,
                                   earlier ? &earlier->keys : nullptr, found.keys);
    // Every other column ranks below every key: needed only while the keys give too few.
    if (hits.size() < wanted)
        hits = bestPerRecord(hits, findIn({m_others, kOtherRank, wanted}, query, cancelled,
                                          earlier ? &earlier->others : nullptr, found.others));
    const size_t kept = std::min(wanted, hits.size());
    std::partial_sort(hits.begin(), hits.begin() + qsizetype(kept), hits.end(),
                      [](const Hit& a, const Hit& b) {
                          return a.rank != b.rank ? a.rank < b.rank : a.record < b.record;
                      });
    hits.resize(kept);
    return hits;
}

// The records in order, first a few alone and then the rest in two halves on two cores. A run
// stops once it alone has enough matches of the best rank, and the second half also once the
// first has: every later record is worse than those.
std::vector<Hit> BookIndex::findIn(const Part& part, const MatchQuery& query,
                                   const std::function<bool()>& cancelled,
                                   const PartPlaces* earlier, PartPlaces& found) const {
    const PartPlaces* narrowed = earlier && earlier->complete ? earlier : nullptr;
    const qsizetype count = part.text.recordCount();
    const qsizetype head = part.enough == kAll ? 0 : std::min(count, kHeadRecords);
    Scan scan = scanRecords(part, query, 0, head, cancelled, narrowed);
    if (scan.best < part.enough && head < count) {
        const Part rest{part.text, part.bestRank,
                        part.enough == kAll ? kAll : part.enough - scan.best};
        const qsizetype middle = head + (count - head) / 2;
        std::atomic<bool> firstHasEnough = false;
        std::future<Scan> second = std::async(std::launch::async, [&] {
            return scanRecords(
                rest, query, middle, count, [&] { return firstHasEnough || cancelled(); },
                narrowed);
        });
        Scan first = scanRecords(rest, query, head, middle, cancelled, narrowed);
        firstHasEnough = first.best >= rest.enough;
        scan.append(std::move(first));
        scan.append(second.get());
    } else if (head < count) {
        scan.whole = false;
    }
    if (scan.text.size() + scan.pinyin.size() > keptPlaces(part.text))
        scan.dropPlaces();
    found.complete = scan.whole && scan.keepsPlaces && !cancelled();
    if (found.complete) {
        found.text = std::move(scan.text);
        found.pinyin = std::move(scan.pinyin);
        found.pinyinSearched = query.hasPinyin();
    }
    return scan.hits;
}

BookIndex::Scan BookIndex::scanRecords(const Part& part, const MatchQuery& query, qsizetype first,
                                       qsizetype last, const std::function<bool()>& stopped,
                                       const PartPlaces* earlier) const {
    Scan scan;
    // From earlier places of both kinds, the slices that hold none are skipped.
    const bool skips = earlier && (!query.hasPinyin() || earlier->pinyinSearched);
    const SearchText::Wanted wanted = [&](qsizetype from) {
        return std::min(firstPlaceFrom(earlier->text, from),
                        query.hasPinyin() ? firstPlaceFrom(earlier->pinyin, from) : kNowhere);
    };
    part.text.forEachSlice(first, last, skips ? &wanted : nullptr,
                           [&](QStringView slice, qsizetype offset) {
                               if (stopped()) {
                                   scan.whole = false;
                                   return false;
                               }
                               searchSlice(part, query, slice, offset, stopped, earlier, scan);
                               if (scan.best < part.enough)
                                   return true;
                               scan.whole = false;
                               return false;
                           });
    if (stopped()) // a search inside a slice gives up too
        scan.whole = false;
    return scan;
}

void BookIndex::searchSlice(const Part& part, const MatchQuery& query, QStringView slice,
                            qsizetype offset, const std::function<bool()>& stopped,
                            const PartPlaces* earlier, Scan& scan) {
    const qsizetype end = offset + slice.size();
    std::vector<quint32> text =
        findText(query, slice, offset, stopped,
                 earlier ? EarlierPlaces(placesIn(earlier->text, offset, end)) : std::nullopt);
    std::vector<quint32> pinyin;
    if (query.hasPinyin())
        pinyin = findPinyin(query, slice, offset, stopped,
                            earlier && earlier->pinyinSearched
                                ? EarlierPlaces(placesIn(earlier->pinyin, offset, end))
                                : std::nullopt);
    const std::vector<Hit> hits =
        bestPerRecord(hitsAt(part.text, part.bestRank, slice, offset, text),
                      hitsAt(part.text, part.bestRank, slice, offset, pinyin));
    scan.best += size_t(std::count_if(
        hits.begin(), hits.end(), [&part](const Hit& hit) { return hit.rank == part.bestRank; }));
    scan.hits.insert(scan.hits.end(), hits.begin(), hits.end());
    scan.keep(std::move(text), std::move(pinyin), keptPlaces(part.text));
}

} // namespace qb
