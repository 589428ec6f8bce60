// The main window's costs: start-up to the first painted window with the demo loaded, resident
// memory, and the CPU the whole process uses while the demo plays on the Pattern page with the
// user editing (tempo and effects changed every 50 ms), with the output's callback statistics at
// a 10 ms buffer. Runs offscreen; the program's own exec and library loading are measured apart
// by starting `brindle --version`.
#include "app/App.h"
#include "app/LiveOutput.h"
#include "app/AudioSettings.h"
#include "app/SongEngine.h"
#include "audio/output/Device.h"
#include "audio/waveform/WavDataStore.h"
#include "base/AppInfo.h"
#include "base/RegString.h"
#include "song/Sequencer.h"
#include "support/Spawn.h"
#include "ui/MainForm.h"
#include "ui/document/AudioSession.h"
#include "ui/document/SongDocument.h"
#include "ui/editors/EffectsPanel.h"
#include "ui/editors/PatternEditor.h"
#include "ui/editors/PatternGrid.h"
#include "ui/views/AudioView.h"
#include "ui/views/LevelFeed.h"
#include "ui/views/MixerView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
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

// The longest the event loop goes without turning (ms), until Done; Start runs in the loop.
double longestStall(const std::function<bool()>& Done, const std::function<void()>& Start = {}) {
    QElapsedTimer gap;
    double worst = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worst = std::max(worst, double(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    ticker.start();
    gap.start();
    if (Start) QTimer::singleShot(0, Start);
    while (!Done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return worst;
}

// Also the longest stall once the window has painted: the device, the MIDI ports, the browser's
// folder and the decoding follow behind it.
void BM_WindowWithDemoToFirstPaint(benchmark::State& state) {
    double rss = 0, stall = 0;
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
        while (!watch.Painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        QElapsedTimer settle;
        settle.start();
        stall = std::max(stall, longestStall([&] { return settle.elapsed() >= 1500; }));
        rss = residentMB();
        form->Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
        form->close();
    }
    state.counters["rss_mb"] = rss;
    state.counters["stall_after_paint_ms"] = stall;
}
BENCHMARK(BM_WindowWithDemoToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Opening the demo in a window that is up: the longest the event loop goes without turning
// (the file read and the views refreshed on it; the decoding runs behind) and the time until
// the instruments are ready.
void BM_OpenDemoLongestStall(benchmark::State& state) {
    cApp app;
    TMainForm form(app);
    form.show();
    form.FirstActivation();
    QTest::qWait(300); // devices, streams and browser settle
    double longest = 0, ready = 0, firstReady = 0;
    for (auto _ : state) {
        bool done = false;
        auto connection = QObject::connect(&form.Document(), &TSongDocument::instrumentsReady, [&] { done = true; });
        QElapsedTimer clock;
        clock.start();
        const double worst = longestStall([&] { return done; }, [&] { form.OpenFile(Demo); });
        ready = double(clock.nsecsElapsed()) / 1e6;
        if (firstReady == 0) firstReady = ready; // later opens find the samples decoded
        state.SetIterationTime(ready / 1e3);
        longest = std::max(longest, worst);
        QObject::disconnect(connection);
    }
    state.counters["longest_stall_ms"] = longest;
    state.counters["ready_first_ms"] = firstReady;
    state.counters["ready_again_ms"] = ready;
    form.Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
    form.close();
}
BENCHMARK(BM_OpenDemoLongestStall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

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
            form.Document().SetEffects(fx);
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
        // A miss with a short longest callback: the output thread woke late.
        state.counters["max_ms"] = stats->MaxMs();
        state.counters["block_ms"] = stats->BlockMs();
    }
    state.counters["rss_mb"] = residentMB();
    form.Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
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
            for (int r = 0; r < 500; ++r)
                p.CellForWrite(c, r) = {1 + (c + r) % 100, float(r % 25 - 12)};
        form.ShowPage(TMainForm::PatternPage);
        form.PatternEditor->Refresh();
        grid = form.PatternEditor->PatGrid;
        QTest::qWait(50);
    }
    ~FullPattern() {
        form.Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
        form.close();
    }
};

// One meter frame with every channel sounding: the meters taken, the levels shown and painted,
// on the mixer page (100 strips) and on the pattern page (the header bars). "CorePercent" is the
// share of a core that 30 such frames a second cost.
void MeterFrames(benchmark::State& state, TMainForm::TPage Page) {
    FullPattern w;
    w.form.ShowPage(Page);
    QTest::qWait(50);
    auto& meters = w.form.Engine().Mixer().Meters();
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        for (int s = 0; s < brindle::TLevelMeters::Slots; ++s) {
            const float level = 0.05f + 0.9f * float((s * 7 + frame * 13) % 100) / 100.0f;
            meters.Feed(s, level, level * level * 441, 882);
        }
        w.form.Levels->Tick();
        QCoreApplication::sendPostedEvents();
        QApplication::processEvents(); // the meters' and headers' own repaints
    }
    state.counters["CorePercent"] = benchmark::Counter(double(state.iterations()) / 30.0 / 100.0,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void BM_MixerViewMeterFrame(benchmark::State& state) { MeterFrames(state, TMainForm::MixerPage); }
BENCHMARK(BM_MixerViewMeterFrame)->Unit(benchmark::kMicrosecond);
void BM_PatternHeaderMeterFrame(benchmark::State& state) { MeterFrames(state, TMainForm::PatternPage); }
BENCHMARK(BM_PatternHeaderMeterFrame)->Unit(benchmark::kMicrosecond);

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

// A 10-minute stereo recording for the waveform views, written once.
std::string longRecording() {
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "brindle_bench_10min.wav").string();
        if (!std::filesystem::exists(p))
            brindle::bench::Spawn({"sox", "-n", "-r", "44100", "-c", "2", p, "synth", "600", "sine",
                                   "100-3000", "tremolo", "2", "60"});
        return p;
    }();
    return path;
}

void BM_WaveViewFullRedraw1920(benchmark::State& state) {
    TAudioView view;
    view.resize(1920, 300);
    view.show();
    view.SetFileName(longRecording());
    view.Store().WaitReading();
    view.RefreshTimer->stop();
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        view.SetSelStart(flip ? 0.25 : 0.5); // a change, so every column is drawn again
    }
    state.counters["image_kb"] = double(view.GetMemLen()) / 1024;
}
BENCHMARK(BM_WaveViewFullRedraw1920)->Unit(benchmark::kMillisecond);

// From SetFileName to the first frame painted with part of the wave in it.
void BM_WaveViewFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        TAudioView view;
        view.resize(1200, 300);
        view.show();
        QTest::qWait(20);
        QElapsedTimer clock;
        clock.start();
        view.SetFileName(longRecording());
        while (view.Store().FilledBytes() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        view.RefreshTick();
        view.repaint();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        view.Store().WaitReading();
    }
}
BENCHMARK(BM_WaveViewFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The CPU a view costs with its 30 ms refresh: idle, then with the play marker moving.
void BM_WaveViewRefreshCpu(benchmark::State& state) {
    TAudioView view;
    view.resize(1200, 300);
    view.show();
    view.SetFileName(longRecording());
    view.Store().WaitReading();
    QTest::qWait(100);
    // The event loop itself, not a polling wait, so only the view's own work is counted.
    auto idleFor = [](int Ms) {
        QEventLoop loop;
        QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    // The play stream decodes the whole recording behind the image; that one-off work is over
    // before the view's own cost is measured.
    double cpuSettling = cpuSeconds();
    idleFor(5000);
    state.counters["settling_cpu_pct"] = 100.0 * (cpuSeconds() - cpuSettling) / 5.0;
    for (auto _ : state) {
        double cpu0 = cpuSeconds();
        idleFor(5000);
        state.counters["idle_cpu_pct"] = 100.0 * (cpuSeconds() - cpu0) / 5.0;
        view.Play(0.1);
        cpu0 = cpuSeconds();
        idleFor(5000);
        state.counters["playing_cpu_pct"] = 100.0 * (cpuSeconds() - cpu0) / 5.0;
        view.Stop();
    }
}
BENCHMARK(BM_WaveViewRefreshCpu)->Unit(benchmark::kSecond)->Iterations(1);

// A window with the demo loaded, on the Pattern page with the grid focused, for key benchmarks.
struct DemoWindow {
    cApp app;
    TMainForm form{app};
    DemoWindow() {
        form.show();
        form.FirstActivation();
        form.OpenFile(Demo);
        form.ShowPage(TMainForm::InstrumentPage);
        QTest::qWait(50);
    }
    ~DemoWindow() {
        form.Document().AskSaveChanges = [](const std::string&) { return TSongDocument::TSaveAnswer::Discard; };
        form.close();
    }
    // The key's press through the window's key preview, as a user's would arrive.
    void key(QEvent::Type Type, Qt::Key Key, const QString& Text) {
        QKeyEvent event(Type, Key, Qt::NoModifier, Text);
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &form, &event);
    }
};

// UI-thread time from a key press to its voice being in the mixer: a prepared neutral note, and
// a stretched note at a pitch never played before.
void BM_KeyPressToVoice(benchmark::State& state) {
    const bool stretched = state.range(0) != 0;
    DemoWindow w;
    cInstrument& ins = w.form.Song().InstrumentAt(1);
    int round = 0, inMixer = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (stretched) {
            // A stretch and pitch nothing has been prepared for.
            ins.StoreStretch(1.1f + float(round % 500) * 0.001f);
            ins.StorePitch(float(round % 7) * 0.37f);
        }
        ++round;
        state.ResumeTiming();
        w.key(QEvent::KeyPress, Qt::Key_Q, "q");
        state.PauseTiming();
        // The mixer starts it at its next block.
        QTest::qWait(25);
        inMixer += w.form.Engine().Mixer().VoiceCount() > 0;
        w.key(QEvent::KeyRelease, Qt::Key_Q, "q");
        w.form.Engine().Mixer().RemoveByTag('Q');
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    // Presses whose voice was sounding a block later.
    state.counters["in_mixer"] = inMixer;
}
BENCHMARK(BM_KeyPressToVoice)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(200);

// Twenty keys held and released rapidly while the demo plays at a 10 ms buffer.
void BM_KeysWhilePlaying(benchmark::State& state) {
    cAudioSettings settings = cAudioSettings::Read();
    settings.Buffer = 10;
    settings.Write();
    DemoWindow w;
    w.form.Audio().Start();
    const char* keys = "zsxdcvgbhnjmq2w3er5t";
    for (auto _ : state) {
        w.form.ShowPage(TMainForm::OrderPage);
        w.form.Play();
        QElapsedTimer clock;
        clock.start();
        int presses = 0;
        while (clock.elapsed() < 5000) {
            for (int i = 0; i < 20; ++i) {
                const QChar c = QChar(keys[i]);
                w.key(QEvent::KeyPress, Qt::Key(c.toUpper().unicode()), QString(c));
                ++presses;
            }
            QTest::qWait(15);
            for (int i = 0; i < 20; ++i) {
                const QChar c = QChar(keys[i]);
                w.key(QEvent::KeyRelease, Qt::Key(c.toUpper().unicode()), QString(c));
            }
            QTest::qWait(15);
        }
        state.counters["presses"] = presses;
        w.form.Stop();
    }
    if (const auto* stats = w.form.Output().GetSpeakers().GetStats()) {
        state.counters["callbacks"] = double(stats->Callbacks());
        state.counters["misses"] = double(stats->Misses());
        state.counters["p99_ms"] = stats->PercentileMs(0.99);
        state.counters["max_ms"] = stats->MaxMs();
    }
}
BENCHMARK(BM_KeysWhilePlaying)->Unit(benchmark::kSecond)->Iterations(1);

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
