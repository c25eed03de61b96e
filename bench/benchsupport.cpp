#include "benchsupport.h"

#include "bookgenerator.h"

#include "store/dataerror.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace qb {

namespace {

// Fixed, so that a cached book is the same wherever it was made.
constexpr quint32 kBookSeed = 20240601;

// A /proc/self/status value ("VmRSS", "VmHWM") in MiB.
double statusMiB(std::string_view key) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(key) + ':';
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(prefix))
            return std::stod(line.substr(prefix.size())) / 1024.0; // the value is in kB
    return 0;
}

// Written under a temporary name and renamed when complete.
void generateCachedBook(const QString& file, int contacts, int websites, int serials) {
    const QString part = file + QStringLiteral(".part");
    QFile::remove(part);
    QElapsedTimer timer;
    timer.start();
    generateBook(part, contacts, websites, serials, kBookSeed);
    if (!QFile::rename(part, file))
        throw DataError(QStringLiteral("无法把“%1”改名为“%2”").arg(part, file));
    printLine(QStringLiteral("已生成 %1（%2 个联系人），用时 %3 秒")
                  .arg(file)
                  .arg(contacts)
                  .arg(seconds(timer), 0, 'f', 1));
}

} // namespace

void printLine(const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

QString benchFolder() {
    return qEnvironmentVariable("QB_BENCH_DIR", QStringLiteral("/tmp/quillbox-bench"));
}

QString cachedBook(const QString& tag, int contacts, int websites, int serials) {
    // The version in the name changes whenever the generator makes different books.
    const QString file = QStringLiteral("%1/%2-v1-%3-%4-%5.mdb")
                             .arg(benchFolder(), tag)
                             .arg(contacts)
                             .arg(websites)
                             .arg(serials);
    if (QFile::exists(file))
        return file;
    if (!QDir().mkpath(benchFolder()))
        throw DataError(QStringLiteral("无法创建文件夹“%1”").arg(benchFolder()));
    generateCachedBook(file, contacts, websites, serials);
    return file;
}

int runBenchmarks(int& argc, char** argv, const std::function<void()>& makeBooks) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    try {
        makeBooks();
    } catch (const DataError& error) {
        printLine(error.message());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

double seconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

double residentMiB() {
    return statusMiB("VmRSS");
}

double peakResidentMiB() {
    return statusMiB("VmHWM");
}

void resetPeakMemory() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
}

double sqlite3Seconds(const QStringList& arguments, const QString& outputFile) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (program.isEmpty())
        return -1;
    QProcess process;
    process.setStandardOutputFile(outputFile);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double elapsed = seconds(timer);
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return ok ? elapsed : -1;
}

void timeSqlite3Runs(benchmark::State& state, const QStringList& arguments,
                     const QString& outputFile) {
    for (auto _ : state) {
        const double elapsed = sqlite3Seconds(arguments, outputFile);
        if (elapsed < 0) {
            state.SkipWithError(kSqlite3Unavailable);
            break;
        }
        state.SetIterationTime(elapsed);
    }
}

} // namespace qb
