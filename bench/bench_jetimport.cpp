// Speed of the Access import: 100,000 contacts read through mdb-export into a new database,
// timed against mdb-export alone printing the same table, both in the same iteration so that
// both see the same disk and cache.

#include "benchsupport.h"

#include "import/jetimport.h"
#include "store/dataerror.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr int kContacts = 100'000;

QString jetFile() {
    return qb::benchFolder() + QStringLiteral("/jet-%1.mdb").arg(kContacts);
}

QString importTarget() {
    return qb::benchFolder() + QStringLiteral("/jet-imported.mdb");
}

// Made once with the Jet writer of the test tools, kept between runs like the other books.
void makeJetFile() {
    if (QFileInfo::exists(jetFile()))
        return;
    if (!QFileInfo::exists(QStringLiteral(QB_JETWRITE)))
        throw qb::DataError(QStringLiteral("没有找到 jetwrite.py：" QB_JETWRITE));
    qb::printLine(QStringLiteral("正在生成 %1 …").arg(jetFile()));
    const QString part = jetFile() + QStringLiteral(".part");
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedChannels);
    python.start(QStringLiteral("python3"),
                 {QStringLiteral(QB_MAKEJET), QStringLiteral(QB_JETWRITE), part,
                  QString::number(kContacts)});
    if (!python.waitForFinished(-1) || python.exitCode() != 0 || !QFile::rename(part, jetFile()))
        throw qb::DataError(QStringLiteral("无法生成 %1").arg(jetFile()));
}

// mdb-export alone, its output thrown away: the floor under the import.
double mdbExportSeconds() {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(QStandardPaths::findExecutable(QStringLiteral("mdb-export")),
                  {QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), jetFile(),
                   QStringLiteral("lianxi1")});
    process.waitForFinished(-1);
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return ok ? qb::seconds(timer) : -1;
}

double importSeconds() {
    QFile::remove(importTarget());
    QElapsedTimer timer;
    timer.start();
    const std::optional<qb::ImportReport> report =
        qb::importJetFile(jetFile(), importTarget(), [](qint64, qint64) { return true; });
    const double elapsed = qb::seconds(timer);
    return report && report->imported[0] == kContacts ? elapsed : -1;
}

void BM_ImportContacts(benchmark::State& state) {
    if (mdbExportSeconds() < 0) {
        state.SkipWithError("mdb-export 不可用或失败（Debian 软件包 mdbtools）");
        return;
    }
    double importTotal = 0;
    double exportTotal = 0;
    for (auto _ : state) {
        const double import = importSeconds();
        if (import < 0) {
            state.SkipWithError("导入失败");
            return;
        }
        state.SetIterationTime(import);
        importTotal += import;
        exportTotal += mdbExportSeconds();
    }
    state.counters["mdb_export_ms"] = 1000 * exportTotal / double(state.iterations());
    state.counters["ratio_to_mdb_export"] = importTotal / exportTotal;
    state.counters["jet_MiB"] = double(QFileInfo(jetFile()).size()) / (1024 * 1024);
    QFile::remove(importTarget());
}

BENCHMARK(BM_ImportContacts)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qb::runBenchmarks(argc, argv, makeJetFile);
}
