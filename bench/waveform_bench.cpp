// Waveform images of a 10-minute 44.1 kHz stereo file: the time until the whole image is there
// (decoding, mixing and peak picking on the reading thread), the time until SetFileName hands
// control back to the view, and the time to read a cached image back. MP3 needs the lame program.
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

} // namespace

BENCHMARK_MAIN();
