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

#include <QApplication>
#include <QElapsedTimer>
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
