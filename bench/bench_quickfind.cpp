// Quick find on contact books of 10,000, 100,000 and 1,000,000 records: building the index
// in the background after the book opens (time and memory) and the wait after each key
// press of a scripted typing until the best results are delivered.

#include "benchsupport.h"

#include "quickfind/quickfindengine.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <map>
#include <memory>

namespace {

using qb::QuickFindEngine;

constexpr int kSizes[] = {10'000, 100'000, 1'000'000};

// What users type: full names, initials, mixes, numbers and e-mail parts, one key at a time.
const QStringList kTyped = {
    QStringLiteral("zhangwei"), QStringLiteral("zw"),   QStringLiteral("wang f"),
    QStringLiteral("lxm"),      QStringLiteral("138"),  QStringLiteral("13912"),
    QStringLiteral("张伟"),     QStringLiteral("@163"), QStringLiteral("chen"),
};

QString bookFile(int contacts) {
    return qb::cachedBook(QStringLiteral("book"), contacts, 1000, 1000);
}

std::array<qb::QuickFindBook, qb::kBookCount> books() {
    std::array<qb::QuickFindBook, qb::kBookCount> described;
    for (qb::BookId id : qb::allBooks()) {
        const qb::TableSchema& schema = qb::tableSchema(id);
        described[size_t(id)] = {schema.tableName, schema.columnNames.front()};
    }
    return described;
}

struct Built {
    std::unique_ptr<QuickFindEngine> engine;
    double seconds = 0;
    qint64 bytes = 0;
    qint64 fileBytes = 0;
};

// Opens the book's file in a new engine and waits until its index is built.
Built buildIndex(int contacts) {
    Built built;
    built.engine = std::make_unique<QuickFindEngine>();
    QEventLoop loop;
    QObject::connect(built.engine.get(), &QuickFindEngine::indexBuilt, &loop,
                     [&](double seconds, qint64 bytes, qint64 fileBytes) {
                         built.seconds = seconds;
                         built.bytes = bytes;
                         built.fileBytes = fileBytes;
                         loop.quit();
                     });
    built.engine->setDatabase(bookFile(contacts), books());
    loop.exec();
    return built;
}

void BM_QuickFindIndexBuild(benchmark::State& state) {
    for (auto _ : state) {
        qb::resetPeakMemory();
        const double before = qb::residentMiB();
        Built built = buildIndex(int(state.range(0)));
        state.SetIterationTime(built.seconds);
        state.counters["index_MiB"] = double(built.bytes) / (1024 * 1024);
        state.counters["file_MiB"] = double(built.fileBytes) / (1024 * 1024);
        state.counters["rss_growth_MiB"] = qb::residentMiB() - before;
        state.counters["peak_growth_MiB"] = qb::peakResidentMiB() - before;
    }
}
BENCHMARK(BM_QuickFindIndexBuild)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Every key press of the script: the time from the search call to the results.
std::vector<double> typingLatencies(QuickFindEngine& engine) {
    std::vector<double> millis;
    QEventLoop loop;
    QString waitingFor;
    QObject::connect(&engine, &QuickFindEngine::resultsReady, &loop, [&](const QString& text) {
        if (text == waitingFor)
            loop.quit();
    });
    for (const QString& typed : kTyped) {
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            waitingFor = typed.left(n);
            QElapsedTimer timer;
            timer.start();
            engine.search(waitingFor);
            loop.exec();
            millis.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    return millis;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[size_t(fraction * double(values.size() - 1))];
}

void BM_QuickFindTyping(benchmark::State& state) {
    const Built built = buildIndex(int(state.range(0)));
    for (auto _ : state) {
        const std::vector<double> millis = typingLatencies(*built.engine);
        state.counters["median_ms"] = percentile(millis, 0.5);
        state.counters["p95_ms"] = percentile(millis, 0.95);
        state.counters["max_ms"] = percentile(millis, 1.0);
        state.counters["key_presses"] = double(millis.size());
    }
}
BENCHMARK(BM_QuickFindTyping)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qb::runBenchmarks(argc, argv, [] {
        for (int contacts : kSizes)
            bookFile(contacts);
    });
}
