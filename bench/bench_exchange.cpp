// 100,000 contacts to vCard and back, side by side with the text export of the same book in
// the same iteration, so all three see the same disk and cache. Memory is the rise of the
// process's peak over what it held before each step: flat means streaming.

#include "benchsupport.h"

#include "exchange/exchangecommands.h"
#include "export/textexport.h"
#include "store/recordstore.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <ctime>

namespace {

using qb::BookId;
using qb::RecordStore;

constexpr int kContacts = 100'000;

QString inBenchFolder(const QString& name) {
    return qb::benchFolder() + QLatin1Char('/') + name;
}

QString bookFile() {
    return qb::cachedBook(QStringLiteral("exchange"), kContacts, 0, 0);
}

struct Step {
    double seconds = 0;
    double cpuSeconds = 0; // the process's, steadier than the wall clock on a busy machine
    double peakGrowthMiB = 0;
};

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

Step measure(const std::function<void()>& step) {
    const double residentBefore = qb::residentMiB();
    qb::resetPeakMemory();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    step();
    return {qb::seconds(timer), cpuSeconds() - cpuBefore, qb::peakResidentMiB() - residentBefore};
}

// One round: the text export, the vCard export, and the vCard file read into a new book.
void BM_ContactsVCardVsText(benchmark::State& state) {
    RecordStore store;
    store.openDatabase(bookFile());
    qb::BookDataset& contacts = store.book(BookId::Contacts);
    const QString textTarget = inBenchFolder(QStringLiteral("exchange-contacts.txt"));
    const QString vcardTarget = inBenchFolder(QStringLiteral("exchange-contacts.vcf"));
    const QString copyFile = inBenchFolder(QStringLiteral("exchange-copy.mdb"));
    double text = 0;
    double vcardExport = 0;
    double vcardImport = 0;
    double textCpu = 0;
    double importCpu = 0;
    double peakGrowth = 0;
    int imported = 0;
    for (auto _ : state) {
        const Step textRun =
            measure([&] { qb::writeBookText(contacts, BookId::Contacts, textTarget); });
        const Step exportRun =
            measure([&] { qb::writeBookFile(contacts, qb::ExchangeFormat::VCard, vcardTarget); });
        QFile::remove(copyFile);
        RecordStore copy;
        copy.createDatabase(copyFile);
        copy.openDatabase(copyFile);
        const Step importRun = measure([&] {
            imported = qb::readBookFile(copy.book(BookId::Contacts), qb::ExchangeFormat::VCard,
                                        vcardTarget, nullptr)
                           .added;
        });
        state.SetIterationTime(exportRun.seconds);
        text += textRun.seconds;
        vcardExport += exportRun.seconds;
        vcardImport += importRun.seconds;
        textCpu += textRun.cpuSeconds;
        importCpu += importRun.cpuSeconds;
        peakGrowth = std::max({peakGrowth, exportRun.peakGrowthMiB, importRun.peakGrowthMiB});
    }
    const double n = double(state.iterations());
    state.counters["text_export_ms"] = 1000 * text / n;
    state.counters["vcard_export_ms"] = 1000 * vcardExport / n;
    state.counters["vcard_import_ms"] = 1000 * vcardImport / n;
    state.counters["export_ratio_to_text"] = vcardExport / text;
    state.counters["import_ratio_to_text"] = vcardImport / text;
    state.counters["import_cpu_ratio_to_text"] = importCpu / textCpu;
    state.counters["vcard_MiB"] = double(QFileInfo(vcardTarget).size()) / (1024 * 1024);
    state.counters["peak_growth_MiB"] = peakGrowth;
    state.counters["imported"] = imported;
    QFile::remove(textTarget);
    QFile::remove(vcardTarget);
    QFile::remove(copyFile);
}

BENCHMARK(BM_ContactsVCardVsText)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qb::runBenchmarks(argc, argv, [] { bookFile(); });
}
