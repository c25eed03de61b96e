// The navigation panel on a book of 100,000 contacts and 100,000 websites (offscreen): showing
// it (the window and its four fills, up to the first paint), "刷新", closing it, and opening the
// menu "网址导航" down to a website item. BM_FlatWebsiteMenu shows, for comparison, what one
// QMenu holding every website costs to open.

#include "benchsupport.h"

#include "navpanel/frmdaohang.h"
#include "navpanel/websitemenu.h"
#include "platform/scriptedplatform.h"
#include "store/recordstore.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <memory>

namespace {

using qb::BookId;
using qb::RecordStore;
using qb::Tfrmdaohang;

constexpr int kContacts = 100'000;
constexpr int kWebsites = 100'000;
constexpr int kSerials = 100;

QString bookFile() {
    return qb::cachedBook(QStringLiteral("navpanel"), kContacts, kWebsites, kSerials);
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
        const double before = qb::residentMiB();
        qb::resetPeakMemory();
        QElapsedTimer timer;
        timer.start();
        host.open();
        state.SetIterationTime(qb::seconds(timer));
        peakGrowth = std::max(peakGrowth, qb::peakResidentMiB() - before);
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return qb::runBenchmarks(argc, argv, [] { bookFile(); });
}
