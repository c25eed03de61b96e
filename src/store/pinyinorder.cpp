#include "pinyinorder.h"

#include "connection.h"
#include "dataerror.h"
#include "pinyin.h"
#include "sqlitestatement.h"

#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

namespace qb {

namespace {

// The lowest bit of a head: the whole key is in it, so keys of equal heads sort alike.
constexpr quint64 kWholeKey = 1;

// A byte's code in a head and its width in bits: a blank or a letter takes 5 bits, any other
// byte an escape code for where it falls among them and then its own 8 bits, so that codes
// compare as the bytes do. Code 0 ends a key: a key before every longer one it begins.
struct HeadCode {
    quint16 code;
    quint8 width;
};
constexpr int kShortCode = 5;
constexpr int kEscapedCode = kShortCode + 8;

constexpr HeadCode headCode(quint8 byte) {
    if (byte >= 'a' && byte <= 'z')
        return {quint16(4 + byte - 'a'), kShortCode};
    if (byte == ' ')
        return {2, kShortCode};
    const int escape = byte < ' ' ? 1 : byte < 'a' ? 3 : 30;
    return {quint16(escape << 8 | byte), kEscapedCode};
}

// Looked up, not worked out: letters and blanks take turns in a key, a branch each would be
// guessed wrong at every blank.
constexpr std::array<HeadCode, 256> kHeadCodes = [] {
    std::array<HeadCode, 256> codes{};
    for (int byte = 0; byte < 256; ++byte)
        codes[size_t(byte)] = headCode(quint8(byte));
    return codes;
}();

// The first 63 bits of a key's codes, then kWholeKey if they hold all of it. Readings are
// letters and blanks, so most names of three characters fit whole ("zhang wei" takes 50 bits
// with its end), where eight plain bytes would hold "zhang we".
quint64 packedHead(std::string_view bytes) {
    constexpr int kRoom = 63;
    quint64 head = 0;
    int used = 0;
    size_t i = 0;
    // While even the widest code fits, no code needs cutting.
    for (; i < bytes.size() && used <= kRoom - kEscapedCode; ++i) {
        const HeadCode code = kHeadCodes[quint8(bytes[i])];
        head = head << code.width | code.code;
        used += code.width;
    }
    bool whole = true;
    for (; i <= bytes.size() && whole; ++i) {
        const HeadCode code =
            i < bytes.size() ? kHeadCodes[quint8(bytes[i])] : HeadCode{0, kShortCode};
        const int fits = std::min(int(code.width), kRoom - used);
        head = fits == 0 ? head : head << fits | code.code >> (code.width - fits);
        used += fits;
        whole = fits == code.width;
    }
    return (head << (kRoom - used)) << 1 | (whole ? kWholeKey : 0);
}

// A stable sort by the heads, eleven bits at a time from the last: no compares, and ties keep
// the order keys were added in. The digits are counted in one pass; a digit that all heads
// share moves nothing and is skipped. Entries move back and forth between two buffers.
template <typename Entry> void radixSortByHead(std::span<Entry> entries) {
    constexpr int kBits = 11;
    constexpr int kDigits = (64 + kBits - 1) / kBits;
    constexpr quint64 kMask = (1u << kBits) - 1;
    std::vector<std::array<size_t, 1u << kBits>> starts(kDigits);
    for (const Entry& entry : entries)
        for (int digit = 0; digit < kDigits; ++digit)
            ++starts[size_t(digit)][entry.head >> (kBits * digit) & kMask];
    // Left uninitialised: every entry is written before it is read.
    const std::unique_ptr<Entry[]> other(new Entry[entries.size()]);
    Entry* from = entries.data();
    Entry* to = other.get();
    for (int digit = 0; digit < kDigits; ++digit) {
        auto& start = starts[size_t(digit)];
        if (std::find(start.begin(), start.end(), entries.size()) != start.end())
            continue;
        size_t total = 0;
        for (size_t& count : start)
            total += std::exchange(count, total);
        for (const Entry& entry : std::span(from, entries.size()))
            to[start[entry.head >> (kBits * digit) & kMask]++] = entry;
        std::swap(from, to);
    }
    if (from != entries.data())
        std::copy_n(from, entries.size(), entries.data());
}

// A value of the key column, kept apart from the statement that read it.
using KeyValue = std::unique_ptr<sqlite3_value, decltype(&sqlite3_value_free)>;

// Row ids and keys of one stretch of a table's keys, read in the key's own order (the order of
// its index), upwards or downwards. A stretch is one of the parts between the bounds, or the
// keys that are null, which come before every value.
class StretchReader {
public:
    StretchReader(sqlite3* db, const QString& table, const QString& keyColumn, Qt::SortOrder order)
        : m_db(db)
        , m_table(quotedIdentifier(table))
        , m_key(quotedIdentifier(keyColumn))
        , m_order(order == Qt::AscendingOrder ? QString() : QStringLiteral(" DESC")) {}

    void readAll(PinyinRun& run) { read(statement(Shape::All), {}, {}, run); }
    void readNulls(PinyinRun& run) { read(statement(Shape::Nulls), {}, {}, run); }
    // Part `part` of the bounds.size() + 1 between the bounds; neither bound may be null.
    void readPart(const std::vector<KeyValue>& bounds, size_t part, PinyinRun& run) {
        const sqlite3_value* from = part == 0 ? nullptr : bounds[part - 1].get();
        const sqlite3_value* to = part == bounds.size() ? nullptr : bounds[part].get();
        read(statement(from ? (to ? Shape::Between : Shape::From) : Shape::Below), from, to, run);
    }

private:
    enum class Shape { All, Nulls, Below, Between, From, Count };

    SqliteStatement& statement(Shape shape) {
        std::unique_ptr<SqliteStatement>& statement = m_statements[size_t(shape)];
        if (!statement) {
            static constexpr std::array<const char*, size_t(Shape::Count)> kWhere = {
                "", "WHERE %1 IS NULL", "WHERE %1 < ?2", "WHERE %1 >= ?1 AND %1 < ?2",
                "WHERE %1 >= ?1"};
            const QString where =
                QString::fromLatin1(kWhere[size_t(shape)]).replace(QStringLiteral("%1"), m_key);
            statement = std::make_unique<SqliteStatement>(
                m_db, QStringLiteral("SELECT rowid, %2 FROM %1 %3 ORDER BY %2%4, rowid%4")
                          .arg(m_table, m_key, where, m_order));
        }
        return *statement;
    }

    static void read(SqliteStatement& rows, const sqlite3_value* from, const sqlite3_value* to,
                     PinyinRun& run) {
        rows.reset();
        if (from)
            rows.bindValue(1, from);
        if (to)
            rows.bindValue(2, to);
        while (rows.step()) {
            int length = 0;
            const char* key = rows.utf8(1, &length);
            run.add(rows.int64(0), QByteArrayView(key, length));
        }
    }

    sqlite3* m_db;
    QString m_table;
    QString m_key;
    QString m_order;
    std::array<std::unique_ptr<SqliteStatement>, size_t(Shape::Count)> m_statements;
};

// The key column's values at row ids spread evenly over the table, in the key's own order:
// they cut its keys into parts of about equal size, unless row ids and keys go together in
// some odd way, and then only the speed suffers. How many of the row ids were there tells
// about how many rows the table has. None for a small table.
struct Bounds {
    std::vector<KeyValue> keys;
    size_t rows = 0;
};

Bounds boundsOf(sqlite3* db, const QString& table, const QString& keyColumn) {
    // Below this many row ids a second connection and thread cost more than they save.
    constexpr quint64 kRowsToShare = 8192;
    constexpr int kSamples = 63;
    const QString quotedTable = quotedIdentifier(table);
    SqliteStatement ends(db, QStringLiteral("SELECT (SELECT min(rowid) FROM %1), "
                                            "(SELECT max(rowid) FROM %1)")
                                 .arg(quotedTable));
    if (!ends.step() || ends.isNull(0))
        return {};
    // Row ids at the middles of kSamples equal stretches: span * (2i + 1) / (2 * kSamples),
    // worked out so that no product overflows.
    const auto low = quint64(ends.int64(0));
    const quint64 span = quint64(ends.int64(1)) - low;
    if (span < kRowsToShare)
        return {};
    constexpr quint64 kHalves = 2 * kSamples;
    QStringList rowIds;
    for (quint64 odd = 1; odd < kHalves; odd += 2)
        rowIds << QString::number(
            qint64(low + span / kHalves * odd + span % kHalves * odd / kHalves));
    const QString key = quotedIdentifier(keyColumn);
    SqliteStatement sample(db, QStringLiteral("SELECT %2 FROM %1 WHERE rowid IN (%3) AND %2 IS NOT "
                                              "NULL ORDER BY %2")
                                   .arg(quotedTable, key, rowIds.join(u',')));
    Bounds bounds;
    while (sample.step())
        bounds.keys.emplace_back(sqlite3_value_dup(sqlite3_column_value(sample.raw(), 0)),
                                 &sqlite3_value_free);
    if (std::find(bounds.keys.begin(), bounds.keys.end(), nullptr) != bounds.keys.end())
        return {}; // out of memory: one reader manages without
    // A few hits among far-apart row ids say little: buffers then grow as they fill.
    constexpr size_t kTrustedHits = kSamples / 4;
    constexpr double kMostRowsReserved = 1 << 22;
    if (bounds.keys.size() >= kTrustedHits)
        bounds.rows = size_t(std::min((double(span) + 1) * double(bounds.keys.size()) / kSamples,
                                      kMostRowsReserved));
    return bounds;
}

// The parts between the bounds, handed out from both ends: the lower reader takes them
// upwards, the upper one downwards, until they meet. Parts are small, so both finish at
// about the same time however the keys lie.
class Parts {
public:
    explicit Parts(size_t count)
        : m_count(count)
        , m_high(count) {}

    size_t count() const { return m_count; }
    std::optional<size_t> takeLow() {
        const std::lock_guard lock(m_mutex);
        return m_low < m_high ? std::optional(m_low++) : std::nullopt;
    }
    std::optional<size_t> takeHigh() {
        const std::lock_guard lock(m_mutex);
        return m_low < m_high ? std::optional(--m_high) : std::nullopt;
    }
    // The parts taken from above are this one and those after it.
    size_t lowestTakenFromAbove() {
        const std::lock_guard lock(m_mutex);
        return m_high;
    }

private:
    std::mutex m_mutex;
    const size_t m_count;
    size_t m_low = 0;
    size_t m_high; // the lowest part taken from above
};

// The upper reader: parts from the top, downwards, on a connection of its own. The top part
// is taken at once, before the lower reader can reach it. False when that connection cannot
// read (the file was moved, a writer waits for the lock); the lower reader then reads the
// parts taken here, rather than wait.
bool readUpperParts(const QString& file, const QString& table, const QString& keyColumn,
                    const Bounds& bounds, Parts& parts, PinyinRun& run) {
    std::optional<size_t> part = parts.takeHigh();
    try {
        const ReadOnlyConnection connection(file, 0);
        StretchReader reader(connection.handle(), table, keyColumn, Qt::DescendingOrder);
        for (; part; part = parts.takeHigh())
            reader.readPart(bounds.keys, *part, run);
        run.sort();
        return true;
    } catch (const DataError&) {
        run = PinyinRun(Qt::DescendingOrder);
        return false;
    }
}

} // namespace

void PinyinRun::reserve(size_t rows) {
    m_rowIds.reserve(rows);
    m_ends.reserve(rows);
    m_entries.reserve(rows);
    m_bytes.reserve(rows * 16); // a name of three characters takes about 14 bytes
}

void PinyinRun::add(qint64 rowId, QByteArrayView utf8Key) {
    m_rowIds.push_back(rowId);
    const size_t start = m_bytes.size();
    if (!appendPinyinSortBytesOfUtf8(utf8Key, m_bytes)) {
        // Another program's bytes: read as the rest of the program reads them.
        m_text.resize(utf8Key.size()); // never more UTF-16 units than UTF-8 bytes
        const QChar* end = m_decoder.appendToBuffer(m_text.data(), utf8Key);
        appendPinyinSortBytes(QStringView(m_text.constData(), end), m_bytes);
    }
    m_ends.push_back(m_bytes.size());
    m_entries.push_back(
        {packedHead(std::string_view(m_bytes).substr(start)), quint32(m_entries.size())});
}

std::string_view PinyinRun::bytesOf(quint32 index) const {
    const size_t start = index == 0 ? 0 : m_ends[index - 1];
    return std::string_view(m_bytes).substr(start, m_ends[index] - start);
}

// Keys whose heads are alike but do not fit them are put in order by all their bytes; those
// that fit are in order already, as they were read.
void PinyinRun::sortEqualHeads(std::span<Entry> entries) const {
    for (auto first = entries.begin(); first != entries.end();) {
        const auto end = std::find_if(
            first, entries.end(), [&](const Entry& entry) { return entry.head != first->head; });
        if (end - first > 1 && (first->head & kWholeKey) == 0)
            std::sort(first, end, [this](const Entry& a, const Entry& b) {
                const int order = bytesOf(a.index).compare(bytesOf(b.index));
                return order != 0 ? order < 0 : readBefore(a.index, b.index);
            });
        first = end;
    }
}

bool PinyinRun::readBefore(quint32 a, quint32 b) const {
    return m_readOrder == Qt::AscendingOrder ? a < b : a > b;
}

void PinyinRun::sort() {
    // Keys read downwards are turned round, so that the stable sort below keeps them in the
    // order of character codes.
    if (m_readOrder == Qt::DescendingOrder)
        std::reverse(m_entries.begin(), m_entries.end());
    radixSortByHead(std::span<Entry>(m_entries));
    sortEqualHeads(m_entries);
}

std::vector<qint64> mergedRowIds(const PinyinRun& first, const PinyinRun& second) {
    // Only the second's key strictly before the first's goes first.
    const auto secondBefore = [&](const PinyinRun::Entry& a, const PinyinRun::Entry& b) {
        return b.head != a.head ? b.head < a.head
                                : second.bytesOf(b.index) < first.bytesOf(a.index);
    };
    std::vector<qint64> merged;
    merged.reserve(first.size() + second.size());
    auto a = first.m_entries.begin();
    auto b = second.m_entries.begin();
    while (a != first.m_entries.end() && b != second.m_entries.end())
        merged.push_back(secondBefore(*a, *b) ? second.m_rowIds[b++->index]
                                              : first.m_rowIds[a++->index]);
    for (; a != first.m_entries.end(); ++a)
        merged.push_back(first.m_rowIds[a->index]);
    for (; b != second.m_entries.end(); ++b)
        merged.push_back(second.m_rowIds[b->index]);
    return merged;
}

std::vector<qint64> rowIdsInPinyinOrder(sqlite3* db, const QString& table,
                                        const QString& keyColumn) {
    const ReadTransaction transaction(db);
    PinyinRun lower(Qt::AscendingOrder);
    PinyinRun upper(Qt::DescendingOrder);
    StretchReader reader(db, table, keyColumn, Qt::AscendingOrder);
    const char* file = sqlite3_db_filename(db, "main");
    const Bounds bounds =
        transaction.isOwn() && file && *file ? boundsOf(db, table, keyColumn) : Bounds();
    if (bounds.keys.empty()) {
        reader.readAll(lower);
        lower.sort();
        return mergedRowIds(lower, upper);
    }
    // Growing buffers while the other core reads costs more than it seems: freeing a big
    // block makes the system stop both cores to forget its pages.
    lower.reserve(bounds.rows / 2);
    upper.reserve(bounds.rows / 2);
    Parts parts(bounds.keys.size() + 1);
    std::future<bool> upperRead =
        std::async(std::launch::async, readUpperParts, QString::fromUtf8(file), table, keyColumn,
                   std::cref(bounds), std::ref(parts), std::ref(upper));
    reader.readNulls(lower);
    while (const std::optional<size_t> part = parts.takeLow())
        reader.readPart(bounds.keys, *part, lower);
    lower.sort();
    if (!upperRead.get()) {
        for (size_t part = parts.lowestTakenFromAbove(); part < parts.count(); ++part)
            reader.readPart(bounds.keys, part, lower);
        lower.sort();
    }
    return mergedRowIds(lower, upper);
}

} // namespace qb
