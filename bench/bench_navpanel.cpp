// The navigation panel on a book of 100,000 contacts and 100,000 websites (offscreen): showing
// it (the window and its four fills, up to the first paint), "刷新", closing it, and opening the
// menu "网址导航" down to a website item. BM_FlatWebsiteMenu shows, for comparison, what one
// QMenu holding every website costs to open.

#include "bookgenerator.h"

#include "navpanel/frmdaohang.h"
#include "navpanel/websitemenu.h"
#include "platform/scriptedplatform.h"
#include "store/recordstore.h"
#include "store/storeerror.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

using qb::BookId;
using qb::RecordStore;
using qb::Tfrmdaohang;

constexpr quint32 kSeed = 20240601;
constexpr int kContacts = 100'000;
constexpr int kWebsites = 100'000;
constexpr int kSerials = 100;

void printLine(const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

QString benchFolder() {
    return qEnvironmentVariable("QB_BENCH_DIR", QStringLiteral("/tmp/quillbox-bench"));
}

// The version in the name changes whenever the generator makes different books.
QString bookFile() {
    return benchFolder() + QStringLiteral("/navpanel-v1-%1-%2.mdb").arg(kContacts).arg(kWebsites);
}

// Made once and kept between runs; written under a temporary name so that an interrupted
// run never leaves a half-made book behind.
void generateCachedBook() {
    const QString file = bookFile();
    if (QFile::exists(file))
        return;
    if (!QDir().mkpath(benchFolder()))
        throw qb::StoreError(QStringLiteral("无法创建文件夹“%1”").arg(benchFolder()));
    const QString part = file + QStringLiteral(".part");
    QFile::remove(part);
    qb::generateBook(part, kContacts, kWebsites, kSerials, kSeed);
    if (!QFile::rename(part, file))
        throw qb::StoreError(QStringLiteral("无法把“%1”改名为“%2”").arg(part, file));
}

double statusMiB(const char* key) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(key) + ':';
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(prefix))
            return std::stod(line.substr(prefix.size())) / 1024.0; // the value is in kB
    return 0;
}

// Starts a new peak: VmHWM falls back to the current resident size.
void resetPeakMemory() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
}

double seconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

// The main window's side: its datasets, and the panel it opens and closes.
class PanelHost {
public:
    PanelHost() { m_store.openDatabase(bookFile()); }

    Tfrmdaohang* open() {
        m_panel = std::make_unique<Tfrmdaohang>(
            m_store.book(BookId::Contacts), m_store.book(BookId::Websites), [] {}, [] {});
        m_panel->show();
        QCoreApplication::processEvents(); // the first paint
        return m_panel.get();
    }
    void close() { m_panel.reset(); }
    QAction* item(const char* name) const {
        return m_panel->findChild<QAction*>(QString::fromUtf8(name));
    }

private:
    qb::ScopedScriptedPlatform m_platform;
    RecordStore m_store;
    std::unique_ptr<Tfrmdaohang> m_panel;
};

void BM_ShowPanel(benchmark::State& state) {
    PanelHost host;
    host.open(); // warms the page cache
    host.close();
    double peakGrowth = 0;
    for (auto _ : state) {
        const double before = statusMiB("VmRSS");
        resetPeakMemory();
        QElapsedTimer timer;
        timer.start();
        host.open();
        state.SetIterationTime(seconds(timer));
        peakGrowth = std::max(peakGrowth, statusMiB("VmHWM") - before);
        host.close();
    }
    state.counters["peak_growth_MiB"] = peakGrowth;
}
BENCHMARK(BM_ShowPanel)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RefreshPanel(benchmark::State& state) {
    PanelHost host;
    host.open();
    for (auto _ : state)
        host.item("N7")->trigger();
}
BENCHMARK(BM_RefreshPanel)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ClosePanel(benchmark::State& state) {
    PanelHost host;
    for (auto _ : state) {
        state.PauseTiming();
        host.open();
        state.ResumeTiming();
        host.close();
    }
}
BENCHMARK(BM_ClosePanel)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Opens a menu as the menu bar does and returns its items.
QList<QAction*> openMenu(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    QCoreApplication::processEvents();
    return menu->actions();
}

// The first opening after a fill, which makes the items: "网址导航", then its first sub-menu
// down to a website item.
void BM_OpenWebsiteMenu(benchmark::State& state) {
    PanelHost host;
    Tfrmdaohang* panel = host.open();
    auto* menu = panel->findChild<QMenu*>(QStringLiteral("N1"));
    int levels = 0;
    for (auto _ : state) {
        state.PauseTiming();
        host.item("N7")->trigger();
        state.ResumeTiming();
        QList<QAction*> items = openMenu(menu);
        QList<QMenu*> opened{menu};
        while (!items.isEmpty() && items.first()->menu()) {
            opened << items.first()->menu();
            items = openMenu(items.first()->menu());
        }
        levels = int(opened.size());
        for (auto it = opened.rbegin(); it != opened.rend(); ++it)
            (*it)->hide();
    }
    state.counters["menu_levels"] = levels;
}
BENCHMARK(BM_OpenWebsiteMenu)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// One QMenu with every website as its own item, shown once.
void BM_FlatWebsiteMenu(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        QMenu menu;
        for (int i = 0; i < kWebsites; ++i)
            menu.addAction(QStringLiteral("网站%1").arg(i))
                ->setStatusTip(QStringLiteral("http://s%1.cn/").arg(i));
        state.ResumeTiming();
        openMenu(&menu);
        menu.hide();
    }
}
BENCHMARK(BM_FlatWebsiteMenu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        generateCachedBook();
    } catch (const qb::StoreError& error) {
        printLine(error.message());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
