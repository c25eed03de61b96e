#pragma once

// What the benchmark programs share: the books kept between runs, the run itself, memory
// figures and timing the sqlite3 command-line tool for comparison.

#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <functional>

class QElapsedTimer;

namespace qb {

// A line on stderr, apart from the benchmark report on stdout.
void printLine(const QString& text);

// A generated book kept between benchmark runs in $QB_BENCH_DIR (default
// /tmp/quillbox-bench), made on first use and announced with the time it took. It is written
// under a temporary name and renamed when complete, so an interrupted run never leaves a
// half-made book for a later run.
QString benchFolder();
QString cachedBook(const QString& tag, int contacts, int websites, int serials);

// Runs the benchmarks the command line chooses, once the application object has taken its own
// options. The books are made first, so that no benchmark times making one. The exit code: 1
// for an unknown option or, after saying why, when a book cannot be made.
int runBenchmarks(int& argc, char** argv, const std::function<void()>& makeBooks);

double seconds(const QElapsedTimer& timer);

// The process's resident memory now and at its peak (VmRSS, VmHWM), in MiB.
double residentMiB();
double peakResidentMiB();
// Starts a new peak: it falls back to the current resident size.
void resetPeakMemory();

// What a benchmark that runs the tool reports when it cannot.
inline constexpr const char* kSqlite3Unavailable =
    "sqlite3 命令不可用或失败（Debian 软件包 sqlite3）";

// One run of the sqlite3 tool with its output going to outputFile: the seconds from starting
// the process to its exit, or a negative value when the tool is missing or fails.
double sqlite3Seconds(const QStringList& arguments, const QString& outputFile);

// One run of the tool per iteration, each the iteration's manual time; the benchmark is
// skipped when the tool is missing or fails.
void timeSqlite3Runs(benchmark::State& state, const QStringList& arguments,
                     const QString& outputFile);

} // namespace qb
