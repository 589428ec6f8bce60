// Waveform images of a 10-minute 44.1 kHz stereo file: the time until the whole image is there
// (decoding, mixing and peak picking on the reading thread), the time until SetFileName hands
// control back to the view, and the time to read a cached image back. MP3 needs the lame program.
// Then the sample editor on the same 10 minutes held in memory: what one edit costs the user, the
// edit itself plus the new waveform image built from memory (the target is under 100 ms).
#include "audio/waveform/SampleEdit.h"
#include "audio/waveform/WavDataStore.h"
#include "support/BenchAudio.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr double Seconds = 600;

struct TFixtures {
    brindle::bench::BenchFolder Folder;
    std::string Wav;
    std::string Mp3; // empty without lame
    std::string Mp3Problem;

    TFixtures() {
        // Caches go to the run's own folder, never the user's.
        ::setenv("XDG_DATA_HOME", (Folder / "data").c_str(), 1);
        Wav = Folder / "ten-minutes.wav";
        if (!brindle::bench::WriteSine(Wav, 440, Seconds)) Wav.clear();
        if (std::system("command -v lame >/dev/null 2>&1") != 0) {
            Mp3Problem = "the lame program is not installed";
        } else if (!Wav.empty()) {
            const std::string mp3 = Folder / "ten-minutes.mp3";
            const std::string cmd = "lame --quiet -b 192 '" + Wav + "' '" + mp3 + "'";
            if (std::system(cmd.c_str()) == 0) Mp3 = mp3;
            else Mp3Problem = "lame failed";
        }
    }
};

TFixtures& Fixtures() {
    static TFixtures fixtures;
    return fixtures;
}

// Arg 0: WAV, 1: MP3.
const std::string* Source(benchmark::State& State) {
    auto& f = Fixtures();
    const std::string& path = State.range(0) == 0 ? f.Wav : f.Mp3;
    if (path.empty()) {
        State.SkipWithError(State.range(0) == 0 ? "can't write the WAV" : f.Mp3Problem.c_str());
        return nullptr;
    }
    return &path;
}

void BM_WholeImage(benchmark::State& State) {
    const std::string* path = Source(State);
    if (!path) return;
    TWavDataStore store;
    store.SetOptCacheImage(false);
    for (auto _ : State) {
        store.SetFileName(*path);
        store.WaitReading();
    }
    State.counters["xRealTime"] =
        benchmark::Counter(Seconds * static_cast<double>(State.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeImage)->ArgName("mp3")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the call: opening the file, allocating the image and starting the thread.
void BM_SetFileNameReturns(benchmark::State& State) {
    const std::string* path = Source(State);
    if (!path) return;
    TWavDataStore store;
    store.SetOptCacheImage(false);
    for (auto _ : State) {
        const auto start = std::chrono::steady_clock::now();
        store.SetFileName(*path);
        State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        store.SetFileName(""); // stops the thread: the loop would otherwise decode the file each time
    }
}
BENCHMARK(BM_SetFileNameReturns)->ArgName("mp3")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_CachedImage(benchmark::State& State) {
    const std::string* path = Source(State);
    if (!path) return;
    TWavDataStore store;
    store.SetFileName(*path); // decodes and writes the cache
    store.WaitReading();
    for (auto _ : State) {
        store.SetFileName(*path);
        store.WaitReading();
    }
}
BENCHMARK(BM_CachedImage)->ArgName("mp3")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- editing ----

brindle::waveform::TSampleEditor& TenMinuteEditor() {
    static brindle::waveform::TSampleEditor editor = [] {
        brindle::waveform::TSampleEditor e;
        const std::string& wav = Fixtures().Wav;
        if (wav.empty()) return e;
        e.Load(brindle::waveform::LoadSampleBuffer(wav));
        // As the editor's loader does: memory for the first undo record, touched beforehand.
        e.AddSpare(std::vector<float>(e.Buffer().Data.size()));
        return e;
    }();
    return editor;
}

using brindle::waveform::TEditKind;

// Arg: the edit kind, on the whole sound (Crop and Delete: its middle half). Each iteration applies
// the edit and builds the image the view draws; undoing it again is not counted.
void BM_Edit(benchmark::State& State) {
    auto& editor = TenMinuteEditor();
    const std::int64_t frames = editor.Buffer().Frames();
    if (frames == 0) {
        State.SkipWithError("can't write the WAV");
        return;
    }
    brindle::waveform::TEdit edit;
    edit.Kind = static_cast<TEditKind>(State.range(0));
    edit.Db = edit.Kind == TEditKind::Normalize ? -1.0 : -3.0;
    edit.Shape = brindle::waveform::TFadeShape::EqualPower;
    if (edit.Kind == TEditKind::Crop || edit.Kind == TEditKind::Delete) edit.Range = {frames / 4, frames / 2};
    for (auto _ : State) {
        const auto start = std::chrono::steady_clock::now();
        if (!editor.Apply(edit)) {
            State.SkipWithError("the edit changed nothing");
            return;
        }
        const auto image = brindle::waveform::PeakImageOf(editor.Buffer(), 441);
        benchmark::DoNotOptimize(image.data());
        State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        editor.Undo();
    }
    State.counters["MB_held"] = double(editor.HeldBytes()) / 1e6;
}
BENCHMARK(BM_Edit)
    ->ArgName("kind")
    ->DenseRange(int(TEditKind::Normalize), int(TEditKind::Delete))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// Undo and redo of a whole-sound gain, with the image each time.
void BM_UndoRedo(benchmark::State& State) {
    auto& editor = TenMinuteEditor();
    if (editor.Buffer().Frames() == 0 || !editor.Apply({TEditKind::Gain, {}, 2.0})) {
        State.SkipWithError("no sound");
        return;
    }
    for (auto _ : State) {
        editor.Undo();
        benchmark::DoNotOptimize(brindle::waveform::PeakImageOf(editor.Buffer(), 441).data());
        editor.Redo();
        benchmark::DoNotOptimize(brindle::waveform::PeakImageOf(editor.Buffer(), 441).data());
    }
    editor.Undo();
    State.counters["per_step_ms"] = benchmark::Counter(2.0 * double(State.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMillisecond)->UseRealTime();

// The image alone, and the 16-bit copy a Play after an edit makes.
void BM_ImageFromMemory(benchmark::State& State) {
    auto& editor = TenMinuteEditor();
    for (auto _ : State) benchmark::DoNotOptimize(brindle::waveform::PeakImageOf(editor.Buffer(), 441).data());
}
BENCHMARK(BM_ImageFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlayCopy(benchmark::State& State) {
    auto& editor = TenMinuteEditor();
    // The view hands the stream's previous samples back in, as the editor does after an edit.
    std::vector<std::int16_t> pcm(editor.Buffer().Data.size());
    for (auto _ : State) {
        brindle::waveform::Pcm16(editor.Buffer(), pcm);
        benchmark::DoNotOptimize(pcm.data());
    }
}
BENCHMARK(BM_PlayCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

// A small edit (a tenth of a second) in the middle: the record and the image cover only it.
void BM_SmallEdit(benchmark::State& State) {
    auto& editor = TenMinuteEditor();
    const std::int64_t frames = editor.Buffer().Frames();
    auto image = brindle::waveform::PeakImageOf(editor.Buffer(), 441);
    const brindle::waveform::TFrameRange range{frames / 2, 4410};
    for (auto _ : State) {
        editor.Apply({TEditKind::FadeOut, range});
        brindle::waveform::UpdatePeakImage(editor.Buffer(), 441, range, image);
        editor.Undo();
        brindle::waveform::UpdatePeakImage(editor.Buffer(), 441, range, image);
    }
}
BENCHMARK(BM_SmallEdit)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
