// The main window's costs: start-up to the first painted window with the demo loaded, resident
// memory, and the CPU the whole process uses while the demo plays on the Pattern page with the
// user editing (tempo and effects changed every 50 ms), with the output's callback statistics at
// a 10 ms buffer. Runs offscreen; the program's own exec and library loading are measured apart
// by starting `brindle --version`.
#include "app/App.h"
#include "app/AudioSettings.h"
#include "app/SongEngine.h"
#include "audio/output/Device.h"
#include "base/AppInfo.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "support/Spawn.h"
#include "ui/MainForm.h"
#include "ui/editors/EffectsPanel.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <sys/resource.h>

namespace {

const std::string Demo = std::string(BRINDLE_SOURCE_DIR) + "/examples/demo.hym";

double residentMB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A window that notes its first paint.
struct PaintWatch : QObject {
    bool Painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) Painted = true;
        return false;
    }
};

void BM_ProgramExecAndLibraries(benchmark::State& state) {
    for (auto _ : state) {
        const auto r = brindle::bench::Spawn({std::string(BRINDLE_BINARY_DIR) + "/brindle", "--version"});
        state.SetIterationTime(r.wallSeconds);
    }
}
BENCHMARK(BM_ProgramExecAndLibraries)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_WindowWithDemoToFirstPaint(benchmark::State& state) {
    double rss = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        cApp app;
        auto form = std::make_unique<TMainForm>(app);
        PaintWatch watch;
        form->installEventFilter(&watch);
        form->show();
        form->FirstActivation();
        form->OpenFile(Demo);
        while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        rss = residentMB();
        form->AskSaveChanges = [](const std::string&) { return TMainForm::TSaveAnswer::Discard; };
        form->close();
    }
    state.counters["rss_mb"] = rss;
}
BENCHMARK(BM_WindowWithDemoToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PlayDemoWhileEditing(benchmark::State& state) {
    cAudioSettings settings = cAudioSettings::Read();
    settings.Buffer = 10;
    settings.Write();
    cApp app;
    TMainForm form(app);
    form.show();
    form.FirstActivation();
    form.OpenFile(Demo);
    form.ShowPage(TMainForm::PatternPage);
    const double seconds = 10;
    for (auto _ : state) {
        form.Play();
        const double cpu0 = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        int edits = 0;
        while (clock.elapsed() < seconds * 1000) {
            QTest::qWait(50);
            // The user edits while the song plays: tempo and master effects.
            form.BPMSpin->setValue(form.BPMSpin->value() + (edits % 2 ? 1 : -1));
            TEffectSettings fx = form.GetPanelEffects();
            fx.ReverbEnabled = edits % 4 < 2;
            fx.ReverbLevel = float(edits % 10) / 10.0f;
            form.SetPanelEffects(fx);
            // Notes typed into the grid and a slider dragged on the panel.
            form.PatternEditor->EnterNote(float(edits % 12));
            form.EffectsPanel->Eq[1]->setValue((edits % 20) * 100);
            ++edits;
        }
        const double wall = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(wall);
        state.counters["cpu_pct_one_core"] = 100.0 * (cpuSeconds() - cpu0) / wall;
        state.counters["edits"] = edits;
        form.Stop();
    }
    if (const auto* stats = form.Output().GetSpeakers().GetStats()) {
        state.counters["callbacks"] = double(stats->Callbacks());
        state.counters["misses"] = double(stats->Misses());
        state.counters["p99_ms"] = stats->PercentileMs(0.99);
        state.counters["block_ms"] = stats->BlockMs();
    }
    state.counters["rss_mb"] = residentMB();
    form.AskSaveChanges = [](const std::string&) { return TMainForm::TSaveAnswer::Discard; };
    form.close();
}
BENCHMARK(BM_PlayDemoWhileEditing)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// A window of 1600 x 1000 on the Pattern page, showing a 500-row pattern with a note in every cell.
struct FullPattern {
    cApp app;
    TMainForm form{app};
    TPatternGrid* grid = nullptr;
    FullPattern() {
        form.resize(1600, 1000);
        form.show();
        form.FirstActivation();
        cPattern& p = form.Song().PatternAt(1);
        p.RowCount = 500;
        for (int c = 0; c < ChannelCount; ++c)
            for (int r = 0; r < 500; ++r) p.Cells[c][r] = {1 + (c + r) % 100, float(r % 25 - 12)};
        form.ShowPage(TMainForm::PatternPage);
        form.PatternEditor->Refresh();
        grid = form.PatternEditor->PatGrid;
        QTest::qWait(50);
    }
    ~FullPattern() {
        form.AskSaveChanges = [](const std::string&) { return TMainForm::TSaveAnswer::Discard; };
        form.close();
    }
};

void BM_PatternGridPaint(benchmark::State& state) {
    FullPattern w;
    for (auto _ : state) {
        w.grid->Painted = {};
        w.grid->viewport()->repaint();
        benchmark::DoNotOptimize(w.grid->Painted.Cells);
    }
    state.counters["cells_per_paint"] = double(w.grid->Painted.Cells);
}
BENCHMARK(BM_PatternGridPaint)->Unit(benchmark::kMillisecond);

void BM_PatternGridPageDownPainted(benchmark::State& state) {
    FullPattern w;
    long steps = 0;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        w.grid->SetCursor(0, 0);
        for (int i = 0; i < 500 / 16; ++i) {
            QTest::keyClick(w.grid, Qt::Key_PageDown);
            w.grid->viewport()->repaint();
            w.grid->verticalHeader()->viewport()->repaint();
            ++steps;
        }
    }
    state.counters["ms_per_step"] = double(clock.nsecsElapsed()) / 1e6 / double(steps);
}
BENCHMARK(BM_PatternGridPageDownPainted)->Unit(benchmark::kMillisecond);

// The position timer while the song plays: how many cells each tick repaints.
void BM_PlayMarkerRepaint(benchmark::State& state) {
    FullPattern w;
    for (auto _ : state) {
        w.form.Play();
        QTest::qWait(100);
        w.grid->Painted = {};
        const int row0 = w.form.Song().CurRow;
        QTest::qWait(2000);
        const int rows = w.form.Song().CurRow - row0;
        w.form.Stop();
        state.counters["rows_played"] = rows;
        state.counters["cells_painted"] = double(w.grid->Painted.Cells);
        state.counters["row_numbers_painted"] = double(w.grid->Painted.RowNumbers);
        state.counters["headers_painted"] = double(w.grid->Painted.Headers);
    }
}
BENCHMARK(BM_PlayMarkerRepaint)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BRINDLE_AUDIO", "null");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    QApplication qt(argc, argv);
    brindle::SetCommandLine(std::vector<std::string>{"brindle"});
    brindle::SetApplicationTitle("Quillon Brindle");
    brindle::SetSettingsFolder((home.path() + "/settings").toStdString());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
