// Speed and memory of the text export and the Favorites import on big books. The export is
// timed against the sqlite3 command-line tool writing the same table in list mode to a file,
// both in the same iteration so that both see the same disk and cache.

#include "benchsupport.h"

#include "export/favorites.h"
#include "export/textexport.h"
#include "platform/scriptedplatform.h"
#include "store/recordstore.h"
#include "store/sqlitestatement.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <sys/resource.h>

namespace {

using qb::BookId;
using qb::RecordStore;

constexpr int kContacts = 1'000'000;
constexpr int kWebsites = 10'000;
constexpr int kSerials = 100;

QString inBenchFolder(const QString& name) {
    return qb::benchFolder() + QLatin1Char('/') + name;
}

QString bookFile() {
    return qb::cachedBook(QStringLiteral("export"), kContacts, kWebsites, kSerials);
}

// sqlite3 -list <book> <sql>: the rows in list mode, one a line.
QStringList cliArguments(const QString& sql) {
    return {QStringLiteral("-list"), bookFile(), sql};
}

const QString kCliTableOrder = QStringLiteral("select * from lianxi1");
// The grid's order: what the export walks.
const QString kCliKeyOrder = QStringLiteral("select * from lianxi1 order by 姓名");

QString exportTarget() {
    return inBenchFolder(QStringLiteral("export-contacts.txt"));
}
QString cliTarget() {
    return inBenchFolder(QStringLiteral("export-sqlite3.txt"));
}

// One export: seconds, and how far the process's peak resident memory rose above what it
// held before.
struct ExportRun {
    double seconds = 0;
    double peakGrowthMiB = 0;
};

ExportRun runExport(qb::BookDataset& contacts) {
    const double residentBefore = qb::residentMiB();
    qb::resetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    qb::writeBookText(contacts, BookId::Contacts, exportTarget());
    return {qb::seconds(timer), qb::peakResidentMiB() - residentBefore};
}

// The export as the program runs it, and the sqlite3 tool on the same table in the same
// iteration. The first round of each is not timed, so both find the book in the page cache;
// its memory counts, since it makes the encoder's table and the date texts for the first time.
void BM_ExportContacts(benchmark::State& state) {
    RecordStore store;
    store.openDatabase(bookFile());
    qb::BookDataset& contacts = store.book(BookId::Contacts);
    double peakGrowth = runExport(contacts).peakGrowthMiB;
    if (qb::sqlite3Seconds(cliArguments(kCliTableOrder), cliTarget()) < 0) {
        state.SkipWithError(qb::kSqlite3Unavailable);
        return;
    }
    double exportTotal = 0;
    double cliTotal = 0;
    for (auto _ : state) {
        const ExportRun run = runExport(contacts);
        peakGrowth = std::max(peakGrowth, run.peakGrowthMiB);
        state.SetIterationTime(run.seconds);
        exportTotal += run.seconds;
        cliTotal += qb::sqlite3Seconds(cliArguments(kCliTableOrder), cliTarget());
    }
    state.counters["sqlite3_cli_ms"] = 1000 * cliTotal / double(state.iterations());
    state.counters["ratio_to_cli"] = exportTotal / cliTotal;
    state.counters["export_MiB"] = double(QFileInfo(exportTarget()).size()) / (1024 * 1024);
    state.counters["cli_MiB"] = double(QFileInfo(cliTarget()).size()) / (1024 * 1024);
    state.counters["peak_growth_MiB"] = peakGrowth;
    state.counters["peak_process_MiB"] = qb::peakResidentMiB();
    QFile::remove(exportTarget());
    QFile::remove(cliTarget());
}

BENCHMARK(BM_ExportContacts)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The export of the same book in code order and in pinyin order: the walk reads the table's
// order either way and puts each record at its grid row.
void BM_ExportContactsInOrder(benchmark::State& state, qb::KeyOrder order) {
    RecordStore store;
    for (BookId id : qb::allBooks())
        store.book(id).setKeyOrder(order);
    store.openDatabase(bookFile());
    qb::BookDataset& contacts = store.book(BookId::Contacts);
    runExport(contacts);
    for (auto _ : state)
        state.SetIterationTime(runExport(contacts).seconds);
    QFile::remove(exportTarget());
}
BENCHMARK_CAPTURE(BM_ExportContactsInOrder, code_order, qb::KeyOrder::Code)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportContactsInOrder, pinyin_order, qb::KeyOrder::Pinyin)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The floor under the export: the walk through every value, nothing converted or written.
// In grid order each record is somewhere else in the file; the export walks the table's order.
qsizetype touchValues(const qb::SqliteStatement& row) {
    qsizetype bytes = 0;
    for (int column = 1; column < row.columnCount(); ++column) {
        int length = 0;
        row.utf8(column, &length);
        bytes += length;
    }
    return bytes;
}

void BM_WalkContactsOnly(benchmark::State& state, bool tableOrder) {
    RecordStore store;
    store.openDatabase(bookFile());
    qb::BookDataset& contacts = store.book(BookId::Contacts);
    for (auto _ : state) {
        qsizetype bytes = 0;
        const auto touch = [&bytes](const qb::SqliteStatement& row, int) {
            bytes += touchValues(row);
        };
        if (tableOrder)
            contacts.forEachRecordInTableOrder(touch);
        else
            contacts.forEachRecord(touch);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK_CAPTURE(BM_WalkContactsOnly, grid_order, false)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WalkContactsOnly, table_order, true)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// The sqlite3 tool in both orders: the table's own, and the key order the grid shows.
void BM_Sqlite3Cli(benchmark::State& state, const QString& sql) {
    qb::timeSqlite3Runs(state, cliArguments(sql), cliTarget());
    QFile::remove(cliTarget());
}
BENCHMARK_CAPTURE(BM_Sqlite3Cli, table_order, kCliTableOrder)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Sqlite3Cli, key_order, kCliKeyOrder)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

double cpuSeconds(const timeval& time) {
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// 10,000 shortcut files: the first import into an empty Favorites folder (new files), or a
// second one over the files of the first (each file replaced). The kernel's CPU time is, for
// this command, almost all creating, writing and closing files.
void BM_WriteShortcuts(benchmark::State& state, bool secondRun) {
    qb::ScopedScriptedPlatform platform;
    platform.favorites = inBenchFolder(QStringLiteral("Favorites"));
    RecordStore store;
    store.openDatabase(bookFile());
    QDir(platform.favorites).removeRecursively();
    QDir().mkpath(platform.favorites);
    double wallTotal = 0;
    double userTotal = 0;
    double kernelTotal = 0;
    for (auto _ : state) {
        if (!secondRun) {
            QDir(platform.favorites).removeRecursively();
            QDir().mkpath(platform.favorites);
        }
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        QElapsedTimer timer;
        timer.start();
        qb::importWebsitesToFavorites(store);
        const double wall = qb::seconds(timer);
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        state.SetIterationTime(wall);
        wallTotal += wall;
        userTotal += cpuSeconds(after.ru_utime) - cpuSeconds(before.ru_utime);
        kernelTotal += cpuSeconds(after.ru_stime) - cpuSeconds(before.ru_stime);
    }
    const double iterations = double(state.iterations());
    state.counters["files"] = double(QDir(platform.favorites + QStringLiteral("/Inkwren网址收集"))
                                         .entryList(QDir::Files | QDir::Hidden)
                                         .size());
    state.counters["us_per_file"] = 1e6 * wallTotal / iterations / kWebsites;
    state.counters["user_ms"] = 1000 * userTotal / iterations;
    state.counters["kernel_ms"] = 1000 * kernelTotal / iterations;
    state.counters["kernel_share_of_cpu"] = kernelTotal / (userTotal + kernelTotal);
    state.counters["kernel_share_of_wall"] = kernelTotal / wallTotal;
    QDir(platform.favorites).removeRecursively();
}
BENCHMARK_CAPTURE(BM_WriteShortcuts, new_files, false)
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteShortcuts, replacing_files, true)
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qb::runBenchmarks(argc, argv, [] { bookFile(); });
}
