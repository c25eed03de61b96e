// Speed and memory of the record store on big contact books, with the sqlite3 command-line
// tool timed on the same files and the same queries for comparison.

#include "benchsupport.h"

#include "store/connection.h"
#include "store/pinyinorder.h"
#include "store/recordstore.h"
#include "store/sqlitestatement.h"
#include "store/valuetext.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <malloc.h>
#include <map>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

using qb::BookDataset;
using qb::BookId;
using qb::RecordStore;

constexpr quint32 kSeed = 20240601;
constexpr int kWebsites = 1000;
constexpr int kSerials = 1000;
constexpr int kMillion = 1'000'000;
constexpr int kSizes[] = {10'000, 100'000, kMillion};
constexpr int kRepetitions = 5;
// Rows a grid shows on its first screen, and then some.
constexpr int kFirstRows = 50;
// Keys and mobiles taken from each book for the locate benchmarks.
constexpr int kSamples = 256;
// Made-up mobiles and names never start with these.
const QString kMissingMobile = QStringLiteral("000");
const QString kMissingNameSuffix = QStringLiteral("查无此人");

const QString kKeyColumn = QStringLiteral("姓名");
const QString kMobileColumn = QStringLiteral("手机");
// What opening a book reads: every row id in key order.
const QString kRowIdsInKeyOrder = QStringLiteral("SELECT rowid FROM lianxi1 ORDER BY 姓名");

QString bookFile(int contacts) {
    return qb::cachedBook(QStringLiteral("book"), contacts, kWebsites, kSerials);
}

qsizetype readRowTexts(const BookDataset& book, int row) {
    qsizetype characters = 0;
    for (int column = 0; column < int(book.columns().size()); ++column)
        characters += book.rowValueText(row, column).size();
    return characters;
}

void readFirstRows(const BookDataset& book) {
    for (int row = 0; row < kFirstRows; ++row)
        benchmark::DoNotOptimize(readRowTexts(book, row));
}

// Books the move and locate benchmarks share, opened once per size.
std::map<int, std::unique_ptr<RecordStore>>& openStores() {
    static std::map<int, std::unique_ptr<RecordStore>> stores;
    return stores;
}

RecordStore& storeOf(int contacts) {
    std::unique_ptr<RecordStore>& store = openStores()[contacts];
    if (!store) {
        store = std::make_unique<RecordStore>();
        store->openDatabase(bookFile(contacts));
    }
    return *store;
}

BookDataset& contactsOf(int contacts) {
    return storeOf(contacts).book(BookId::Contacts);
}

struct Samples {
    std::vector<QString> names;
    std::vector<QString> mobilePrefixes; // what a user types: the first seven digits
};

const Samples& samplesOf(int contacts) {
    static std::map<int, Samples> cache;
    Samples& samples = cache[contacts];
    if (!samples.names.empty())
        return samples;
    const BookDataset& book = contactsOf(contacts);
    const int name = book.columnIndex(kKeyColumn);
    const int mobile = book.columnIndex(kMobileColumn);
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> anyRow(0, book.rowCount() - 1);
    while (int(samples.names.size()) < kSamples) {
        const int row = anyRow(random);
        const QString number = book.rowValueText(row, mobile);
        if (number.isEmpty())
            continue;
        samples.names.push_back(book.rowValueText(row, name));
        samples.mobilePrefixes.push_back(number.left(7));
    }
    return samples;
}

QString sqlQuoted(const QString& text) {
    QString quoted = text;
    return QLatin1Char('\'') + quoted.replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

// The statement BookDataset::locate runs for a text column; value is a parameter or a literal.
QString locateSql(const QString& column, const QString& value) {
    return QStringLiteral("SELECT rowid FROM \"lianxi1\" WHERE \"%1\" >= %2 AND \"%1\" < %2 || "
                          "x'FF' ORDER BY \"%1\", \"%3\" LIMIT 1")
        .arg(column, value, kKeyColumn);
}

std::vector<qint64> rowIdsInKeyOrder(sqlite3* db) {
    qb::SqliteStatement ids(db, kRowIdsInKeyOrder);
    std::vector<qint64> rowIds;
    while (ids.step())
        rowIds.push_back(ids.int64(0));
    return rowIds;
}

void allSizes(benchmark::internal::Benchmark* benchmark) {
    for (int contacts : kSizes)
        benchmark->Arg(contacts);
    benchmark->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
}

void BM_OpenBookMemory(benchmark::State& state) {
    const QString file = bookFile(int(state.range(0)));
    {
        // The first open loads the SQL driver and pages the file in; measure what a book
        // costs, not what the process pays once.
        RecordStore warmUp;
        warmUp.openDatabase(file);
        readFirstRows(warmUp.book(BookId::Contacts));
    }
    for (auto _ : state) {
        malloc_trim(0);
        const double before = qb::residentMiB();
        double open = 0;
        {
            RecordStore store;
            store.openDatabase(file);
            readFirstRows(store.book(BookId::Contacts));
            open = qb::residentMiB();
        }
        malloc_trim(0);
        state.counters["open_MiB"] = open - before;
        state.counters["after_close_MiB"] = qb::residentMiB() - before;
    }
}
BENCHMARK(BM_OpenBookMemory)->Apply(allSizes)->Iterations(1)->Unit(benchmark::kMillisecond);

// Opening a book until its first screen of rows can be shown.
void BM_OpenBook(benchmark::State& state) {
    const QString file = bookFile(int(state.range(0)));
    for (auto _ : state) {
        RecordStore store;
        QElapsedTimer timer;
        timer.start();
        store.openDatabase(file);
        readFirstRows(store.book(BookId::Contacts));
        state.SetIterationTime(qb::seconds(timer));
    }
}
BENCHMARK(BM_OpenBook)->Apply(allSizes)->UseManualTime()->Unit(benchmark::kMillisecond);

double openSeconds(const QString& file, qb::KeyOrder order) {
    RecordStore store;
    for (BookId id : qb::allBooks())
        store.book(id).setKeyOrder(order);
    QElapsedTimer timer;
    timer.start();
    store.openDatabase(file);
    readFirstRows(store.book(BookId::Contacts));
    return qb::seconds(timer);
}

// The same open in code order and in pinyin order (其他 → 按拼音排序), turn about in each
// iteration, so that both meet the same machine; the iteration's time is pinyin order's.
void BM_OpenBookCodeAndPinyinOrder(benchmark::State& state) {
    const QString file = bookFile(int(state.range(0)));
    double code = 0;
    double pinyin = 0;
    for (auto _ : state) {
        code += openSeconds(file, qb::KeyOrder::Code);
        const double once = openSeconds(file, qb::KeyOrder::Pinyin);
        pinyin += once;
        state.SetIterationTime(once);
    }
    const double runs = double(state.iterations());
    state.counters["code_order_ms"] = 1000 * code / runs;
    state.counters["pinyin_order_ms"] = 1000 * pinyin / runs;
    state.counters["ratio"] = pinyin / code;
}
BENCHMARK(BM_OpenBookCodeAndPinyinOrder)
    ->Arg(100'000)
    ->Arg(kMillion)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// What pinyin order does beside the engine: the sort bytes of every key, on one core, and
// the sort, for the contacts' keys read once beforehand.
void BM_PinyinRunOfKeys(benchmark::State& state) {
    sqlite3* db = storeOf(int(state.range(0))).connection().handle();
    std::vector<std::pair<qint64, QByteArray>> keys;
    qb::SqliteStatement rows(db, QStringLiteral("SELECT rowid, 姓名 FROM lianxi1 ORDER BY 姓名"));
    while (rows.step()) {
        int length = 0;
        const char* key = rows.utf8(1, &length);
        keys.emplace_back(rows.int64(0), QByteArray(key, length));
    }
    for (auto _ : state) {
        qb::PinyinRun run(Qt::AscendingOrder);
        run.reserve(keys.size());
        for (const auto& [rowId, key] : keys)
            run.add(rowId, key);
        run.sort();
        benchmark::DoNotOptimize(run.size());
    }
}
BENCHMARK(BM_PinyinRunOfKeys)
    ->Arg(100'000)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// One open and close of the file as the store's connection does it.
void BM_ConnectionOpen(benchmark::State& state) {
    qb::Connection connection;
    connection.setFileName(bookFile(int(state.range(0))));
    for (auto _ : state) {
        connection.acquire();
        connection.release();
    }
}
BENCHMARK(BM_ConnectionOpen)
    ->Arg(kMillion)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// The row-id load of an open alone, as the store reads it.
void BM_RowIdsInKeyOrderQueryOnly(benchmark::State& state) {
    sqlite3* db = storeOf(int(state.range(0))).connection().handle();
    for (auto _ : state)
        benchmark::DoNotOptimize(rowIdsInKeyOrder(db));
}
BENCHMARK(BM_RowIdsInKeyOrderQueryOnly)->Apply(allSizes)->Unit(benchmark::kMillisecond);

// CPU time of the finished child processes so far: on a busy machine the wall-clock time of
// a run says little, and the tool's own CPU time is what compares with the store's.
double childCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void timeSqlite3(benchmark::State& state, const QString& sql) {
    const double cpuBefore = childCpuMs();
    qb::timeSqlite3Runs(state, {bookFile(int(state.range(0))), sql}, QProcess::nullDevice());
    state.counters["cli_cpu_ms"] =
        benchmark::Counter(childCpuMs() - cpuBefore, benchmark::Counter::kAvgIterations);
}

// The process start and the open alone, to read the other sqlite3 figures against.
void BM_Sqlite3Cli_OpenOnly(benchmark::State& state) {
    timeSqlite3(state, QStringLiteral("SELECT count(*) FROM sqlite_master"));
}
BENCHMARK(BM_Sqlite3Cli_OpenOnly)->Apply(allSizes)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Sqlite3Cli_SelectRowids(benchmark::State& state) {
    timeSqlite3(state, QStringLiteral("SELECT rowid FROM lianxi1"));
}
BENCHMARK(BM_Sqlite3Cli_SelectRowids)
    ->Apply(allSizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Sqlite3Cli_SelectRowidsKeyOrder(benchmark::State& state) {
    timeSqlite3(state, kRowIdsInKeyOrder);
}
BENCHMARK(BM_Sqlite3Cli_SelectRowidsKeyOrder)
    ->Apply(allSizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_First(benchmark::State& state) {
    BookDataset& book = contactsOf(int(state.range(0)));
    for (auto _ : state) {
        book.first();
        benchmark::DoNotOptimize(readRowTexts(book, book.currentRow()));
    }
}
BENCHMARK(BM_First)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

void BM_Last(benchmark::State& state) {
    BookDataset& book = contactsOf(int(state.range(0)));
    for (auto _ : state) {
        book.last();
        benchmark::DoNotOptimize(readRowTexts(book, book.currentRow()));
    }
}
BENCHMARK(BM_Last)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

// Walks forward through the book: every 64th step reads a new page of rows.
void BM_Next(benchmark::State& state) {
    BookDataset& book = contactsOf(int(state.range(0)));
    book.first();
    for (auto _ : state) {
        if (book.currentRow() + 1 < book.rowCount())
            book.next();
        else
            book.first();
        benchmark::DoNotOptimize(readRowTexts(book, book.currentRow()));
    }
}
BENCHMARK(BM_Next)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

void BM_Prior(benchmark::State& state) {
    BookDataset& book = contactsOf(int(state.range(0)));
    book.last();
    for (auto _ : state) {
        if (book.currentRow() > 0)
            book.prior();
        else
            book.last();
        benchmark::DoNotOptimize(readRowTexts(book, book.currentRow()));
    }
}
BENCHMARK(BM_Prior)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

// A grid click far away: the row's page is almost never cached.
void BM_MoveToRandomRow(benchmark::State& state) {
    BookDataset& book = contactsOf(int(state.range(0)));
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> anyRow(0, book.rowCount() - 1);
    std::vector<int> rows(4096);
    for (int& row : rows)
        row = anyRow(random);
    size_t next = 0;
    for (auto _ : state) {
        book.moveTo(rows[next++ % rows.size()]);
        benchmark::DoNotOptimize(readRowTexts(book, book.currentRow()));
    }
}
BENCHMARK(BM_MoveToRandomRow)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

// The engine's part of reading one page of grid rows: the rows of a random page in key order,
// fetched by row id as the row cache does, every column's bytes touched and none converted.
void BM_ReadPageQueryOnly(benchmark::State& state) {
    constexpr int kPageRows = 64;
    const int contacts = int(state.range(0));
    sqlite3* db = storeOf(contacts).connection().handle();
    const std::vector<qint64> rowIds = rowIdsInKeyOrder(db);
    QStringList params;
    for (int i = 1; i <= kPageRows; ++i)
        params << QStringLiteral("?%1").arg(i);
    qb::SqliteStatement page(db, QStringLiteral("SELECT rowid, * FROM lianxi1 WHERE rowid IN (%1)")
                                     .arg(params.join(QLatin1Char(','))));
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> anyPage(0, contacts / kPageRows - 1);
    qsizetype bytes = 0;
    for (auto _ : state) {
        page.reset();
        const size_t start = size_t(anyPage(random)) * kPageRows;
        for (int i = 0; i < kPageRows; ++i)
            page.bindInt64(i + 1, rowIds[start + size_t(i)]);
        while (page.step()) {
            for (int column = 1; column < page.columnCount(); ++column) {
                int length = 0;
                page.utf8(column, &length);
                bytes += length;
            }
        }
    }
    benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_ReadPageQueryOnly)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

// One stored birthday as a grid or the Detail view shows it; every page of rows read
// converts a few dozen of these.
void BM_DateValueText(benchmark::State& state) {
    const QString stored = QStringLiteral("1984-08-06");
    for (auto _ : state)
        benchmark::DoNotOptimize(qb::dateValueText(stored));
}
BENCHMARK(BM_DateValueText)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

void timeLocate(benchmark::State& state, const QString& column, const std::vector<QString>& texts,
                bool expectFound) {
    BookDataset& book = contactsOf(int(state.range(0)));
    if (book.locate(column, texts.front()) != expectFound) {
        state.SkipWithError(expectFound ? "应该找到的没有找到" : "不该找到的找到了");
        return;
    }
    size_t next = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(book.locate(column, texts[next++ % texts.size()]));
}

std::vector<QString> missingNames(int contacts) {
    std::vector<QString> names;
    for (const QString& name : samplesOf(contacts).names)
        names.push_back(name + kMissingNameSuffix);
    return names;
}

void BM_LocateKeyHit(benchmark::State& state) {
    timeLocate(state, kKeyColumn, samplesOf(int(state.range(0))).names, true);
}
BENCHMARK(BM_LocateKeyHit)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

void BM_LocateKeyMiss(benchmark::State& state) {
    timeLocate(state, kKeyColumn, missingNames(int(state.range(0))), false);
}
BENCHMARK(BM_LocateKeyMiss)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

// The query of a key locate alone, without finding the hit's place in the grid.
void BM_LocateKeyQueryOnly(benchmark::State& state) {
    const int contacts = int(state.range(0));
    sqlite3* db = storeOf(contacts).connection().handle();
    const QString sql = locateSql(kKeyColumn, QStringLiteral("?1"));
    const std::vector<QString>& names = samplesOf(contacts).names;
    size_t next = 0;
    for (auto _ : state) {
        qb::SqliteStatement find(db, sql);
        find.bindText(1, names[next++ % names.size()]);
        benchmark::DoNotOptimize(find.step());
    }
}
BENCHMARK(BM_LocateKeyQueryOnly)->Apply(allSizes)->Unit(benchmark::kMicrosecond);

void BM_Sqlite3Cli_LocateKey(benchmark::State& state) {
    timeSqlite3(state,
                locateSql(kKeyColumn, sqlQuoted(samplesOf(int(state.range(0))).names.front())));
}
BENCHMARK(BM_Sqlite3Cli_LocateKey)->Apply(allSizes)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LocateMobileHit(benchmark::State& state) {
    timeLocate(state, kMobileColumn, samplesOf(int(state.range(0))).mobilePrefixes, true);
}
BENCHMARK(BM_LocateMobileHit)->Apply(allSizes)->Unit(benchmark::kMillisecond);

void BM_LocateMobileMiss(benchmark::State& state) {
    timeLocate(state, kMobileColumn, {kMissingMobile}, false);
}
BENCHMARK(BM_LocateMobileMiss)->Apply(allSizes)->Unit(benchmark::kMillisecond);

void BM_Sqlite3Cli_LocateMobile(benchmark::State& state) {
    timeSqlite3(state, locateSql(kMobileColumn,
                                 sqlQuoted(samplesOf(int(state.range(0))).mobilePrefixes.front())));
}
BENCHMARK(BM_Sqlite3Cli_LocateMobile)
    ->Apply(allSizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int exitCode = qb::runBenchmarks(argc, argv, [] {
        for (int contacts : kSizes)
            bookFile(contacts);
    });
    // The connections close while the application object still exists.
    openStores().clear();
    return exitCode;
}
