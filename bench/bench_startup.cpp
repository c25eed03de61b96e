// Start-up of the main window with a remembered 1,000,000-contact book: from making the window
// to its first paint, the part of a cold start the program controls.

#include "benchsupport.h"

#include "app/sdiappform.h"
#include "platform/scriptedplatform.h"
#include "store/preferences.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kContacts = 1'000'000;

QString bookFile(int contacts) {
    return qb::cachedBook(QStringLiteral("startup"), contacts, 1000, 1000);
}

void BM_ShowMainWindowWithRememberedBook(benchmark::State& state) {
    const QString book = bookFile(int(state.range(0)));
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("quillbox.ini"));
    qb::Preferences prefs;
    prefs.databasePath = book;
    qb::SavePreferences(ini, prefs);
    qb::ScopedScriptedPlatform platform;
    double closeMs = 0;
    for (auto _ : state) {
        auto form = std::make_unique<qb::TSDIAppForm>(ini);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            state.SkipWithError("the window was not shown");
        QApplication::processEvents();
        state.PauseTiming();
        if (!form->store().isOpen() || !platform.messages.isEmpty())
            state.SkipWithError("the remembered book did not open");
        // Closing is not part of the start; it waits for the quick find index, begun in the
        // background as the book opened, to stop, and is reported on its own.
        QElapsedTimer closing;
        closing.start();
        form.reset();
        closeMs += double(closing.nsecsElapsed()) / 1e6;
        state.ResumeTiming();
    }
    state.counters["close_ms"] = closeMs / double(state.iterations());
    state.SetLabel("window made, book opened, first screen painted");
}
BENCHMARK(BM_ShowMainWindowWithRememberedBook)
    ->Arg(kContacts)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return qb::runBenchmarks(argc, argv, [] { bookFile(kContacts); });
}
